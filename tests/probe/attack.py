#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Hostile clients against kestrum-probe's exporter, in a network namespace of its own (attack_test.sh).

  attack.py PROBE [--check] [--only NAME,...]

Each attack runs a few seconds on a fresh exporter while an honest client scrapes every 0.3 s with a 1 s
time-out (plain HTTP: /metrics on a new connection each time; behind TLS and basic auth: /probe of a print
server that answers, logged in before and kept alive, as Prometheus is); then SIGTERM while the attack still
holds its connections. --check: exit 1 when a bound is broken (RSS 64 MiB, scrape 1 s, SIGTERM 2 s, the
attack's own). Every loop is bounded in count and time; nothing but 127.0.0.1 is addressed.
"""
import base64
import errno
import gzip
import http.client
import os
import resource
import select
import shutil
import signal
import socket
import socketserver
import ssl
import subprocess
import sys
import tempfile
import threading
import time

HOST = "127.0.0.1"
RSS_LIMIT_MIB = 64
SCRAPE_LIMIT_S = 1.0
SIGTERM_LIMIT_S = 2.0
PASSWORD = "secret"


class Conn:
    """One attacking connection: a head to send, then an endless tail, paced; or,
    cycling, the head sent again on a new connection once answered or closed."""

    def __init__(self, port, head, tail=b"", chunk=65536, every=0.0, start=0.0, cycle=False, opened=0):
        self.port, self.head, self.data, self.tail, self.chunk = port, head, bytearray(head), tail, chunk
        self.every, self.start, self.cycle, self.opened, self.next = every, start, cycle, opened, 0.0
        self.sock, self.sent, self.received, self.closed = None, 0, b"", False

    def pump(self, now):
        if self.cycle and (self.closed or (self.head and self.received)):
            self.close()
            self.__init__(self.port, self.head, cycle=True, opened=self.opened + 1)
        if self.closed or now < self.start:
            return
        if self.sock is None:
            self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self.sock.setblocking(False)
            self.closed = self.sock.connect_ex((HOST, self.port)) not in (0, errno.EINPROGRESS)
            return
        ok = self.io(self.read)
        if ok and now >= self.next:
            ok, self.next = self.io(self.send), now + self.every
        self.closed = not ok

    def io(self, step):
        """False once the connection is closed or broken."""
        try:
            return step()
        except (BlockingIOError, InterruptedError):
            return True
        except OSError:
            return False

    def read(self):
        while got := self.sock.recv(1 << 20):
            if len(self.received) < (64 << 20):
                self.received += got
        return False  # closed by the exporter

    def send(self):
        while self.tail and len(self.data) < self.chunk:
            self.data += self.tail
        n = self.sock.send(self.data[:self.chunk]) if self.data else 0
        del self.data[:n]
        self.sent += n
        return True

    def close(self):
        if self.sock is not None:
            self.sock.close()


class Exporter:
    def __init__(self, probe, nproc=None, extra=(), stderr=subprocess.DEVNULL):
        argv = [probe, "serve", "--listen", f"{HOST}:0"] + list(extra)
        if nproc:
            argv = ["prlimit", f"--nproc={nproc}", "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", *argv]
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=stderr)
        line = self.proc.stdout.readline().decode() if select.select([self.proc.stdout], [], [], 5)[0] else ""
        self.port = int(line.rsplit(":", 1)[1]) if line.startswith("listening ") else None

    def read(self, name):
        try:
            with open(f"/proc/{self.proc.pid}/{name}") as f:
                return f.read()
        except OSError:
            return ""

    def status(self, field):
        return next((int(x.split()[1]) for x in self.read("status").splitlines() if x.startswith(field + ":")), 0)

    def cpu(self):
        """User and system CPU seconds so far."""
        fields = self.read("stat").rsplit(")", 1)[-1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK") if len(fields) > 12 else 0.0

    def terminate(self):
        """Seconds from SIGTERM to exit; None past 5 s (then killed)."""
        start = time.monotonic()
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=5)
                return time.monotonic() - start
            except subprocess.TimeoutExpired:
                self.proc.kill()
        return None


class Scraper(threading.Thread):
    """An honest client: a GET every 0.3 s with a time-out, on a new connection or one kept alive, through TLS
    and with a password where given. Notes the slowest answer, the failures and the exporter's most threads."""

    def __init__(self, exporter, path="/metrics", ca=None, auth=None, keep=False, timeout=SCRAPE_LIMIT_S):
        super().__init__(daemon=True)
        self.exporter, self.path, self.keep, self.timeout, self.stop = exporter, path, keep, timeout, threading.Event()
        self.tls = ssl.create_default_context(cafile=ca) if ca else None
        self.headers = {**({"Authorization": auth} if auth else {}), **({} if keep else {"Connection": "close"})}
        self.worst, self.failed, self.threads, self.conn = 0.0, 0, 0, None

    def scrape(self):
        """(status, seconds) of one GET; status 0 on failure."""
        start, status = time.monotonic(), 0
        try:
            if self.conn is None:
                self.conn = (http.client.HTTPSConnection(HOST, self.exporter.port, timeout=self.timeout,
                                                         context=self.tls) if self.tls else
                             http.client.HTTPConnection(HOST, self.exporter.port, timeout=self.timeout))
            self.conn.request("GET", self.path, headers=self.headers)
            answer = self.conn.getresponse()
            answer.read()
            status = answer.status
        except (OSError, http.client.HTTPException):
            pass
        if status == 0 or not self.keep:
            self.conn = self.conn.close() if self.conn else None
        return status, time.monotonic() - start

    def run(self):
        for _ in range(200):
            if self.stop.is_set():
                return
            code, seconds = self.scrape()
            self.worst, self.failed = max(self.worst, seconds), self.failed + (code != 200)
            self.threads = max(self.threads, self.exporter.status("Threads"))
            self.stop.wait(0.3)


def run_conns(conns, seconds):
    end = time.monotonic() + seconds
    while (now := time.monotonic()) < end:
        for c in conns:
            c.pump(now)
        time.sleep(0.02)


class PrintServer(socketserver.BaseRequestHandler):
    """Answers every status request with an empty 960-byte reply."""

    def handle(self):
        self.request[1].sendto(bytes(960), self.client_address)


def make_files(work):
    """A self-signed certificate (an RSA key: its handshakes cost the most), and the web configurations."""
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", "tls.key", "-out", "tls.pem"],
                   cwd=work, check=True, capture_output=True)
    import crypt  # libcrypt's bcrypt; deprecated in Python, still shipped by Debian 12
    hashed = crypt.crypt(PASSWORD, crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=1024))  # cost 10
    users = f"basic_auth_users:\n  prometheus: '{hashed}'\n"
    tls = "tls_server_config:\n  cert_file: tls.pem\n  key_file: tls.key\n"
    for name, text in (("auth.yml", users), ("tls.yml", tls + users)):
        with open(os.path.join(work, name), "w") as f:
            f.write(text)
    return {name: os.path.join(work, name) for name in ("auth.yml", "tls.yml", "tls.pem")}


