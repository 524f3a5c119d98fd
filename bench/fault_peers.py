#!/usr/bin/env python3
"""Peers that never stop, for scripts/fault-rerun.

    fault_peers.py PROGRAM WORKDIR

Starts small servers on 127.0.0.1 and lets the program's clients talk to
them: an FTP listing that trickles one line a second (qvl-ftp list), rexec
output without end, an update server whose version file or updater never
ends, fast or one byte a second (fault-peers-uibench). Each case must end by
itself before its deadline with a clear line; prints one line per case and
a total. The cases run side by side; the longest takes about ten minutes.
"""
import os
import socket
import socketserver
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

program, work = sys.argv[1], sys.argv[2]
build = os.path.dirname(os.path.abspath(program))
qvl_ftp = os.path.join(build, "bench", "qvl-ftp")
peers = os.path.join(build, "bench", "fault-peers-uibench")
stop = threading.Event()


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


# ---------------------------------------------------------------- FTP
class Ftp(socketserver.StreamRequestHandler):
    def handle(self):
        say = lambda text: self.wfile.write((text + "\r\n").encode())
        say("220 trickle")
        data = None
        while not stop.is_set():
            line = self.rfile.readline().decode(errors="replace").strip()
            if not line:
                return
            verb = line.split(" ")[0].upper()
            if verb == "USER":
                say("331 password")
            elif verb == "PASS":
                say("230 in")
            elif verb == "SYST":
                say("215 UNIX Type: L8")
            elif verb == "CWD":
                say("250 ok")
            elif verb == "PWD":
                say('257 "/"')
            elif verb == "PASV":
                data = socket.socket()
                data.bind(("127.0.0.1", 0))
                data.listen(1)
                p = data.getsockname()[1]
                say("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (p >> 8, p & 255))
            elif verb in ("LIST", "NLST") and data:
                say("150 here it comes")
                conn, _ = data.accept()
                n = 0
                try:
                    while not stop.is_set():  # one line a second, never the end
                        conn.sendall(b"-rw-r--r-- 1 u g 10 Jan 01 12:00 file%d.txt\r\n" % n)
                        n += 1
                        time.sleep(1)
                except OSError:
                    pass
                return
            elif verb == "QUIT":
                say("221 bye")
                return
            else:
                say("200 ok")


# ---------------------------------------------------------------- rexec
class Rexec(socketserver.BaseRequestHandler):
    def handle(self):
        got = b""
        while got.count(b"\0") < 4:
            part = self.request.recv(4096)
            if not part:
                return
            got += part
        chunk = b"".join(b"line %08d of an output that never ends\n" % i for i in range(2000))
        try:
            self.request.sendall(b"\0")
            while not stop.is_set():
                self.request.sendall(chunk)
        except OSError:
            pass


# ---------------------------------------------------------------- update
class Update(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        fast = self.path.startswith("/fast/")
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.end_headers()
        head = b"1.0.999.0\n" if self.path.endswith(".txt") else b"\x7fELF"
        try:
            self.wfile.write(head)
            block = b"x" * 65536
            while not stop.is_set():
                if fast:
                    self.wfile.write(block)
                else:
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(1)
        except OSError:
            pass


class Threading(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


ftp_port = serve(Threading(("127.0.0.1", 0), Ftp))
rexec_port = serve(Threading(("127.0.0.1", 0), Rexec))
http = ThreadingHTTPServer(("127.0.0.1", 0), Update)
http.daemon_threads = True
http_port = serve(http)

results = []


def case(name, deadline, argv, expect):
    """Runs argv; it must end within deadline seconds with a line holding expect."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=work, XDG_CONFIG_HOME=work + "/.config")
    t0 = time.time()
    try:
        out = subprocess.run(argv, capture_output=True, text=True, errors="replace",
                             timeout=deadline + 60, env=env)
        took = time.time() - t0
        text = (out.stdout + out.stderr).strip()
    except subprocess.TimeoutExpired as e:
        took, text = time.time() - t0, "(still running; killed)"
    rss = [l for l in text.splitlines() if l.startswith("rss-mb=")]
    said = [l for l in text.splitlines() if any(x.lower() in l.lower() for x in expect)]
    ok = took <= deadline and bool(said) and "updater-started=1" not in text
    results.append(ok)
    print("peers: %-28s %s after %5.1f s (deadline %d s)%s: %s" % (
        name, "ended" if ok else "FAILED", took, deadline,
        ", peak " + rss[0][7:] + " MB" if rss else "",
        (said[0] if said else text.splitlines()[-1] if text else "(nothing said)")[:160]))
    sys.stdout.flush()


upd = work + "/updater-"
for d in ("fast", "slow"):
    os.makedirs(upd + d, exist_ok=True)
cases = [
    ("FTP listing trickles", 330, [qvl_ftp, "list", "127.0.0.1", str(ftp_port), "u", "p", "/"],
     ["qvl-ftp:"]),
    ("rexec output endless", 120, [peers, "rexec", str(rexec_port)], ["stopped at"]),
    ("update: endless, fast", 120, [peers, "update", "http://127.0.0.1:%d/fast/" % http_port, upd + "fast"],
     ["download:"]),
    ("update: one byte a second", 700, [peers, "update", "http://127.0.0.1:%d/slow/" % http_port, upd + "slow"],
     ["download:"]),
]
threads = [threading.Thread(target=case, args=c) for c in cases]
for t in threads:
    t.start()
for t in threads:
    t.join()
stop.set()
for d in ("fast", "slow"):
    left = os.listdir(upd + d)
    if any(not n.startswith(".") for n in left):
        print("peers: an updater was left in place: %s" % left)
        results.append(False)
print("peers: %d cases, %d ended in time with a clear line, %d failed" % (
    len(results), results.count(True), results.count(False)))
sys.exit(0 if all(results) else 1)
