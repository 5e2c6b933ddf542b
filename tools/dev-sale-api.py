#!/usr/bin/env python3
"""A development stand-in for the back office's sale API: an HTTPS server on
127.0.0.1 that prints every callback it receives and answers 201 with
{"data": n}, n counting the payments it registered.

  dev-sale-api.py PORT CERT KEY
"""

import json
import ssl
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    registered = 0

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", "replace")
        Handler.registered += 1
        try:
            shown = json.dumps(json.loads(body), indent=2, ensure_ascii=False)
        except ValueError:
            shown = body
        print(f"[sale API] POST {self.path.split('/callback/')[0]}/callback/<token>\n{shown}",
              flush=True)
        answer = json.dumps({"data": Handler.registered}).encode()
        self.send_response(201, "Created")
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    server = ThreadingHTTPServer(("127.0.0.1", int(argv[1])), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(argv[2], argv[3])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    server.serve_forever()


if __name__ == "__main__":
    main(sys.argv)