def client_hello():
    """The first flight of a TLS client, recorded once and replayed."""
    out = ssl.MemoryBIO()
    try:
        ssl.create_default_context().wrap_bio(ssl.MemoryBIO(), out, server_hostname=HOST).do_handshake()
    except ssl.SSLWantReadError:
        return out.read()


def basic(user, password):
    return "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


# Each attack: (its connections, a check(exporter, log, row) -> (note, ok) that may also end the exporter).
def streams(port, _):
    """Heads and bodies without end, each on one connection: every one closed."""
    head = b"GET / HTTP/1.1\r\nHost: x\r\n"
    bomb = gzip.compress(b"\0" * (64 << 20), 9)
    zipped = b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\nContent-Length: %d\r\n\r\n" % len(bomb)
    big = b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 300000000\r\n\r\n"
    c = [Conn(port, b"GET /", b"a" * 65536, chunk=1 << 20),  # a request line
         Conn(port, head, b"X-Pad: " + b"a" * 1000 + b"\r\n", chunk=1 << 20),  # a header block
         Conn(port, head, b"a:b\r\n", chunk=1 << 20)]  # many headers
    c += [Conn(port, zipped + bomb, chunk=4096, every=0.1) for _ in range(40)]
    c += [Conn(port, big, b"z" * 65536, chunk=1 << 20) for _ in range(4)]
    return c, lambda *_: (f"{sum(x.closed for x in c)}/{len(c)} closed, {sum(x.sent for x in c) >> 20} MiB sent",
                          all(x.closed for x in c))


