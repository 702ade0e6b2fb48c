#!/usr/bin/env python3
"""Upload benchmarks on loopback, side by side with curl in the same run.

  python3 bench/upload_bench.py [--build build] [--size-mib 256] [--runs 5] [--wait-runs 3]
                                [--never-runs 0] [--curl-waits] [--sink-runs 0] [--tls-runs 0]
                                [--text-mib 0] [--json]

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
  - with --sink-runs N, against the native sink (velmaris-sink, which reads each body and answers
    200 at once, so the client's own speed shows): N pairs of the large upload with FileUpload and
    with `curl -H Expect: -F`, the order inside a pair alternating, after one untimed pair; the
    peak memory of FileUpload for a 1 MiB file there too; and what the FileUpload runs wrote to
    storage (the block output the kernel counts for the process, written and deleted files
    included) and made in their TEMP, a fresh folder watched with inotify;
  - with --tls-runs N, the same large upload over HTTPS: a test authority and a certificate for
    127.0.0.1 made for the run (as tools/refserver.py --tls makes them), the sink started with
    it, and N pairs alternating, after one untimed pair, of FileUpload (SSL_CERT_FILE naming the
    authority) and `curl --cacert ca.pem -H Expect: -F`: wall time, CPU time and peak memory of
    each, and the protocol and cipher the sink negotiated;
  - with --text-mib N, OfficeImport.ImportTxtFile through the page host (bench/text_import.js)
    of two texts of N MiB: a title line, an author line and a body of blanks (each blank is
    posted as "&nbsp;", so the article is six times the text), and ordinary Chinese and English
    lines: wall time, CPU time and peak memory of the host. Its wall time includes the reference
    server taking the article apart.
Prints a Markdown table, or with --json every sample as JSON (for bench/run).
"""
import argparse
import ctypes
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


MEASURE = None


def measured(line):
    """(wall s, cpu s, peak RSS MiB, bytes written to storage) and the exit code from a line of
    velmaris-measure."""
    wall, cpu, maxrss, code, blocks = line.split()
    return (float(wall), float(cpu), int(maxrss) / 1024.0, int(blocks) * 512), int(code)


def run(command, env=None):
    """Runs a command through velmaris-measure; returns (wall s, cpu s, peak RSS MiB, bytes
    written to storage)."""
    out = subprocess.run([MEASURE] + command, capture_output=True, text=True, env=env, check=True)
    result, code = measured(out.stdout)
    if code != 0:
        sys.exit(f"failed ({code}): {' '.join(command)}")
    return result


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
        # On disk before any timing: its writeback would otherwise fall into some upload.
        out.flush()
        os.fsync(out.fileno())


def start_server(root):
    server = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "tools", "refserver.py"), "--root", root, "--port", "0",
         "--parent-pid", str(os.getpid()), "--idle-exit", "300", "--quiet"],
        stdout=subprocess.PIPE)
    port = int(server.stdout.readline())
    return server, port


def start_sink(build, tls=(), log=None):
    """The native sink on loopback (over HTTPS with tls = (certificate, key), each connection's
    protocol and cipher written to the file `log`). It ends when its standard input closes: the
    pipe is ours, so it goes with us however we end."""
    sink = subprocess.Popen([os.path.join(build, "velmaris-sink")] + (["--tls", *tls] if tls else []),
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)
    return sink, int(sink.stdout.readline())


def stop_sink(sink):
    sink.stdin.close()
    sink.wait(timeout=10)


class FolderWatch:
    """What is made in a folder (inotify; entries of its subfolders are not seen, but a subfolder
    made is)."""
    IN_MODIFY, IN_MOVED_TO, IN_CREATE, IN_NONBLOCK = 0x2, 0x80, 0x100, 0o4000

    def __init__(self, folder):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(self.IN_NONBLOCK)
        if self.fd < 0 or libc.inotify_add_watch(
                self.fd, os.fsencode(folder), self.IN_MODIFY | self.IN_MOVED_TO | self.IN_CREATE) < 0:
            sys.exit(f"inotify: {os.strerror(ctypes.get_errno())}")

    def take(self):
        """(entries made or moved in, write events) since the last call. The kernel merges a
        write event into an identical one still unread, so writes counts at least one for each
        file written to."""
        made = writes = 0
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return made, writes
            at = 0
            while at < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                at += 16 + length
                made += bool(mask & (self.IN_CREATE | self.IN_MOVED_TO))
                writes += bool(mask & self.IN_MODIFY)

    def close(self):
        os.close(self.fd)


