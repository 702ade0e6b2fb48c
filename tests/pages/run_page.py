#!/usr/bin/env python3
"""Runs one page script end to end: a private class registry and TEMP, the reference content
server on a free loopback port, the library registered through the host, then the page.

    run_page.py --host VELMARIS --library LIB --source-dir ROOT PAGE.js

The page gets VELMARIS_SERVER (http://127.0.0.1:PORT), VELMARIS_SERVER_ROOT (where the server
stores what arrives) and, as host.args[0], an empty folder for the files it uploads. The test
passes iff the page ends normally and every object it was handed was released.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile


def start_server(source_dir, root):
    server = subprocess.Popen(
        [sys.executable, os.path.join(source_dir, "tools", "refserver.py"), "--root", root,
         "--port", "0", "--parent-pid", str(os.getpid()), "--idle-exit", "120", "--quiet"],
        stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline().strip()
    if not line.isdigit():
        server.kill()
        raise SystemExit("the reference server did not start")
    return server, int(line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("page")
    options = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="velmaris-page-")
    env = dict(os.environ)
    env["VELMARIS_REGISTRY"] = os.path.join(scratch, "classes.reg")
    env["TEMP"] = os.path.join(scratch, "temp")
    work = os.path.join(scratch, "work")
    root = os.path.join(scratch, "srv")
    for folder in (env["TEMP"], work, root):
        os.makedirs(folder)

    server, port = start_server(options.source_dir, root)
    status = 1
    try:
        registered = subprocess.run([options.host, "register", options.library], env=env)
        if registered.returncode != 0:
            print("registration failed", file=sys.stderr)
            return 1
        env["VELMARIS_SERVER"] = "http://127.0.0.1:%d" % port
        env["VELMARIS_SERVER_ROOT"] = root
        env["VELMARIS_REQUIRE_UNLOAD"] = "1"
        try:
            status = subprocess.run([options.host, "run", options.page, work], env=env,
                                    timeout=options.timeout).returncode
        except subprocess.TimeoutExpired:
            print("the page did not finish in %g s" % options.timeout, file=sys.stderr)
            status = 1
    finally:
        server.terminate()
        server.wait()
        if status == 0:
            shutil.rmtree(scratch, ignore_errors=True)
        else:
            print("page %s failed (status %d); its files are in %s"
                  % (options.page, status, scratch), file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
