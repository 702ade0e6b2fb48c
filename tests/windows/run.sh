#!/bin/bash
# The Windows build under Wine: the portable unit tests as a Windows program (unit_tests.sh), the
# platform set against reference servers over HTTP and HTTPS (platform_test.sh), the page tests
# through velmaris.exe (pages.sh), the forms on screen on an X server of their own (screens.sh,
# screenshots in BUILD_DIR/screens/), the browser tests against `velmaris.exe bridge` (browser.sh),
# then the DLL as Windows clients use it, the x86-64 build and then the 32-bit one (which 32-bit
# hosts load) in the same WoW64 prefix: regsvr32 registers it, cscript runs the JScript and
# VBScript files here against the reference content server on loopback, and regsvr32 /u must
# take away every key it wrote; each through the script hosts of its own width.
# Usage: run.sh [BUILD_DIR [BUILD_DIR_I686]] (default build-windows/ and BUILD_DIR-i686/, built
# first).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build-windows}
build32=${2:-$build-i686}
bash "$root/scripts/build-windows.sh" "$build" >/dev/null
VELMARIS_WINDOWS_ARCH=i686 bash "$root/scripts/build-windows.sh" "$build32" >/dev/null
cmake --build "$build" -j"${VELMARIS_JOBS:-2}" --target windows_unit_tests windows_socket_suite \
  windows_platform_test windows_trust_authority velmaris >/dev/null
bash "$here/unit_tests.sh" "$build" --gtest_brief=1
sh "$here/platform_test.sh" "$build"
bash "$here/pages.sh" "$build"
bash "$here/screens.sh" "$build"
bash "$here/browser.sh" "$build"

. "$here/wine_prefix.sh"
win() { winepath -w "$1"; }

# A reference content server of its own for folder $1 (its root srv/, a work/ beside it): sets
# `server`.
start_server() {
  mkdir -p "$1/srv" "$1/work"
  python3 "$root/tools/refserver.py" --root "$1/srv" --port 0 --idle-exit 120 \
    --parent-pid $$ --quiet > "$1/port" &
  servers="$servers $!"
  for _ in $(seq 50); do [ -s "$1/port" ] && break; sleep 0.1; done
  server=http://127.0.0.1:$(head -1 "$1/port")
}

failed=0
keys=("HKCR\\VelmarisClient.FileUpload\\CLSID" "HKCR\\VelmarisClient.OfficeImport\\CLSID"
  "HKCR\\CLSID\\{952E4E7D-EC4D-4C77-BBEE-3D65D3D748F4}\\InprocServer32"
  "HKCR\\TypeLib\\{EA2D348B-F52D-416F-AAEF-73465E9D7620}")
# With Wine's 32-bit half installed, `wine` starts the system's own programs as 32-bit ones (even
# by a system32 path); its 64-bit loader starts the 64-bit ones.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine
# Registers the DLL in $1 with the tools that loader $2 starts from system folder $3 (system32:
# 64-bit; syswow64: 32-bit, with a registry view of its own), runs every script against it, and
# unregisters it.
check_dll() {
  local loader=$2 system="C:\\windows\\$3" label=$3 dir=$scratch/$3 copy output script key
  # Each width's scripts start afresh: a server and folders of their own.
  start_server "$dir"
  cp "$1" "$scratch/VelmarisClient.dll"
  # A prefix just made may still be starting its services: Wine then fails to start regsvr32
  # itself ("ShellExecuteEx" in its message, before the DLL is loaded), so that one start is tried
  # again.
  register() { "$loader" "$system\\regsvr32.exe" /s "$@" "$(win "$scratch/VelmarisClient.dll")"; }
  registered() { "$loader" "$system\\reg.exe" query "$1" >/dev/null 2>&1; }
  register || { sleep 2; register; } || { echo "$label: regsvr32 failed"; failed=1; return; }
  for key in "${keys[@]}"; do
    registered "$key" || { echo "$label: not registered: $key"; failed=1; }
  done

  for script in "$here"/*.js "$here"/*.vbs; do
    copy=$scratch/$(basename "$script")
    iconv -f UTF-8 -t GBK "$script" > "$copy"
    output=$("$loader" "$system\\cscript.exe" //nologo "$(win "$copy")" "$server" \
      "$(win "$dir/srv")" "$(win "$dir/work")" 2>&1 | iconv -f GBK -t UTF-8 -c |
      tr -d '\r') || true
    if [ "$(echo "$output" | tail -1)" = "PASS" ]; then
      echo "ok   $label $(basename "$script")"
    else
      echo "FAIL $label $(basename "$script")"; echo "$output" | sed 's/^/     /'; failed=1
    fi
  done

  register /u || { echo "$label: regsvr32 /u failed"; failed=1; }
  for key in "${keys[@]}" "HKCR\\CLSID\\{952E4E7D-EC4D-4C77-BBEE-3D65D3D748F4}"; do
    if registered "$key"; then echo "$label: left behind: $key"; failed=1; fi
  done
}
check_dll "$build/VelmarisClient.dll" "$wine64" system32
check_dll "$build32/VelmarisClient.dll" wine syswow64
exit $failed
