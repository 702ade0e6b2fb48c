"""Tests for tools/refserver.py, driven over raw sockets.

Run from the repository root:  python3 -m unittest tools/test_refserver.py
"""

import concurrent.futures
import glob
import gzip
import json
import os
import random
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import uuid
import zlib

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "refserver.py")
SEP = "----abcdefghijklmnopqrstuvwxyz----"
BOUNDARY = b"----VelmarisFormBoundary5f3a"


def start_server(root, *extra):
    proc = subprocess.Popen([sys.executable, SERVER, "--root", root, "--port", "0", "--quiet", *extra],
                            stdout=subprocess.PIPE)
    line = proc.stdout.readline()
    if not line.strip().isdigit():
        proc.kill()
        raise RuntimeError("server did not report a port: %r" % line)
    return proc, int(line)


def field(name, value):
    return (b'Content-Disposition: form-data; name="%s"\r\n\r\n' % name.encode("gbk")) + value.encode("gbk")


def filepart(filename, content, name="file", ctype=b"application/octet-stream"):
    return (b'Content-Disposition: form-data; name="%s"; filename="%s"\r\nContent-Type: %s\r\n\r\n'
            % (name.encode("gbk"), filename.encode("gbk"), ctype)) + content


def form(*parts, boundary=BOUNDARY):
    return b"".join(b"--" + boundary + b"\r\n" + p + b"\r\n" for p in parts) + b"--" + boundary + b"--\r\n"


def post_request(target, body, ctype=b"multipart/form-data; boundary=" + BOUNDARY):
    # Two blanks after "Content-Length:" on purpose: that is what the controls send.
    return (b"POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: %s\r\nContent-Length:  %d\r\n"
            b"Connection: close\r\n\r\n" % (target, ctype, len(body))) + body


def get_request(target):
    return b"GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % target


def recv_all(sock, timeout=5.0):
    """Read to EOF; returns [(arrival time, bytes), ...]."""
    sock.settimeout(timeout)
    out = []
    while True:
        try:
            data = sock.recv(65536)
        except ssl.SSLEOFError:
            return out      # TLS cut off without close_notify: a plain connection just closes
        if not data:
            return out
        out.append((time.monotonic(), data))


def parse_response(data):
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    headers = {}
    for line in lines[1:]:
        k, v = line.decode("latin-1").split(":", 1)
        headers[k.strip().lower()] = v.strip()
    return lines[0].decode("latin-1"), headers, body


def dechunk(body):
    """Strictly decode a chunked body; returns (payload, number of data chunks)."""
    payload, count = b"", 0
    while True:
        size_line, sep, body = body.partition(b"\r\n")
        if not sep:
            raise AssertionError("truncated chunk size line")
        size = int(size_line, 16)
        if size == 0:
            if body != b"\r\n":
                raise AssertionError("bad chunked trailer: %r" % body)
            return payload, count
        if body[size:size + 2] != b"\r\n":
            raise AssertionError("chunk not followed by CRLF")
        payload += body[:size]
        body = body[size + 2:]
        count += 1


