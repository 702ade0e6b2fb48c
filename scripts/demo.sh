#!/usr/bin/env bash
# The main job: builds, registers the library, starts the reference content server on loopback
# and runs examples/demo.js through the page host. The server keeps running afterwards (it stops
# by itself after ten idle minutes) so the index page can be opened in a browser.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
bash scripts/build.sh
build=${BUILD_DIR:-build}

export VELMARIS_REGISTRY=${VELMARIS_REGISTRY:-$PWD/$build/demo/classes.reg}
mkdir -p "$build/demo"
"$build/velmaris" register "$build/libVelmarisClient.so"

root="$PWD/$build/demo/server"
port_file="$build/demo/port"
rm -f "$port_file"
python3 tools/refserver.py --root "$root" --port 0 --port-file "$port_file" --idle-exit 600 \
  --quiet >/dev/null 2>"$build/demo/server.log" &
for _ in $(seq 100); do [ -s "$port_file" ] && break; sleep 0.1; done
port=$(cat "$port_file")

VELMARIS_SERVER="http://127.0.0.1:$port" "$build/velmaris" run examples/demo.js examples/files
echo "The reference content server keeps running on http://127.0.0.1:$port/ for ten idle minutes."
