#!/bin/bash
# The Windows build under Wine: the portable unit tests as a Windows program (unit_tests.sh), the
# platform set against reference servers over HTTP and HTTPS (platform_test.sh), the page tests
# through velmaris.exe (pages.sh), the forms on screen on an X server of their own (screens.sh,
# screenshots in BUILD_DIR/screens/), the browser tests against `velmaris.exe bridge` (browser.sh),
# then the DLL as Windows clients use it, the x86-64 build and then the 32-bit one (which 32-bit
# hosts load) in the same WoW64 prefix: regsvr32 registers it, cscript runs the JScript and
# VBScript files here against the reference content server on loopback, and regsvr32 /u must
# take away every key it wrote (among them those an ActiveX container reads); each through the
# script hosts of its own width. While the x86-64 build is registered, Wine's ATL container embeds
# the controls (activex_container.cpp) on a display of its own (Xvfb), its screenshots kept in
# BUILD_DIR/screens/.
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
  windows_platform_test windows_trust_authority windows_activex_container velmaris >/dev/null
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
  "HKCR\\TypeLib\\{EA2D348B-F52D-416F-AAEF-73465E9D7620}")
clsids=({952E4E7D-EC4D-4C77-BBEE-3D65D3D748F4} {FF621A23-F3AE-4A5A-830B-8DA89EB81FD6}
  {FFBA539E-C62C-4484-9202-40A879CD56A7} {3C7CF215-3189-4F36-8616-263A314E5DC5}
  {92115915-A83E-4F7A-AB82-80B57B5046F5})
catids=({40FC6ED4-2438-11CF-A3DB-080036F12502} {7DD95801-9882-11CF-9FA9-00AA006C42C4}
  {7DD95802-9882-11CF-9FA9-00AA006C42C4})
# What a container looks for under every control's CLSID.
subkeys=(InprocServer32 Control MiscStatus 'MiscStatus\1' ToolboxBitmap32 Version
  VersionIndependentProgID "${catids[@]/#/Implemented Categories\\}")
# With Wine's 32-bit half installed, `wine` starts the system's own programs as 32-bit ones (even
# by a system32 path); its 64-bit loader starts the 64-bit ones.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine
# The controls in Wine's ATL container (the x86-64 build, registered), on a display of its own.
# Wine's desktop takes the display it starts with, and the prefix runs without one (so that a box
# a script would show cannot wait for a click): the prefix's processes end before and after.
container() {
  local dir=$scratch/container started output shot
  start_server "$dir"
  mkdir -p "$dir/screens" "$build/screens"
  cp "$root/tests/data/image/a.jpg" "$dir/work/a.jpg"
  started=$(date +%s%N)
  # A display number no one uses (a low one may be another X server's, seen only through its
  # abstract socket).
  local display=90
  while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do
    display=$((display + 1))
  done
  Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
  # The arguments first: the first program after the restart starts the desktop, on its display.
  local args=("$(win "$scratch/VelmarisClient.dll")" "$server" "$(win "$dir/srv")"
    "$(win "$dir/work")" "$(win "$dir/screens")" "$(win "$dir/work/a.jpg")")
  wineserver -k 2>/dev/null || true
  wineserver -w
  output=$(DISPLAY=:$display wine "$build/windows_activex_container.exe" "${args[@]}" 2>&1 |
    tr -d '\r') || true
  wineserver -k 2>/dev/null || true
  wineserver -w
  kill $xvfb 2>/dev/null || true
  if [ "$(echo "$output" | tail -1)" = "PASS" ]; then
    echo "ok   system32 activex_container ($((($(date +%s%N) - started) / 1000000)) ms)"
  else
    echo "FAIL system32 activex_container"; echo "$output" | sed 's/^/     /'; failed=1
  fi
  for shot in "$dir"/screens/*.bmp; do
    if [ -e "$shot" ]; then convert "$shot" "$build/screens/$(basename "${shot%.bmp}").png"; fi
  done
}

# Registers the DLL in $1 with the tools that loader $2 starts from system folder $3 (system32:
# 64-bit; syswow64: 32-bit, with a registry view of its own), runs every script against it (and
# command $4 when given), and unregisters it.
check_dll() {
  local loader=$2 system="C:\\windows\\$3" label=$3 dir=$scratch/$3 copy output script key
  local clsid listed sub made_categories=()
  # Each width's scripts start afresh: a server and folders of their own.
  start_server "$dir"
  cp "$1" "$scratch/VelmarisClient.dll"
  # A prefix just made may still be starting its services: Wine then fails to start regsvr32
  # itself ("ShellExecuteEx" in its message, before the DLL is loaded), so that one start is tried
  # again.
  register() { "$loader" "$system\\regsvr32.exe" /s "$@" "$(win "$scratch/VelmarisClient.dll")"; }
  registered() { "$loader" "$system\\reg.exe" query "$1" >/dev/null 2>&1; }
  # The categories' own keys stay after /u when they were there before registration.
  for key in "${catids[@]/#/HKCR\\Component Categories\\}"; do
    registered "$key" || made_categories+=("$key")
  done
  register || { sleep 2; register; } || { echo "$label: regsvr32 failed"; failed=1; return; }
  for key in "${keys[@]}" "${made_categories[@]}"; do
    registered "$key" || { echo "$label: not registered: $key"; failed=1; }
  done
  # One query per class lists its keys.
  for clsid in "${clsids[@]}"; do
    listed=$("$loader" "$system\\reg.exe" query "HKCR\\CLSID\\$clsid" /s 2>/dev/null |
      tr -d '\r' | grep '^HKEY' || true)
    for sub in "${subkeys[@]}"; do
      grep -qixF "HKEY_CLASSES_ROOT\\CLSID\\$clsid\\$sub" <<< "$listed" ||
        { echo "$label: not registered: $clsid\\$sub"; failed=1; }
    done
  done
  key="HKCR\\CLSID\\${clsids[0]}\\MiscStatus"
  for key in "$key" "$key\\1"; do
    [ "$("$loader" "$system\\reg.exe" query "$key" /ve 2>/dev/null | tr -d '\r' |
      awk 'NF >= 3 { print $NF }')" = 131473 ] ||
      { echo "$label: $key is not the controls' OLEMISC flags"; failed=1; }
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

  [ -z "${4:-}" ] || "$4"

  register /u || { echo "$label: regsvr32 /u failed"; failed=1; }
  for key in "${keys[@]}" "${made_categories[@]}" "${clsids[@]/#/HKCR\\CLSID\\}"; do
    if registered "$key"; then echo "$label: left behind: $key"; failed=1; fi
  done
}
check_dll "$build/VelmarisClient.dll" "$wine64" system32 container
check_dll "$build32/VelmarisClient.dll" wine syswow64
exit $failed
