#!/usr/bin/env python3
"""Runs one browser test end to end: a private class registry and TEMP, the library registered,
the reference content server serving tests/browser/pages, `velmaris bridge` allowing that server's
origin, and the page opened in a headless Chromium (puppeteer-core, see open_page.mjs).

    run_browser.py --host VELMARIS --library LIB --source-dir ROOT [--wine] NAME

NAME is a page, pages/NAME.html, or `door` (door.py: the bridge tried with raw WebSocket
requests, no browser). The page is opened as

    /pages/NAME.html?bridge=PORT&server=URL&folder=DIR&pictures=DIR

and reports by setting window.__result to {ok: true} or {ok: false, error: TEXT}. A page cannot
read what the server stored, so the runner then checks that (CHECKS below). Every run's folder
holds the same files: 说明.txt (every byte value, then GBK text) and a tree, tree/a.txt,
tree/Thumbs.db, tree/s/b.txt; the files of the page's own (FIXTURES below); and the office
documents a page names in a script line `// office-document: SOURCE FORMAT NAME`, as page scripts
do (see tests/pages/run_page.py). Screenshots a page asks for (see open_page.mjs) go to
$VELMARIS_SCREENS, by default screens/ beside the host, where the desktop forms' are.

With --wine the host is velmaris.exe and the library VelmarisClient.dll, run under Wine on the
prefix WINEPREFIX names (tests/windows/browser.sh makes one for all tests), as run_page.py --wine
runs them: the page gets its folders as Windows paths, and a page that needs what the Windows build
does not have is skipped. Chromium and the door's client reach the bridge on the machine's loopback.

Exits 0 on success, 1 on failure, 77 when Chromium or Node is missing or the page cannot run on
the Windows build.
"""
import argparse
import fcntl
import json
import ntpath
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "pages"))
sys.path.insert(0, HERE)
import run_page  # noqa: E402
import door  # noqa: E402

SEP = "----abcdefghijklmnopqrstuvwxyz----"
SOURCE_BYTES = bytes(range(256)) * 16 + "中文内容\r\n".encode("gbk")
TREE = {"tree/a.txt": b"A", "tree/Thumbs.db": b"cache", "tree/s/b.txt": b"B"}
BIG_FILE = 10 * 1024 * 1024
# A page's own files: big/ is 100 MB in ten files, so a run lasts long enough to be watched.
FIXTURES = {
    "office_form": {"a.txt": "第一篇\r\n作者：甲\r\n正文一\r\n".encode("utf-8"),
                    "b.txt": "第二篇\r\n作者：乙\r\n正文二\r\n".encode("utf-8")},
    "multi_form": {"big/%d.bin" % i: bytes([i]) * BIG_FILE for i in range(10)},
}