def slow_loris(port, _):
    c = [Conn(port, b"GET /metrics HTTP/1.1\r\n", b"X-a: b\r\n", chunk=1, every=2.0) for _ in range(1200)]
    return c, lambda *_: (f"{sum(x.closed for x in c)}/{len(c)} cut by the deadline", all(x.closed for x in c))


def probe_flood(port, kit):
    req = b"GET /probe?target=127.0.0.1:%d HTTP/1.1\r\nHost: x\r\n\r\n" % kit["silent"]
    c = [Conn(port, req, start=0.0 if i < 400 else 1.0) for i in range(800)]

    def check(exporter, *_):
        for x in c:
            x.close()
        ok = any(Scraper(exporter, f"/probe?target={HOST}:{kit['silent']}", timeout=3).scrape()[0] == 200
                 and Scraper(exporter).scrape()[0] == 200 for _ in range(40))
        return f"{sum(x.received.count(b'HTTP/1.1 ') for x in c)}/{len(c)} answered (200 or 503); recovered {ok}", ok
    return c, check


def probes_in_flight(port, kit):
    req = (b"GET /probe?target=127.0.0.1:%d HTTP/1.1\r\nHost: x\r\n"
           b"X-Prometheus-Scrape-Timeout-Seconds: 40\r\n\r\n" % kit["silent"])
    c = [Conn(port, req) for _ in range(200)]

    def check(exporter, _, row):
        # SIGTERM with every probe still waiting: each gets a 503 on its way out.
        early = sum(x.received.count(b"HTTP/1.1 ") for x in c)
        row["sigterm"] = exporter.terminate()
        run_conns(c, 0.5)
        stopped = sum(x.received.startswith(b"HTTP/1.1 503") for x in c)
        return f"{early} answered before SIGTERM, {stopped}/{len(c)} got 503 at it", stopped == len(c)
    return c, check


def guesses(count, fresh):
    """count connections, each with one wrong password: the same for a known and an unknown user, or each its own."""
    def make(port, _):
        users = ("prometheus",) if fresh else ("prometheus", "nobody")
        c = [Conn(port, f"GET /metrics HTTP/1.1\r\nHost: x\r\nAuthorization: "
                        f"{basic(users[i % len(users)], f'guess{i}' if fresh else 'wrong')}\r\n\r\n".encode(),
                  start=i / count) for i in range(count)]
        return c, lambda *_: (f"{sum(x.received.count(b'HTTP/1.1 ') for x in c)}/{count} answered, "
                              f"{sum(x.received.startswith(b'HTTP/1.1 503') for x in c)} with 503", True)
    return make


def cycling(count, head):
    """count connections sending head(kit), each opened anew once answered or closed."""
    def make(port, kit):
        c = [Conn(port, head(kit), cycle=True) for _ in range(count)]
        return c, lambda *_: (f"{sum(x.opened for x in c)} opened anew", True)
    return make


def half_open(port, kit):
    """3 bytes of a ClientHello, or nothing."""
    c = [Conn(port, kit["hello"][:3] if i % 2 else b"") for i in range(1200)]

    def check(_, __, row):
        # Idle half-open connections cost nothing measurable; silent ones wait
        # in the acceptor until their deadline.
        held = sum(not x.closed for x in c[::2])
        return f"{held}/{len(c) // 2} silent held", row["cpu"] < 0.3 and held == len(c) // 2
    return c, check


def log_flood(port, _):
    head = b"GET /probe?target=0.0.0.1:60000 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
    c = [Conn(port, head, cycle=True) for _ in range(8)]

    def check(_, log, __):
        log.seek(0)
        lines = log.read().count(b"\n")
        return f"{sum(x.opened for x in c)} probes that cannot be sent, {lines} log lines", lines < 40
    return c, check


# name, web configuration (None: plain HTTP), seconds, attack
ATTACKS = [("streams: heads, bodies", None, 2, streams),
           ("slow-loris trickle", None, 11.5, slow_loris),
           ("flood, nproc 40", None, 2, probe_flood),
           ("probes in flight, 30 s", None, 1, probes_in_flight),
           ("wrong passwords, 2 users", "auth", 2, guesses(1300, False)),
           ("400 guessers, new passwords", "auth", 2, guesses(400, True)),
           ("slot hog, 4096 reopened", "auth", 2, cycling(4096, lambda _: b"")),
           ("slot hog over TLS", "tls", 2, cycling(4096, lambda _: b"")),
           ("TLS: 3 bytes or none, 1200", "tls", 2.5, half_open),
           ("handshake flood, RSA", "tls", 2, cycling(800, lambda kit: kit["hello"])),
           ("log flood, bad target", "plain", 2, log_flood)]


