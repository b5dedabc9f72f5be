#!/usr/bin/env python3
"""A throwaway RFC 3161 timestamp authority on loopback, for signing checks.

    timestamp_responder.py CONFIG PORT_FILE

Listens on 127.0.0.1 on a port the system picks, writes that port to
PORT_FILE once it listens, and answers each POSTed timestamp query with
`openssl ts -reply` under CONFIG. It serves until it is stopped; whoever
starts it stops it.
"""
import http.server
import os
import subprocess
import sys
import tempfile

config, port_file = sys.argv[1], sys.argv[2]


class Responder(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.TemporaryDirectory() as work:
            query_file = os.path.join(work, "query.tsq")
            reply_file = os.path.join(work, "reply.tsr")
            with open(query_file, "wb") as out:
                out.write(query)
            made = subprocess.run(
                ["openssl", "ts", "-reply", "-config", config, "-queryfile", query_file,
                 "-out", reply_file], capture_output=True)
            if made.returncode != 0:
                self.send_error(400, made.stderr.decode(errors="replace")[-200:])
                return
            with open(reply_file, "rb") as reply:
                body = reply.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Responder)
with open(port_file + ".new", "w") as out:
    out.write(str(server.server_address[1]))
os.replace(port_file + ".new", port_file)
server.serve_forever()
