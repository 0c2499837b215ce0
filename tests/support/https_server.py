"""The tests' HTTPS server (see https_server.h): python3 https_server.py FOLDER.

Makes a certificate for IP 127.0.0.1 only (FOLDER/ca.pem) and prints its port once it listens.
GET PATH is answered from FOLDER/routes/<PATH in hex>: a line "STATUS EXTRA CUT LENGTH HOLD
LOCATION", then the body, which EXTRA bytes "x" follow; CUT >= 0 sends only that many body bytes
and drops the connection, LENGTH 0 sends no Content-Length, HOLD 1 answers nothing for 5 s.
Other paths get 404. Each request's head is appended to FOLDER/requests. Ends with its input."""
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time

folder = sys.argv[1]
lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with lock, open(os.path.join(folder, "requests"), "a") as log:
            log.write(f"{self.requestline}\n{self.headers}")
        try:
            with open(os.path.join(folder, "routes", self.path.encode().hex()), "rb") as route:
                line, _, body = route.read().partition(b"\n")
        except FileNotFoundError:
            line, body = b"404 0 -1 1 0 ", b""
        status, extra, cut, length, hold, location = line.decode().split(" ", 5)
        if hold == "1":
            return time.sleep(5)  # longer than the time-outs tested, short enough never to hang
        self.send_response(int(status))
        if location:
            self.send_header("Location", location)
        if length == "1":
            self.send_header("Content-Length", str(len(body) + int(extra)))
        self.send_header("Connection", "close")
        self.end_headers()
        left = len(body) + int(extra) if int(cut) < 0 else int(cut)
        self.wfile.write(body[:left])
        for left in range(left - len(body), 0, -65536):
            self.wfile.write(b"x" * min(left, 65536))

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients that give up, or distrust the certificate, are what tests stage


cert, key = os.path.join(folder, "ca.pem"), os.path.join(folder, "key.pem")
subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                "-nodes", "-days", "1", "-subj", "/CN=Tessaly test", "-addext",
                "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
               check=True, stderr=subprocess.DEVNULL)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server = Server(("127.0.0.1", 0), Handler)
#Handshakes happen on the connections' own threads: a silent client holds up nothing.
server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
threading.Thread(target=server.serve_forever, daemon=True).start()
os.write(1, f"{server.server_address[1]}\n".encode())  # one write: read whole at once
sys.stdin.read()
os._exit(0)
