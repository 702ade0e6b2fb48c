#!/bin/bash
# The forms on screen under Wine, on an X server of this run (Xvfb): the form window's tests of
# windows_unit_tests.exe, when built, then the pages with forms on screen (tests/screen/pages/*.js,
# or the pages named), each control's form a window of its own drawn by the system's controls,
# their screenshots kept in BUILD_DIR/screens/ beside the Qt ones of the Linux build.
# Usage: screens.sh [BUILD_DIR] [PAGE.js...] (default build-windows/, which must hold velmaris.exe
# and VelmarisClient.dll).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
shift || true
for file in velmaris.exe VelmarisClient.dll; do
  [ -f "$build/$file" ] || { echo "no $build/$file: build the velmaris and VelmarisClient targets" >&2; exit 1; }
done
pages=("$@")
[ ${#pages[@]} -gt 0 ] || pages=("$root"/tests/screen/pages/*.js)

# A display of its own, on the first free number, before the prefix starts: Wine's desktop takes
# the display it starts with.
display_file=$(mktemp /tmp/velmaris-display-XXXXXX)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$display_file")
rm -f "$display_file"
[ "$DISPLAY" != ":" ] || { kill $xvfb; echo "Xvfb did not start" >&2; exit 1; }

. "$root/tests/windows/wine_prefix.sh"
servers="$servers $xvfb"
export VELMARIS_PICTURES=$root/tests/data/image

passed=0 failed=0
if [ -f "$build/windows_unit_tests.exe" ]; then
  if output=$(cd "$root" && wine "$build/windows_unit_tests.exe" --gtest_filter='FormWindowTest.*' \
    --gtest_brief=1 2>&1); then
    echo "ok   FormWindowTest"; passed=$((passed + 1))
  else
    echo "FAIL FormWindowTest"; echo "$output" | sed 's/^/     /'; failed=$((failed + 1))
  fi
fi
for page in "${pages[@]}"; do
  name=$(basename "$page" .js)
  if output=$(python3 "$root/tests/pages/run_page.py" --wine --host "$build/velmaris.exe" \
    --library "$build/VelmarisClient.dll" --source-dir "$root" --screens "$build/screens" \
    "$page" 2>&1); then
    echo "ok   screen $name"; passed=$((passed + 1))
  else
    echo "FAIL screen $name"; echo "$output" | sed 's/^/     /'; failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed (screenshots in $build/screens)"
[ "$failed" -eq 0 ]
