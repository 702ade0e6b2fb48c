#!/bin/bash
# The page tests (tests/pages/*.js, or the pages named) under Wine: velmaris.exe and
# VelmarisClient.dll from BUILD_DIR on one prefix for all pages, a Chinese system as in run.sh,
# each page against a reference content server of its own (tests/pages/run_page.py --wine).
# Pages that need what the Windows build does not have are skipped with the reason.
# Usage: pages.sh [BUILD_DIR] [PAGE.js...] (default build-windows/, which must hold both).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
shift || true
for file in velmaris.exe VelmarisClient.dll; do
  [ -f "$build/$file" ] || { echo "no $build/$file: build the velmaris and VelmarisClient targets" >&2; exit 1; }
done
pages=("$@")
[ ${#pages[@]} -gt 0 ] || pages=("$root"/tests/pages/*.js)

. "$root/tests/windows/wine_prefix.sh"
export VELMARIS_PICTURES=$root/tests/data/image

passed=0 failed=0 skipped=0
for page in "${pages[@]}"; do
  name=$(basename "$page" .js)
  output=$(python3 "$root/tests/pages/run_page.py" --wine --host "$build/velmaris.exe" \
    --library "$build/VelmarisClient.dll" --source-dir "$root" "$page" 2>&1)
  case $? in
    0) echo "ok   $name"; passed=$((passed + 1)) ;;
    77) echo "skip $name: ${output#skipped: }"; skipped=$((skipped + 1)) ;;
    *) echo "FAIL $name"; echo "$output" | sed 's/^/     /'; failed=$((failed + 1)) ;;
  esac
done
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
