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
# The same server over HTTPS, its certificate from an authority made for the run, which the host
# is told to trust the way OpenSSL users name one: SSL_CERT_FILE.
tls_root="$PWD/$build/demo/server-tls"
tls_port_file="$build/demo/port-tls"
rm -f "$tls_port_file"
python3 tools/refserver.py --root "$tls_root" --tls --port 0 --port-file "$tls_port_file" \
  --idle-exit 600 --quiet >/dev/null 2>"$build/demo/server-tls.log" &
for _ in $(seq 100); do [ -s "$port_file" ] && [ -s "$tls_port_file" ] && break; sleep 0.1; done
port=$(cat "$port_file")
tls_port=$(cat "$tls_port_file")

VELMARIS_SERVER="http://127.0.0.1:$port" VELMARIS_SECURE_SERVER="https://127.0.0.1:$tls_port" \
  SSL_CERT_FILE="$tls_root/tls/ca.pem" "$build/velmaris" run examples/demo.js examples/files
echo "The reference content server keeps running on http://127.0.0.1:$port/ for ten idle minutes."
