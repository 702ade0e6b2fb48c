#!/usr/bin/env python3
"""Word import on LibreOffice: document pages per second, split page by page and as one page.

  python3 bench/word_import_bench.py [--build build] [--pages 50] [--runs 3]

Makes a document of --pages pages (a heading, two paragraphs of Chinese and English text, and a
picture on every fifth page), has LibreOffice save it as .doc, and imports it with OfficeImport
(the velmaris-word-import driver) against one reference content server on loopback: with
ImportDocFile (one article page per printed page: the office moves every page into a document of
its own, saves and cleans it) and with ImportDocFileOnePage (the whole document saved and cleaned
once). The office is running before anything is timed. Prints a Markdown table of document pages
per second (median, min-max over the runs).
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--pages", type=int, default=50)
    parser.add_argument("--runs", type=int, default=3)
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
        try:
            out = subprocess.run([driver, f"http://127.0.0.1:{port}", document, str(args.runs)],
                                 env=dict(os.environ, TEMP=temp), capture_output=True, text=True)
        finally:
            server.terminate()
            server.wait()
        if out.returncode != 0:
            sys.exit(f"velmaris-word-import failed:\n{out.stdout}{out.stderr}")
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

    times = {}
    for line in out.stdout.split("\n"):
        if line:
            mode, seconds = line.split()
            times.setdefault(mode, []).append(float(seconds))
    print(f"Word import of a {args.pages}-page document, {args.runs} runs")
    print()
    print("| mode | pages/s (median) | min-max | seconds per import (median) |")
    print("|---|---|---|---|")
    for mode in ("split", "one-page"):
        rates = [args.pages / t for t in times[mode]]
        print(f"| {mode} | {statistics.median(rates):.1f} | {min(rates):.1f}-{max(rates):.1f} "
              f"| {statistics.median(times[mode]):.2f} |")


if __name__ == "__main__":
    main()
