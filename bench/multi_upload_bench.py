#!/usr/bin/env python3
"""Folder-tree upload on loopback: files per second, side by side with curl in the same run.

  python3 bench/multi_upload_bench.py [--build build] [--files 2000] [--folders 20] [--runs 5]
                                      [--sink-runs 0] [--json]

Makes a tree of small files (1 to 4 KiB) spread over a few folders and uploads it to one reference
content server:
  - with MultiUpload (the velmaris-multi-upload driver): one request per file, the folder picked,
    the start button pressed;
  - with a loop of `curl -F`, one process per file, carrying the same "path" field and file part;
  - with a single `curl` process sending every file as its own request (`--next`), which leaves
    out the cost of starting a process per file;
  - with --sink-runs N, MultiUpload and the single `curl --next` process again, N times each,
    alternating, against the native sink (velmaris-sink), which answers every request at once
    and stores nothing, so what is timed is the client.
Prints a Markdown table of files per second (median, min-max over the runs), or with --json each
run's wall time (for bench/run).
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

from upload_bench import start_sink, stop_sink

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def make_tree(root, files, folders):
    """Returns the files as (relative folder, full path), in the order they were made."""
    made = []
    for i in range(files):
        folder = f"d{i % folders:02d}"
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        path = os.path.join(root, folder, f"f{i:05d}.txt")
        with open(path, "wb") as out:
            out.write(os.urandom(1024 * (1 + i % 4)))
        made.append((folder, path))
    return made


def start_server(root):
    server = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "tools", "refserver.py"), "--root", root, "--port", "0",
         "--parent-pid", str(os.getpid()), "--idle-exit", "300", "--quiet"],
        stdout=subprocess.PIPE)
    port = int(server.stdout.readline())
    return server, port


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def count_files(root):
    return sum(len(names) for _, _, names in os.walk(root))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--folders", type=int, default=20)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sink-runs", type=int, default=0,
                        help="runs of each against the native sink")
    parser.add_argument("--json", action="store_true", help="print each run's wall time as JSON")
    args = parser.parse_args()
    driver = os.path.join(args.build, "velmaris-multi-upload")

    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, "tree")
        made = make_tree(tree, args.files, args.folders)
        server_root = os.path.join(work, "srv")
        server, port = start_server(server_root)
        url = f"http://127.0.0.1:{port}/upload.asp"
        env = dict(os.environ, TEMP=work)

        def ours(run, address=url):
            out = subprocess.run([driver, address, f"ours{run}", tree], env=env,
                                 capture_output=True, text=True)
            if out.returncode != 0:
                sys.exit(f"velmaris-multi-upload failed:\n{out.stdout}{out.stderr}")

        def curl_loop(run):
            for folder, path in made:
                subprocess.run(["curl", "-s", "-f", "-o", "/dev/null", "-F",
                                f"{os.path.basename(path)}=@{path}", "-F",
                                f"path=loop{run}/{folder}/", url], check=True)

        def curl_one(run, address=url):
            command = ["curl", "-s", "-f"]
            for n, (folder, path) in enumerate(made):
                if n:
                    command.append("--next")
                command += ["-o", "/dev/null", "-F", f"{os.path.basename(path)}=@{path}", "-F",
                            f"path=one{run}/{folder}/", address]
            subprocess.run(command, check=True)

        results = {"MultiUpload": [], "curl -F, one process per file": [],
                   "curl -F --next, one process": []}
        try:
            for run in range(args.runs):
                results["MultiUpload"].append(timed(lambda: ours(run)))
                results["curl -F, one process per file"].append(timed(lambda: curl_loop(run)))
                results["curl -F --next, one process"].append(timed(lambda: curl_one(run)))
            # Every file of every run arrived, in its folder.
            stored = count_files(os.path.join(server_root, "files"))
            expected = 3 * args.runs * args.files
            if stored != expected:
                sys.exit(f"the server holds {stored} files, expected {expected}")
        finally:
            server.terminate()
            server.wait()

        on_sink = {"MultiUpload": [], "curl -F --next, one process": []}
        if args.sink_runs:
            sink, port = start_sink(args.build)
            address = f"http://127.0.0.1:{port}/upload.asp"
            try:
                for run in range(args.sink_runs):
                    pair = [("MultiUpload", lambda: ours(run, address)),
                            ("curl -F --next, one process", lambda: curl_one(run, address))]
                    for name, action in pair[::-1] if run % 2 else pair:
                        on_sink[name].append(timed(action))
            finally:
                stop_sink(sink)

    if args.json:
        json.dump({"files": args.files, "folders": args.folders, "wall_s": results,
                   "sink_wall_s": on_sink if args.sink_runs else {}}, sys.stdout, indent=1)
        print()
        return

    print(f"## {args.files} small files in {args.folders} folders on loopback "
          f"({args.runs} runs, {os.cpu_count()} cores)\n")
    print("| uploader | files/s: median (min–max) | wall time, s: median |")
    print("|---|---|---|")
    rows = list(results.items())
    if args.sink_runs:
        rows += [(f"{name}, native sink", walls) for name, walls in on_sink.items()]
    for name, walls in rows:
        rates = [args.files / wall for wall in walls]
        print(f"| {name} | {statistics.median(rates):.0f} ({min(rates):.0f}–{max(rates):.0f}) | "
              f"{statistics.median(walls):.2f} |")


if __name__ == "__main__":
    main()
