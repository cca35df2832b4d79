#!/usr/bin/python3
"""A local RFC 3161 time-stamping authority: every POSTed query is answered by `openssl ts -reply`.

  tsa.py CONFIG PORT_FILE     serves on 127.0.0.1 at a free port, written to PORT_FILE once
                              it listens; runs until killed
CONFIG is an openssl configuration with a [tsa] section naming the signer's certificate and key.
"""
import subprocess
import sys
import tempfile
from http.server import BaseHTTPRequestHandler, HTTPServer
from pathlib import Path


class Handler(BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as folder:
            request = Path(folder) / "query.tsq"
            reply = Path(folder) / "reply.tsr"
            request.write_bytes(query)
            done = subprocess.run(["openssl", "ts", "-reply", "-config", sys.argv[1],
                                   "-queryfile", str(request), "-out", str(reply)],
                                  capture_output=True)
            if done.returncode != 0:
                sys.stderr.write(done.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            body = reply.read_bytes()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    server = HTTPServer(("127.0.0.1", 0), Handler)
    port_file = Path(sys.argv[2])
    port_file.with_suffix(".tmp").write_text(str(server.server_port))
    port_file.with_suffix(".tmp").rename(port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
