#!/bin/bash
# The browser tests (tests/browser: the door, then each page, or the tests named) against
# `velmaris.exe bridge` under Wine: velmaris.exe and VelmarisClient.dll from BUILD_DIR on one prefix
# for all tests, a Chinese system as in run.sh, Chromium on this machine reaching the bridge on
# loopback (tests/browser/run_browser.py --wine). Tests that cannot run against the Windows build,
# or without Chromium and node, are skipped with the reason.
# Usage: browser.sh [BUILD_DIR] [NAME...] (default build-windows/, which must hold both).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
shift || true
for file in velmaris.exe VelmarisClient.dll; do
  [ -f "$build/$file" ] || { echo "no $build/$file: build the velmaris and VelmarisClient targets" >&2; exit 1; }
done
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  names=(door)
  for page in "$root"/tests/browser/pages/*.html; do names+=("$(basename "$page" .html)"); done
fi

. "$root/tests/windows/wine_prefix.sh"

passed=0 failed=0 skipped=0
for name in "${names[@]}"; do
  output=$(python3 "$root/tests/browser/run_browser.py" --wine --host "$build/velmaris.exe" \
    --library "$build/VelmarisClient.dll" --source-dir "$root" "$name" 2>&1)
  case $? in
    0) echo "ok   $name"; passed=$((passed + 1)) ;;
    77) echo "skip $name: ${output#skipped: }"; skipped=$((skipped + 1)) ;;
    *) echo "FAIL $name"; echo "$output" | sed 's/^/     /'; failed=$((failed + 1)) ;;
  esac
done
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
