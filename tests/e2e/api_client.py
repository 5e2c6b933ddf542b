"""A synchronous client of the gateway's JSON API over a raw TLS WebSocket,
and the access tokens the sale back office would issue (signed here with
Python's hmac, independently of the gateway's code)."""

import base64
import hashlib
import hmac
import json
import re
import socket
from pathlib import Path

from wsraw import closed_by_peer, frame, open_ws, recv_frame

SHARED_KEY = b"Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U"

CLAIMS = {
    "secctional_code": "1009",
    "ip_address": "127.0.0.1",
    "store_code": "00000001",
    "additional_parameters": "",
    "operator": "caixa 1",
    "sale_id": "42",
    "company_id": "3",
    "callback_url": "https://sales.example/",
}

VERSION_PROBE = {"route": "/version", "type": "version", "category": "service_exe"}
SERVICE_VERSION = '{"type":"version","category":"service_exe","version":"1.0.12.0"}'


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def token(claims=None, alg="HS256", key=SHARED_KEY, header=None):
    header = header or {"alg": alg, "typ": "JWT"}
    signing_input = (b64url(json.dumps(header).encode()) + "." +
                     b64url(json.dumps(CLAIMS if claims is None else claims).encode()))
    digest = {"HS256": hashlib.sha256, "HS384": hashlib.sha384,
              "HS512": hashlib.sha512}[alg]
    return signing_input + "." + b64url(hmac.new(key, signing_input.encode(), digest).digest())


def claims_with(**changes):
    claims = dict(CLAIMS)
    for name, value in changes.items():
        if value is None:
            claims.pop(name)
        else:
            claims[name] = value
    return claims


def start_request(tok):
    return {"route": "/session/start", "type": "session", "token": tok}


def error(message):
    """The error reply exactly as the gateway writes it (ASCII, \\u escapes, \\/)."""
    return '{"type":"error","message":' + wire(message) + "}"


def wire(text):
    out = json.dumps(text, ensure_ascii=True).replace("/", "\\/")
    return re.sub(r"\\u([0-9a-f]{4})", lambda m: "\\u" + m.group(1).upper(), out)


def set_ini(folder, section, key, value):
    """Sets one key of the app folder's INI, adding the section when missing."""
    ini = Path(folder) / "SvcQuorelSiTef.ini"
    lines = ini.read_text().splitlines()
    header = f"[{section}]"
    if header not in lines:
        lines += [header]
    start = lines.index(header)
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("[")), len(lines))
    body = [line for line in lines[start + 1:end] if line.split("=", 1)[0] != key]
    body.append(f"{key}={value}")
    ini.write_text("\n".join(lines[:start + 1] + body + lines[end:]) + "\n")


class Client:
    """One WebSocket connection; messages are dicts (sent as JSON) or raw text."""

    def __init__(self, gateway):
        self.sock = open_ws(gateway.port)
        # A request and its probe go out back to back: no Nagle delay between them.
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def close(self):
        self.sock.close()

    def send(self, message):
        text = message if isinstance(message, str) else json.dumps(message)
        self.sock.sendall(frame(0x1, text.encode()))

    def recv(self):
        _, opcode, payload = recv_frame(self.sock)
        assert opcode == 0x1, f"opcode {opcode}"
        return payload.decode()

    def ask(self, message):
        """Sends a message and returns every reply it caused (possibly none):
        a version probe follows it, and its answer marks the end."""
        return self.ask_all([message])

    def ask_all(self, messages):
        """Sends the messages back to back and returns every reply they caused."""
        for message in messages:
            self.send(message)
        self.send(VERSION_PROBE)
        replies = []
        while (reply := self.recv()) != SERVICE_VERSION:
            replies.append(reply)
        return replies

    def ended_by_server(self):
        return closed_by_peer(self.sock)

    def start_session(self, claims=None):
        replies = self.ask(start_request(token(claims)))
        assert len(replies) == 1 and '"status":"created"' in replies[0], replies
        return json.loads(replies[0])
