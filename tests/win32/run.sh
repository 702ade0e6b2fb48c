#!/bin/sh
# Cross-builds tests/win32/platform_test.cpp with MinGW-w64 and runs it under Wine against the
# reference content server on loopback. Run from the source root, holding the build lock:
#   flock /tmp/velmaris-build.lock sh tests/win32/run.sh [OUT_DIR]
# WINEPREFIX is used when set, else a prefix of its own in OUT_DIR (made on first use).
set -eu
out=${1:-build-win32-test}
mkdir -p "$out/obj"
cxx="ccache x86_64-w64-mingw32-g++-posix"
command -v ccache >/dev/null || cxx=x86_64-w64-mingw32-g++-posix
flags="-std=c++20 -O1 -I. -Wall -Wextra -Wpedantic -Wshadow -Werror -D_WIN32_WINNT=0x0601
  -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX"
sources="$(ls base/*.cpp | grep -v _iconv) platform/filesystem.cpp platform/queued_socket.cpp
  platform/socket_errors.cpp
  platform/headless/headless_ui.cpp $(ls platform/win32/*.cpp) tests/win32/platform_test.cpp"
objects=
for source in $sources; do
  object="$out/obj/$(echo "$source" | tr / _).o"
  $cxx $flags -c "$source" -o "$object"
  objects="$objects $object"
done
x86_64-w64-mingw32-g++-posix -static -o "$out/platform_test.exe" $objects \
  -lws2_32 -lmswsock -lcomdlg32 -lshell32 -lole32 -ladvapi32

export WINEPREFIX="${WINEPREFIX:-$(cd "$out" && pwd)/wineprefix}" WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1

root=$(mktemp -d)
python3 tools/refserver.py --root "$root" --port 0 --port-file "$root/port" --idle-exit 60 \
  --quiet >/dev/null &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$root"' EXIT
for _ in $(seq 50); do [ -s "$root/port" ] && break; sleep 0.1; done
wine "$out/platform_test.exe" "$(cat "$root/port")" "$(winepath -w "$root")"
