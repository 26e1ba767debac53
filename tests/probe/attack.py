#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Hostile clients against kestrum-probe's exporter, on loopback only.

For each attack: a fresh exporter, the attack for a few seconds while an
honest client scrapes with a 1 s time-out, then SIGTERM while the attack still
holds its connections. The plain HTTP attacks are here, those on the TLS and
basic-auth front in attack_front.py. Prints a table: the exporter's peak RSS,
its CPU time during the attack, its most threads, the slowest honest scrape,
how long SIGTERM took, whether it survived, and what the attack got. With
--check, exits 1 when a bound is broken (RSS 64 MiB, scrape 1 s, SIGTERM 2 s,
and each attack's own).

  attack.py PROBE [--check] [--only NAME,...]

Run it inside a network namespace of its own (attack_test.sh does). Every
loop is bounded in count and time; nothing but 127.0.0.1 is addressed.
"""
import errno
import gzip
import os
import resource
import select
import shutil
import signal
import socket
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


class Conn:
    """One attacking connection: a head to send, then an endless tail, paced."""

    def __init__(self, port, head, tail=b"", chunk=65536, every=0.0, start=0.0, cap=300 << 20):
        self.port, self.data, self.tail = port, bytearray(head), tail
        self.chunk, self.every, self.start, self.cap = chunk, every, start, cap
        self.sock, self.sent, self.received, self.closed, self.next = None, 0, b"", False, 0.0

    def open(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setblocking(False)
        try:
            self.sock.connect((HOST, self.port))
        except BlockingIOError:
            pass
        except OSError:
            self.closed = True

    def pump(self, now):
        if self.closed:
            return
        if self.sock is None:
            if now >= self.start:
                self.open()
            return
        self.read()
        if now < self.next or self.sent >= self.cap or self.closed:
            return
        while self.tail and len(self.data) < self.chunk:
            self.data += self.tail
        piece = bytes(self.data[:self.chunk])
        try:
            n = self.sock.send(piece)
            del self.data[:n]
            self.sent += n
        except (BlockingIOError, InterruptedError):
            pass
        except OSError:
            self.closed = True
        self.next = now + self.every

    def read(self):
        try:
            while True:
                got = self.sock.recv(1 << 20)
                if not got:
                    self.closed = True
                    return
                if len(self.received) < (64 << 20):
                    self.received += got
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            self.closed = True

    def close(self):
        if self.sock is not None:
            self.sock.close()


def status_lines(conn):
    return conn.received.count(b"HTTP/1.1 ") + conn.received.count(b"HTTP/1.0 ")


class Exporter:
    def __init__(self, probe, nproc=None, extra=(), stderr=subprocess.DEVNULL):
        argv = [probe, "serve", "--listen", f"{HOST}:0"] + list(extra)
        if nproc:
            argv = ["prlimit", f"--nproc={nproc}", "setpriv", "--reuid=65534", "--regid=65534",
                    "--clear-groups"] + argv
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=stderr)
        self.port = None
        ready, _, _ = select.select([self.proc.stdout], [], [], 5)
        line = self.proc.stdout.readline().decode() if ready else ""
        if line.startswith("listening "):
            self.port = int(line.rsplit(":", 1)[1])

    def status(self, field):
        try:
            with open(f"/proc/{self.proc.pid}/status") as f:
                for line in f:
                    if line.startswith(field + ":"):
                        return int(line.split()[1])
        except OSError:
            pass
        return 0

    def alive(self):
        return self.proc.poll() is None

    def terminate(self):
        """Seconds from SIGTERM to exit; None past 5 s (then killed)."""
        if not self.alive():
            return None
        start = time.monotonic()
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=5)
            return time.monotonic() - start
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None


def cpu_seconds(pid):
    """User and system CPU time of a process so far."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except OSError:
        return 0.0


class Scraper(threading.Thread):
    """An honest client: a GET every 0.3 s with a time-out, on a fresh connection
    or one kept alive, through TLS and with a password where given. Notes the
    slowest answer, the failures and the exporter's most threads."""

    def __init__(self, exporter, path="/metrics", ca=None, auth=None, keep=False, timeout=SCRAPE_LIMIT_S):
        super().__init__(daemon=True)
        self.exporter, self.ca, self.keep, self.timeout, self.stop = exporter, ca, keep, timeout, threading.Event()
        self.head = f"GET {path} HTTP/1.1\r\nHost: x\r\n" + (f"Authorization: {auth}\r\n" if auth else "")
        self.head = (self.head + ("" if keep else "Connection: close\r\n") + "\r\n").encode()
        self.worst, self.failed, self.threads, self.sock, self.rest = 0.0, 0, 0, None, b""

    def scrape(self):
        """(status, seconds) of one GET; status 0 on failure."""
        start = time.monotonic()
        try:
            if self.sock is None:
                self.sock = socket.create_connection((HOST, self.exporter.port), timeout=self.timeout)
                if self.ca:
                    tls = ssl.create_default_context(cafile=self.ca)
                    self.sock, self.rest = tls.wrap_socket(self.sock, server_hostname=HOST), b""
            self.sock.settimeout(self.timeout)
            self.sock.sendall(self.head)
            answer = self.rest
            while b"\r\n\r\n" not in answer or len(answer) < answer_length(answer):
                got = self.sock.recv(65536) if time.monotonic() - start < self.timeout else b""
                if not got:
                    raise ConnectionError
                answer += got
            self.rest = answer[answer_length(answer):]
            if not self.keep:
                self.sock = self.sock.close()
            return int(answer.split(b" ", 2)[1]), time.monotonic() - start
        except (OSError, ValueError, IndexError):
            self.sock = self.sock.close() if self.sock else None
            return 0, time.monotonic() - start

    def run(self):
        for _ in range(200):
            if self.stop.is_set():
                return
            code, seconds = self.scrape()
            self.worst, self.failed = max(self.worst, seconds), self.failed + (code != 200)
            self.threads = max(self.threads, self.exporter.status("Threads"))
            self.stop.wait(0.3)


def answer_length(answer):
    """Bytes of a whole answer: its head and the body its Content-Length announces."""
    head = answer.partition(b"\r\n\r\n")[0]
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            return len(head) + 4 + int(line.split(b":")[1])
    return len(head) + 4


def run_conns(conns, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        now = time.monotonic()
        for c in conns:
            c.pump(now)
        time.sleep(0.02)


def silent_udp():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((HOST, 0))
    return s, s.getsockname()[1]


# Each attack: (connections, seconds, a check of what it got -> (note, ok)).
def huge_line(port, _):
    c = [Conn(port, b"GET /", b"a" * 65536, chunk=1 << 20)]
    return c, 4, lambda: (f"sent {c[0].sent >> 20} MiB, closed {c[0].closed}", c[0].closed)


def huge_headers(port, _):
    c = [Conn(port, b"GET / HTTP/1.1\r\nHost: x\r\n", b"X-Pad: " + b"a" * 1000 + b"\r\n", chunk=1 << 20)]
    return c, 4, lambda: (f"sent {c[0].sent >> 20} MiB, closed {c[0].closed}", c[0].closed)


def many_headers(port, _):
    c = [Conn(port, b"GET / HTTP/1.1\r\nHost: x\r\n", b"a:b\r\n", chunk=1 << 20)]
    return c, 4, lambda: (f"sent {c[0].sent >> 20} MiB, closed {c[0].closed}", c[0].closed)


def bodies(port, _):
    bomb = gzip.compress(b"\0" * (64 << 20), 9)
    head = b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\nContent-Length: %d\r\n\r\n" % len(bomb)
    trickle = [Conn(port, head + bomb, chunk=4096, every=0.1) for _ in range(40)]
    big = [Conn(port, b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 300000000\r\n\r\n", b"z" * 65536,
                chunk=1 << 20) for _ in range(4)]
    c = trickle + big

    def check():
        refused = sum(x.closed for x in c)
        return f"{refused}/{len(c)} closed by the exporter", refused == len(c)
    return c, 4, check


def slow_loris(port, _):
    c = [Conn(port, b"GET /metrics HTTP/1.1\r\n", b"X-a: b\r\n", chunk=1, every=2.0) for _ in range(1200)]

    def check():
        cut = sum(x.closed for x in c)
        return f"{cut}/{len(c)} cut by the deadline", cut == len(c)
    return c, 12, check


def flood(port, _):
    c = [Conn(port, b"", start=i / 3000 * 0.5) for i in range(3000)]
    return c, 4, lambda: (f"{sum(not x.closed for x in c)} held open", True)


def probe_flood(port, silent):
    req = b"GET /probe?target=127.0.0.1:%d HTTP/1.1\r\nHost: x\r\n\r\n" % silent
    c = [Conn(port, req, start=0.0 if i < 400 else 2.0) for i in range(800)]

    def check():
        answered = sum(status_lines(x) for x in c)
        return f"{answered}/{len(c)} answered (200 or 503)", True
    return c, 4, check


def probes_in_flight(port, silent):
    req = (b"GET /probe?target=127.0.0.1:%d HTTP/1.1\r\nHost: x\r\n"
           b"X-Prometheus-Scrape-Timeout-Seconds: 40\r\n\r\n" % silent)
    c = [Conn(port, req) for _ in range(200)]
    return c, 2, lambda: (f"{sum(status_lines(x) for x in c)} answered before SIGTERM", True)


def range_amp(port, silent):
    ranges = b"bytes=" + b",".join([b"-"] * 4000)
    req = b"GET /probe?target=127.0.0.1:%d HTTP/1.1\r\nHost: x\r\nRange: %s\r\n\r\n" % (silent, ranges)
    c = [Conn(port, req)]
    return c, 3, lambda: (f"answer {len(c[0].received)} bytes", len(c[0].received) < 4096)


def body_after_get(port, _):
    smuggled = b"GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n"
    req = b"GET /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % len(smuggled) + smuggled
    c = [Conn(port, req)]
    return c, 2, lambda: (f"{status_lines(c[0])} answers", status_lines(c[0]) == 1)


def reuse_after_400(port, _):
    req = b"GET /probe HTTP/1.1\r\nHost: x\r\n\r\nGET /metrics HTTP/1.1\r\nHost: x\r\n\r\n"
    c = [Conn(port, req)]
    return c, 2, lambda: (f"{status_lines(c[0])} answers, closed {c[0].closed}",
                          status_lines(c[0]) == 1 and c[0].closed)


ATTACKS = [("huge request line", huge_line), ("huge header block", huge_headers), ("many headers", many_headers),
           ("bodies, gzip trickle", bodies), ("slow-loris trickle", slow_loris), ("connection flood", flood),
           ("flood, nproc 40", probe_flood), ("probes in flight, 30 s", probes_in_flight),
           ("Range amplification", range_amp),
           ("body after GET", body_after_get), ("reuse after 400", reuse_after_400)]


def recovers(exporter, silent):
    """After the attack: a probe and a scrape answered."""
    for _ in range(40):
        probe, _ = Scraper(exporter, f"/probe?target=127.0.0.1:{silent}", timeout=3).scrape()
        scrape, _ = Scraper(exporter).scrape()
        if probe == 200 and scrape == 200:
            return True
        time.sleep(0.2)
    return False


def settles(exporter, idle, seconds=9):
    """The exporter's threads once its workers have been idle a while."""
    end = time.monotonic() + seconds
    while time.monotonic() < end and exporter.status("Threads") > idle:
        time.sleep(0.25)
    return exporter.status("Threads")


def attack(probe, name, make, silent):
    nproc = 40 if "nproc" in name else None
    exporter = Exporter(probe, nproc, ["--timeout", "30"] if "30 s" in name else [])
    if exporter.port is None:
        return dict(name=name, note="did not start", ok=False)
    idle_threads = exporter.status("Threads")
    conns, seconds, check = make(exporter.port, silent)
    watch = Scraper(exporter)
    cpu = cpu_seconds(exporter.proc.pid)
    watch.start()
    run_conns(conns, seconds)
    watch.stop.set()
    watch.join()
    note, fine = check()
    row = dict(name=name, rss=exporter.status("VmHWM") / 1024, cpu=cpu_seconds(exporter.proc.pid) - cpu,
               threads=max(watch.threads, idle_threads),
               worst=watch.worst, failed=watch.failed, alive=exporter.alive(), note=note, ok=fine)
    if nproc:
        for c in conns:
            c.close()
        row["recovered"] = row["alive"] and recovers(exporter, silent)
        row["after"] = settles(exporter, idle_threads)
        row["ok"] = row["ok"] and row["recovered"] and row["after"] <= idle_threads
        row["note"] += f"; threads {idle_threads} idle, {row['after']} after"
    if "30 s" in name:
        # SIGTERM with every probe still waiting: each gets a 503 on its way out.
        row["sigterm"] = exporter.terminate()
        run_conns(conns, 0.5)
        stopped = sum(x.received.startswith(b"HTTP/1.1 503") for x in conns)
        row["note"] += f"; {stopped}/{len(conns)} got 503 at SIGTERM"
        row["ok"] = stopped == len(conns)
    if "sigterm" not in row:
        row["sigterm"] = exporter.terminate()
    for c in conns:
        c.close()
    return row


def judge(row):
    broken = []
    if row.get("rss", 0) >= RSS_LIMIT_MIB:
        broken.append("RSS")
    if row.get("failed", 1) or row.get("worst", 9) >= SCRAPE_LIMIT_S:
        broken.append("scrape")
    if row.get("sigterm") is None or row["sigterm"] >= SIGTERM_LIMIT_S:
        broken.append("SIGTERM")
    if not row.get("alive", False):
        broken.append("died")
    if not row.get("ok", False):
        broken.append("attack")
    return broken


def report(rows):
    print(f"{'attack':28} {'RSS MiB':>8} {'CPU s':>6} {'threads':>7} {'scrape s':>9} {'fails':>5} {'SIGTERM s':>9} "
          f"{'alive':>5}  what the attack got")
    for r in rows:
        term = f"{r['sigterm']:.2f}" if r.get("sigterm") is not None else ">5"
        alive = "yes" if r.get("alive") else "NO"
        if "recovered" in r:
            alive += "+" if r["recovered"] else "-"
        cpu = f"{r['cpu']:6.2f}" if "cpu" in r else "     -"
        print(f"{r['name']:28} {r.get('rss', 0):8.1f} {cpu} {r.get('threads', 0):7d} {r.get('worst', 0):9.3f} "
              f"{r.get('failed', 0):5d} {term:>9} {alive:>5}  {r['note']}"
              + (f"  BROKEN: {', '.join(judge(r))}" if judge(r) else ""))


def runnable_copy(probe, work):
    """The probe (and the agent module beside it) where the nproc attack's user may run it."""
    os.chmod(work, 0o755)
    source = os.path.dirname(os.path.abspath(probe))
    for name in (os.path.basename(probe), "libinetmib1.so"):
        if os.path.exists(os.path.join(source, name)):
            shutil.copy(os.path.join(source, name), work)
            os.chmod(os.path.join(work, name), 0o755)
    return os.path.join(work, os.path.basename(probe))


def prepare():
    """As many descriptors as the attacks need; no death by a closed peer."""
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    signal.signal(signal.SIGPIPE, signal.SIG_IGN)


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__)
        return 64
    only = None
    if "--only" in args:
        only = args[args.index("--only") + 1].split(",")
    prepare()
    sock, silent = silent_udp()
    import attack_front  # the TLS and basic-auth front
    with tempfile.TemporaryDirectory() as work:
        probe = runnable_copy(args[0], work)
        rows = [attack(probe, name, make, silent) for name, make in ATTACKS
                if only is None or any(o in name for o in only)]
        rows += attack_front.rows(probe, work, only)
    sock.close()
    report(rows)
    broken = [r["name"] for r in rows if judge(r)]
    print(f"attacks: {len(rows) - len(broken)} held, {len(broken)} broke a bound")
    return 1 if "--check" in args and broken else 0


if __name__ == "__main__":
    sys.exit(main())
