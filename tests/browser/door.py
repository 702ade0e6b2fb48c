"""The bridge's door, tried from outside a browser: who may come in, what breaks a connection, and
that connections and pages going away leave it serving with nothing held.

run_browser.py runs these as the test `door`, against a bridge and reference server it started.
"""
import base64
import json
import os
import socket
import struct
import time

OP_TEXT, OP_BINARY, OP_CLOSE, OP_PING, OP_PONG = 1, 2, 8, 9, 10


class Refused(Exception):
    """The bridge answered the upgrade with something else than 101."""

    def __init__(self, status):
        super().__init__("upgrade answered %s" % status)
        self.status = status


class Client:
    """A WebSocket client of the fewest parts, so each request can be bent out of shape."""

    def __init__(self, port, origin, host=None, timeout=10.0):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        lines = ["GET / HTTP/1.1", "Host: %s" % (host or "127.0.0.1:%d" % port),
                 "Upgrade: websocket", "Connection: Upgrade", "Sec-WebSocket-Key: " + key,
                 "Sec-WebSocket-Version: 13"]
        if origin is not None:
            lines.append("Origin: " + origin)
        self.sock.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            data = self.sock.recv(4096)
            if not data:
                break
            head += data
        self.buffer = head.partition(b"\r\n\r\n")[2]
        status = head.split(b" ", 2)[1].decode() if head.startswith(b"HTTP/1.1 ") else repr(head)
        if status != "101":
            self.sock.close()
            raise Refused(status)
        self.next_id = 0

    def send(self, opcode, payload):
        mask = os.urandom(4)
        n = len(payload)
        head = bytes([0x80 | opcode])
        if n < 126:
            head += bytes([0x80 | n])
        elif n < 65536:
            head += bytes([0x80 | 126]) + struct.pack("!H", n)
        else:
            head += bytes([0x80 | 127]) + struct.pack("!Q", n)
        body = _masked(payload, mask)
        self.sock.sendall(head + mask + body)

    def _take(self, n):
        while len(self.buffer) < n:
            data = self.sock.recv(65536)
            if not data:
                raise ConnectionError("the bridge closed the connection")
            self.buffer += data
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def receive(self):
        """The next frame other than a ping: (opcode, payload)."""
        while True:
            b0, b1 = self._take(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack("!H", self._take(2))[0]
            elif n == 127:
                n = struct.unpack("!Q", self._take(8))[0]
            payload = self._take(n)
            if b0 & 0x0F == OP_PING:
                self.send(OP_PONG, payload)
                continue
            return b0 & 0x0F, payload

    def close_code(self):
        """The code of the close frame the bridge sends next (None if it just hangs up)."""
        try:
            while True:
                opcode, payload = self.receive()
                if opcode == OP_CLOSE:
                    return struct.unpack("!H", payload[:2])[0] if len(payload) >= 2 else None
        except (ConnectionError, socket.timeout):
            return None

    def request(self, message):
        self.next_id += 1
        message = dict(message, id=self.next_id)
        self.send(OP_TEXT, json.dumps(message).encode())
        return self.reply()

    def reply(self):
        opcode, payload = self.receive()
        if opcode != OP_TEXT:
            raise ConnectionError("frame %d where a reply was due" % opcode)
        return json.loads(payload)

    def close(self):
        """An orderly close: ours, then the bridge's answer."""
        try:
            self.send(OP_CLOSE, struct.pack("!H", 1000))
            self.close_code()
        except OSError:
            pass
        self.sock.close()


def _masked(payload, mask):
    n = len(payload)
    key = int.from_bytes((mask * (n // 4 + 1))[:n], "big")
    return (int.from_bytes(payload, "big") ^ key).to_bytes(n, "big")


def established_to(port):
    """How many loopback TCP connections to `port` are established (either end's view)."""
    count = 0
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as f:
                rows = f.readlines()[1:]
        except OSError:
            continue
        for row in rows:
            fields = row.split()
            if fields[3] == "01" and int(fields[2].split(":")[1], 16) == port:
                count += 1
    return count


def _upgrades(port, origin):
    try:
        Client(port, origin).close()
        return True
    except Refused:
        return False


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def sanitized(pid):
    """Whether the process runs with AddressSanitizer's runtime."""
    try:
        with open("/proc/%d/maps" % pid) as f:
            return any("libasan" in line for line in f)
    except OSError:
        return False


def usage(pid):
    """The bridge's open descriptors and resident memory in kB."""
    fds = len(os.listdir("/proc/%d/fd" % pid))
    with open("/proc/%d/status" % pid) as f:
        rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    return fds, rss


def run(bridge_port, bridge_pid, server_port, work, wine=False):
    """Every check of the door; returns what failed, one text each. `work` is the run's folder as
    the bridge's system names it; `wine` says the bridge is velmaris.exe under Wine."""
    problems = []
    origin = "http://127.0.0.1:%d" % server_port
    server = origin
    # Under Wine each upgrade waits on two look-ups of who owns the connection (the TCP table with
    # its owners), a tenth of a second or more each: seconds on a busy machine.
    timeout = 60.0 if wine else 10.0

    def connect(who=origin, host=None):
        return Client(bridge_port, who, host, timeout)

    def expect(actual, expected, what):
        if actual != expected:
            problems.append("%s: expected %r, got %r" % (what, expected, actual))

    # Who may upgrade: the allowed origin through a loopback name, nobody else.
    ways_in = [
        ("allowed origin", origin, None, "101"),
        ("allowed origin, localhost", origin, "localhost:%d" % bridge_port, "101"),
        ("origin not allowed", "http://evil.example", None, "403"),
        ("same host, other port", "http://127.0.0.1:%d" % bridge_port, None, "403"),
        ("no Origin", None, None, "403"),
        ("Host of another name", origin, "evil.example:%d" % bridge_port, "403"),
        ("Host with another port", origin, "127.0.0.1:%d" % (bridge_port ^ 1), "403"),
    ]
    for what, who, host, status in ways_in:
        try:
            connect(who, host).close()
            got = "101"
        except Refused as e:
            got = e.status
        expect(got, status, what)

    # An origin holds so many connections at once; one that ends makes room.
    held = [Client(bridge_port, origin) for _ in range(16)]
    try:
        Client(bridge_port, origin).close()
        got = "101"
    except Refused as e:
        got = e.status
    expect(got, "429", "a 17th connection of one origin")
    held.pop().close()
    expect(wait_for(lambda: _upgrades(bridge_port, origin), 5), True, "a connection after one ended")
    for c in held:
        c.close()

    # Messages that are not requests: an error reply, or the connection closed with a code.
    client = connect()
    for text, reply_id in (("not json", None), ("[1,2]", None), ('{"id":5,"op":"nope"}', 5),
                           ('{"op":"call"}', None)):
        client.send(OP_TEXT, text.encode())
        reply = client.reply()
        expect((reply.get("id", "absent"), "error" in reply), (reply_id, True), "reply to " + text)
    client.close()
    for what, opcode, payload, code in (("binary frame", OP_BINARY, b"\x01\x02", 1003),
                                        ("message over 1 MiB", OP_TEXT, b" " * ((1 << 20) + 1), 1009)):
        client = connect()
        try:
            client.send(opcode, payload)
        except OSError:
            pass  # closed before it took it all in
        expect(client.close_code(), code, what)
        client.sock.close()

    # A page gone while its upload waits for a server that never answers: the bridge lets go of
    # the server's connection and goes on serving.
    client = connect()
    control = client.request({"op": "create", "progId": "VelmarisClient.FileUpload"}).get("control")
    source = os.path.join(work, "说明.txt")
    client.send(OP_TEXT, json.dumps({"id": 99, "op": "call", "control": control, "name": "StartUpload",
                                     "args": ["d", server + "/_fault/noanswer/upload.asp", source, 1]}
                                    ).encode())
    expect(wait_for(lambda: established_to(server_port) > 0, 10), True, "upload under way")
    client.sock.close()
    expect(wait_for(lambda: established_to(server_port) == 0, 10), True,
           "the server's connection let go once the page went away")
    client = connect()
    reply = client.request({"op": "create", "progId": "VelmarisClient.FileUpload"})
    expect("control" in reply, True, "a new connection after the page went away: %r" % reply)
    client.close()

    # Connections come and go, each leaving a control behind for the bridge to release.
    def cycle(times):
        for _ in range(times):
            c = connect()
            c.request({"op": "create", "progId": "VelmarisClient.FileUpload"})
            c.close()

    cycle(20)
    fds, rss = usage(bridge_pid)
    cycle(200)
    fds_after, rss_after = usage(bridge_pid)
    expect(fds_after - fds <= 2, True, "descriptors after 200 connections: %d, then %d" % (fds, fds_after))
    # A control left to the bridge costs some 4 kB: 200 of them not released would show. Under
    # AddressSanitizer freed memory is held in quarantine, so resident memory grows whatever the
    # bridge does; its leak check at exit stands in for this one there.
    if not sanitized(bridge_pid):
        expect(rss_after - rss <= 512, True,
               "resident kB after 200 connections: %d, then %d" % (rss, rss_after))
    return problems
