#!/bin/sh
# Runs windows_platform_test.exe under Wine, on a prefix of its own (removed afterwards), against
# reference content servers on loopback: one over HTTP, one over HTTPS, one for each certificate
# fault and one that stalls the handshake. Usage: platform_test.sh [BUILD_DIR] (default
# build-windows/, which must hold the program). Exits with the test's status.
set -eu
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root_dir/build-windows}" && pwd)
program=$build/windows_platform_test.exe
[ -f "$program" ] || { echo "no $program: build the windows_platform_test target" >&2; exit 1; }

. "$root_dir/tests/windows/wine_prefix.sh"

serve() {
  name=$1
  shift
  mkdir -p "$scratch/srv/$name"
  python3 "$root_dir/tools/refserver.py" --root "$scratch/srv/$name" --port 0 \
    --port-file "$scratch/srv/$name/port" --idle-exit 60 --quiet "$@" >/dev/null &
  servers="$servers $!"
}
serve plain
serve tls --tls
for fault in self-signed expired wrong-name unknown-ca; do serve "$fault" --cert-fault "$fault"; done
serve stall --tls-stall
for name in plain tls self-signed expired wrong-name unknown-ca stall; do
  for _ in $(seq 100); do [ -s "$scratch/srv/$name/port" ] && break; sleep 0.1; done
done
wine "$program" "$(winepath -w "$scratch/srv")"
