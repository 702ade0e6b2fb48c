#!/usr/bin/env python3
"""Word import on LibreOffice: document pages per second, split page by page and as one page.

  python3 bench/word_import_bench.py [--build build] [--pages 50] [--runs 3] [--cold-runs 0]
                                     [--soffice-runs 0] [--json]

Makes a document of --pages pages (a heading, two paragraphs of Chinese and English text, and a
picture on every fifth page), has LibreOffice save it as .doc, and imports it with OfficeImport
(the velmaris-word-import driver) against one reference content server on loopback: with
ImportDocFile (one article page per printed page: the office moves every page into a document of
its own, saves and cleans it) and with ImportDocFileOnePage (the whole document saved and cleaned
once). The office is running before these are timed.

With --cold-runs N, N more drivers each time their first one-page import, which starts the office
(its profile made by the first driver already), as a user meets it with no office running.

With --soffice-runs N, LibreOffice's own conversion of the same .doc to HTML beside them, in a
profile of its own (made before anything is timed):
  - cold: `soffice --headless --convert-to html`, start-up and shut-down included;
  - warm: the same command while an office of that profile is running with another copy of the
    document open, so Writer and its filters are loaded, as they are for the driver's timed runs.
    The command hands the conversion to the running office through its single-instance pipe and
    returns once the file is written; its own short start is included.

Prints a Markdown table of document pages per second (median, min-max over the runs), or with
--json every run's seconds (for bench/run).
"""
import argparse
import json
import signal
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# A 24 x 16 blue PNG.
PICTURE = ("iVBORw0KGgoAAAANSUhEUgAAABgAAAAQCAIAAACDRijCAAAAGklEQVR42mOQizpBFcQwatCoQaMGjRpEGQ"
           "IARargEH1IKQ0AAAAASUVORK5CYII=")


def flat_document(pages):
    body = []
    for n in range(1, pages + 1):
        style = ' text:style-name="NewPage"' if n > 1 else ""
        body.append(f"<text:p{style}>第 {n} 页：年度工作报告</text:p>")
        body.append("<text:p>" + "本页介绍本年度的主要工作和成果。" * 6 + "</text:p>")
        body.append(f"<text:p>Page {n}: " + "this page describes the year's main work. " * 5 +
                    "</text:p>")
        if n % 5 == 0:
            body.append(f'<text:p><draw:frame draw:name="图{n}" text:anchor-type="as-char" '
                        'svg:width="2.4cm" svg:height="1.6cm"><draw:image><office:binary-data>'
                        f"{PICTURE}</office:binary-data></draw:image></draw:frame></text:p>")
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
  xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
  xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
  xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
  xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
  xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
  office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
  <office:automatic-styles>
    <style:style style:name="NewPage" style:family="paragraph">
      <style:paragraph-properties fo:break-before="page"/>
    </style:style>
  </office:automatic-styles>
  <office:body><office:text>{"".join(body)}</office:text></office:body>
</office:document>
"""


def start_server(root):
    server = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "tools", "refserver.py"), "--root", root, "--port", "0",
         "--parent-pid", str(os.getpid()), "--idle-exit", "600", "--quiet"],
        stdout=subprocess.PIPE)
    port = int(server.stdout.readline())
    return server, port


def convert_to_html(soffice, profile, document, outdir, pages):
    """Runs soffice's HTML conversion into outdir; returns its wall time in seconds."""
    start = time.perf_counter()
    subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--norestore",
                    "--convert-to", "html", "--outdir", outdir, document],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    took = time.perf_counter() - start
    html = os.path.join(outdir, os.path.splitext(os.path.basename(document))[0] + ".html")
    with open(html, encoding="utf-8", errors="replace") as f:
        if f"Page {pages}:" not in f.read():
            sys.exit(f"{html}: the conversion lacks the last page")
    return took


