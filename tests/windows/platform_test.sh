#!/bin/sh
# Runs the Windows platform set's tests under Wine, on a prefix of its own (removed afterwards):
# windows_socket_suite.exe against the reference content servers that socket_servers.sh starts,
# then windows_platform_test.exe (the loop, files and dialogs). Usage: platform_test.sh
# [BUILD_DIR] (default build-windows/, which must hold both programs). Fails when either does.
set -eu
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root_dir/build-windows}" && pwd)
for program in windows_socket_suite windows_platform_test; do
  [ -f "$build/$program.exe" ] || { echo "no $build/$program.exe: build the $program target" >&2; exit 1; }
done

. "$root_dir/tests/windows/wine_prefix.sh"

status=0
sh "$root_dir/tests/support/socket_servers.sh" --wine "$build/windows_socket_suite.exe" \
  --gtest_brief=1 || status=1
wine "$build/windows_platform_test.exe" || status=1
exit $status
