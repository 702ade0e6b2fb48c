#!/bin/bash
# Cross-builds VelmarisClient.dll with MinGW-w64 into build-windows/ (or the folder given): for
# x86-64, or for 32-bit x86 with VELMARIS_WINDOWS_ARCH=i686 (default folder build-windows-i686/).
# The type library's IDL comes from velmaris-idl built for this machine: the one in
# build/ when there is one, else a build of just that tool in build-tools/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${VELMARIS_WINDOWS_ARCH:-x86_64}
case $arch in
  x86_64) toolchain=$root/cmake/mingw-w64.cmake; out=${1:-$root/build-windows} ;;
  i686) toolchain=$root/cmake/mingw-w64-i686.cmake; out=${1:-$root/build-windows-i686} ;;
  *) echo "VELMARIS_WINDOWS_ARCH: x86_64 or i686, not $arch" >&2; exit 2 ;;
esac
jobs=${VELMARIS_JOBS:-2}

idl=$root/build/velmaris-idl
if [ ! -x "$idl" ]; then
  cmake -S "$root" -B "$root/build-tools" -DCMAKE_BUILD_TYPE=Release -DVELMARIS_TESTS=OFF \
    -DVELMARIS_BENCH=OFF >/dev/null
  cmake --build "$root/build-tools" -j"$jobs" --target velmaris-idl
  idl=$root/build-tools/velmaris-idl
fi

cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DVELMARIS_WERROR=ON -DVELMARIS_IDL_TOOL="$idl" >/dev/null
cmake --build "$out" -j"$jobs" --target VelmarisClient
echo "$out/VelmarisClient.dll"
