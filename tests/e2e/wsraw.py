"""Byte-level WebSocket client over TLS, for what a client library hides:
exact upgrade answers, frame headers, fragments, masks and close frames."""

import os
import socket
import ssl
import struct


def tls_connect(port, timeout=5.0):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    raw = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    return context.wrap_socket(raw, server_hostname="localhost")


def upgrade_request(key_line="Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ=="):
    lines = ["GET / HTTP/1.1", "Host: localhost", "Upgrade: websocket",
             "Connection: Upgrade", "Sec-WebSocket-Version: 13"]
    if key_line:
        lines.append(key_line)
    return ("\r\n".join(lines) + "\r\n\r\n").encode()


def read_until(sock, marker):
    data = b""
    while marker not in data:
        chunk = sock.recv(1)
        if not chunk:
            raise ConnectionError("closed before " + repr(marker))
        data += chunk
    return data


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise ConnectionError(f"closed after {len(data)} of {n} bytes")
        data += chunk
    return data


def open_ws(port):
    sock = tls_connect(port)
    sock.sendall(upgrade_request())
    read_until(sock, b"\r\n\r\n")
    return sock


def frame(opcode, payload, fin=True, mask=True):
    head = bytes([(0x80 if fin else 0) | opcode])
    n = len(payload)
    bit = 0x80 if mask else 0
    if n <= 125:
        head += bytes([bit | n])
    elif n <= 0xFFFF:
        head += bytes([bit | 126]) + struct.pack(">H", n)
    else:
        head += bytes([bit | 127]) + struct.pack(">Q", n)
    if not mask:
        return head + payload
    key = os.urandom(4)
    return head + key + bytes(b ^ key[i % 4] for i, b in enumerate(payload))


def recv_frame(sock):
    """Returns (header bytes, opcode, payload) of one server frame."""
    head = recv_exact(sock, 2)
    n = head[1] & 0x7F
    if n == 126:
        ext = recv_exact(sock, 2)
        head += ext
        n = struct.unpack(">H", ext)[0]
    elif n == 127:
        ext = recv_exact(sock, 8)
        head += ext
        n = struct.unpack(">Q", ext)[0]
    return head, head[0] & 0x0F, recv_exact(sock, n)


def closed_by_peer(sock, timeout=5.0):
    """True when the server ends the connection within the time-out."""
    sock.settimeout(timeout)
    try:
        while True:
            if not sock.recv(65536):
                return True
    except (ConnectionError, ssl.SSLError):
        return True
    except socket.timeout:
        return False
