"""Clients that try to wear the server out: hundreds of connections that never
finish their upgrade, and a frame header declaring 2 GB. A well-behaved
client is still answered (checked with a generous deadline, not timed)."""

import socket
import struct

import pytest

from wsraw import (closed_by_peer, frame, open_ws, read_until, recv_frame, tls_connect,
                   upgrade_request)

FLOOD = 500


def slowloris(gateway):
    """A few connections finish TLS and send half an upgrade request; then
    500 more connect and send nothing. None of them ever finishes."""
    held = []
    for _ in range(5):
        sock = tls_connect(gateway.port)
        sock.sendall(b"GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\n")
        held.append(sock)
    for _ in range(FLOOD):
        sock = socket.socket()
        sock.setblocking(False)
        sock.connect_ex(("127.0.0.1", gateway.port))
        held.append(sock)
    return held


def two_gigabyte_header(gateway):
    """A masked text frame whose header declares 2 GB, and not one byte of
    it: the server refuses it at once (close 1009) and ends the connection."""
    sock = open_ws(gateway.port)
    sock.sendall(bytes([0x81, 0x80 | 127]) + struct.pack(">Q", 2 << 30) + b"\x00" * 4)
    _, opcode, payload = recv_frame(sock)
    assert (opcode, payload[:2]) == (0x8, struct.pack(">H", 1009))
    assert closed_by_peer(sock)
    return [sock]


def served(gateway):
    """One well-behaved client, which does not try again: connects, upgrades
    and gets its echo back (generous time-outs, nothing timed)."""
    sock = tls_connect(gateway.port, timeout=30)
    with sock:
        sock.sendall(upgrade_request())
        read_until(sock, b"\r\n\r\n")
        sock.sendall(frame(1, b"ainda aqui"))
        return recv_frame(sock)[2]


@pytest.mark.parametrize("attack", [slowloris, two_gigabyte_header])
def test_well_behaved_client_is_served_during_an_attack(make_gateway, attack):
    # The default upgrade time-out (10 s) stays: the client must not have to
    # wait for the attacking connections to time out.
    gateway = make_gateway()
    held = attack(gateway)
    try:
        assert served(gateway) == b"ainda aqui"
    finally:
        for sock in held:
            sock.close()
    if attack is slowloris:
        gateway.wait_log("encerrada sem concluir o upgrade: limite de 32 conex\u00f5es")
