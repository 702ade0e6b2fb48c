#!/usr/bin/env python3
"""Runs one page with its forms on screen (`velmaris run PAGE.js --gui`), as run_page.py runs the
headless ones: a private class registry and TEMP, the reference content server on loopback, the
library registered through the host. Qt draws off screen unless QT_QPA_PLATFORM says otherwise.

    run_gui_page.py --host VELMARIS --library LIB --source-dir ROOT --screens DIR PAGE.js

The page gets host.args = [an empty work folder, DIR for its screenshots]. The test passes iff the
run ends by itself (the script ended and its last window was closed) with status 0, and every
object the page was handed was released.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pages"))
from run_page import start_server  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--screens", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("page")
    options = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="velmaris-gui-page-")
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    env["VELMARIS_REGISTRY"] = os.path.join(scratch, "classes.reg")
    env["TEMP"] = os.path.join(scratch, "temp")
    work = os.path.join(scratch, "work")
    root = os.path.join(scratch, "srv")
    for folder in (env["TEMP"], work, root, options.screens):
        os.makedirs(folder, exist_ok=True)
    if not env.get("XDG_RUNTIME_DIR"):
        # Qt wants one, private to the user, and says so on every run without it.
        env["XDG_RUNTIME_DIR"] = os.path.join(scratch, "runtime")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)

    server, port = start_server(options.source_dir, root)
    status = 1
    try:
        if subprocess.run([options.host, "register", options.library], env=env).returncode != 0:
            print("registration failed", file=sys.stderr)
            return 1
        env["VELMARIS_SERVER"] = "http://127.0.0.1:%d" % port
        env["VELMARIS_SERVER_ROOT"] = root
        env["VELMARIS_REQUIRE_UNLOAD"] = "1"
        try:
            status = subprocess.run(
                [options.host, "run", options.page, "--gui", work, options.screens], env=env,
                timeout=options.timeout).returncode
        except subprocess.TimeoutExpired:
            print("the run did not end in %g s: a window left open?" % options.timeout,
                  file=sys.stderr)
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