def paired(ours, theirs, pairs, after_ours=lambda: None):
    """One untimed pair (the first connection and the programs' first start), then `pairs` pairs
    back to back, which of the two goes first alternating; returns the samples of each."""
    ours(), theirs()
    after_ours()
    mine, other = [], []
    for i in range(pairs):
        if i % 2:
            other.append(theirs())
        mine.append(ours())
        after_ours()
        if not i % 2:
            other.append(theirs())
    return mine, other


def sink_runs(build, driver, big, small, pairs, runs):
    """The large upload, FileUpload and curl paired and alternating, against the sink; FileUpload's
    peak memory on the small file; what the FileUpload runs wrote to storage and made in TEMP."""
    sink, port = start_sink(build)
    url = f"http://127.0.0.1:{port}/upload.asp"
    # Without "Expect:" curl waits for a 100 answer before a large body; the sink gives it at
    # once, but the round trip is not what is compared.
    curl = ["curl", "-s", "-o", "/dev/null", "-H", "Expect:", "-F", "curPath=bench/", "-F",
            "contentid=1", "-F", f"big.bin=@{big}", url]
    temp = []
    with tempfile.TemporaryDirectory() as fresh:
        watch = FolderWatch(fresh)
        env = dict(os.environ, TEMP=fresh)
        try:
            ours, theirs = paired(lambda: run([driver, url, "bench", big], env), lambda: run(curl),
                                  pairs, lambda: temp.append(watch.take()))
            temp.pop(0)  # the untimed pair's
            small_runs = [run([driver, url, "bench", small], env) for _ in range(runs)]
        finally:
            watch.close()
            stop_sink(sink)
    return ours, theirs, small_runs, temp


def tls_runs(build, driver, big, pairs):
    """The large upload over HTTPS, FileUpload and curl paired and alternating, against the sink
    with a certificate for 127.0.0.1 from a test authority made for the run; returns the samples
    of each and the protocols and ciphers the sink negotiated."""
    sys.path.insert(0, os.path.join(ROOT, "tools"))
    from refserver import make_certificates  # the tests' authority and server certificate
    with tempfile.TemporaryDirectory() as folder:
        cert, key = make_certificates(os.path.join(folder, "tls"))
        authority = os.path.join(folder, "tls", "ca.pem")
        log_path = os.path.join(folder, "sink.log")
        with open(log_path, "w") as log:
            sink, port = start_sink(build, (cert, key), log)
        url = f"https://127.0.0.1:{port}/upload.asp"
        env = dict(os.environ, TEMP=folder, SSL_CERT_FILE=authority)
        curl = ["curl", "-s", "-o", "/dev/null", "--cacert", authority, "-H", "Expect:", "-F",
                "curPath=bench/", "-F", "contentid=1", "-F", f"big.bin=@{big}", url]
        try:
            ours, theirs = paired(lambda: run([driver, url, "bench", big], env),
                                  lambda: run(curl), pairs)
        finally:
            stop_sink(sink)
        with open(log_path) as log:
            ciphers = sorted(set(line.strip() for line in log if line.strip()))
    return ours, theirs, ciphers


