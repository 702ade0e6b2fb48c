#!/usr/bin/env python3
"""Upload benchmarks on loopback, side by side with curl in the same run.

  python3 bench/upload_bench.py [--build build] [--size-mib 256] [--runs 5]

Measures, against one reference content server:
  - a large upload with FileUpload (the velmaris-upload driver) and with `curl -F`: wall time of
    each (median, min-max), their ratio, and the peak memory of each process;
  - peak memory of FileUpload for a small and a large file (it should not grow with the size);
  - the CPU time FileUpload spends waiting five seconds for a server that answers late.
Prints a Markdown table.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


MEASURE = None


def run(command, env=None):
    """Runs a command through velmaris-measure; returns (wall s, cpu s, peak RSS MiB)."""
    out = subprocess.run([MEASURE] + command, capture_output=True, text=True, env=env, check=True)
    wall, cpu, maxrss, code = out.stdout.split()
    if int(code) != 0:
        sys.exit(f"failed ({code}): {' '.join(command)}")
    return float(wall), float(cpu), int(maxrss) / 1024.0


def make_file(path, mib):
    block = os.urandom(1024 * 1024)
    with open(path, "wb") as out:
        for _ in range(mib):
            out.write(block)


def start_server(root):
    server = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "tools", "refserver.py"), "--root", root, "--port", "0",
         "--parent-pid", str(os.getpid()), "--idle-exit", "300", "--quiet"],
        stdout=subprocess.PIPE)
    port = int(server.stdout.readline())
    return server, port


def summary(values):
    return f"{statistics.median(values):.3f} ({min(values):.3f}–{max(values):.3f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    driver = os.path.join(args.build, "velmaris-upload")
    global MEASURE
    MEASURE = os.path.join(args.build, "velmaris-measure")

    with tempfile.TemporaryDirectory() as work:
        big = os.path.join(work, "big.bin")
        small = os.path.join(work, "small.bin")
        make_file(big, args.size_mib)
        make_file(small, 1)
        server, port = start_server(os.path.join(work, "srv"))
        url = f"http://127.0.0.1:{port}/upload.asp"
        env = dict(os.environ, TEMP=work)
        try:
            ours, theirs = [], []
            for _ in range(args.runs):
                ours.append(run([driver, url, "bench", big], env))
                theirs.append(run(["curl", "-s", "-o", "/dev/null", "-F", "curPath=bench/",
                                   "-F", "contentid=1", "-F", f"big.bin=@{big}", url]))
            small_runs = [run([driver, url, "bench", small], env) for _ in range(args.runs)]
            waits = [run([driver, f"http://127.0.0.1:{port}/_fault/slow-5000/upload.asp", "bench",
                          small], env) for _ in range(3)]
        finally:
            server.terminate()
            server.wait()

    wall_ours = [r[0] for r in ours]
    wall_curl = [r[0] for r in theirs]
    print(f"## Upload of {args.size_mib} MiB on loopback ({args.runs} runs, {os.cpu_count()} cores)\n")
    print("| measure | FileUpload | curl -F |")
    print("|---|---|---|")
    print(f"| wall time, s: median (min–max) | {summary(wall_ours)} | {summary(wall_curl)} |")
    print(f"| peak memory, MiB: median | {statistics.median(r[2] for r in ours):.1f} | "
          f"{statistics.median(r[2] for r in theirs):.1f} |")
    print(f"\nWall-time ratio FileUpload / curl (medians): "
          f"{statistics.median(wall_ours) / statistics.median(wall_curl):.2f} (target ≤ 1.5)\n")
    print(f"Peak memory of FileUpload: 1 MiB file {statistics.median(r[2] for r in small_runs):.1f} MiB, "
          f"{args.size_mib} MiB file {statistics.median(r[2] for r in ours):.1f} MiB\n")
    print(f"CPU time of a 5-second wait for a late answer: median "
          f"{statistics.median(r[1] for r in waits) * 1000:.0f} ms over {len(waits)} runs "
          f"(wall {statistics.median(r[0] for r in waits):.2f} s)")


if __name__ == "__main__":
    main()
