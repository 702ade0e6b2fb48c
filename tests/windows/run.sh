#!/bin/bash
# The Windows build under Wine: the portable unit tests as a Windows program (unit_tests.sh), the
# platform set against reference servers over HTTP and HTTPS (platform_test.sh), the page tests
# through velmaris.exe (pages.sh), the browser tests against `velmaris.exe bridge` (browser.sh),
# then the DLL as Windows clients use it: regsvr32 registers it, cscript runs the JScript and
# VBScript files here against the reference content server on loopback, and regsvr32 /u must
# take away every key it wrote; between the two, Wine's ATL container embeds the controls
# (activex_container.cpp) on a display of its own (Xvfb).
# Usage: run.sh [BUILD_DIR] (default build-windows/, built first).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-windows}
bash "$root/scripts/build-windows.sh" "$build" >/dev/null
cmake --build "$build" -j"${VELMARIS_JOBS:-2}" --target windows_unit_tests windows_socket_suite \
  windows_platform_test windows_trust_authority windows_activex_container velmaris >/dev/null
bash "$here/unit_tests.sh" "$build" --gtest_brief=1
sh "$here/platform_test.sh" "$build"
bash "$here/pages.sh" "$build"
bash "$here/browser.sh" "$build"
dll=$build/VelmarisClient.dll

. "$here/wine_prefix.sh"
win() { winepath -w "$1"; }
# The prefix's 64-bit programs (reg, cscript) whichever loader `wine` is: where wine32 is
# installed it starts their 32-bit copies, which see neither the 64-bit DLL nor its keys.
wine64() {
  if [ -x /usr/lib/wine/wine64 ]; then
    WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 "$@"
  else
    wine "$@"
  fi
}

mkdir -p "$scratch/srv" "$scratch/work"
python3 "$root/tools/refserver.py" --root "$scratch/srv" --port 0 --idle-exit 120 \
  --parent-pid $$ --quiet > "$scratch/port" &
servers=$!
for _ in $(seq 50); do [ -s "$scratch/port" ] && break; sleep 0.1; done
server=http://127.0.0.1:$(head -1 "$scratch/port")

failed=0
cp "$dll" "$scratch/VelmarisClient.dll"
# A prefix just made may still be starting its services: Wine then fails to start regsvr32 itself
# ("ShellExecuteEx" in its message, before the DLL is loaded), so that one start is tried again.
register() { wine regsvr32 /s "$@" "$(win "$scratch/VelmarisClient.dll")"; }
keys=("HKCR\\VelmarisClient.FileUpload\\CLSID" "HKCR\\VelmarisClient.OfficeImport\\CLSID"
  "HKCR\\TypeLib\\{EA2D348B-F52D-416F-AAEF-73465E9D7620}")
clsids=({952E4E7D-EC4D-4C77-BBEE-3D65D3D748F4} {FF621A23-F3AE-4A5A-830B-8DA89EB81FD6}
  {FFBA539E-C62C-4484-9202-40A879CD56A7} {3C7CF215-3189-4F36-8616-263A314E5DC5}
  {92115915-A83E-4F7A-AB82-80B57B5046F5})
catids=({40FC6ED4-2438-11CF-A3DB-080036F12502} {7DD95801-9882-11CF-9FA9-00AA006C42C4}
  {7DD95802-9882-11CF-9FA9-00AA006C42C4})
# The categories' own keys stay after /u when they were there before registration.
made_categories=()
for catid in "${catids[@]}"; do
  wine64 reg query "HKCR\\Component Categories\\$catid" >/dev/null 2>&1 ||
    made_categories+=("HKCR\\Component Categories\\$catid")
done
register || { sleep 2; register; } || { echo "regsvr32 failed"; exit 1; }
for key in "${keys[@]}" "${made_categories[@]}"; do
  wine64 reg query "$key" >/dev/null 2>&1 || { echo "not registered: $key"; failed=1; }
done
# What a container looks for, on every control: one query per class lists its keys.
for clsid in "${clsids[@]}"; do
  listed=$(wine64 reg query "HKCR\\CLSID\\$clsid" /s 2>/dev/null | tr -d '\r' | grep '^HKEY' || true)
  for sub in InprocServer32 Control MiscStatus 'MiscStatus\1' ToolboxBitmap32 Version \
    VersionIndependentProgID "${catids[@]/#/Implemented Categories\\}"; do
    grep -qixF "HKEY_CLASSES_ROOT\\CLSID\\$clsid\\$sub" <<< "$listed" ||
      { echo "not registered: $clsid\\$sub"; failed=1; }
  done
done
value() { wine64 reg query "$1" /ve 2>/dev/null | tr -d '\r' | awk 'NF >= 3 { print $NF }'; }
misc="HKCR\\CLSID\\{952E4E7D-EC4D-4C77-BBEE-3D65D3D748F4}\\MiscStatus"
[ "$(value "$misc")" = 131473 ] && [ "$(value "$misc\\1")" = 131473 ] ||
  { echo "MiscStatus is not the control's: $(value "$misc")"; failed=1; }

for script in "$here"/*.js "$here"/*.vbs; do
  copy=$scratch/$(basename "$script")
  iconv -f UTF-8 -t GBK "$script" > "$copy"
  output=$(wine64 cscript //nologo "$(win "$copy")" "$server" "$(win "$scratch/srv")" \
    "$(win "$scratch/work")" 2>&1 | iconv -f GBK -t UTF-8 -c | tr -d '\r') || true
  if [ "$(echo "$output" | tail -1)" = "PASS" ]; then
    echo "ok   $(basename "$script")"
  else
    echo "FAIL $(basename "$script")"; echo "$output" | sed 's/^/     /'; failed=1
  fi
done

# The container on a display of its own. Wine's desktop takes the display it starts with, and the
# prefix started without one (so that a box a script would show cannot wait for a click): its
# processes are ended, and the next start brings a desktop on the display.
started=$(date +%s%N)
display_file=$scratch/display
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
servers="$servers $!"
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
wineserver -k 2>/dev/null || true
wineserver -w
export DISPLAY=:$(head -1 "$display_file")
mkdir -p "$scratch/screens" "$build/screens"
cp "$root/tests/data/image/a.jpg" "$scratch/work/a.jpg"
output=$(wine "$build/windows_activex_container.exe" \
  "$(win "$scratch/VelmarisClient.dll")" "$server" "$(win "$scratch/srv")" \
  "$(win "$scratch/work")" "$(win "$scratch/screens")" "$(win "$scratch/work/a.jpg")" 2>&1 |
  tr -d '\r') || true
if [ "$(echo "$output" | tail -1)" = "PASS" ]; then
  echo "ok   activex_container ($((($(date +%s%N) - started) / 1000000)) ms)"
else
  echo "FAIL activex_container"; echo "$output" | sed 's/^/     /'; failed=1
fi
for shot in "$scratch"/screens/*.bmp; do
  [ -e "$shot" ] && convert "$shot" "$build/screens/$(basename "${shot%.bmp}").png"
done

register /u || { echo "regsvr32 /u failed"; failed=1; }
for key in "${keys[@]}" "${made_categories[@]}" "${clsids[@]/#/HKCR\\CLSID\\}"; do
  if wine64 reg query "$key" >/dev/null 2>&1; then echo "left behind: $key"; failed=1; fi
done
# The prefix's programs go before the display does.
wineserver -k 2>/dev/null || true
wineserver -w
exit $failed