def run_together(jobs):
    """Runs (command, env, exit codes it may end with) side by side through velmaris-measure;
    returns their (wall, cpu, MiB)."""
    started = [subprocess.Popen([MEASURE] + command, stdout=subprocess.PIPE, text=True, env=env)
               for command, env, _ in jobs]
    results = []
    for process, (command, _, exit_codes) in zip(started, jobs):
        out, _ = process.communicate()
        result, code = measured(out)
        if code not in exit_codes:
            sys.exit(f"failed ({code}): {' '.join(command)}")
        results.append(result)
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
    parser.add_argument("--sink-runs", type=int, default=0,
                        help="pairs of the large upload against the native sink")
    parser.add_argument("--tls-runs", type=int, default=0,
                        help="pairs of the large upload over HTTPS against the native TLS sink")
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
            sink = sink_runs(args.build, driver, big, small, args.sink_runs, args.runs) \
                if args.sink_runs else None
            tls = tls_runs(args.build, driver, big, args.tls_runs) if args.tls_runs else None
            texts = {}
            if args.text_mib:
                texts = import_texts(args.build, make_texts(work, args.text_mib), port, work,
                                     args.wait_runs)
        finally:
            server.terminate()
            server.wait()

    if args.json:
        def samples(runs):
            return [{"wall_s": r[0], "cpu_s": r[1], "peak_mib": r[2], "written_bytes": r[3]}
                    for r in runs]
        on_sink = {}
        if sink:
            on_sink = {"fileupload": samples(sink[0]), "curl": samples(sink[1]),
                       "fileupload_small": samples(sink[2]),
                       "temp": [{"entries": made, "writes": writes} for made, writes in sink[3]]}
        over_tls = {}
        if tls:
            over_tls = {"fileupload": samples(tls[0]), "curl": samples(tls[1]), "ciphers": tls[2]}
        json.dump({"size_mib": args.size_mib, "fileupload": samples(ours), "curl": samples(theirs),
                   "fileupload_small": samples(small_runs), "wait_late": samples(waits),
                   "wait_never": samples(never), "curl_small": samples(curl_small_runs),
                   "curl_wait_late": samples(curl_waits), "curl_wait_never": samples(curl_never),
                   "sink": on_sink, "tls_sink": over_tls, "text_mib": args.text_mib,
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
    if waits:
        print(f"CPU time of a 5-second wait for a late answer: median "
              f"{statistics.median(r[1] for r in waits) * 1000:.0f} ms over {len(waits)} runs "
              f"(wall {statistics.median(r[0] for r in waits):.2f} s); the same upload answered "
              f"at once: {statistics.median(r[1] for r in small_runs) * 1000:.0f} ms")
    if curl_waits:
        print(f"\nThe same with curl -F: median {statistics.median(r[1] for r in curl_waits) * 1000:.0f}"
              f" ms; answered at once {statistics.median(r[1] for r in curl_small_runs) * 1000:.0f} ms")
    if never:
        print(f"\nCPU time of waiting for a server that never answers: median "
              f"{statistics.median(r[1] for r in never) * 1000:.0f} ms over {len(never)} runs "
              f"(wall {statistics.median(r[0] for r in never):.2f} s)")

    if sink:
        ours, theirs, small_runs, temp = sink
        wall_ours = [r[0] for r in ours]
        wall_curl = [r[0] for r in theirs]
        print(f"\n## The same against the native sink ({len(ours)} pairs)\n")
        print("| measure | FileUpload | curl -H Expect: -F |")
        print("|---|---|---|")
        print(f"| wall time, s: median (min–max) | {summary(wall_ours)} | {summary(wall_curl)} |")
        print(f"| peak memory, MiB: median | {statistics.median(r[2] for r in ours):.1f} | "
              f"{statistics.median(r[2] for r in theirs):.1f} |")
        print(f"\nWall-time ratio FileUpload / curl (medians): "
              f"{statistics.median(wall_ours) / statistics.median(wall_curl):.2f} (target ≤ 0.8)\n")
        print(f"Peak memory of FileUpload: 1 MiB file "
              f"{statistics.median(r[2] for r in small_runs):.1f} MiB, {args.size_mib} MiB file "
              f"{statistics.median(r[2] for r in ours):.1f} MiB\n")
        print(f"Written to storage by the FileUpload runs: at most {max(r[3] for r in ours)} bytes; "
              f"entries made in TEMP: {sum(t[0] for t in temp)}, writes there: "
              f"{sum(t[1] for t in temp)}")

    if tls:
        ours, theirs, ciphers = tls
        print(f"\n## The same over HTTPS against the native TLS sink ({len(ours)} pairs; "
              f"{', '.join(ciphers)})\n")
        print("| measure | FileUpload | curl --cacert -H Expect: -F |")
        print("|---|---|---|")
        for label, at in (("wall time, s", 0), ("CPU time, s", 1)):
            print(f"| {label}: median (min–max) | {summary([r[at] for r in ours])} | "
                  f"{summary([r[at] for r in theirs])} |")
        print(f"| peak memory, MiB: median | {statistics.median(r[2] for r in ours):.1f} | "
              f"{statistics.median(r[2] for r in theirs):.1f} |")
        print(f"\nWall-time ratio FileUpload / curl (medians): "
              f"{statistics.median(r[0] for r in ours) / statistics.median(r[0] for r in theirs):.2f}"
              f" (target ≤ 1.1)")

    for name, runs in texts.items():
        print(f"\nImportTxtFile of {args.text_mib} MiB of {name} text: wall "
              f"{summary([r[0] for r in runs])} s, CPU {summary([r[1] for r in runs])} s, "
              f"peak {statistics.median(r[2] for r in runs):.0f} MiB")


if __name__ == "__main__":
    main()
