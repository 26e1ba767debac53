# SPDX-FileCopyrightText: 2026 The USB Kestrum developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""The attacks on the exporter's TLS and basic-auth front, for attack.py.

For each: a fresh exporter with a web configuration (TLS with an ECDSA or RSA
key, basic auth at bcrypt cost 10), and an honest client that is logged in
before the attack, as a running Prometheus is, scraping /probe of a print
server that answers.
"""
import base64
import os
import socket
import ssl
import subprocess
import tempfile
import threading

import attack
from attack import HOST, Conn, run_conns

PASSWORD = "secret"


def make_files(work):
    """Certificates (an ECDSA and an RSA key pair, one CA) and the web configurations."""
    def run(*args):
        subprocess.run(["openssl", *args], cwd=work, check=True, capture_output=True)
    run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
        "-subj", "/CN=kestrum-attack-ca", "-keyout", "ca.key", "-out", "ca.pem")
    for kind, key in (("ec", ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"]),
                      ("rsa", ["-newkey", "rsa:2048"])):
        run("req", *key, "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", f"{kind}.key", "-out", f"{kind}.csr")
        with open(os.path.join(work, "san.ext"), "w") as f:
            f.write("subjectAltName=IP:127.0.0.1\n")
        run("x509", "-req", "-in", f"{kind}.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2", "-extfile", "san.ext", "-out", f"{kind}.pem")
        os.chmod(os.path.join(work, f"{kind}.key"), 0o600)
    import crypt  # libcrypt's bcrypt; deprecated in Python, still shipped by Debian 12
    hashed = crypt.crypt(PASSWORD, crypt.mksalt(crypt.METHOD_BLOWFISH, rounds=1024))
    users = f"basic_auth_users:\n  prometheus: '{hashed}'\n"
    configs = {"auth": users}
    for kind in ("ec", "rsa"):
        configs[kind] = f"tls_server_config:\n  cert_file: {kind}.pem\n  key_file: {kind}.key\n" + users
    for name, text in configs.items():
        with open(os.path.join(work, f"{name}.yml"), "w") as f:
            f.write(text)
    return {name: os.path.join(work, f"{name}.yml") for name in configs}


def client_hello():
    """The first flight of a TLS client, recorded once and replayed."""
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    ctx.check_hostname, ctx.verify_mode = False, ssl.CERT_NONE
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = ctx.wrap_bio(incoming, outgoing, server_hostname="127.0.0.1")
    try:
        tls.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


def auth_header(user, password):
    return "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()


class PrintServer(threading.Thread):
    """Answers every status request on loopback with an empty 960-byte reply."""

    def __init__(self):
        super().__init__(daemon=True)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((HOST, 0))
        self.sock.settimeout(0.2)
        self.port, self.stop = self.sock.getsockname()[1], threading.Event()

    def run(self):
        while not self.stop.is_set():
            try:
                _, peer = self.sock.recvfrom(64)
                self.sock.sendto(bytes(960), peer)
            except OSError:
                pass


class Cycler:
    """Connections that send `head` and are opened anew once answered or closed."""

    def __init__(self, port, count, head, seconds_between=0.0):
        self.port, self.head, self.every = port, head, seconds_between
        self.conns = [Conn(port, head) for _ in range(count)]
        self.opened = 0

    def pump(self, now):
        for i, c in enumerate(self.conns):
            if c.closed or (self.head and c.received):
                c.close()
                self.conns[i] = Conn(self.port, self.head, start=now + self.every)
                self.opened += 1
            else:
                c.pump(now)

    def close(self):
        for c in self.conns:
            c.close()


def guesses(port, user, count, fresh):
    """count connections, each with one wrong password (the same, or each its own)."""
    heads = []
    for i in range(count):
        password = f"guess{i}" if fresh else "wrong"
        heads.append(f"GET /metrics HTTP/1.1\r\nHost: x\r\nAuthorization: {auth_header(user, password)}\r\n\r\n")
    return [Conn(port, h.encode(), start=i / count) for i, h in enumerate(heads)]


# Each attack: (config, the attacker's connections or cycler, seconds, a check -> (note, ok)).
def wrong_known(port, _):
    c = guesses(port, "prometheus", 1300, False)
    return c, 4, lambda: (f"{sum(attack.status_lines(x) for x in c)}/{len(c)} answered", True)


def wrong_unknown(port, _):
    c = guesses(port, "nobody", 1300, False)
    return c, 4, lambda: (f"{sum(attack.status_lines(x) for x in c)}/{len(c)} answered", True)


def guessers(port, _):
    c = guesses(port, "prometheus", 400, True)
    return c, 4, lambda: (f"{sum(x.received.startswith(b'HTTP/1.1 503') for x in c)} of {len(c)} got 503", True)


def slot_hog(port, _):
    hog = Cycler(port, 4096, b"")
    return [hog], 4, lambda: (f"{hog.opened} reopened", True)


def partial_hello(port, hello):
    c = [Conn(port, hello[:3]) for _ in range(1200)]
    return c, 4, lambda: (f"{sum(not x.closed for x in c)} held", True)


def silent_after_answer(port, hello):
    c = [Conn(port, hello) for _ in range(1200)]
    return c, 4, lambda: (f"{sum(bool(x.received) for x in c)} answered", True)


def handshake_flood(port, hello):
    flood = Cycler(port, 800, hello)
    return [flood], 4, lambda: (f"{flood.opened} handshakes asked", True)


def log_flood(port, _):
    head = b"GET /probe?target=0.0.0.1:60000 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
    flood = Cycler(port, 8, head)
    return [flood], 3, lambda: (f"{flood.opened} probes that cannot be sent", True)


ATTACKS = [("wrong password, known user", "auth", wrong_known),
           ("wrong password, unknown", "auth", wrong_unknown),
           ("400 guessers, new passwords", "auth", guessers),
           ("slot hog, 4096 reopened", "auth", slot_hog),
           ("slot hog over TLS", "ec", slot_hog),
           ("3 bytes of TLS, 1200", "ec", partial_hello),
           ("silent after answer", "ec", silent_after_answer),
           ("handshake flood, RSA", "rsa", handshake_flood),
           ("handshake flood, ECDSA", "ec", handshake_flood),
           ("log flood, bad target", "none", log_flood)]


def run_attack(probe, name, config, make, files, hello, server):
    log = tempfile.TemporaryFile()
    extra = ["--web.config.file", files[config]] if config in files else []
    exporter = attack.Exporter(probe, extra=extra, stderr=log)
    if exporter.port is None:
        return dict(name=name, note="did not start", ok=False)
    # Logged in before the attack, as a running Prometheus is; against the slot
    # hog a new connection each time: it must still find a slot.
    honest = attack.Scraper(exporter, f"/probe?target={HOST}:{server.port}", auth=auth_header("prometheus", PASSWORD),
                            ca=files["ca"] if config in ("ec", "rsa") else None, keep="slot hog" not in name)
    first, _ = honest.scrape()
    conns, seconds, check = make(exporter.port, hello)
    cpu = attack.cpu_seconds(exporter.proc.pid)
    honest.start()
    run_conns(conns, seconds)
    honest.stop.set()
    honest.join()
    note, fine = check()
    row = dict(name=name, rss=exporter.status("VmHWM") / 1024, threads=honest.threads, alive=exporter.alive(),
               cpu=attack.cpu_seconds(exporter.proc.pid) - cpu, worst=honest.worst,
               failed=honest.failed + (first != 200), note=note, ok=fine, sigterm=exporter.terminate())
    for c in conns:
        c.close()
    if "log flood" in name:
        log.seek(0)
        lines = log.read().count(b"\n")
        row["note"], row["ok"] = row["note"] + f", {lines} log lines", lines < 40
    if "3 bytes" in name:
        row["ok"] = row["cpu"] < 0.5  # idle half-open connections cost nothing measurable
    return row


def rows(probe, work, only):
    """The front's rows, with its files in work."""
    server = PrintServer()
    server.start()
    files = make_files(work)
    files["ca"] = os.path.join(work, "ca.pem")
    hello = client_hello()
    done = [run_attack(probe, name, config, make, files, hello, server) for name, config, make in ATTACKS
            if only is None or any(o in name for o in only)]
    server.stop.set()
    return done
