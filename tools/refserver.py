#!/usr/bin/env python3
"""Reference content server for the VelmarisClient upload controls.

Accepts the multipart/form-data POSTs the controls send, keeps every raw
request, stores uploaded files and article posts under --root, and serves an
index page showing what arrived.  A target that starts with /_fault/<mode>/
makes the server misbehave in a chosen way, so tests and demo pages pick a
failure just by the address they hand to the client.

With --tls it speaks HTTPS instead, with certificates made for the run by the
openssl command (a test authority in <root>/tls/ca.pem); --cert-fault and
--tls-stall and --tls-delay make the TLS layer itself misbehave.

Standard library and the openssl command only.  Listens on 127.0.0.1 and
nowhere else.
"""

import argparse
import fcntl
import gzip
import html
import itertools
import json
import mimetypes
import os
import re
import signal
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time
import urllib.parse
import zlib

CHUNK = 1 << 20                 # largest single read/write of body data
MAX_HEADER = 64 * 1024          # request header and multipart part header limit
READ_TIMEOUT = 30.0             # seconds of client silence before giving up on a request
RESET_AFTER = 64 * 1024         # body bytes read before the "reset" fault kills the connection
NOANSWER_LIMIT = 120.0          # "noanswer" holds the connection at most this long
ENDLESS_SIZE = 1 << 30          # "endless" sends this much body at most
DRAIN_LIMIT = 2.0               # after answering, wait this long for the client to close
INLINE_FILE_LIMIT = 16 << 20    # stored files up to this size go out in one write
PAGE_SEP = "----abcdefghijklmnopqrstuvwxyz----"

FAULT_PREFIX = "/_fault/"
# Modes that read the request and then handle it the ordinary way.
DELIVERY_MODES = ("", "split", "chunked", "gzip", "deflate")

REASONS = {
    200: "OK", 302: "Found", 400: "Bad Request", 403: "Forbidden",
    404: "Not Found", 405: "Method Not Allowed", 413: "Request Entity Too Large",
    500: "Internal Server Error",
    501: "Not Implemented",
}


class Malformed(Exception):
    """The request or its multipart body cannot be parsed."""


class Response:
    def __init__(self, status, body=b"", ctype="text/html; charset=gbk",
                 headers=None, reason=None, file_path=None, file_size=0):
        self.status = status
        self.reason = reason or REASONS.get(status, "Unknown")
        self.body = body
        self.ctype = ctype
        self.headers = list(headers or [])
        self.file_path = file_path      # body streamed from this file when set
        self.file_size = file_size


def simple(status, text):
    body = ("<html><body><h1>%d %s</h1><p>%s</p></body></html>"
            % (status, REASONS.get(status, ""), html.escape(text))).encode("gbk", "xmlcharrefreplace")
    return Response(status, body)


# ---------------------------------------------------------------------------
# Storage