def attack(probe, kit, name, config, seconds, make):
    extra = ["--web.config.file", kit[f"{config}.yml"]] if f"{config}.yml" in kit else []
    log = tempfile.TemporaryFile()
    exporter = Exporter(probe, 40 if "nproc" in name else None, extra + ["--timeout", "30"] * ("30 s" in name), log)
    if exporter.port is None:
        return dict(name=name, note="did not start", ok=False)
    # Against the slot hog a new connection each time: it must still find a slot.
    honest = Scraper(exporter, f"/probe?target={HOST}:{kit['server']}" if config else "/metrics",
                     ca=kit.get(f"{config}.pem"), auth=basic("prometheus", PASSWORD),
                     keep=bool(config) and "slot hog" not in name)
    first, _ = honest.scrape()
    conns, check = make(exporter.port, kit)
    cpu = exporter.cpu()
    honest.start()
    run_conns(conns, seconds)
    honest.stop.set()
    honest.join()
    row = dict(name=name, rss=exporter.status("VmHWM") / 1024, cpu=exporter.cpu() - cpu, threads=honest.threads,
               worst=honest.worst, failed=honest.failed + (first != 200), alive=exporter.proc.poll() is None)
    row["note"], row["ok"] = check(exporter, log, row)
    row.setdefault("sigterm", exporter.terminate())
    for c in conns:
        c.close()
    return row


def judge(row):
    return [what for what, broken in (
        ("RSS", row.get("rss", 0) >= RSS_LIMIT_MIB),
        ("scrape", row.get("failed", 1) or row.get("worst", 9) >= SCRAPE_LIMIT_S),
        ("SIGTERM", row.get("sigterm") is None or row["sigterm"] >= SIGTERM_LIMIT_S),
        ("died", not row.get("alive", False)), ("attack", not row.get("ok", False))) if broken]


def report(rows):
    print(f"{'attack':28} {'RSS MiB':>8} {'CPU s':>6} {'threads':>7} {'scrape s':>9} {'fails':>5} {'SIGTERM s':>9} "
          f"{'alive':>5}  what the attack got")
    for r in rows:
        term = f"{r['sigterm']:.2f}" if r.get("sigterm") is not None else ">5"
        print(f"{r['name']:28} {r.get('rss', 0):8.1f} {r.get('cpu', 0):6.2f} {r.get('threads', 0):7d} "
              f"{r.get('worst', 0):9.3f} {r.get('failed', 0):5d} {term:>9} {'yes' if r.get('alive') else 'NO':>5}  "
              f"{r['note']}" + (f"  BROKEN: {', '.join(judge(r))}" if judge(r) else ""))


def runnable_copy(probe, work):
    """The probe (and the agent module beside it) where the nproc attack's user may run it."""
    os.chmod(work, 0o755)
    for path in (probe, os.path.join(os.path.dirname(probe), "libinetmib1.so")):
        if os.path.exists(path):
            shutil.copy(path, work)  # with its mode: the build made it executable by all
    return os.path.join(work, os.path.basename(probe))


def main():
    args = sys.argv[1:]
    only = args[args.index("--only") + 1].split(",") if "--only" in args else None
    # As many descriptors as the attacks need; no death by a closed peer.
    resource.setrlimit(resource.RLIMIT_NOFILE, (resource.getrlimit(resource.RLIMIT_NOFILE)[1],) * 2)
    signal.signal(signal.SIGPIPE, signal.SIG_IGN)
    silent, server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM), socketserver.UDPServer((HOST, 0), PrintServer)
    silent.bind((HOST, 0))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with tempfile.TemporaryDirectory() as work:
        kit = dict(make_files(work), hello=client_hello(), silent=silent.getsockname()[1],
                   server=server.server_address[1])
        probe = runnable_copy(args[0], work)
        rows = [attack(probe, kit, *a) for a in ATTACKS if only is None or any(o in a[0] for o in only)]
    server.shutdown()
    report(rows)
    broken = [r["name"] for r in rows if judge(r)]
    print(f"attacks: {len(rows) - len(broken)} held, {len(broken)} broke a bound")
    return 1 if "--check" in args and broken else 0


if __name__ == "__main__":
    sys.exit(main())