def make_fixtures(work, page):
    with open(os.path.join(work, "说明.txt"), "wb") as f:
        f.write(SOURCE_BYTES)
    for name, data in dict(TREE, **FIXTURES.get(page, {})).items():
        path = os.path.join(work, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


class Stored:
    """What the server recorded under its root."""

    def __init__(self, root):
        self.root = root

    def uploads(self):
        try:
            with open(os.path.join(self.root, "uploads.jsonl"), encoding="utf-8") as f:
                return [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def article(self, n):
        with open(os.path.join(self.root, "articles", "%06d.json" % n), encoding="utf-8") as f:
            return json.load(f)

    def articles(self):
        return len(os.listdir(os.path.join(self.root, "articles")))

    def file(self, stored):
        try:
            with open(os.path.join(self.root, "files", *stored.split("/")), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None


def field(record, name):
    return next((v for k, v in record["fields"] if k == name), None)


# What each page must have left on the server: (actual, expected, what) for each check. `work` and
# `pictures` are the folders the page was given, `join` how the host's system names a file in one.

def check_file_upload(s, work, pictures, join):
    ups = s.uploads()
    up = ups[0] if ups else {"fields": [], "files": [{}]}
    return [
        (len(ups), 1, "one upload"),
        (up["fields"], [["curPath", "资料/2008/"], ["contentid", "7"]], "fields, read as GBK"),
        (up["files"][0].get("name"), "说明.txt", "part name"),
        (up["files"][0].get("filename"), join(work, "说明.txt"), "part filename"),
        (s.file("资料/2008/说明.txt") == SOURCE_BYTES, True, "stored byte for byte"),
    ]


def check_multi_upload(s, work, pictures, join):
    ups = s.uploads()
    return [
        ([(u["fields"], u["files"][0]["stored"]) for u in ups],
         [([["path", "up/"]], "up/a.txt"), ([["path", "up/s/"]], "up/s/b.txt")], "the tree mirrored"),
        ((s.file("up/a.txt"), s.file("up/s/b.txt")), (b"A", b"B"), "stored contents"),
    ]


def check_import_txt(s, work, pictures, join):
    a = s.article(1)
    return [
        (a["title"], "春季报告", "title"),
        (a["fields"], [["columnid", "12a"], ["issueid", "3"], ["objecttype", "2"],
                       ["title", "春季报告"], ["content", "a&nbsp;b<br>c<br>" + SEP],
                       ["author", "王五"], ["curpath", "2008/05"]], "fields in order"),
    ]


def check_word_import(s, work, pictures, join):
    a = s.article(1)
    ups = s.uploads()
    texts = ["第一页：春天的故事", "第二页：夏天的故事", "第三页：秋天的故事"]
    address = ups[0]["address"] if ups else None
    return [
        ((a["title"], field(a, "columnid"), field(a, "author")), ("三页文档", "7", "编辑部"),
         "title, column, author"),
        ([[t in page for t in texts] for page in a["pages"]],
         [[i == j for j in range(3)] for i in range(3)], "one page per printed page, in order"),
        ([u["fields"][1] for u in ups], [["contentid", "-1"]], "the picture, as the document's"),
        ('<img src="%s"' % address in a["pages"][1], True, "the server's address in the page"),
    ]


def check_picture_batch(s, work, pictures, join):
    ups = s.uploads()
    fields = [["curpath", "2008"], ["contentid", "-1"], ["author", "编辑"], ["thumbnail", "Yes"],
              ["thumbnailalt", "Click"], ["thumbnailtarget", "about:blank"], ["watermark", "Yes"],
              ["wmtext", "W"], ["wmposition", "8"], ["wmcolor", "-65536"], ["imgstamp", "No"]]
    names = ["a.jpg", "c.gif"]
    checks = [([u["n"] for u in ups], [1, 3], "uploads, each followed by its article")]
    for i, name in enumerate(names):
        up = ups[i] if i < len(ups) else {"fields": None, "files": [{}]}
        a = s.article(i + 1)
        checks += [
            (up["fields"], fields, name + " fields"),
            (up["files"][0].get("filename"), join(pictures, name), name + " part filename"),
            ((a["n"], a["fields"]), (2 * i + 2, [["columnid", "5"], ["issueid", "0"], ["objecttype", "1"],
                                                 ["title", "T"], ["content", "/files/" + name + SEP],
                                                 ["author", "编辑"]]), name + " article"),
        ]
    return checks


def check_errors(s, work, pictures, join):
    return [((len(s.uploads()), s.articles()), (0, 0), "nothing stored")]


def check_office_form(s, work, pictures, join):
    return [((s.article(1)["title"], s.article(2)["title"]), ("第一篇", "第二篇"), "both articles"),
            (s.articles(), 2, "no more articles")]


def check_multi_form(s, work, pictures, join):
    ups = s.uploads()
    return [
        (sorted((u["fields"], u["files"][0]["name"]) for u in ups),
         [([["path", "big/"]], "%d.bin" % i) for i in range(10)], "the tree"),
        ([s.file("big/%d.bin" % i) == bytes([i]) * BIG_FILE for i in range(10)], [True] * 10,
         "stored contents"),
    ]


def check_cancel_form(s, work, pictures, join):
    return [(s.articles(), 1, "the article of the picture under way, no more")]


def check_image_form(s, work, pictures, join):
    ups = s.uploads()
    fields = [["curpath", "2008"], ["contentid", "-1"], ["author", "编辑"], ["thumbnail", "No"],
              ["watermark", "Yes"], ["wmtext", "水印"], ["wmposition", "16"],
              ["wmcolor", "-16776961"], ["imgstamp", "No"]]
    checks = [(len(ups), 3, "uploads")]
    for i, name in enumerate(["a", "c"]):
        checks += [(ups[i]["fields"] if i < len(ups) else None, fields, name + " fields"),
                   (s.article(i + 1)["title"], name, name + " title from its name")]
    last = ups[2]["fields"] if len(ups) > 2 else []
    checks.append(([field({"fields": last}, k) for k in ("thumbnailwidth", "thumbnailheight")],
                   ["320", "240"], "the typed size"))
    return checks


CHECKS = {
    "file_upload": check_file_upload,
    "multi_upload": check_multi_upload,
    "import_txt": check_import_txt,
    "word_import": check_word_import,
    "picture_batch": check_picture_batch,
    "errors": check_errors,
    "office_form": check_office_form,
    "multi_form": check_multi_form,
    "image_form": check_image_form,
    "cancel_form": check_cancel_form,
}


def judge(checks):
    return ["%s: expected %r, got %r" % (what, expected, actual)
            for actual, expected, what in checks if actual != expected]


def ensure_node_modules():
    """npm ci when node_modules is missing or older than the lock file; tests running side by
    side install it once."""
    modules = os.path.join(HERE, "node_modules")
    lock = os.path.join(HERE, "package-lock.json")
    with open(os.path.join(HERE, ".npm-ci.lock"), "w") as held:
        fcntl.flock(held, fcntl.LOCK_EX)
        if os.path.isdir(modules) and os.path.getmtime(modules) >= os.path.getmtime(lock):
            return True
        done = subprocess.run(["npm", "ci", "--no-audit", "--no-fund"], cwd=HERE,
                              env=dict(os.environ, PUPPETEER_SKIP_DOWNLOAD="1"))
        if done.returncode == 0:
            os.utime(modules)
        return done.returncode == 0


def start_bridge(host, env, origin):
    bridge = subprocess.Popen(host + ["bridge", "--port", "0", "--allow", origin, "--answer-dialogs"],
                              env=env, stdout=subprocess.PIPE, text=True)
    line = [None]
    reader = threading.Thread(target=lambda: line.__setitem__(0, bridge.stdout.readline()), daemon=True)
    reader.start()
    reader.join(20)
    # Under Wine the line ends in \r\n.
    words = (line[0] or "").split()
    if words[:2] != ["listening", "on"] or ":" not in words[-1]:
        bridge.kill()
        bridge.wait()
        raise SystemExit("the bridge did not start (first line %r)" % line[0])
    # Whatever it says later goes nowhere, without it waiting on a full pipe.
    threading.Thread(target=lambda: bridge.stdout.read(), daemon=True).start()
    return bridge, int(words[-1].rsplit(":", 1)[1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--timeout", type=float, default=90)
    parser.add_argument("--wine", action="store_true",
                        help="velmaris.exe and the DLL under Wine, on the prefix WINEPREFIX names")
    parser.add_argument("name")
    options = parser.parse_args()
    pictures = os.path.join(os.path.abspath(options.source_dir), "tests", "data", "image")
    page = os.path.join(HERE, "pages", options.name + ".html")
    in_browser = options.name != "door"
    if options.wine and in_browser:
        reason = run_page.windows_skip(page)
        if reason:
            print("skipped: %s" % reason)
            return 77
    chromium = os.environ.get("CHROMIUM") or shutil.which("chromium")
    if in_browser and not (chromium and shutil.which("node") and shutil.which("npm")):
        print("skipped: Chromium, node or npm is missing (scripts/setup-deps.sh installs them)")
        return 77
    if in_browser and not ensure_node_modules():
        print("npm ci failed in %s" % HERE, file=sys.stderr)
        return 1

    scratch = tempfile.mkdtemp(prefix="velmaris-browser-")
    env = dict(os.environ, CHROMIUM=chromium or "")
    env["VELMARIS_REGISTRY"] = os.path.join(scratch, "classes.reg")
    env["TEMP"] = os.path.join(scratch, "temp")
    # The bridge reads no allow list but the run's, and asks nobody.
    env["XDG_CONFIG_HOME"] = os.path.join(scratch, "config")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env["VELMARIS_OFFICE_PIPE"] = "velmaris_browser_%d" % os.getpid()
    env["VELMARIS_OFFICE_PROFILE"] = os.path.join(scratch, "office-profile")
    work = os.path.join(scratch, "work")
    root = os.path.join(scratch, "srv")
    for folder in (env["TEMP"], work, root, env["XDG_CONFIG_HOME"]):
        os.makedirs(folder)
    make_fixtures(work, options.name)
    env.setdefault("VELMARIS_SCREENS",
                   os.path.join(os.path.dirname(os.path.abspath(options.host)), "screens"))
    status = 1
    server = bridge = None
    try:
        if in_browser:
            failure = None
            documents = run_page.office_documents(page)
            if documents:
                failure = run_page.make_documents(documents, options.source_dir, scratch, work)
            if failure:
                print("page %s: %s" % (options.name, failure), file=sys.stderr)
                return 1
        host = [options.host]
        library = os.path.abspath(options.library)
        # What the page and the door hand the controls: the names the host's system uses.
        page_work, page_pictures = work, pictures
        if options.wine:
            host = ["wine", options.host]
            library, page_work, page_pictures = run_page.windows_paths([library, work, pictures])
        if subprocess.run(host + ["register", library], env=env,
                          stdout=subprocess.DEVNULL if options.wine else None).returncode != 0:
            print("registration failed", file=sys.stderr)
            return 1
        server, server_port = run_page.start_server(
            options.source_dir, root, ["--pages", os.path.join(HERE, "pages")])
        origin = "http://127.0.0.1:%d" % server_port
        bridge, bridge_port = start_bridge(host, env, origin)

        if in_browser:
            query = {"bridge": bridge_port, "server": origin, "folder": page_work,
                     "pictures": page_pictures}
            url = "%s/pages/%s.html?%s" % (origin, options.name,
                                           "&".join("%s=%s" % (k, urllib.parse.quote(str(v)))
                                                    for k, v in query.items()))
            opened = subprocess.run(["node", os.path.join(HERE, "open_page.mjs"), url,
                                     str(options.timeout)], env=env, stdout=subprocess.PIPE,
                                    text=True, timeout=options.timeout + 30)
            lines = opened.stdout.strip().splitlines()
            result = json.loads(lines[-1]) if lines else {"ok": False, "error": "no report"}
            problems = [] if result.get("ok") else ["the page: %s" % result.get("error")]
            facts = {k: v for k, v in result.items() if k != "ok"}
            if result.get("ok") and facts:
                print("the page saw: %s" % json.dumps(facts, ensure_ascii=False))
            if not problems and options.name in CHECKS:
                try:
                    problems = judge(CHECKS[options.name](
                        Stored(root), page_work, page_pictures,
                        ntpath.join if options.wine else os.path.join))
                except (OSError, LookupError, ValueError, TypeError) as e:
                    problems = ["what the server stored: %r" % e]
        else:
            problems = door.run(bridge_port, bridge.pid, server_port, page_work, options.wine)
        if bridge.poll() is not None:
            problems.append("the bridge ended (status %d) during the test" % bridge.returncode)
        for problem in problems:
            print(problem, file=sys.stderr)
        status = 1 if problems else 0
    finally:
        for process in (bridge, server):
            if process is not None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        # Told to stop, the bridge lets go of everything and ends well (under the sanitizers its
        # leak check runs then). Wine's launcher has a status of its own.
        if status == 0 and bridge is not None and not options.wine and bridge.returncode != 0:
            print("the bridge ended with status %d when told to stop" % bridge.returncode,
                  file=sys.stderr)
            status = 1
        if status == 0:
            shutil.rmtree(scratch, ignore_errors=True)
        else:
            print("%s failed; its files are in %s" % (options.name, scratch), file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
