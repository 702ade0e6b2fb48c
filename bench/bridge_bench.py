#!/usr/bin/env python3
"""The browser bridge measured from a page in headless Chromium.

  python3 bench/bridge_bench.py [--build build] [--runs 5] [--trips 10000] [--pairs 20]
                                [--size-mib 256] [--form-changes 500] [--json]

The library registered in a private registry, `velmaris bridge --port 0 --allow ORIGIN` started
for the origin of a static server on 127.0.0.1 that serves bench/bridge_page.html cross-origin
isolated (so performance.now() is precise to microseconds), and the page opened through
bench/bridge_page.mjs. Then:
  - round trips: --runs times, on a fresh connection and FileUpload, --trips sequential
    `await control.get("NewFileName")`, each timed in the page; median and p99 of each run; and
    as many messages of the same size, one after the other, to a bare WebSocket echo (Python, on
    loopback), which is what the browser's own WebSocket costs; and the same reads from a bare
    client (Python, tests/browser/door.py's), which is what the bridge costs without a browser;
  - form changes: --runs times, ImageUpload's form shown in the page (velmaris.js showForm),
    --form-changes clicks on its watermark box, each timed from the click until the control's
    answer (its watermark text box enabled or disabled) shows in the page's DOM;
  - upload: after one untimed pair, --pairs pairs alternating of a --size-mib upload to the native
    sink (velmaris-sink, as bench/upload_bench.py runs it) started from the page through the bridge
    and from `velmaris run bench/bridge_upload.js`, each a fresh FileUpload; both time the
    StartUpload call alone, from just before it to its reply (performance.now() on both sides), so
    process and browser start-up are left out.
Prints a summary, or with --json the samples (for bench/run).
"""
import argparse
import base64
import hashlib
import http.server
import json
import math
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "browser"))
import upload_bench  # noqa: E402
from run_browser import ensure_node_modules  # noqa: E402
from door import Client  # noqa: E402

PAGE = "bridge_page.html"


def serve_page():
    """A static server on a free loopback port with the one page; returns it and its origin."""
    with open(os.path.join(HERE, PAGE), "rb") as f:
        body = f.read()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            if self.path.split("?")[0] != "/" + PAGE:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            # Isolated, Chromium times in microseconds; credentialless lets the client script
            # come from the bridge as sites load it.
            self.send_header("Cross-Origin-Opener-Policy", "same-origin")
            self.send_header("Cross-Origin-Embedder-Policy", "credentialless")
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d" % server.server_address[1]


