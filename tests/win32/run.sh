#!/bin/sh
# Cross-builds tests/win32/platform_test.cpp with MinGW-w64 and runs it under Wine against the
# reference content server on loopback: one over HTTP, one over HTTPS, one for each certificate
# fault and one that stalls the handshake. Run from the source root, holding the build lock:
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
  -lws2_32 -lmswsock -lsecur32 -lcrypt32 -lcomdlg32 -lshell32 -lole32 -ladvapi32

export WINEPREFIX="${WINEPREFIX:-$(cd "$out" && pwd)/wineprefix}" WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1

root=$(mktemp -d)
servers=
trap 'kill $servers 2>/dev/null; rm -rf "$root"' EXIT
serve() {
  name=$1
  shift
  mkdir "$root/$name"
  python3 tools/refserver.py --root "$root/$name" --port 0 --port-file "$root/$name/port" \
    --idle-exit 60 --quiet "$@" >/dev/null &
  servers="$servers $!"
}
serve plain
serve tls --tls
for fault in self-signed expired wrong-name unknown-ca; do serve "$fault" --cert-fault "$fault"; done
serve stall --tls-stall
for name in plain tls self-signed expired wrong-name unknown-ca stall; do
  for _ in $(seq 100); do [ -s "$root/$name/port" ] && break; sleep 0.1; done
done
wine "$out/platform_test.exe" "$(winepath -w "$root")"
