#!/usr/bin/env python3
"""Runs one page script end to end: a private class registry and TEMP, the reference content
server on a free loopback port, the library registered through the host, then the page.

    run_page.py --host VELMARIS --library LIB --source-dir ROOT [--screens DIR] PAGE.js

The page gets VELMARIS_SERVER (http://127.0.0.1:PORT), VELMARIS_SERVER_ROOT (where the server
stores what arrives) and, as host.args[0], an empty folder for the files it uploads. The test
passes iff the page ends normally and every object it was handed was released.

A page that imports office documents names each one in a line of its own:

    // office-document: SOURCE FORMAT NAME

SOURCE lies below tests/data/office; LibreOffice (soffice, found on PATH) converts it to FORMAT
and the result is put into the page's folder as NAME before the page runs. Every page gets an
office of its own (its pipe and profile in the page's scratch folder), so pages running side by
side never share one.

A page with the line `// library: alone` runs against a copy of the library in a folder of its
own, without the modules that are built beside it (the screen and the office), as on a machine
where they, or what they need, are missing. VELMARIS_PAGE_LIBRARY names the library it runs with.

A page with the line `// server: https` runs against the server over HTTPS instead:
VELMARIS_SERVER is then https://127.0.0.1:PORT and SSL_CERT_FILE names the run's test
authority, so the host trusts the server's certificate. `// server: https FAULT` has the server
present a certificate the host must refuse (FAULT is self-signed, expired, wrong-name or
unknown-ca), and `// server: https stall` never answers the TLS handshake. --tls,
--cert-fault FAULT and --tls-stall do the same for any page.

A page may leave errors uncaught on purpose where nothing could catch them (a host.later
callback that throws): each is named, in the order the run reports them, by a line

    // uncaught: DESCRIPTION

and the page then passes iff the run ends in failure (status 1) having reported exactly these
errors ("错误 NUMBER: DESCRIPTION" on its error output, whatever the number) and nothing else.

With --screens DIR the page runs with its forms on screen (`velmaris run PAGE.js --gui`), Qt
drawing off screen unless QT_QPA_PLATFORM says otherwise (under Wine, on the X display DISPLAY
names); host.args[1] is DIR, for its screenshots, and the run must also end by itself (the script
ended and its last window closed).

With --wine the host is velmaris.exe and the library VelmarisClient.dll, run under Wine on the
prefix WINEPREFIX names (tests/windows/pages.sh makes one for all pages): the page, its folders
and VELMARIS_PICTURES are handed over as Windows paths. A page that needs what the Windows build
does not have (the office — a page whose calls reach an office program without documents of its
own says so in a line `// needs: office` —, the modules beside the library), or that says
`// windows: skip REASON`, is skipped: it exits 77 with the reason. Over HTTPS the run's test
authority is trusted in the prefix's store for the page (windows_trust_authority.exe, beside the
host).
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

DOCUMENT_LINE = re.compile(r"^//\s*office-document:\s*(\S+)\s+(\S+)\s+(\S+)\s*$")
NEEDS_OFFICE_LINE = re.compile(r"^//\s*needs:\s*office\s*$")
WINDOWS_SKIP_LINE = re.compile(r"^//\s*windows:\s*skip\s+(.+?)\s*$")
ALONE_LINE = re.compile(r"^//\s*library:\s*alone\s*$")
UNCAUGHT_LINE = re.compile(r"^//\s*uncaught:\s*(.+?)\s*$")
# How a host reports an uncaught error, and a library still in use at the end.
REPORTED_LINE = re.compile(r"^错误 -?\d+: (.*?)\r?$", re.M)
BUSY_LINE = re.compile(r"仍在使用中\r?$", re.M)
SERVER_LINE = re.compile(r"^//\s*server:\s*https(?:\s+(\S+))?\s*$")
CERT_FAULTS = ("self-signed", "expired", "wrong-name", "unknown-ca")


def start_server(source_dir, root, extra):
    server = subprocess.Popen(
        [sys.executable, os.path.join(source_dir, "tools", "refserver.py"), "--root", root,
         "--port", "0", "--parent-pid", str(os.getpid()), "--idle-exit", "120", "--quiet"] + extra,
        stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline().strip()
    if not line.isdigit():
        server.kill()
        raise SystemExit("the reference server did not start")
    return server, int(line)


def office_documents(page):
    with open(page, encoding="utf-8") as f:
        return [m.groups() for m in map(DOCUMENT_LINE.match, f) if m]


def library_alone(page):
    with open(page, encoding="utf-8") as f:
        return any(ALONE_LINE.match(line) for line in f)


def expected_uncaught(page):
    with open(page, encoding="utf-8") as f:
        return [m.group(1) for m in map(UNCAUGHT_LINE.match, f) if m]


def judge_uncaught(expected, status, errors):
    """The status of a page that names the errors it leaves uncaught: 0 when the run failed with
    exactly those, else a failure with the reason given."""
    reported = REPORTED_LINE.findall(errors)
    if status == 1 and reported == expected and not BUSY_LINE.search(errors):
        return 0
    print("the page was to end with the uncaught errors %s (status 1), and reported %s "
          "(status %d)" % (expected, reported, status), file=sys.stderr)
    return status or 1


def tls_options(kind):
    """The server's options for a TLS server of this kind: None, "stall" or a certificate fault."""
    if kind is None:
        return ["--tls"]
    if kind == "stall":
        return ["--tls-stall"]
    if kind in CERT_FAULTS:
        return ["--cert-fault", kind]
    raise SystemExit("unknown kind of HTTPS server %r" % kind)


