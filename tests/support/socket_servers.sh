#!/bin/sh
# Runs COMMAND beside reference content servers on loopback for the socket suite: one over HTTP,
# one over HTTPS, one for each certificate fault and one that never answers the handshake, each
# in a folder of its own (its root, its port in `port`) below a scratch folder that
# VELMARIS_SOCKET_SERVERS names. With --wine the folder is named as Windows programs see it and
# COMMAND runs under Wine (on the WINEPREFIX set). The servers end with this script, or after a
# minute without connections, and the folder goes with them.
# Usage: socket_servers.sh [--wine] COMMAND [ARGS...]. Exits with COMMAND's status.
set -eu
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
wine=
if [ "${1:-}" = --wine ]; then
  wine=wine
  shift
fi
folder=$(mktemp -d /tmp/velmaris-sockets-XXXXXX)
pids=
trap 'kill $pids 2>/dev/null || true; wait; rm -rf "$folder"' EXIT

serve() {
  name=$1
  shift
  mkdir "$folder/$name"
  python3 "$root_dir/tools/refserver.py" --root "$folder/$name" --port 0 \
    --port-file "$folder/$name/port" --parent-pid $$ --idle-exit 60 --quiet "$@" >/dev/null &
  pids="$pids $!"
}
serve plain
serve tls --tls
for fault in self-signed expired wrong-name unknown-ca; do serve "$fault" --cert-fault "$fault"; done
serve stall --tls-stall
for name in plain tls self-signed expired wrong-name unknown-ca stall; do
  for _ in $(seq 100); do [ -s "$folder/$name/port" ] && break; sleep 0.1; done
done

if [ -n "$wine" ]; then
  VELMARIS_SOCKET_SERVERS=$(winepath -w "$folder")
else
  VELMARIS_SOCKET_SERVERS=$folder
fi
export VELMARIS_SOCKET_SERVERS
status=0
$wine "$@" || status=$?
exit $status
