#!/usr/bin/env python3
"""The soak through the page host: a page uploads one file COUNT times through one FileUpload
control (bench/soak.js) while this driver samples the host process's open descriptors and
resident memory every EVERY uploads, from /proc, with the page paused.

    bench/soak.py [--build DIR] [--count 5000] [--every 500]

Everything runs on loopback: the reference content server on a free port, a private class
registry and TEMP. Prints the table; exits 1 when an upload got the wrong reply, a package file
was left in TEMP, or the descriptors grew after the first sample.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--count", type=int, default=5000)
    parser.add_argument("--every", type=int, default=500)
    options = parser.parse_args()
    host = os.path.join(options.build, "velmaris")
    library = os.path.join(options.build, "libVelmarisClient.so")

    scratch = tempfile.mkdtemp(prefix="velmaris-soak-")
    env = dict(os.environ)
    env["VELMARIS_REGISTRY"] = os.path.join(scratch, "classes.reg")
    env["TEMP"] = os.path.join(scratch, "temp")
    work = os.path.join(scratch, "work")
    root = os.path.join(scratch, "srv")
    for folder in (env["TEMP"], work, root):
        os.makedirs(folder)

    server = subprocess.Popen(
        [sys.executable, os.path.join(SOURCE, "tools", "refserver.py"), "--root", root,
         "--port", "0", "--parent-pid", str(os.getpid()), "--idle-exit", "60", "--quiet"],
        stdout=subprocess.PIPE, text=True)
    status = 1
    try:
        port = int(server.stdout.readline())
        env["VELMARIS_SERVER"] = "http://127.0.0.1:%d" % port
        subprocess.run([host, "register", library], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        page = subprocess.Popen([host, "run", os.path.join(HERE, "soak.js"), work,
                                 str(options.count), str(options.every)],
                                env=env, stdout=subprocess.PIPE, text=True)
        print("%d uploads of 4096 bytes through one FileUpload control, through the page host"
              % options.count)
        print("%8s %6s %10s %14s %10s" % ("uploads", "fds", "RSS KB", "since warm-up", "seconds"))
        start = time.monotonic()
        first_fds = last_fds = None
        warm_rss = None
        left_behind = 0
        wrong = None
        for line in page.stdout:
            words = line.split()
            if words[:1] == ["sample"]:
                n = int(words[1])
                fds, rss = descriptors(page.pid), resident_kb(page.pid)
                left_behind += len(os.listdir(env["TEMP"]))
                if first_fds is None:
                    first_fds = fds
                    growth = ""
                else:
                    if warm_rss is None:
                        warm_rss = rss
                    growth = "%+d" % (rss - warm_rss)
                last_fds = fds
                print("%8d %6d %10d %14s %10.1f" % (n, fds, rss, growth,
                                                    time.monotonic() - start), flush=True)
                with open(os.path.join(work, "measured"), "w") as f:
                    f.write(str(n))
            elif words[:1] == ["wrong"]:
                wrong = int(words[1])
            else:
                print(line, end="")
        page.wait()
        print("wrong replies: %s, package files seen in TEMP: %d" % (wrong, left_behind))
        ok = (page.returncode == 0 and wrong == 0 and left_behind == 0
              and last_fds is not None and last_fds <= first_fds)
        status = 0 if ok else 1
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(scratch, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
