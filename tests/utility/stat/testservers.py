#!/usr/bin/env python3
"""Local web servers for the HTTP client tests, on the loopback only.

  testservers.py start STATE WORKDIR   start both servers detached, return once
                                       their ports are written to STATE
  testservers.py stop STATE            end the servers STATE names

STATE holds key=value lines: http_port, https_port (certificate for
localhost, made with openssl in WORKDIR), closed_port (nothing listens) and
pid. The servers end by themselves after IDLE_SECONDS without a request or
LIFETIME_SECONDS in all, so an interrupted test run leaves nothing behind.
"""
import os
import select
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

IDLE_SECONDS = 900
LIFETIME_SECONDS = 3600
STALL_SECONDS = 60      # longest a stalled answer keeps its connection
WAIT_SECONDS = 30       # longest /waitstalled waits for its stalled request

last_request = time.monotonic()
stalled = set()
stalled_changed = threading.Condition()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        sys.stdout.write("%s %s\n" % (self.address_string(), fmt % args))
        sys.stdout.flush()

    def answer(self, status, body, headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        global last_request
        last_request = time.monotonic()
        url = urlsplit(self.path)
        query = parse_qs(url.query)
        token = query.get("id", [""])[0]
        path = url.path
        if path == "/count":
            self.answer(200, b"4711")
        elif path == "/api/ruzorivizi.php":
            self.answer(200, b"1342")
        elif path.startswith("/answer/") and path.endswith("/api/ruzorivizi.php"):
            # The counter's answer chosen by the caller: /answer/<text>/api/...
            text = unquote(path[len("/answer/"):-len("/api/ruzorivizi.php")])
            self.answer(200, text.encode())
        elif path == "/empty":
            self.answer(200, b"")
        elif path == "/error500":
            self.answer(500, b"server trouble")
        elif path == "/badutf8":
            self.answer(200, b"ok\xff\xfe end \xc3\xa4")
        elif path == "/redirect":
            self.answer(302, b"moved", [("Location", "/count")])
        elif path == "/loop":
            self.answer(302, b"again", [("Location", "/loop")])
        elif path == "/ua":
            self.answer(200, self.headers.get("User-Agent", "(none)").encode())
        elif path == "/header":
            self.answer(200, self.headers.get("X-Quill-Test", "(none)").encode())
        elif path == "/stall":
            self.stall(token)
        elif path == "/waitstalled":
            with stalled_changed:
                ok = stalled_changed.wait_for(lambda: token in stalled, WAIT_SECONDS)
            self.answer(200, b"stalled" if ok else b"timeout")
        else:
            self.answer(404, b"no such page")

    def stall(self, token):
        # Headers and one byte of a longer body, then nothing until the
        # client gives up (or STALL_SECONDS pass).
        self.send_response(200)
        self.send_header("Content-Length", "100")
        self.end_headers()
        self.wfile.write(b"1")
        self.wfile.flush()
        with stalled_changed:
            stalled.add(token)
            stalled_changed.notify_all()
        try:
            select.select([self.connection], [], [], STALL_SECONDS)
        finally:
            with stalled_changed:
                stalled.discard(token)
        self.close_connection = True


class TlsServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, context):
        self.context = context
        super().__init__(address, Handler)

    def get_request(self):
        sock, addr = super().get_request()
        # The handshake happens in the request's own thread.
        return self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False), addr

    def finish_request(self, request, client_address):
        try:
            request.do_handshake()
        except (ssl.SSLError, OSError):
            return
        super().finish_request(request, client_address)


class PlainServer(ThreadingHTTPServer):
    daemon_threads = True


def make_certificate(workdir):
    os.makedirs(workdir, exist_ok=True)
    cert = os.path.join(workdir, "localhost.crt")
    key = os.path.join(workdir, "localhost.key")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
         "-days", "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost"],
        check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def free_closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def write_state(state, values):
    tmp = state + ".tmp"
    with open(tmp, "w") as f:
        for k, v in values.items():
            f.write("%s=%s\n" % (k, v))
    os.replace(tmp, state)


def read_state(state):
    values = {}
    try:
        with open(state) as f:
            for line in f:
                k, _, v = line.strip().partition("=")
                values[k] = v
    except OSError:
        pass
    return values


def serve(state, workdir):
    cert, key = make_certificate(workdir)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    plain = PlainServer(("127.0.0.1", 0), Handler)
    tls = TlsServer(("127.0.0.1", 0), context)
    for server in (plain, tls):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    write_state(state, {"http_port": plain.server_address[1], "https_port": tls.server_address[1],
                        "closed_port": free_closed_port(), "pid": os.getpid()})
    started = time.monotonic()

    def leave(*_):
        if read_state(state).get("pid") == str(os.getpid()):
            try:
                os.remove(state)
            except OSError:
                pass
        os._exit(0)

    signal.signal(signal.SIGTERM, leave)
    while True:
        time.sleep(5)
        now = time.monotonic()
        if now - last_request > IDLE_SECONDS or now - started > LIFETIME_SECONDS:
            leave()


def alive(pid):
    # A zombie (nobody may reap it in a container) counts as gone.
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def stop(state):
    pid = read_state(state).get("pid")
    if pid and pid.isdigit() and alive(int(pid)):
        os.kill(int(pid), signal.SIGTERM)
        deadline = time.monotonic() + 10
        while alive(int(pid)) and time.monotonic() < deadline:
            time.sleep(0.05)
    try:
        os.remove(state)
    except OSError:
        pass


def start(state, workdir):
    stop(state)
    os.makedirs(workdir, exist_ok=True)
    log = open(os.path.join(workdir, "servers.log"), "ab")
    # Detached and without our pipes, so the test runner does not wait for it.
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state, workdir],
                             stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                             start_new_session=True, close_fds=True)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if read_state(state).get("pid") == str(child.pid):
            print(open(state).read(), end="")
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    print("test servers did not start, see %s" % os.path.join(workdir, "servers.log"), file=sys.stderr)
    child.kill()
    return 1


def main(argv):
    if len(argv) == 4 and argv[1] == "start":
        return start(argv[2], argv[3])
    if len(argv) == 4 and argv[1] == "serve":
        serve(argv[2], argv[3])
        return 0
    if len(argv) == 3 and argv[1] == "stop":
        stop(argv[2])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