def soffice_runs(soffice, profile, document, work, pages, runs):
    """Times LibreOffice's conversion to HTML, cold and warm; returns {mode: [seconds]}."""
    times = {"soffice-cold": [], "soffice-warm": []}
    for run in range(runs):
        times["soffice-cold"].append(
            convert_to_html(soffice, profile, document, os.path.join(work, f"cold{run}"), pages))

    # The warm office: started with a copy of the document, which it keeps open (an office with
    # no document left would end after the first handed-over conversion). It is ready once its
    # lock file for that copy is there; a second more lets the loading finish.
    opened = os.path.join(work, "warm-" + os.path.basename(document))
    shutil.copyfile(document, opened)
    lock = os.path.join(work, ".~lock." + os.path.basename(opened) + "#")
    office = subprocess.Popen([soffice, "-env:UserInstallation=" + profile, "--headless",
                               "--norestore", opened], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        deadline = time.monotonic() + 60
        while not os.path.exists(lock):
            if time.monotonic() > deadline or office.poll() is not None:
                sys.exit("the warm office did not open its document")
            time.sleep(0.1)
        time.sleep(1)
        for run in range(runs):
            times["soffice-warm"].append(
                convert_to_html(soffice, profile, document, os.path.join(work, f"warm{run}"),
                                pages))
            if office.poll() is not None:
                sys.exit("the warm office ended during the conversions")
    finally:
        os.killpg(office.pid, signal.SIGTERM)
        office.wait()
        time.sleep(0.5)
        try:
            os.killpg(office.pid, signal.SIGKILL)  # whatever of the office is left
        except ProcessLookupError:
            pass
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--pages", type=int, default=50)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--cold-runs", type=int, default=0)
    parser.add_argument("--soffice-runs", type=int, default=0)
    parser.add_argument("--json", action="store_true", help="print every run's seconds as JSON")
    args = parser.parse_args()
    driver = os.path.join(args.build, "velmaris-word-import")
    soffice = shutil.which("soffice")
    if soffice is None:
        sys.exit("LibreOffice (soffice) is not on PATH")

    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, f"report{args.pages}.fodt")
        with open(source, "w", encoding="utf-8") as out:
            out.write(flat_document(args.pages))
        profile = "file://" + urllib.parse.quote(os.path.join(work, "convert-profile"))
        subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless", "--norestore",
                        "--convert-to", "doc", "--outdir", work, source],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        document = os.path.splitext(source)[0] + ".doc"
        temp = os.path.join(work, "temp")
        os.makedirs(temp)
        server, port = start_server(os.path.join(work, "srv"))
        outputs = []
        try:
            for runs in [args.runs] + [0] * args.cold_runs:
                out = subprocess.run([driver, f"http://127.0.0.1:{port}", document, str(runs)],
                                     env=dict(os.environ, TEMP=temp), capture_output=True,
                                     text=True)
                if out.returncode != 0:
                    sys.exit(f"velmaris-word-import failed:\n{out.stdout}{out.stderr}")
                outputs.append(out.stdout)
        finally:
            server.terminate()
            server.wait()
        # Every split import must have posted one page per document page, in order.
        articles = os.path.join(work, "srv", "articles")
        for name in sorted(os.listdir(articles)):
            with open(os.path.join(articles, name), encoding="utf-8") as f:
                # The office wraps long lines: compare with single blanks.
                pages = [" ".join(page.split()) for page in json.load(f)["pages"]]
            if len(pages) not in (1, args.pages):
                sys.exit(f"{name}: {len(pages)} pages, expected 1 or {args.pages}")
            if len(pages) == args.pages and any(f"Page {n}:" not in page
                                                for n, page in enumerate(pages, 1)):
                sys.exit(f"{name}: the pages are not in the document's order")

        theirs = soffice_runs(soffice, profile, document, work, args.pages,
                              args.soffice_runs) if args.soffice_runs else {}

    times = {"split": [], "one-page": [], "cold": []}
    for n, output in enumerate(outputs):
        for line in output.split("\n"):
            if line:
                mode, seconds = line.split()
                # The first driver's office also made its profile: not a start a user meets twice.
                if mode == "cold" and n == 0:
                    continue
                times[mode].append(float(seconds))
    times.update(theirs)
    if args.json:
        json.dump({"pages": args.pages, "seconds": times}, sys.stdout, indent=1)
        print()
        return

    print(f"Word import of a {args.pages}-page document, {args.runs} runs")
    print()
    print("| mode | pages/s (median) | min-max | seconds per import (median) |")
    print("|---|---|---|---|")
    labels = {"split": "split", "one-page": "one-page",
              "cold": "one-page, office started by the import",
              "soffice-cold": "soffice --convert-to html", "soffice-warm":
              "soffice --convert-to html, office running"}
    for mode, label in labels.items():
        if not times.get(mode):
            continue
        rates = [args.pages / t for t in times[mode]]
        print(f"| {label} | {statistics.median(rates):.1f} | {min(rates):.1f}-{max(rates):.1f} "
              f"| {statistics.median(times[mode]):.2f} |")


if __name__ == "__main__":
    main()
