#!/bin/bash
# The Windows build under Wine: the portable unit tests as a Windows program (unit_tests.sh), the
# platform set against reference servers over HTTP and HTTPS (platform_test.sh), the page tests
# through velmaris.exe (pages.sh), the forms on screen on an X server of their own (screens.sh,
# screenshots in BUILD_DIR/screens/), the browser tests against `velmaris.exe bridge` (browser.sh),
# then the DLL as Windows clients use it: regsvr32 registers it, cscript runs the JScript and
# VBScript files here against the reference content server on loopback, and regsvr32 /u must
# take away every key it wrote. Usage: run.sh [BUILD_DIR] (default build-windows/, built first).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-windows}
bash "$root/scripts/build-windows.sh" "$build" >/dev/null
cmake --build "$build" -j"${VELMARIS_JOBS:-2}" --target windows_unit_tests windows_socket_suite \
  windows_platform_test windows_trust_authority velmaris >/dev/null
bash "$here/unit_tests.sh" "$build" --gtest_brief=1
sh "$here/platform_test.sh" "$build"
bash "$here/pages.sh" "$build"
bash "$here/screens.sh" "$build"
bash "$here/browser.sh" "$build"
dll=$build/VelmarisClient.dll

. "$here/wine_prefix.sh"
win() { winepath -w "$1"; }

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
register || { sleep 2; register; } || { echo "regsvr32 failed"; exit 1; }
keys=("HKCR\\VelmarisClient.FileUpload\\CLSID" "HKCR\\VelmarisClient.OfficeImport\\CLSID"
  "HKCR\\CLSID\\{952E4E7D-EC4D-4C77-BBEE-3D65D3D748F4}\\InprocServer32"
  "HKCR\\TypeLib\\{EA2D348B-F52D-416F-AAEF-73465E9D7620}")
for key in "${keys[@]}"; do
  wine reg query "$key" >/dev/null 2>&1 || { echo "not registered: $key"; failed=1; }
done

for script in "$here"/*.js "$here"/*.vbs; do
  copy=$scratch/$(basename "$script")
  iconv -f UTF-8 -t GBK "$script" > "$copy"
  output=$(wine cscript //nologo "$(win "$copy")" "$server" "$(win "$scratch/srv")" \
    "$(win "$scratch/work")" 2>&1 | iconv -f GBK -t UTF-8 -c | tr -d '\r') || true
  if [ "$(echo "$output" | tail -1)" = "PASS" ]; then
    echo "ok   $(basename "$script")"
  else
    echo "FAIL $(basename "$script")"; echo "$output" | sed 's/^/     /'; failed=1
  fi
done

register /u || { echo "regsvr32 /u failed"; failed=1; }
for key in "${keys[@]}" "HKCR\\CLSID\\{952E4E7D-EC4D-4C77-BBEE-3D65D3D748F4}"; do
  if wine reg query "$key" >/dev/null 2>&1; then echo "left behind: $key"; failed=1; fi
done
exit $failed
