#!/usr/bin/env python3
"""Upload benchmarks on loopback, side by side with curl in the same run.

  python3 bench/upload_bench.py [--build build] [--size-mib 256] [--runs 5] [--wait-runs 3]
                                [--never-runs 0] [--curl-waits] [--text-mib 0] [--json]

Measures, against one reference content server:
  - a large upload with FileUpload (the velmaris-upload driver) and with `curl -F`: wall time of
    each (median, min-max), their ratio, and the peak memory of each process; what the server
    stored is deleted after each of these uploads, untimed, so every one starts alike;
  - peak memory of FileUpload for a small and a large file (it should not grow with the size);
  - the CPU time FileUpload spends waiting five seconds for a server that answers late, beside the
    same upload answered at once (the difference is what the wait costs);
  - with --never-runs, the CPU time of waiting for a server that never answers (FileUpload gives
    up after its 30-second reply timeout). These runs go side by side: each process's CPU time is
    its own, and running them together only saves the waiting;
  - with --curl-waits, the same waits with `curl -F` (given 30 s, as FileUpload gives itself,
    for the server that never answers), and curl's upload of the small file answered at once;
  - with --text-mib N, OfficeImport.ImportTxtFile through the page host (bench/text_import.js)
    of two texts of N MiB: a title line, an author line and a body of blanks (each blank is
    posted as "&nbsp;", so the article is six times the text), and ordinary Chinese and English
    lines: wall time, CPU time and peak memory of the host. Its wall time includes the reference
    server taking the article apart.
Prints a Markdown table, or with --json every sample as JSON (for bench/run).
"""
import argparse
import json
import os
import shutil
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


def forget_uploads(server_root):
    """Deletes what the server kept of the uploads so far: the stored files and the raw requests.
    Otherwise each upload replaces the previous one's file, and ext4 writes a file out at once
    when it is renamed over another (auto_da_alloc): the upload that happens to replace would
    wait for hundreds of MiB of disk writes that have nothing to do with the client."""
    shutil.rmtree(os.path.join(server_root, "files"), ignore_errors=True)
    requests = os.path.join(server_root, "requests")
    for name in os.listdir(requests) if os.path.isdir(requests) else []:
        if name.endswith(".http"):
            os.unlink(os.path.join(requests, name))


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


def run_together(jobs):
    """Runs (command, env, exit codes it may end with) side by side through velmaris-measure;
    returns their (wall, cpu, MiB)."""
    started = [subprocess.Popen([MEASURE] + command, stdout=subprocess.PIPE, text=True, env=env)
               for command, env, _ in jobs]
    results = []
    for process, (command, _, exit_codes) in zip(started, jobs):
        out, _ = process.communicate()
        wall, cpu, maxrss, code = out.split()
        if int(code) not in exit_codes:
            sys.exit(f"failed ({code}): {' '.join(command)}")
        results.append((float(wall), float(cpu), int(maxrss) / 1024.0))
    return results