class Store:
    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.requests_dir = os.path.join(self.root, "requests")
        self.files_dir = os.path.join(self.root, "files")
        self.articles_dir = os.path.join(self.root, "articles")
        self.tmp_dir = os.path.join(self.root, ".tmp")
        self.uploads_log = os.path.join(self.root, "uploads.jsonl")
        for d in (self.requests_dir, self.files_dir, self.articles_dir, self.tmp_dir):
            os.makedirs(d, exist_ok=True)
        self.lock = threading.Lock()
        # Continue numbering when an existing root is reused.
        self._request_n = self._highest(self.requests_dir, ".http")
        self._article_n = self._highest(self.articles_dir, ".json")

    @staticmethod
    def _highest(directory, suffix):
        best = 0
        for name in os.listdir(directory):
            stem = name[:-len(suffix)]
            if name.endswith(suffix) and stem.isdigit():
                best = max(best, int(stem))
        return best

    def next_request(self):
        with self.lock:
            self._request_n += 1
            return self._request_n

    def next_article(self):
        with self.lock:
            self._article_n += 1
            return self._article_n

    def request_path(self, n):
        return os.path.join(self.requests_dir, "%06d.http" % n)

    def article_path(self, n):
        return os.path.join(self.articles_dir, "%06d.json" % n)

    def append_upload(self, record):
        line = json.dumps(record, ensure_ascii=False) + "\n"
        with self.lock, open(self.uploads_log, "a", encoding="utf-8") as f:
            f.write(line)

    def write_article(self, n, record):
        path = self.article_path(n)
        tmp = path + ".part"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=False, indent=1)
        os.replace(tmp, path)

    def place_file(self, tmp, folder, name):
        """Move an uploaded temp file into files/<folder...>/ under a name no file there has.

        The name is kept when free, else numbered (Slide1.jpg, Slide1_2.jpg, ...).  Returns the
        segments of the stored path.  os.link fails rather than replace, so nothing already
        stored is ever overwritten, whoever else writes there.
        """
        directory = os.path.join(self.files_dir, *folder)
        stem, ext = os.path.splitext(name)
        taken = None
        with self.lock:
            os.makedirs(directory, exist_ok=True)
            for n in itertools.count(1):
                chosen = name if n == 1 else "%s_%d%s" % (stem, n, ext)
                if taken is not None and chosen in taken:
                    continue
                try:
                    os.link(tmp, os.path.join(directory, chosen))
                except FileExistsError:
                    # The folder is listed once, on the first clash: a name uploaded thousands of
                    # times then costs no system call per copy already there.
                    if taken is None:
                        taken = set(os.listdir(directory))
                    continue
                os.unlink(tmp)
                return folder + [chosen]

    def list_files(self):
        out = []
        for dirpath, dirnames, filenames in os.walk(self.files_dir):
            dirnames.sort()
            for name in sorted(filenames):
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, self.files_dir).replace(os.sep, "/")
                try:
                    out.append((rel, os.path.getsize(full)))
                except OSError:
                    pass
        return out

    def load_article(self, n):
        try:
            with open(self.article_path(n), encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return None

    def list_articles(self):
        nums = sorted(int(name[:-5]) for name in os.listdir(self.articles_dir)
                      if name.endswith(".json") and name[:-5].isdigit())
        return [(n, a) for n in nums for a in [self.load_article(n)] if a is not None]


class RequestRecord:
    """Raw copy of one request in requests/, renamed into place when finished."""

    def __init__(self, store, n):
        self.path = store.request_path(n)
        self.tmp = os.path.join(store.requests_dir, ".%06d.http.part" % n)
        self.f = open(self.tmp, "wb")

    def write(self, data):
        self.f.write(data)

    def finish(self):
        if self.f is not None:
            self.f.close()
            self.f = None
            os.replace(self.tmp, self.path)


# ---------------------------------------------------------------------------
# Names and paths

def clean_segments(text):
    """Split a client-supplied folder into safe path segments under files/."""
    text = text.replace("\\", "/").replace("\0", "_")
    return [s for s in text.split("/") if s not in ("", ".", "..")]


def base_name(filename):
    """The part of a client file path after the last slash or backslash."""
    name = re.split(r"[\\/]", filename)[-1].replace("\0", "_")
    return "" if name in (".", "..") else name


def decode_target_bytes(raw):
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("gbk", "replace")


# ---------------------------------------------------------------------------
# multipart/form-data

_BOUNDARY = re.compile(r';\s*boundary\s*=\s*(?:"([^"]+)"|([^;\s]+))', re.I)
_PARAM = re.compile(r';\s*([^\s=;]+)\s*=\s*(?:"([^"]*)"|([^;]*))')


def boundary_of(content_type):
    if not content_type.lower().lstrip().startswith("multipart/form-data"):
        raise Malformed("not multipart/form-data")
    m = _BOUNDARY.search(content_type)
    if not m:
        raise Malformed("no boundary")
    b = m.group(1) or m.group(2)
    try:
        return b.encode("latin-1")
    except UnicodeEncodeError:
        raise Malformed("bad boundary") from None


class _Stream:
    """Forward-only reader over the body stored in a file, with delimiter search.

    Holds at most about one chunk of the body in memory at a time.
    """

    def __init__(self, f, length):
        self.f = f
        self.left = length
        # The opening delimiter is matched as CRLF + "--" + boundary, so a body
        # that starts directly with the boundary line needs a CRLF in front.
        self.buf = bytearray(b"\r\n")

    def _fill(self):
        if self.left <= 0:
            return False
        data = self.f.read(min(CHUNK, self.left))
        if not data:
            self.left = 0
            return False
        self.left -= len(data)
        self.buf += data
        return True

    def peek(self, n):
        while len(self.buf) < n and self._fill():
            pass
        return bytes(self.buf[:n])

    def skip(self, n):
        del self.buf[:n]

    def until(self, delim, sink=None, limit=None):
        """Pass everything before `delim` to sink and consume the delimiter.

        Returns False if the body ends first (everything seen went to sink).
        """
        keep = len(delim) - 1
        emitted = 0
        while True:
            i = self.buf.find(delim)
            if i >= 0:
                emitted += i
                if limit is not None and emitted > limit:
                    raise Malformed("line too long")
                if sink is not None and i:
                    sink(bytes(self.buf[:i]))
                del self.buf[:i + len(delim)]
                return True
            if len(self.buf) > keep:
                cut = len(self.buf) - keep
                emitted += cut
                if limit is not None and emitted > limit:
                    raise Malformed("line too long")
                if sink is not None:
                    sink(bytes(self.buf[:cut]))
                del self.buf[:cut]
            if not self._fill():
                if sink is not None and self.buf:
                    sink(bytes(self.buf))
                self.buf.clear()
                return False


class Part:
    def __init__(self, name, filename, content_type):
        self.name = name
        self.filename = filename        # None for plain fields
        self.content_type = content_type
        self.size = 0
        self.data = bytearray()         # plain fields only
        self.tmp = None                 # file parts: path of the temp copy
        self._f = None

    def open(self, tmp_dir, keep_file):
        if self.filename is not None and keep_file:
            fd, self.tmp = tempfile.mkstemp(dir=tmp_dir, prefix="part-")
            self._f = os.fdopen(fd, "wb")

    def write(self, data):
        self.size += len(data)
        if self._f is not None:
            self._f.write(data)
        elif self.filename is None:
            self.data += data

    def close(self):
        if self._f is not None:
            self._f.close()
            self._f = None

    def text(self):
        return bytes(self.data).decode("gbk", "replace")

    def discard(self):
        self.close()
        if self.tmp is not None:
            try:
                os.unlink(self.tmp)
            except OSError:
                pass
            self.tmp = None


def _part_from_header(raw):
    text = raw.decode("gbk", "replace")
    headers = {}
    for line in text.split("\r\n"):
        if not line:
            continue
        if ":" not in line:
            raise Malformed("bad part header line")
        k, v = line.split(":", 1)
        headers[k.strip().lower()] = v.strip()
    cd = headers.get("content-disposition")
    if cd is None:
        raise Malformed("part without Content-Disposition")
    params = {}
    for m in _PARAM.finditer(cd):
        key = m.group(1).lower()
        if key not in params:
            params[key] = m.group(2) if m.group(2) is not None else m.group(3).strip()
    if "name" not in params:
        raise Malformed("part without a name")
    return Part(params["name"], params.get("filename"), headers.get("content-type"))


def parse_multipart(f, length, boundary, tmp_dir, keep_files=True):
    """Parse a multipart body of `length` bytes read from f.

    File parts go to temp files under tmp_dir (when keep_files); the caller
    owns them and must discard() parts it does not move into place.
    """
    delim = b"\r\n--" + boundary
    s = _Stream(f, length)
    parts = []
    try:
        if not s.until(delim):
            raise Malformed("no opening boundary")
        while True:
            line = bytearray()
            found = s.until(b"\r\n", line.extend, limit=1024)
            if line.startswith(b"--"):
                return parts                     # closing delimiter; epilogue ignored
            if not found or line.strip(b" \t"):
                raise Malformed("bad boundary line")
            if s.peek(2) == b"\r\n":
                raise Malformed("part without headers")
            raw = bytearray()
            if not s.until(b"\r\n\r\n", raw.extend, limit=MAX_HEADER):
                raise Malformed("unterminated part header")
            part = _part_from_header(bytes(raw))
            parts.append(part)
            part.open(tmp_dir, keep_files)
            ok = s.until(delim, part.write)
            part.close()
            if not ok:
                raise Malformed("unterminated part")
    except BaseException:
        for p in parts:
            p.discard()
        raise


# ---------------------------------------------------------------------------
# HTTP plumbing

class Request:
    def __init__(self, head):
        lines = head[:-4].split(b"\r\n")
        parts = lines[0].split(b" ")
        if len(parts) != 3 or not parts[0] or not parts[1].startswith(b"/"):
            raise Malformed("bad request line")
        self.method = parts[0].decode("latin-1")
        self.target_bytes = parts[1]
        self.version = parts[2].decode("latin-1")
        if not self.version.startswith("HTTP/1."):
            raise Malformed("bad HTTP version")
        self.headers = []
        for line in lines[1:]:
            if b":" not in line:
                raise Malformed("bad header line")
            k, v = line.split(b":", 1)
            self.headers.append((k.strip().decode("latin-1").lower(), v.strip().decode("latin-1")))
        self.target = self.target_bytes.decode("latin-1")
        path_bytes, _, _ = self.target_bytes.partition(b"?")
        self.path_bytes = path_bytes
        self.path = path_bytes.decode("latin-1")
        self.mode = None                          # fault mode, None when absent
        if self.path.startswith(FAULT_PREFIX):
            mode, _, tail = self.path[len(FAULT_PREFIX):].partition("/")
            self.mode = mode
            self.path = "/" + tail
            self.path_bytes = b"/" + path_bytes[len(FAULT_PREFIX) + len(mode.encode("latin-1")) + 1:]

    def header(self, name, default=None):
        for k, v in self.headers:
            if k == name:
                return v
        return default

    def content_length(self):
        values = {v.strip() for k, v in self.headers if k == "content-length"}
        if not values:
            return 0
        if len(values) > 1:
            raise Malformed("conflicting Content-Length")
        v = values.pop()
        if not v.isdigit():
            raise Malformed("bad Content-Length")
        return int(v)


def build_head(resp, extra):
    lines = ["HTTP/1.1 %d %s" % (resp.status, resp.reason)]
    for k, v in resp.headers + extra:
        lines.append("%s: %s" % (k, v))
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")


def wait_delivered(sock, limit=2.0):
    """Waits until the client has acknowledged all that was sent.

    An abortive close throws away what is still queued, and an answer can sit
    there a while (held back until earlier data, such as TLS session tickets,
    is acknowledged).
    """
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            queued = struct.unpack("i", fcntl.ioctl(sock.fileno(), termios.TIOCOUTQ, b"\0" * 4))[0]
        except OSError:
            return
        if queued == 0:
            return
        time.sleep(0.005)


def read_head(sock):
    """Read up to and including CRLF CRLF.  Returns (head, leftover, complete)."""
    buf = bytearray()
    while True:
        i = buf.find(b"\r\n\r\n")
        if i >= 0:
            return bytes(buf[:i + 4]), bytes(buf[i + 4:]), True
        if len(buf) > MAX_HEADER:
            return bytes(buf), b"", False
        try:
            data = sock.recv(65536)
        except (socket.timeout, OSError):
            data = b""
        if not data:
            return bytes(buf), b"", False
        buf += data


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.server.connection_started()

    def finish(self):
        self.server.connection_ended()

    def say(self, text):
        if not self.server.quiet:
            sys.stderr.write("refserver: %s\n" % text)
            sys.stderr.flush()

    def log(self, n, req, status, note=""):
        if req is not None:
            what = "%s %s" % (req.method, decode_target_bytes(req.target_bytes))
        else:
            what = "-"
        self.say("%06d %s -> %s%s" % (n, what, status, note))

    def handle(self):
        sock = self.request
        sock.settimeout(READ_TIMEOUT)
        if self.server.stall:
            self.say("connection held, TLS handshake never answered")
            self.hold_open(sock)
            return
        if isinstance(sock, ssl.SSLSocket):
            if self.server.tls_delay:
                self.say("connection held, TLS handshake answered in %gs" % self.server.tls_delay)
                time.sleep(self.server.tls_delay)
            try:
                sock.do_handshake()
            except (OSError, ValueError) as e:
                self.say("TLS handshake failed: %s" % e)
                return
        try:
            self._handle(sock)
        except (ConnectionError, socket.timeout, BrokenPipeError):
            pass
        except Exception as e:  # keep serving other connections
            self.say("handler error: %r" % (e,))

    def _handle(self, sock):
        store = self.server.store
        head, leftover, complete = read_head(sock)
        if not complete:
            if head:
                n = store.next_request()
                rec = RequestRecord(store, n)
                rec.write(head)
                rec.finish()
                self.log(n, None, "closed before end of header" if len(head) <= MAX_HEADER else "header too long")
                if len(head) > MAX_HEADER:
                    self.send(sock, simple(400, "request header too long"), "")
            return

        if self.server.pages is not None and head.startswith(PAGES_PREFIX):
            # The test pages are the apparatus, not what is tested: they go unrecorded, so the
            # requests the controls make keep their numbers.
            self.finish_with(sock, self.serve_page(head), "")
            return

        n = store.next_request()
        rec = RequestRecord(store, n)
        rec.write(head)
        try:
            req = Request(head)
            length = req.content_length()
            te = req.header("transfer-encoding")
            if te is not None and te.lower() != "identity":
                rec.write(leftover)
                rec.finish()
                self.log(n, req, 501)
                self.send(sock, simple(501, "request bodies must carry Content-Length"), "")
                return
        except Malformed as e:
            rec.write(leftover)
            rec.finish()
            self.log(n, None, 400, " (%s)" % e)
            self.send(sock, simple(400, str(e)), "")
            return

        mode = req.mode
        mode_ok = mode is None or mode in KNOWN_MODES or _slow_ms(mode) is not None

        if mode == "early":
            # Refuses on the header alone, as a server with an upload limit does, and closes
            # with the body unread: the client's further sending then meets a reset.
            rec.write(leftover[:length])
            rec.finish()
            self.log(n, req, 413, " (body not read)")
            self.send(sock, simple(413, "request too large"), "")
            return

        if req.header("expect", "").lower() == "100-continue" and len(leftover) < length:
            sock.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")

        want = min(length, RESET_AFTER) if mode == "reset" else length
        body_start = len(head)
        got, extra = self.read_body(sock, rec, leftover, want)
        rec.finish()

        if mode == "reset":
            self.log(n, req, "reset", " (%d body bytes read)" % got)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
            return
        if got < length:
            self.log(n, req, "-", " (client closed after %d of %d body bytes)" % (got, length))
            return
        if extra:
            self.log(n, req, "note", " (%d bytes beyond Content-Length)" % extra)

        if not mode_ok:
            self.log(n, req, 400, " (unknown fault mode)")
            self.finish_with(sock, simple(400, "unknown fault mode"), "")
            return
        if mode == "close":
            self.log(n, req, "closed")
            return
        if mode == "noanswer":
            self.log(n, req, "no answer")
            self.hold_open(sock)
            return
        if mode == "garbage":
            self.log(n, req, "garbage")
            sock.sendall(b"hello there\r\n\r\n")
            self.drain(sock)
            return
        if mode == "endless":
            self.log(n, req, 200, " (endless body)")
            self.send_endless(sock)
            return
        if mode in FIXED_FAULTS:
            resp = FIXED_FAULTS[mode]()
            self.log(n, req, resp.status)
            self.finish_with(sock, resp, "")
            return

        ms = _slow_ms(mode)
        if ms:
            time.sleep(ms / 1000.0)
        try:
            resp = self.route(req, n, body_start, length)
        except Malformed as e:
            resp = simple(400, str(e))
        except OSError as e:
            resp = simple(500, "could not store: %s" % e)
        self.log(n, req, resp.status, " [%s]" % mode if mode else "")
        if mode == "answer-reset":
            # The whole answer, then a reset instead of an orderly close.
            self.send(sock, resp, "")
            wait_delivered(sock)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
            return
        self.finish_with(sock, resp, mode if mode in DELIVERY_MODES else "")

    def read_body(self, sock, rec, leftover, length):
        """Copy `length` body bytes to the record.  Returns (got, bytes seen beyond)."""
        take = leftover[:length]
        rec.write(take)
        got = len(take)
        extra = len(leftover) - got
        while got < length:
            try:
                data = sock.recv(min(CHUNK, length - got))
            except (socket.timeout, OSError):
                break
            if not data:
                break
            rec.write(data)
            got += len(data)
        return got, extra

    def send_endless(self, sock):
        """200 with a body that ends only at ENDLESS_SIZE or when the client goes away."""
        sock.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n")
        block = b"x" * CHUNK
        for _ in range(ENDLESS_SIZE // CHUNK):
            try:
                sock.sendall(block)
            except OSError:
                return

    def hold_open(self, sock):
        deadline = time.monotonic() + NOANSWER_LIMIT
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            sock.settimeout(min(left, 1.0))
            try:
                if not sock.recv(65536):
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    def drain(self, sock):
        """Send FIN, then read until the client closes so it never sees a reset.

        Over TLS the FIN follows a close_notify, as a proper server ends a
        session; a client that just closes instead is no error.
        """
        deadline = time.monotonic() + DRAIN_LIMIT
        if isinstance(sock, ssl.SSLSocket):
            sock.settimeout(DRAIN_LIMIT)
            try:
                sock.unwrap()
            except (OSError, ValueError):
                pass
        try:
            sock.shutdown(socket.SHUT_WR)
        except OSError:
            return
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            sock.settimeout(left)
            try:
                data = sock.recv(65536)
            except (socket.timeout, OSError):
                break
            if not data:
                break

    def finish_with(self, sock, resp, mode):
        self.send(sock, resp, mode)
        self.drain(sock)

    def send(self, sock, resp, mode):
        if resp.file_path is not None and (mode or resp.file_size <= INLINE_FILE_LIMIT):
            with open(resp.file_path, "rb") as f:
                resp.body = f.read()
            resp.file_path = None
        body = resp.body
        extra = [("Content-Type", resp.ctype)]
        if mode == "gzip":
            body = gzip.compress(body)
            extra.append(("Content-Encoding", "gzip"))
        elif mode == "deflate":
            body = zlib.compress(body)
            extra.append(("Content-Encoding", "deflate"))

        if mode == "chunked":
            sock.sendall(build_head(resp, extra + [("Transfer-Encoding", "chunked"), ("Connection", "close")]))
            step = max(1, -(-len(body) // 3))
            for i in range(0, len(body), step):
                time.sleep(0.05)
                piece = body[i:i + step]
                sock.sendall(b"%x\r\n" % len(piece) + piece + b"\r\n")
            time.sleep(0.05)
            sock.sendall(b"0\r\n\r\n")
            return

        size = resp.file_size if resp.file_path is not None else len(body)
        head = build_head(resp, extra + [("Content-Length", str(size)), ("Connection", "close")])
        if resp.file_path is not None:
            sock.sendall(head)
            with open(resp.file_path, "rb") as f:
                sock.sendfile(f)
        elif mode == "split":
            sock.sendall(head)
            time.sleep(0.3)
            sock.sendall(body)
        else:
            sock.sendall(head + body)

    # -- routes -------------------------------------------------------------

    def route(self, req, n, body_start, length):
        path = req.path
        low = path.lower()
        if req.method == "POST" and low.endswith("/upload.asp"):
            return self.upload(req, n, body_start, length)
        if req.method == "POST" and low.endswith("/savepost.asp"):
            return self.savepost(req, n, body_start, length)
        if req.method == "GET":
            if path == "/":
                return page_response(index_page(self.server.store))
            if path.startswith("/files/"):
                return self.serve_file(req.path_bytes[len(b"/files/"):])
            m = re.fullmatch(r"/articles/(\d+)", path)
            if m:
                art = self.server.store.load_article(int(m.group(1)))
                if art is not None:
                    return page_response(article_page(int(m.group(1)), art))
        return simple(404, "no such page")

    def parse_body(self, req, n, body_start, length, keep_files):
        boundary = boundary_of(req.header("content-type", ""))
        store = self.server.store
        with open(store.request_path(n), "rb") as f:
            f.seek(body_start)
            return parse_multipart(f, length, boundary, store.tmp_dir, keep_files)

    def upload(self, req, n, body_start, length):
        store = self.server.store
        parts = self.parse_body(req, n, body_start, length, keep_files=True)
        try:
            fields = [[p.name, p.text()] for p in parts if p.filename is None]
            folder = None
            for key in ("curPath", "path"):
                folder = next((v for k, v in fields if k == key), None)
                if folder is not None:
                    break
            segments = clean_segments(folder or "")
            files = []
            for p in parts:
                if p.filename is None:
                    continue
                name = base_name(p.filename)
                if not name:
                    continue                      # empty file input
                stored = store.place_file(p.tmp, segments, name)
                p.tmp = None
                files.append({"name": p.name, "filename": p.filename, "size": p.size,
                              "stored": "/".join(stored),
                              "content_type": p.content_type})
        finally:
            for p in parts:
                p.discard()
        address = "/files/" + files[0]["stored"] if files else "NOFILE"
        store.append_upload({"n": n, "path": decode_target_bytes(req.target_bytes.partition(b"?")[0]),
                             "fields": fields, "files": files, "address": address})
        return Response(200, address.encode("gbk", "xmlcharrefreplace"), "text/plain; charset=gbk")

    def savepost(self, req, n, body_start, length):
        store = self.server.store
        parts = self.parse_body(req, n, body_start, length, keep_files=False)
        fields = [[p.name, p.text()] for p in parts if p.filename is None]
        title = next((v for k, v in fields if k == "title"), None)
        content = next((v for k, v in fields if k == "content"), None)
        pages = []
        if content is not None:
            pages = content.split(PAGE_SEP)
            if pages and pages[-1] == "":
                pages.pop()
        a = store.next_article()
        store.write_article(a, {"n": n, "article": a, "fields": fields, "title": title, "pages": pages})
        return Response(200, b"OK")

    def serve_page(self, head):
        try:
            target = Request(head).path_bytes[len(PAGES_PREFIX) - len(b"GET "):]
        except Malformed as e:
            return simple(400, str(e))
        rel = decode_target_bytes(urllib.parse.unquote_to_bytes(target))
        segs = rel.split("/")
        if ".." in segs or "\\" in rel or "\0" in rel:
            return simple(403, "outside the pages")
        root = self.server.pages
        full = os.path.realpath(os.path.join(root, *[s for s in segs if s not in ("", ".")]))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            return simple(404, "no such page")
        ctype = PAGE_TYPES.get(os.path.splitext(full)[1].lower(), "application/octet-stream")
        return Response(200, ctype=ctype, file_path=full, file_size=os.path.getsize(full),
                        headers=[("Cache-Control", "no-store")])

    def serve_file(self, raw):
        files_dir = self.server.store.files_dir
        rel = decode_target_bytes(urllib.parse.unquote_to_bytes(raw)).replace("\\", "/")
        segs = rel.split("/")
        if ".." in segs or "\0" in rel:
            return simple(403, "outside the file store")
        segs = [s for s in segs if s not in ("", ".")]
        full = os.path.realpath(os.path.join(files_dir, *segs))
        if not full.startswith(os.path.realpath(files_dir) + os.sep) or not os.path.isfile(full):
            return simple(404, "no such file")
        ctype = mimetypes.guess_type(full)[0] or "application/octet-stream"
        return Response(200, ctype=ctype, file_path=full, file_size=os.path.getsize(full))


def _slow_ms(mode):
    """Delay in ms for a "slow-<ms>" mode, None for any other mode."""
    m = re.fullmatch(r"slow-(\d{1,7})", mode or "")
    return int(m.group(1)) if m else None


FIXED_FAULTS = {
    "404": lambda: simple(404, "no such page"),
    "500": lambda: simple(500, "server failure"),
    "403": lambda: simple(403, "not allowed"),
    "hdr500": lambda: Response(302, b"<html><body>Moved</body></html>",
                               headers=[("Location", "/"), ("X-Request-Cost", "500ms")]),
}
PAGES_PREFIX = b"GET /pages/"
PAGE_TYPES = {
    ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8", ".css": "text/css; charset=utf-8",
    ".png": "image/png", ".json": "application/json; charset=utf-8",
}
KNOWN_MODES = set(FIXED_FAULTS) | {"noanswer", "split", "chunked", "gzip", "deflate",
                                   "close", "reset", "garbage", "early", "answer-reset",
                                   "endless"}


# ---------------------------------------------------------------------------
# Pages

def page_response(text):
    return Response(200, text.encode("utf-8"), "text/html; charset=utf-8")


_STYLE = """<style>
body{font-family:sans-serif;margin:1.5em}
.article{border:1px solid #999;margin:1em 0;padding:.5em}
.page{border:1px dashed #bbb;margin:.5em 0;padding:.5em}
.fields td{vertical-align:top}
.fields pre{white-space:pre-wrap;margin:0;max-height:12em;overflow:auto}
</style>"""


def _doc(title, body):
    return ('<!DOCTYPE html>\n<html lang="zh-CN"><head><meta charset="utf-8">'
            "<title>%s</title>%s</head><body>\n%s\n</body></html>\n"
            % (html.escape(title), _STYLE, body))


def _article_html(num, art):
    out = ['<section class="article" id="article-%d">' % num,
           '<h2><a href="/articles/%d">#%d</a> %s</h2>'
           % (num, num, html.escape(art.get("title") or "(no title)"))]
    out.append('<table class="fields">')
    for name, value in art.get("fields", []):
        out.append("<tr><th>%s</th><td><pre>%s</pre></td></tr>" % (html.escape(name), html.escape(value)))
    out.append("</table>")
    for i, page in enumerate(art.get("pages", []), 1):
        # Page content is the article's own HTML and is shown as such.
        out.append('<div class="page" data-page="%d"><div class="page-no">page %d</div>\n%s\n</div>'
                   % (i, i, page))
    out.append("</section>")
    return "\n".join(out)


def index_page(store):
    out = ["<h1>Reference content server</h1>", "<h2>Files</h2>"]
    files = store.list_files()
    if files:
        out.append("<ul class=\"files\">")
        for rel, size in files:
            out.append('<li><a href="/files/%s">%s</a> (%d bytes)</li>'
                       % (urllib.parse.quote(rel), html.escape(rel), size))
        out.append("</ul>")
    else:
        out.append("<p>No files yet.</p>")
    out.append("<h2>Articles</h2>")
    articles = store.list_articles()
    out.extend(_article_html(n, a) for n, a in articles)
    if not articles:
        out.append("<p>No articles yet.</p>")
    return _doc("Reference content server", "\n".join(out))


def article_page(num, art):
    return _doc("Article %d" % num, '<p><a href="/">index</a></p>\n' + _article_html(num, art))


# ---------------------------------------------------------------------------
# TLS

TLS_DIR = "tls"
CERT_FAULTS = ("self-signed", "expired", "wrong-name", "unknown-ca")
SERVER_NAMES_FILE = "server-names.txt"

# Extension sections for every certificate made here; verifiers with strict
# checks want key identifiers and key usages on all of them.
_OPENSSL_CONFIG = """\
[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = IP:127.0.0.1,DNS:localhost
[elsewhere]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = DNS:other.example
[ca]
default_ca = signer
[signer]
database = index.txt
serial = serial
new_certs_dir = .
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
"""
_NEW_KEY = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"]


def _openssl(work, *args):
    try:
        done = subprocess.run(["openssl", *args], cwd=work, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    except FileNotFoundError:
        raise SystemExit("refserver: --tls needs the openssl command") from None
    if done.returncode != 0:
        raise SystemExit("refserver: openssl %s failed:\n%s"
                         % (args[0], done.stderr.decode("utf-8", "replace")))


def make_certificates(tls_dir, fault=None):
    """Makes the run's test authority (ca.pem) and the certificate the server presents.

    Returns the paths of that certificate and its key.  The authority's key
    stays in a scratch folder that is removed before returning.
    """
    os.makedirs(tls_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=tls_dir, prefix=".make-") as work:
        with open(os.path.join(work, "openssl.cnf"), "w") as f:
            f.write(_OPENSSL_CONFIG)
        open(os.path.join(work, "index.txt"), "w").close()

        def openssl(*args):
            _openssl(work, *args)

        def authority(name, title):
            openssl("req", "-config", "openssl.cnf", "-x509", "-new", *_NEW_KEY, "-keyout", name + ".key",
                    "-out", name + ".pem", "-subj", "/CN=" + title, "-days", "30",
                    "-extensions", "authority", "-sha256")

        common_name = "other.example" if fault == "wrong-name" else "127.0.0.1"
        if fault == "self-signed":
            openssl("req", "-config", "openssl.cnf", "-x509", "-new", *_NEW_KEY, "-keyout", "server.key",
                    "-out", "server.pem", "-subj", "/CN=" + common_name, "-days", "30",
                    "-extensions", "server", "-sha256")
        else:
            openssl("req", "-config", "openssl.cnf", "-new", *_NEW_KEY, "-keyout", "server.key",
                    "-out", "server.csr", "-subj", "/CN=" + common_name)
        authority("ca", "Velmaris Test Authority")
        if fault != "self-signed":
            issuer = "ca"
            if fault == "unknown-ca":
                issuer = "stranger"
                authority(issuer, "Velmaris Stranger Authority")
            # An expired certificate needs explicit dates: -days cannot reach into the past.
            dates = (["-startdate", "20200101000000Z", "-enddate", "20210101000000Z"]
                     if fault == "expired" else ["-days", "30"])
            openssl("ca", "-config", "openssl.cnf", "-batch", "-notext", "-rand_serial",
                    "-cert", issuer + ".pem", "-keyfile", issuer + ".key", "-in", "server.csr",
                    "-out", "server.pem", "-extensions", "elsewhere" if fault == "wrong-name" else "server",
                    *dates)
        for name in ("ca.pem", "server.pem", "server.key"):
            os.replace(os.path.join(work, name), os.path.join(tls_dir, name))
    return os.path.join(tls_dir, "server.pem"), os.path.join(tls_dir, "server.key")


def tls_context(tls_dir, fault=None):
    cert, key = make_certificates(tls_dir, fault)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    names = os.path.join(tls_dir, SERVER_NAMES_FILE)
    open(names, "w").close()
    lock = threading.Lock()

    def note_server_name(sock, name, ctx):
        # One line per handshake: the name the client asked for, empty without SNI.
        with lock, open(names, "a", encoding="utf-8") as f:
            f.write((name or "") + "\n")

    context.sni_callback = note_server_name
    return context


# ---------------------------------------------------------------------------
# Server and lifetime

class RefServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, port, store, quiet, tls=None, stall=False, tls_delay=0.0, pages=None):
        self.store = store
        self.pages = os.path.realpath(pages) if pages else None  # served read-only at /pages/
        self.quiet = quiet
        self.tls = tls          # SSLContext for HTTPS, None for plain HTTP
        self.stall = stall      # hold every connection without a word, handshake included
        self.tls_delay = tls_delay  # seconds each handshake waits before it is answered
        self._lock = threading.Lock()
        self._active = 0
        self._last = time.monotonic()
        super().__init__(("127.0.0.1", port), Handler)

    def get_request(self):
        sock, address = super().get_request()
        if self.tls is not None and not self.stall:
            # The handshake happens in the connection's own thread, so a slow client blocks no one.
            sock = self.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def connection_started(self):
        with self._lock:
            self._active += 1
            self._last = time.monotonic()

    def connection_ended(self):
        with self._lock:
            self._active -= 1
            self._last = time.monotonic()

    def idle_seconds(self):
        with self._lock:
            return 0.0 if self._active else time.monotonic() - self._last


def pid_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return True


def write_port_file(path, port):
    path = os.path.abspath(path)
    fd, tmp = tempfile.mkstemp(dir=os.path.dirname(path), prefix=".port-")
    with os.fdopen(fd, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


def main(argv=None):
    ap = argparse.ArgumentParser(description="Reference content server for the upload controls.")
    ap.add_argument("--root", required=True, help="directory for requests, files and articles")
    ap.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0 = any free port)")
    ap.add_argument("--port-file", help="also write the port number to this file")
    ap.add_argument("--idle-exit", type=float, default=300.0,
                    help="exit after this many seconds without connections (0 = never)")
    ap.add_argument("--parent-pid", type=int, help="exit when this process is gone")
    ap.add_argument("--quiet", action="store_true", help="no per-request log on stderr")
    ap.add_argument("--tls", action="store_true",
                    help="HTTPS; the run's test authority is written to <root>/tls/ca.pem")
    ap.add_argument("--cert-fault", choices=CERT_FAULTS,
                    help="present a certificate a client must refuse (implies --tls)")
    ap.add_argument("--tls-stall", action="store_true",
                    help="accept connections but never answer the TLS handshake (implies --tls)")
    ap.add_argument("--tls-delay", type=float, default=0.0, metavar="SECONDS",
                    help="accept connections at once but answer each TLS handshake only after "
                         "SECONDS (implies --tls)")
    ap.add_argument("--pages", metavar="DIR", help="serve the files below DIR at /pages/ (test pages)")
    args = ap.parse_args(argv)

    # Handlers go in before the port is announced: whoever reads the port may stop us at once.
    stop = threading.Event()
    reason = ["signal"]

    def on_signal(signum, frame):
        # Not stop.set() here: the handler runs on the main thread, which may be holding the
        # event's own lock inside stop.wait() below, and would wait for itself for ever.
        threading.Thread(target=stop.set, daemon=True).start()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    store = Store(args.root)
    tls = None
    if args.tls or args.cert_fault or args.tls_stall or args.tls_delay:
        tls = tls_context(os.path.join(store.root, TLS_DIR), args.cert_fault)
    server = RefServer(args.port, store, args.quiet, tls, args.tls_stall, args.tls_delay, args.pages)
    port = server.server_address[1]
    if args.port_file:
        write_port_file(args.port_file, port)
    print(port, flush=True)

    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    while not stop.wait(0.5):
        if args.idle_exit > 0 and server.idle_seconds() >= args.idle_exit:
            reason[0] = "idle"
            break
        if args.parent_pid and not pid_alive(args.parent_pid):
            reason[0] = "parent gone"
            break
    server.shutdown()
    server.server_close()
    if not args.quiet:
        sys.stderr.write("refserver: exiting (%s)\n" % reason[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
