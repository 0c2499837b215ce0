"""The tests' HTTPS server (see https_server.h): python3 https_server.py FOLDER, until its input
ends. GET PATH is answered from FOLDER/PATH ("/" as "_"): a line "STATUS EXTRA CUT LENGTH HOLD
LOCATION", then the body, which EXTRA bytes "x" follow; CUT >= 0 sends that many body bytes only,
LENGTH 0 no Content-Length, HOLD 1 nothing for 5 s. FOLDER/requests keeps the request lines."""
import http.server, os, ssl, subprocess, sys, threading, time

path = lambda name: os.path.join(sys.argv[1], name)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    log_message = lambda *args: None

    def do_GET(self):
        with open(path("requests"), "a") as log:  # one write each: whole, in any order
            log.write(self.requestline + "\n")
        try:
            with open(path(self.path.replace("/", "_")), "rb") as route:
                line, _, body = route.read().partition(b"\n")
        except FileNotFoundError:
            line, body = b"404 0 -1 1 0 ", b""
        status, extra, cut, length, hold, location = line.decode().split(" ", 5)
        if hold == "1":  # longer than the time-outs tested, short enough never to hang
            self.close_connection = True
            return time.sleep(5)
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


subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                "-nodes", "-days", "1", "-subj", "/CN=Tessaly test", "-addext",
                "subjectAltName=IP:127.0.0.1", "-keyout", path("key.pem"), "-out", path("ca.pem")],
               check=True, stderr=subprocess.DEVNULL)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(path("ca.pem"), path("key.pem"))
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.handle_error = lambda *args: None  # clients that give up or distrust it are staged
# Handshakes happen on the connections' own threads: a silent client holds up nothing.
server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
threading.Thread(target=server.serve_forever, daemon=True).start()
with open(path("port.part"), "w") as port:
    port.write(str(server.server_address[1]))
os.rename(path("port.part"), path("port"))  # whole when it appears
sys.stdin.read()
os._exit(0)