def tls_connect(port, root, name="127.0.0.1", timeout=5.0):
    """A TLS connection from a client that trusts the run's authority and nothing else."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        # Ragged ends raised, so a cut-off connection and an orderly close_notify tell apart.
        return ssl.create_default_context(cafile=os.path.join(root, "tls", "ca.pem")).wrap_socket(
            sock, server_hostname=name, suppress_ragged_eofs=False)
    except BaseException:
        sock.close()
        raise


class ServerTest(unittest.TestCase):
    SERVER_OPTIONS = ()

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.root = os.path.join(cls.tmp.name, "root")
        cls.proc, cls.port = start_server(cls.root, "--parent-pid", str(os.getpid()), "--idle-exit", "60",
                                          *cls.SERVER_OPTIONS)

    @classmethod
    def tearDownClass(cls):
        cls.proc.terminate()
        cls.proc.wait(5)
        cls.proc.stdout.close()
        cls.tmp.cleanup()

    # -- helpers --

    def connect(self, timeout=5.0):
        return socket.create_connection(("127.0.0.1", self.port), timeout=timeout)

    def exchange(self, raw, timeout=5.0):
        with self.connect(timeout) as s:
            s.sendall(raw)
            return recv_all(s, timeout)

    def fetch(self, raw):
        return parse_response(b"".join(d for _, d in self.exchange(raw)))

    def upload(self, target, *parts):
        return self.fetch(post_request(target, form(*parts)))

    def stored(self, rel):
        path = os.path.join(self.root, "files", *rel.split("/"))
        with open(path, "rb") as f:
            return f.read()

    def record_with(self, tag, wait=0.0):
        """Raw bytes of the recorded request containing tag."""
        deadline = time.monotonic() + wait
        while True:
            for path in glob.glob(os.path.join(self.root, "requests", "*.http")):
                with open(path, "rb") as f:
                    data = f.read()
                if tag in data:
                    return data
            if time.monotonic() >= deadline:
                self.fail("no recorded request contains %r" % tag)
            time.sleep(0.05)

    def uploads_log(self):
        with open(os.path.join(self.root, "uploads.jsonl"), encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    @staticmethod
    def tag():
        return uuid.uuid4().hex[:12]

    # -- uploads --

    def test_upload_gbk_names_large_body_exact_bytes(self):
        rnd = random.Random(7)
        # Over 2 MiB so the boundary search crosses read chunks, with near-miss delimiters inside.
        content = (bytes(rnd.getrandbits(8) for _ in range(300000)) * 8
                   + b"\r\n--" + BOUNDARY[:-1] + b"X\r\n" + b"\r\n--\r\n" + b"tail")
        # The second byte of "俓" in GBK is a backslash; the base name must survive it.
        filename = "C:\\doc\\俓报告.doc"
        raw = post_request(b"/cms/upload.asp",
                           form(field("curPath", "图片\\2024"), filepart(filename, content, ctype=b"application/msword"),
                                field("title", "中文标题")))
        status, headers, body = parse_response(b"".join(d for _, d in self.exchange(raw)))

        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertEqual(headers["content-type"], "text/plain; charset=gbk")
        self.assertEqual(headers["content-length"], str(len(body)))
        self.assertEqual(body, "/files/图片/2024/俓报告.doc".encode("gbk"))
        self.assertEqual(self.stored("图片/2024/俓报告.doc"), content)
        self.assertEqual(self.record_with(b"\xb8\xe6.doc"), raw)
        entry = next(e for e in self.uploads_log() if e["address"] == "/files/图片/2024/俓报告.doc")
        self.assertEqual(entry["path"], "/cms/upload.asp")
        self.assertEqual(entry["fields"], [["curPath", "图片\\2024"], ["title", "中文标题"]])
        self.assertEqual(entry["files"], [{"name": "file", "filename": filename, "size": len(content),
                                           "stored": "图片/2024/俓报告.doc", "content_type": "application/msword"}])

        # The address comes back both as the raw GBK reply and as a browser would send it.
        for target in (body, urllib.parse.quote("/files/图片/2024/俓报告.doc").encode()):
            with self.subTest(target=target):
                status, _, got = self.fetch(get_request(target))
                self.assertEqual(status, "HTTP/1.1 200 OK")
                self.assertEqual(got, content)

    def test_upload_folder_and_name_rules(self):
        t = self.tag()
        cases = [
            # (fields, filename, expected reply / stored path)
            ([("curPath", "../../" + t + "esc")], "a.txt", t + "esc/a.txt"),
            ([("curPath", "..\\..\\..\\" + t + "win")], "a.txt", t + "win/a.txt"),
            ([("curPath", "/abs/./" + t + "/../d/")], "a.txt", "abs/" + t + "/d/a.txt"),
            ([("path", t + "p/q")], "a.txt", t + "p/q/a.txt"),
            ([("path", t + "p2"), ("curPath", t + "c2")], "a.txt", t + "c2/a.txt"),
            ([], "/home/u/" + t + "top.txt", t + "top.txt"),
            ([], "..\\..\\" + t + "up.txt", t + "up.txt"),
            ([("curPath", t + "n")], "", None),
            ([("curPath", t + "n")], "..", None),
            ([("curPath", t + "n")], None, None),
        ]
        for fields, filename, expected in cases:
            with self.subTest(fields=fields, filename=filename):
                content = os.urandom(100)
                parts = [field(k, v) for k, v in fields]
                if filename is not None:
                    parts.append(filepart(filename, content))
                status, _, body = self.upload(b"/upload.asp", *parts)
                self.assertEqual(status, "HTTP/1.1 200 OK")
                if expected is None:
                    self.assertEqual(body, b"NOFILE")
                else:
                    self.assertEqual(body, ("/files/" + expected).encode("gbk"))
                    self.assertEqual(self.stored(expected), content)
        # Nothing landed beside the root or beside files/.
        self.assertEqual(os.listdir(self.tmp.name), ["root"])
        self.assertTrue(set(os.listdir(self.root)) <= {"requests", "files", "articles", ".tmp", "uploads.jsonl", "tls"})
        self.assertFalse(os.path.exists(os.path.join(self.root, "files", t + "n")))

    def test_upload_same_name_never_replaces(self):
        t = self.tag()

        def send(folder, *names):
            contents = [os.urandom(50) for _ in names]
            status, _, body = self.upload(b"/upload.asp", field("curPath", folder),
                                          *(filepart(n, c) for n, c in zip(names, contents)))
            self.assertEqual(status, "HTTP/1.1 200 OK")
            entry = next(e for e in self.uploads_log() if e["address"].encode("gbk") == body)
            stored = [f["stored"] for f in entry["files"]]
            self.assertEqual(body, ("/files/" + stored[0]).encode("gbk"))
            for rel, content in zip(stored, contents):
                self.assertEqual(self.stored(rel), content)
            return [rel.rsplit("/", 1)[1] for rel in stored]

        cases = [
            # (names in one request, names stored) in order, all into one folder
            (["Slide1.jpg", "Slide1.jpg"], ["Slide1.jpg", "Slide1_2.jpg"]),
            (["Slide1.jpg"], ["Slide1_3.jpg"]),
            (["C:\\b\\README"], ["README"]),
            (["README"], ["README_2"]),
            ([".profile", ".profile"], [".profile", ".profile_2"]),
        ]
        for names, expected in cases:
            with self.subTest(names=names):
                self.assertEqual(send(t, *names), expected)
        # The smallest free number is taken.
        os.unlink(os.path.join(self.root, "files", t, "Slide1_2.jpg"))
        self.assertEqual(send(t, "Slide1.jpg"), ["Slide1_2.jpg"])

        # Uploads at the same moment each get a file of their own.
        def send_at_once(content):
            _, _, body = self.upload(b"/upload.asp", field("curPath", t + "c"), filepart("x.bin", content))
            return body.decode("gbk"), content

        with concurrent.futures.ThreadPoolExecutor(8) as pool:
            answers = list(pool.map(send_at_once, [os.urandom(50) for _ in range(8)]))
        for address, content in answers:
            self.assertEqual(self.stored(address[len("/files/"):]), content)
        self.assertEqual(sorted(a.rsplit("/", 1)[1] for a, _ in answers),
                         sorted(["x.bin"] + ["x_%d.bin" % n for n in range(2, 9)]))

    def test_malformed_bodies_answer_400_and_store_nothing(self):
        t = self.tag()
        good = form(field("curPath", t), filepart("m.txt", b"data"))
        cases = [
            ("no boundary", post_request(b"/upload.asp", good, ctype=b"multipart/form-data")),
            ("not multipart", post_request(b"/upload.asp", good, ctype=b"application/x-www-form-urlencoded")),
            ("other boundary", post_request(b"/upload.asp", form(field("curPath", t), filepart("m.txt", b"d"),
                                                                 boundary=b"zzzz"))),
            ("no closing line", post_request(b"/upload.asp", good[:-len(BOUNDARY) - 6])),
            ("no disposition", post_request(b"/upload.asp", b"--" + BOUNDARY + b"\r\nContent-Type: text/plain\r\n\r\n"
                                            b"x\r\n--" + BOUNDARY + b"--\r\n")),
            ("article no closing", post_request(b"/savepost.asp", form(field("title", t))[:-8])),
            ("bad content-length", b"POST /upload.asp HTTP/1.1\r\nContent-Length: 1x\r\n\r\n"),
        ]
        for name, raw in cases:
            with self.subTest(name):
                status, _, _ = self.fetch(raw)
                self.assertEqual(status, "HTTP/1.1 400 Bad Request")
        self.assertFalse(os.path.exists(os.path.join(self.root, "files", t)))
        self.assertEqual(os.listdir(os.path.join(self.root, ".tmp")), [])

    # -- articles and pages --

    def test_article_pages_and_index(self):
        t = self.tag()
        img = self.upload(b"/upload.asp", field("curPath", t), filepart("pic.jpg", b"\xff\xd8jpeg"))[2].decode("gbk")
        cases = [
            ("<p>第一页</p>" + SEP + '<p>二<img src="%s"></p>' % img + SEP,
             ["<p>第一页</p>", '<p>二<img src="%s"></p>' % img]),
            ("a" + SEP + SEP + "b" + SEP, ["a", "", "b"]),
            ("single page without separator", ["single page without separator"]),
            ("", []),
        ]
        for i, (content, pages) in enumerate(cases):
            with self.subTest(content=content):
                title = "%s 标题%d" % (t, i)
                status, headers, body = self.upload(b"/cms/savepost.asp", field("title", title),
                                                    field("content", content), field("author", "作者"))
                self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"OK"))
                found = []
                for path in glob.glob(os.path.join(self.root, "articles", "*.json")):
                    with open(path, encoding="utf-8") as f:
                        art = json.load(f)
                    if art["title"] == title:
                        found.append((path, art))
                self.assertEqual(len(found), 1)
                path, art = found[0]
                self.assertEqual(art["pages"], pages)
                self.assertEqual(art["fields"], [["title", title], ["content", content], ["author", "作者"]])

                num = int(os.path.basename(path)[:-5])
                status, headers, page = self.fetch(get_request(b"/articles/%d" % num))
                self.assertEqual(status, "HTTP/1.1 200 OK")
                self.assertIn(title, page.decode("utf-8"))

        status, headers, index = self.fetch(get_request(b"/"))
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertEqual(headers["content-type"], "text/html; charset=utf-8")
        text = index.decode("utf-8")
        self.assertIn('lang="zh-CN"', text)
        self.assertIn('href="%s"' % urllib.parse.quote(img), text)
        self.assertIn("%s 标题0" % t, text)
        # Pages are the article's HTML and appear unescaped.
        self.assertIn('<p>二<img src="%s"></p>' % img, text)

    def test_get_routes(self):
        cases = [
            (b"/nothing-here", "HTTP/1.1 404 Not Found"),
            (b"/files/no-such-file", "HTTP/1.1 404 Not Found"),
            (b"/files/../requests/000001.http", "HTTP/1.1 403 Forbidden"),
            (b"/files/%2e%2e/uploads.jsonl", "HTTP/1.1 403 Forbidden"),
            (b"/articles/999999", "HTTP/1.1 404 Not Found"),
        ]
        for target, expected in cases:
            with self.subTest(target=target):
                self.assertEqual(self.fetch(get_request(target))[0], expected)

    # -- faults --

    def test_fault_statuses_store_nothing(self):
        cases = [
            ("404", "HTTP/1.1 404 Not Found"),
            ("500", "HTTP/1.1 500 Internal Server Error"),
            ("403", "HTTP/1.1 403 Forbidden"),
            ("hdr500", "HTTP/1.1 302 Found"),
            ("no-such-mode", "HTTP/1.1 400 Bad Request"),
            ("", "HTTP/1.1 400 Bad Request"),
        ]
        for mode, expected in cases:
            with self.subTest(mode=mode):
                t = self.tag()
                raw = post_request(b"/_fault/%s/cms/upload.asp?%s" % (mode.encode(), t.encode()),
                                   form(field("curPath", t), filepart("f.txt", b"x")))
                with self.connect() as s:
                    s.sendall(raw)
                    data = b"".join(d for _, d in recv_all(s))
                status, headers, _ = parse_response(data)
                self.assertEqual(status, expected)
                if mode == "hdr500":
                    head = data.partition(b"\r\n\r\n")[0]
                    self.assertIn(b"500", head.split(b"\r\n", 1)[1])
                self.assertEqual(self.record_with(t.encode()), raw)
                self.assertFalse(os.path.exists(os.path.join(self.root, "files", t)))

    def test_delivery_modes(self):
        for mode in ("", "slow-300", "split", "chunked", "gzip", "deflate"):
            with self.subTest(mode=mode):
                t = self.tag()
                target = b"/_fault/%s/upload.asp" % mode.encode() if mode else b"/upload.asp"
                content = os.urandom(500)
                with self.connect() as s:
                    s.sendall(post_request(target, form(field("curPath", t), filepart("d.bin", content))))
                    sent = time.monotonic()
                    chunks = recv_all(s)
                data = b"".join(d for _, d in chunks)
                status, headers, body = parse_response(data)
                self.assertEqual(status, "HTTP/1.1 200 OK")
                expected = ("/files/%s/d.bin" % t).encode()
                self.assertEqual(self.stored(t + "/d.bin"), content)

                if mode == "chunked":
                    self.assertNotIn("content-length", headers)
                    self.assertEqual(headers["transfer-encoding"], "chunked")
                    payload, count = dechunk(body)
                    self.assertEqual(payload, expected)
                    self.assertGreaterEqual(count, 2)
                    self.assertGreaterEqual(len(chunks), 2)
                    continue
                self.assertEqual(headers["content-length"], str(len(body)))
                if mode == "gzip":
                    self.assertEqual(headers["content-encoding"], "gzip")
                    body = gzip.decompress(body)
                elif mode == "deflate":
                    self.assertEqual(headers["content-encoding"], "deflate")
                    body = zlib.decompress(body)
                else:
                    self.assertNotIn("content-encoding", headers)
                self.assertEqual(body, expected)

                if mode == "":
                    self.assertEqual(len(chunks), 1, "plain answer should arrive in one write")
                elif mode == "slow-300":
                    self.assertGreaterEqual(chunks[0][0] - sent, 0.29)
                elif mode == "split":
                    head_len = data.index(b"\r\n\r\n") + 4
                    self.assertEqual(chunks[0][1], data[:head_len], "first write is the header block only")
                    self.assertGreaterEqual(chunks[1][0] - chunks[0][0], 0.25)

    def test_connection_faults(self):
        for mode in ("close", "garbage", "noanswer"):
            with self.subTest(mode=mode):
                t = self.tag()
                with self.connect() as s:
                    s.sendall(post_request(b"/_fault/%s/upload.asp" % mode.encode(),
                                           form(field("curPath", t), filepart("c.txt", b"x"))))
                    if mode == "noanswer":
                        s.settimeout(1.0)
                        self.assertRaises(socket.timeout, s.recv, 1)
                    else:
                        got = b"".join(d for _, d in recv_all(s))
                        self.assertEqual(got, b"" if mode == "close" else b"hello there\r\n\r\n")
                self.assertFalse(os.path.exists(os.path.join(self.root, "files", t)))

    def test_answers_that_end_the_connection_their_own_way(self):
        # early: answers on the header alone; answer-reset: the whole answer, then a reset;
        # endless: a body that runs until the client has had enough.
        for mode in ("early", "answer-reset", "endless"):
            with self.subTest(mode=mode):
                t = self.tag()
                raw = post_request(b"/_fault/%s/upload.asp" % mode.encode(),
                                   form(field("curPath", t), filepart("r.txt", b"r" * 1000)))
                data, reset = b"", False
                with self.connect() as s:
                    s.sendall(raw[:raw.index(b"\r\n\r\n") + 4] if mode == "early" else raw)
                    try:
                        while len(data) < (2 << 20):
                            got = s.recv(65536)
                            if not got:
                                break
                            data += got
                    except (ConnectionResetError, ssl.SSLEOFError):
                        reset = True
                status, headers, body = parse_response(data)
                stored = os.path.exists(os.path.join(self.root, "files", t))
                if mode == "early":
                    self.assertEqual(status, "HTTP/1.1 413 Request Entity Too Large")
                    self.assertFalse(stored)
                elif mode == "answer-reset":
                    self.assertEqual((status, body), ("HTTP/1.1 200 OK", ("/files/%s/r.txt" % t).encode()))
                    self.assertTrue(reset)
                    self.assertEqual(self.stored(t + "/r.txt"), b"r" * 1000)
                else:
                    self.assertEqual(status, "HTTP/1.1 200 OK")
                    self.assertNotIn("content-length", headers)
                    self.assertGreaterEqual(len(body), 1 << 20)
                    self.assertFalse(stored)

    def test_reset_while_sending(self):
        t = self.tag()
        size = 64 << 20
        head = (b"POST /_fault/reset/upload.asp?%s HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=%s\r\n"
                b"Content-Length:  %d\r\n\r\n" % (t.encode(), BOUNDARY, size))
        block = b"\0" * (1 << 20)
        outcome = None
        with self.connect() as s:
            try:
                s.sendall(head)
                for _ in range(size // len(block)):
                    s.sendall(block)
                outcome = s.recv(1) or "eof"
            except (ConnectionResetError, BrokenPipeError, ssl.SSLEOFError) as e:
                outcome = type(e).__name__
        self.assertIn(outcome, ("ConnectionResetError", "BrokenPipeError", "SSLEOFError", "eof"))
        record = self.record_with(t.encode(), wait=2.0)
        self.assertTrue(record.startswith(head))
        self.assertLessEqual(len(record) - len(head), 64 * 1024)

    def test_early_close_is_recorded(self):
        t = self.tag()
        raw = post_request(b"/upload.asp?" + t.encode(), form(field("curPath", t), filepart("e.txt", b"y" * 5000)))
        with self.connect() as s:
            s.sendall(raw[:len(raw) // 2])
        self.assertEqual(self.record_with(t.encode(), wait=2.0), raw[:len(raw) // 2])
        self.assertFalse(os.path.exists(os.path.join(self.root, "files", t)))

    def test_listens_on_loopback_only(self):
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.2", self.port), timeout=1.0).close()


class TlsServerTest(ServerTest):
    """Every route and fault above again, over HTTPS."""
    SERVER_OPTIONS = ("--tls",)

    def connect(self, timeout=5.0):
        return tls_connect(self.port, self.root, timeout=timeout)

    def test_names_and_protocol(self):
        for name in ("127.0.0.1", "localhost"):
            with self.subTest(name=name), tls_connect(self.port, self.root, name) as s:
                self.assertIn(s.version(), ("TLSv1.2", "TLSv1.3"))
                s.sendall(get_request(b"/"))
                data = b""
                while chunk := s.recv(65536):   # ends on close_notify; a bare close raises
                    data += chunk
                self.assertEqual(parse_response(data)[0], "HTTP/1.1 200 OK")
        # One line per handshake with the name asked for; an address is not sent as a name.
        with open(os.path.join(self.root, "tls", "server-names.txt"), encoding="utf-8") as f:
            names = f.read().splitlines()
        self.assertIn("localhost", names)
        self.assertNotIn("127.0.0.1", names)


class TlsFaultTest(unittest.TestCase):
    def test_refused_certificates_and_stalled_handshake(self):
        cases = [
            # (options, OpenSSL verify result expected)
            (("--cert-fault", "self-signed"), 18),   # X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
            (("--cert-fault", "expired"), 10),       # X509_V_ERR_CERT_HAS_EXPIRED
            (("--cert-fault", "wrong-name"), 64),    # X509_V_ERR_IP_ADDRESS_MISMATCH
            (("--cert-fault", "unknown-ca"), 20),    # X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY
            (("--tls-stall",), None),
        ]
        with tempfile.TemporaryDirectory() as tmp:
            for i, (options, code) in enumerate(cases):
                with self.subTest(options=options):
                    root = os.path.join(tmp, str(i))
                    proc, port = start_server(root, "--parent-pid", str(os.getpid()), *options)
                    try:
                        if code is None:
                            started = time.monotonic()
                            self.assertRaises(socket.timeout, tls_connect, port, root, timeout=1.0)
                            self.assertLess(time.monotonic() - started, 3.0)
                            continue
                        with self.assertRaises(ssl.SSLCertVerificationError) as caught:
                            tls_connect(port, root)
                        self.assertEqual(caught.exception.verify_code, code, caught.exception.verify_message)
                        if options[-1] == "wrong-name":
                            with self.assertRaises(ssl.SSLCertVerificationError) as caught:
                                tls_connect(port, root, "localhost")
                            self.assertEqual(caught.exception.verify_code, 62)  # X509_V_ERR_HOSTNAME_MISMATCH
                    finally:
                        proc.terminate()
                        proc.wait(5)
                        proc.stdout.close()


class PagesTest(unittest.TestCase):
    def test_pages_served_from_their_folder_only(self):
        with tempfile.TemporaryDirectory() as tmp:
            pages = os.path.join(tmp, "pages")
            os.makedirs(os.path.join(pages, "lib"))
            for name, data in (("a.html", b"<p>a</p>"), ("lib/m.mjs", b"export {};"), ("b.bin", b"\0\1")):
                with open(os.path.join(pages, name), "wb") as f:
                    f.write(data)
            with open(os.path.join(tmp, "secret.txt"), "wb") as f:
                f.write(b"secret")
            root = os.path.join(tmp, "root")
            proc, port = start_server(root, "--pages", pages, "--idle-exit", "60")
            cases = [
                (b"/pages/a.html?bridge=1", "200 OK", "text/html; charset=utf-8", b"<p>a</p>"),
                (b"/pages/lib/m.mjs", "200 OK", "text/javascript; charset=utf-8", b"export {};"),
                (b"/pages/b.bin", "200 OK", "application/octet-stream", b"\0\1"),
                (b"/pages/../secret.txt", "403 Forbidden", None, None),
                (b"/pages/%2e%2e/secret.txt", "403 Forbidden", None, None),
                (b"/pages/lib/..%5c..%5csecret.txt", "403 Forbidden", None, None),
                (b"/pages/missing.html", "404 Not Found", None, None),
                (b"/pages/lib", "404 Not Found", None, None),
            ]
            try:
                for target, status, ctype, body in cases:
                    with self.subTest(target=target), \
                            socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                        s.sendall(get_request(target))
                        line, headers, got = parse_response(b"".join(d for _, d in recv_all(s)))
                        self.assertEqual(line, "HTTP/1.1 " + status)
                        if ctype is not None:
                            self.assertEqual((headers["content-type"], got), (ctype, body))
                # What the pages fetch is not what the controls sent: nothing recorded.
                self.assertEqual(os.listdir(os.path.join(root, "requests")), [])
            finally:
                proc.terminate()
                proc.wait(5)
                proc.stdout.close()


class LifetimeTest(unittest.TestCase):
    def test_stops_by_itself(self):
        with tempfile.TemporaryDirectory() as tmp:
            sleeper = subprocess.Popen([sys.executable, "-c", "import time; time.sleep(30)"])
            port_file = os.path.join(tmp, "port.txt")
            cases = {
                "idle": start_server(os.path.join(tmp, "a"), "--idle-exit", "0.5", "--port-file", port_file),
                "parent gone": start_server(os.path.join(tmp, "b"), "--parent-pid", str(sleeper.pid)),
                "SIGTERM": start_server(os.path.join(tmp, "c")),
            }
            with open(port_file) as f:
                self.assertEqual(int(f.read()), cases["idle"][1])
            sleeper.kill()
            sleeper.wait()
            cases["SIGTERM"][0].send_signal(signal.SIGTERM)
            for name, (proc, _) in cases.items():
                with self.subTest(name):
                    try:
                        self.assertEqual(proc.wait(3), 0)
                    finally:
                        if proc.poll() is None:
                            proc.kill()
                            proc.wait()
                        proc.stdout.close()


if __name__ == "__main__":
    unittest.main()
