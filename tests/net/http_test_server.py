#!/usr/bin/env python3
"""Local HTTP server for the fetch tests, with HTTPS too when given a certificate and key.

Listens on 127.0.0.1, prints "PORTS <http> <https or 0>", serves until stdin closes.
Paths: /text, /agent (the User-Agent), /empty, /bytes/N (byte i is i % 251), /chunked/N,
/redirect/K (K redirects, then /text), /redirect-loop, /status/N, /stall/N (N of N + 100
bytes, then 5 s of silence), /silent (5 s before answering).
"""
import http.server, os, ssl, sys, threading, time


def pattern(n):
    return bytes(i % 251 for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, body, status=200, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if body is not None:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body:
            self.wfile.write(body)

    def do_GET(self):
        head, _, arg = self.path.strip("/").partition("/")
        if head == "text":
            self.answer(b"Hello from the song server\n")
        elif head == "agent":
            self.answer(self.headers.get("User-Agent", "").encode())
        elif head == "empty":
            self.answer(b"")
        elif head == "bytes":
            self.answer(pattern(int(arg)))
        elif head == "chunked":
            self.answer(None, headers=[("Transfer-Encoding", "chunked")])
            body = pattern(int(arg))
            for at in range(0, len(body), 3000):
                self.wfile.write(b"%x\r\n%s\r\n" % (len(body[at:at + 3000]), body[at:at + 3000]))
            self.wfile.write(b"0\r\n\r\n")
        elif head == "redirect":
            self.answer(b"", 302, [("Location", "/text" if int(arg) <= 0 else "/redirect/%d" % (int(arg) - 1))])
        elif head == "redirect-loop":
            self.answer(b"", 302, [("Location", "/redirect-loop")])
        elif head == "status":
            self.answer(b"no such song", int(arg))
        elif head == "stall":
            self.answer(None, headers=[("Content-Length", str(int(arg) + 100))])
            self.wfile.write(pattern(int(arg)))
            self.wfile.flush()
            time.sleep(5)
            self.wfile.write(pattern(100))
        elif head == "silent":
            time.sleep(5)
            self.answer(b"late")
        else:
            self.answer(b"not here", 404)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients that stop reading early are part of the tests


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


http_port, https_port = serve(Server(("127.0.0.1", 0), Handler)), 0
if len(sys.argv) == 3:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    secure = Server(("127.0.0.1", 0), Handler)
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    https_port = serve(secure)
print("PORTS %d %d" % (http_port, https_port), flush=True)
sys.stdin.read()
os._exit(0)