def make_texts(work, mib):
    """The two texts of --text-mib: blanks after a title and an author line, and ordinary lines."""
    blanks = os.path.join(work, "blanks.txt")
    with open(blanks, "wb") as out:
        out.write("标题：报告\r\n作者：编辑部\r\n正文".encode("gbk"))
        for _ in range(mib):
            out.write(b" " * (1024 * 1024))
        out.write(b"\r\n")
    ordinary = os.path.join(work, "ordinary.txt")
    line = ("会议纪要 第一项 the motion was carried 通过 " * 3 + "\r\n").encode("utf-8")
    with open(ordinary, "wb") as out:
        out.write(line * (mib * 1024 * 1024 // len(line)))
    return {"blanks": blanks, "ordinary": ordinary}


def import_texts(build, texts, port, work, runs):
    """ImportTxtFile of each text through the page host; (wall, cpu, MiB) of every run."""
    host = os.path.join(build, "velmaris")
    env = dict(os.environ, TEMP=work, VELMARIS_REGISTRY=os.path.join(work, "classes.reg"),
               VELMARIS_SERVER=f"http://127.0.0.1:{port}")
    subprocess.run([host, "register", os.path.join(build, "libVelmarisClient.so")], env=env,
                   check=True, stdout=subprocess.DEVNULL)
    page = os.path.join(HERE, "text_import.js")
    return {name: [run([host, "run", page, path], env) for _ in range(runs)]
            for name, path in texts.items()}


def summary(values):
    return f"{statistics.median(values):.3f} ({min(values):.3f}–{max(values):.3f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--wait-runs", type=int, default=3)
    parser.add_argument("--never-runs", type=int, default=0)
    parser.add_argument("--curl-waits", action="store_true", help="time curl's waits too")
    parser.add_argument("--text-mib", type=int, default=0, help="also import texts this large")
    parser.add_argument("--json", action="store_true", help="print every sample as JSON")
    args = parser.parse_args()
    driver = os.path.join(args.build, "velmaris-upload")
    global MEASURE
    MEASURE = os.path.join(args.build, "velmaris-measure")

    with tempfile.TemporaryDirectory() as work:
        big = os.path.join(work, "big.bin")
        small = os.path.join(work, "small.bin")
        make_file(big, args.size_mib)
        make_file(small, 1)
        server_root = os.path.join(work, "srv")
        server, port = start_server(server_root)
        url = f"http://127.0.0.1:{port}/upload.asp"
        env = dict(os.environ, TEMP=work)
        try:
            ours, theirs = [], []
            for _ in range(args.runs):
                ours.append(run([driver, url, "bench", big], env))
                forget_uploads(server_root)
                theirs.append(run(["curl", "-s", "-o", "/dev/null", "-F", "curPath=bench/",
                                   "-F", "contentid=1", "-F", f"big.bin=@{big}", url]))
                forget_uploads(server_root)
            late = f"http://127.0.0.1:{port}/_fault/slow-5000/upload.asp"
            silent = f"http://127.0.0.1:{port}/_fault/noanswer/upload.asp"

            def curl_small(address, *options):
                return ["curl", "-s", "-o", "/dev/null", *options, "-F", "curPath=bench/", "-F",
                        "contentid=1", "-F", f"small.bin=@{small}", address]

            small_runs = [run([driver, url, "bench", small], env) for _ in range(args.runs)]
            curl_small_runs = [run(curl_small(url)) for _ in range(args.runs)
                               if args.curl_waits]
            waits, curl_waits = [], []
            for _ in range(args.wait_runs):
                waits.append(run([driver, late, "bench", small], env))
                if args.curl_waits:
                    curl_waits.append(run(curl_small(late)))
            # Giving up on a silent server is the driver's failure exit, curl's timeout 28.
            jobs = [([driver, silent, "bench", small], env, (0, 1))] * args.never_runs
            if args.curl_waits:
                jobs += [(curl_small(silent, "-m", "30"), None, (28,))] * args.never_runs
            silent_runs = run_together(jobs)
            never, curl_never = silent_runs[:args.never_runs], silent_runs[args.never_runs:]
            texts = {}
            if args.text_mib:
                texts = import_texts(args.build, make_texts(work, args.text_mib), port, work,
                                     args.wait_runs)
        finally:
            server.terminate()
            server.wait()

    if args.json:
        def samples(runs):
            return [{"wall_s": r[0], "cpu_s": r[1], "peak_mib": r[2]} for r in runs]
        json.dump({"size_mib": args.size_mib, "fileupload": samples(ours), "curl": samples(theirs),
                   "fileupload_small": samples(small_runs), "wait_late": samples(waits),
                   "wait_never": samples(never), "curl_small": samples(curl_small_runs),
                   "curl_wait_late": samples(curl_waits), "curl_wait_never": samples(curl_never),
                   "text_mib": args.text_mib,
                   "text_import": {name: samples(r) for name, r in texts.items()}},
                  sys.stdout, indent=1)
        print()
        return

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
          f"(wall {statistics.median(r[0] for r in waits):.2f} s); the same upload answered at once: "
          f"{statistics.median(r[1] for r in small_runs) * 1000:.0f} ms")
    if curl_waits:
        print(f"\nThe same with curl -F: median {statistics.median(r[1] for r in curl_waits) * 1000:.0f}"
              f" ms; answered at once {statistics.median(r[1] for r in curl_small_runs) * 1000:.0f} ms")
    if never:
        print(f"\nCPU time of waiting for a server that never answers: median "
              f"{statistics.median(r[1] for r in never) * 1000:.0f} ms over {len(never)} runs "
              f"(wall {statistics.median(r[0] for r in never):.2f} s)")

    for name, runs in texts.items():
        print(f"\nImportTxtFile of {args.text_mib} MiB of {name} text: wall "
              f"{summary([r[0] for r in runs])} s, CPU {summary([r[1] for r in runs])} s, "
              f"peak {statistics.median(r[2] for r in runs):.0f} MiB")


if __name__ == "__main__":
    main()