def echo(connection):
    """Answers each text frame of one WebSocket connection with the same text."""
    with connection, connection.makefile("rb") as stream:
        head = b""
        while not head.endswith(b"\r\n\r\n"):
            line = stream.readline()
            if not line:
                return
            head += line
        key = next(line.split(b":", 1)[1].strip() for line in head.split(b"\r\n")
                   if line.lower().startswith(b"sec-websocket-key:"))
        accept = base64.b64encode(hashlib.sha1(key + b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11")
                                  .digest())
        connection.sendall(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                           b"Connection: Upgrade\r\nSec-WebSocket-Accept: " + accept + b"\r\n\r\n")
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        while True:
            first = stream.read(2)
            if len(first) < 2 or first[0] & 0x0F == 8:  # gone, or a close
                return
            n = first[1] & 0x7F
            if n == 126:
                n = int.from_bytes(stream.read(2), "big")
            mask = stream.read(4)
            text = bytes(b ^ mask[i % 4] for i, b in enumerate(stream.read(n)))
            connection.sendall(bytes([0x81, 126]) + n.to_bytes(2, "big") + text if n >= 126
                               else bytes([0x81, n]) + text)


def serve_echo():
    listener = socket.create_server(("127.0.0.1", 0))

    def accept():
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=echo, args=(connection,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return listener.getsockname()[1]


def start_bridge(host, env, origin):
    bridge = subprocess.Popen([host, "bridge", "--port", "0", "--allow", origin], env=env,
                              stdout=subprocess.PIPE, text=True)
    words = bridge.stdout.readline().split()
    if words[:2] != ["listening", "on"]:
        bridge.kill()
        sys.exit("bridge_bench: the bridge did not start")
    # What it says later goes nowhere, without it waiting on a full pipe.
    threading.Thread(target=bridge.stdout.read, daemon=True).start()
    return bridge, int(words[-1].rsplit(":", 1)[1])


class Page:
    """The page in Chromium: evaluate(expression) awaits it there and returns its value."""

    def __init__(self, url, env):
        self.node = subprocess.Popen(["node", os.path.join(HERE, "bridge_page.mjs"), url], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def evaluate(self, expression):
        self.node.stdin.write(expression + "\n")
        self.node.stdin.flush()
        line = self.node.stdout.readline()
        if not line:
            sys.exit(f"bridge_bench: the browser ended during {expression[:40]}")
        answer = json.loads(line)
        if "error" in answer:
            sys.exit(f"bridge_bench: {expression[:40]}: {answer['error']}")
        return answer["value"]

    def close(self):
        self.node.stdin.close()
        self.node.wait(timeout=30)


def percentile(values, share):
    ordered = sorted(values)
    return ordered[max(0, math.ceil(share * len(ordered)) - 1)]


def trip_run(times):
    return {"count": len(times), "median_ms": statistics.median(times),
            "p99_ms": percentile(times, 0.99), "mean_ms": statistics.fmean(times),
            "max_ms": max(times)}


def bare_trips(port, origin, count):
    """The page's reads from a client with no browser: each round trip in ms."""
    client = Client(port, origin)
    control = client.request({"op": "create", "progId": "VelmarisClient.FileUpload"})["control"]
    read = {"op": "get", "control": control, "name": "NewFileName"}
    times = []
    for _ in range(count):
        start = time.perf_counter()
        client.request(read)
        times.append((time.perf_counter() - start) * 1000)
    client.close()
    return times


def checked(result, what):
    if result["answer"] in ("", "Error"):
        sys.exit(f"bridge_bench: {what} failed (NewFileName {result['answer']!r})")
    return result["ms"] / 1000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--trips", type=int, default=10000)
    parser.add_argument("--pairs", type=int, default=20)
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--form-changes", type=int, default=500)
    parser.add_argument("--json", action="store_true", help="print the samples as JSON")
    args = parser.parse_args()
    host = os.path.join(args.build, "velmaris")
    chromium = os.environ.get("CHROMIUM") or shutil.which("chromium")
    if not (chromium and shutil.which("node")):
        sys.exit("bridge_bench: Chromium or node is missing (scripts/setup-deps.sh installs them)")
    if not ensure_node_modules():
        sys.exit("bridge_bench: npm ci failed in tests/browser")

    with tempfile.TemporaryDirectory() as scratch:
        env = dict(os.environ, CHROMIUM=chromium, TEMP=scratch,
                   VELMARIS_REGISTRY=os.path.join(scratch, "classes.reg"),
                   XDG_CONFIG_HOME=os.path.join(scratch, "config"))
        # The bridge reads no allow list but the run's and, with no display, asks nobody.
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        subprocess.run([host, "register", os.path.join(args.build, "libVelmarisClient.so")],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        big = os.path.join(scratch, "big.bin")
        upload_bench.make_file(big, args.size_mib)
        server, origin = serve_page()
        bridge, port = start_bridge(host, env, origin)
        sink = page = None
        try:
            page = Page(f"{origin}/{PAGE}?bridge={port}", env)
            isolated = page.evaluate("ready")["isolated"]
            page.evaluate("roundTrips(1000).then(() => 0)")  # warm-up, untimed
            echo_port = serve_echo()
            trips, bare, echoes = [], [], []
            # In turn, run by run: the shared machine's load moves all three alike.
            for _ in range(args.runs):
                trips.append(trip_run(page.evaluate(f"roundTrips({args.trips})")))
                bare.append(trip_run(bare_trips(port, origin, args.trips)))
                echoes.append(trip_run(page.evaluate(f"echoTrips({echo_port}, {args.trips})")))

            # A change in a form shown in the page, from the editor's click to the page's DOM.
            forms = [trip_run(page.evaluate(f"formChanges({args.form_changes})"))
                     for _ in range(args.runs)]

            sink, sink_port = upload_bench.start_sink(args.build)
            url = f"http://127.0.0.1:{sink_port}/upload.asp"
            call = f"uploadOnce({json.dumps(url)}, {json.dumps(big)})"
            script = [host, "run", os.path.join(HERE, "bridge_upload.js"), url, big]

            def through_bridge():
                return checked(page.evaluate(call), "the upload through the bridge")

            def page_host():
                out = subprocess.run(script, env=env, stdout=subprocess.PIPE, text=True,
                                     check=True)
                return checked(json.loads(out.stdout.strip().splitlines()[-1]),
                               "the upload from velmaris run")

            ours, theirs = upload_bench.paired(through_bridge, page_host, args.pairs)
            if bridge.poll() is not None:
                sys.exit(f"bridge_bench: the bridge ended (status {bridge.returncode})")
        finally:
            if page:
                page.close()
            if sink:
                upload_bench.stop_sink(sink)
            bridge.terminate()
            bridge.wait(10)
            server.shutdown()

    results = {"trips": args.trips, "isolated": isolated, "round_trips": trips, "echo_trips": echoes, "bare_trips": bare,
               "form_changes": forms, "size_mib": args.size_mib, "bridge_upload_s": ours, "run_upload_s": theirs}
    if args.json:
        json.dump(results, sys.stdout, indent=1)
        print()
        return
    medians = [t["median_ms"] for t in trips]
    p99s = [t["p99_ms"] for t in trips]
    print(f"Round trip, {args.trips} sequential gets a run, {args.runs} runs"
          f"{'' if isolated else ' (page NOT isolated: 100 µs timer steps)'}: median "
          f"{statistics.median(medians):.3f} ms ({min(medians):.3f}–{max(medians):.3f}), p99 "
          f"{statistics.median(p99s):.3f} ms ({min(p99s):.3f}–{max(p99s):.3f}) (target median "
          f"≤ 0.2 ms)")
    for label, runs in (("from a bare client (no browser)", bare), ("to a bare WebSocket echo", echoes)):
        medians = [t["median_ms"] for t in runs]
        p99s = [t["p99_ms"] for t in runs]
        print(f"The same {label}: median {statistics.median(medians):.3f} ms "
              f"({min(medians):.3f}–{max(medians):.3f}), p99 {statistics.median(p99s):.3f} ms "
              f"({min(p99s):.3f}–{max(p99s):.3f})")
    medians = [t["median_ms"] for t in forms]
    p99s = [t["p99_ms"] for t in forms]
    print(f"A form's change in the page, click to DOM, {args.form_changes} a run: median "
          f"{statistics.median(medians):.3f} ms ({min(medians):.3f}–{max(medians):.3f}), p99 "
          f"{statistics.median(p99s):.3f} ms (target median ≤ 16 ms, one frame)")
    ratio = statistics.median(ours) / statistics.median(theirs)
    print(f"Upload of {args.size_mib} MiB to the native sink, {args.pairs} pairs: through the "
          f"bridge {upload_bench.summary(ours)} s, velmaris run {upload_bench.summary(theirs)} s; "
          f"ratio {ratio:.3f} (target ≤ 1.05)")


if __name__ == "__main__":
    main()
