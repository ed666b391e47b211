#!/usr/bin/env python3
"""A release feed server for the updater's tests: serves the files of a
folder on 127.0.0.1 at a port the system picks (printed first), refuses
paths under /refused/ with 403, and sends files whose name holds "slow" a
little at a time."""
import http.server
import os
import sys
import time

root = sys.argv[1]


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=root, **kwargs)

    def do_GET(self):
        name = self.path.lstrip("/")
        if name.startswith("refused/"):
            self.send_error(403)
            return
        if "slow" in name:
            with open(os.path.join(root, name), "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            for i in range(0, len(data), 1024):
                self.wfile.write(data[i:i + 1024])
                self.wfile.flush()
                time.sleep(0.02)
            return
        super().do_GET()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
