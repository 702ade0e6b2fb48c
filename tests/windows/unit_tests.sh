#!/bin/bash
# The portable unit tests as a Windows program under Wine, on a prefix of its own (removed
# afterwards) on a Chinese system, as in run.sh. Usage: unit_tests.sh [BUILD_DIR] [gtest options]
# (default build-windows/, which must hold windows_unit_tests.exe). Exits with the tests' status.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
shift || true
program=$build/windows_unit_tests.exe
[ -f "$program" ] || { echo "no $program: build the windows_unit_tests target" >&2; exit 1; }

. "$root/tests/windows/wine_prefix.sh"
# The tests' folders go to C:\t, as long a name as /tmp: some expected progress values count the
# bytes of a file's path. They run from the source root: on its drive (Z:, the Unix root) the
# test data's Unix path names the same folder.
mkdir -p "$WINEPREFIX/drive_c/t"
wine reg add 'HKCU\Environment' /v TMPDIR /d 'C:\t' /f >/dev/null 2>&1
cd "$root"
status=0
wine "$program" "$@" || status=$?
exit $status