def page_tls(page):
    """The server's options for the page's `// server: https [KIND]` line; [] without one."""
    with open(page, encoding="utf-8") as f:
        for m in filter(None, map(SERVER_LINE.match, f)):
            return tls_options(m.group(1))
    return []


def needs_office(page):
    with open(page, encoding="utf-8") as f:
        return any(NEEDS_OFFICE_LINE.match(line) for line in f)


def windows_skip(page):
    """Why the page cannot run against the Windows build; None when it can."""
    with open(page, encoding="utf-8") as f:
        for m in filter(None, map(WINDOWS_SKIP_LINE.match, f)):
            return m.group(1)
    if office_documents(page) or needs_office(page):
        return "needs an office program (not reached on Windows yet)"
    if library_alone(page):
        return "needs the library's module files as Linux builds them"
    return None


def windows_paths(paths):
    """The Windows names of Unix paths, as Wine's drives see them."""
    out = subprocess.run(["winepath", "-w"] + list(paths), capture_output=True, text=True,
                         check=True).stdout
    return out.splitlines()


def make_documents(documents, source_dir, scratch, work):
    """Converts the page's documents into its folder; an error text when that cannot be done."""
    soffice = shutil.which("soffice")
    if soffice is None:
        return ("this page needs LibreOffice, but soffice is not on PATH "
                "(scripts/setup-deps.sh installs it)")
    sources = os.path.join(scratch, "sources")
    converted = os.path.join(scratch, "converted")
    profile = "file://" + urllib.parse.quote(os.path.join(scratch, "convert-profile"))
    # One office run per format converts every source wanted in it.
    by_format = {}
    for source, fmt, _ in documents:
        by_format.setdefault(fmt, set()).add(source)
    for fmt, wanted in sorted(by_format.items()):
        copies = []
        for source in sorted(wanted):
            path = os.path.join(source_dir, "tests", "data", "office", source)
            if not os.path.isfile(path):
                return "no office document source %s" % path
            # The office works on copies: it must never write beside the sources.
            folder = os.path.join(sources, fmt, os.path.dirname(source))
            os.makedirs(folder, exist_ok=True)
            copies.append(shutil.copy(path, folder))
        subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--norestore",
                        "--convert-to", fmt, "--outdir", os.path.join(converted, fmt)] + copies,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
    for source, fmt, name in documents:
        stem = os.path.splitext(os.path.basename(source))[0]
        result = os.path.join(converted, fmt, stem + "." + fmt)
        if not os.path.isfile(result):
            return "LibreOffice did not convert %s to %s" % (source, fmt)
        shutil.copyfile(result, os.path.join(work, name))
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--screens", help="run with the forms on screen, screenshots to here")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--tls", action="store_true", help="the server over HTTPS")
    parser.add_argument("--cert-fault", choices=CERT_FAULTS,
                        help="the server over HTTPS with a certificate the host must refuse")
    parser.add_argument("--tls-stall", action="store_true",
                        help="the server never answers the TLS handshake")
    parser.add_argument("--wine", action="store_true",
                        help="velmaris.exe and the DLL under Wine, on the prefix WINEPREFIX names")
    parser.add_argument("page")
    options = parser.parse_args()
    if options.wine:
        reason = windows_skip(options.page)
        if reason:
            print("skipped: %s" % reason)
            return 77
    if options.tls_stall:
        tls = tls_options("stall")
    elif options.cert_fault or options.tls:
        tls = tls_options(options.cert_fault)
    else:
        tls = page_tls(options.page)

    scratch = tempfile.mkdtemp(prefix="velmaris-page-")
    env = dict(os.environ)
    env["VELMARIS_REGISTRY"] = os.path.join(scratch, "classes.reg")
    env["TEMP"] = os.path.join(scratch, "temp")
    work = os.path.join(scratch, "work")
    root = os.path.join(scratch, "srv")
    for folder in (env["TEMP"], work, root):
        os.makedirs(folder)
    command = [options.host, "run", options.page, work]
    if options.screens:
        command = [options.host, "run", options.page, "--gui", work, options.screens]
        os.makedirs(options.screens, exist_ok=True)
        env.setdefault("QT_QPA_PLATFORM", "offscreen")
        if not env.get("XDG_RUNTIME_DIR"):
            # Qt wants one, private to the user, and says so on every run without it.
            env["XDG_RUNTIME_DIR"] = os.path.join(scratch, "runtime")
            os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)

    documents = office_documents(options.page)
    if documents:
        failure = make_documents(documents, options.source_dir, scratch, work)
        if failure:
            print("page %s: %s" % (options.page, failure), file=sys.stderr)
            shutil.rmtree(scratch, ignore_errors=True)
            return 1
    env["VELMARIS_OFFICE_PIPE"] = "velmaris_page_%d" % os.getpid()
    env["VELMARIS_OFFICE_PROFILE"] = os.path.join(scratch, "office-profile")

    library = os.path.abspath(options.library)
    if library_alone(options.page):
        os.makedirs(os.path.join(scratch, "alone"))
        library = shutil.copy(library, os.path.join(scratch, "alone"))
    env["VELMARIS_PAGE_LIBRARY"] = library

    server, port = start_server(options.source_dir, root, tls)
    host = [options.host]
    if options.wine:
        host = ["wine", options.host]
        folders = [os.path.abspath(options.page), work, root, library,
                   env.get("VELMARIS_PICTURES", "/"), os.path.abspath(options.screens or "/")]
        page, work, root_name, library, pictures, screens = windows_paths(folders)
        command = host + ["run", page, work]
        if options.screens:
            command = host + ["run", page, "--gui", work, screens]
        env["VELMARIS_PAGE_LIBRARY"] = library
        if "VELMARIS_PICTURES" in env:
            env["VELMARIS_PICTURES"] = pictures
    else:
        root_name = root
    status = 1
    try:
        registered = subprocess.run(host + ["register", library], env=env,
                                    stdout=subprocess.DEVNULL if options.wine else None)
        if registered.returncode != 0:
            print("registration failed", file=sys.stderr)
            return 1
        env["VELMARIS_SERVER"] = "%s://127.0.0.1:%d" % ("https" if tls else "http", port)
        if tls:
            env["SSL_CERT_FILE"] = os.path.join(root, "tls", "ca.pem")
        if tls and options.wine:
            # Windows trusts what its store does: the run's authority is put there for the
            # page, by a program beside the host, and taken away after.
            trust = os.path.join(os.path.dirname(os.path.abspath(options.host)),
                                 "windows_trust_authority.exe")
            ca, exe = windows_paths([env["SSL_CERT_FILE"], os.path.abspath(options.host)])
            command = ["wine", trust, ca, exe] + command[2:]
        env["VELMARIS_SERVER_ROOT"] = root_name
        # Wine 8's JScript never lets go of an object made by `new ActiveXObject`: under Wine
        # the library cannot be asked to be free at the end.
        if not options.wine:
            env["VELMARIS_REQUIRE_UNLOAD"] = "1"
        try:
            uncaught = expected_uncaught(options.page)
            run = subprocess.run(command, env=env, timeout=options.timeout,
                                 stderr=subprocess.PIPE if uncaught else None)
            status = run.returncode
            if uncaught:
                errors = run.stderr.decode("utf-8", errors="replace")
                sys.stderr.write(errors)
                status = judge_uncaught(uncaught, status, errors)
        except subprocess.TimeoutExpired:
            print("the page did not finish in %g s%s" % (
                options.timeout, ": a window left open?" if options.screens else ""),
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
