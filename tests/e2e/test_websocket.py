"""The WebSocket endpoint as a client sees it: the upgrade answer and the
frames, against the echo stand-in that answers each message."""

import asyncio
import base64
import gzip
import hashlib
import ssl

import pytest
import websockets

from wsraw import (closed_by_peer, frame, open_ws, read_until, recv_exact, recv_frame,
                   tls_connect, upgrade_request)

SUFFIX = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"


def accept_of(key):
    return base64.b64encode(hashlib.sha1((key + SUFFIX).encode()).digest()).decode()


def client_context(gateway):
    return ssl.create_default_context(cafile=gateway.ca_file)


def test_upgrade_answer_is_exact(gateway):
    sock = tls_connect(gateway.port)
    sock.sendall(upgrade_request())
    assert read_until(sock, b"\r\n\r\n") == (
        b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        b"Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"
        b"Access-Control-Allow-Origin: *\r\n"
        b"Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
        b"Access-Control-Allow-Headers: Content-Type\r\n"
        b"Access-Control-Allow-Credentials: true\r\n\r\n")


@pytest.mark.parametrize("key_line,key", [
    ("Sec-WebSocket-Key:   x3JJHMbDL1EzLkh9GBhXDw==  ", "x3JJHMbDL1EzLkh9GBhXDw=="),
    (None, ""),
    ("sec-websocket-key: x3JJHMbDL1EzLkh9GBhXDw==", ""),
], ids=["key", "missing key", "lower-case header name"])
def test_accept_value(gateway, key_line, key):
    sock = tls_connect(gateway.port)
    sock.sendall(upgrade_request(key_line))
    answer = read_until(sock, b"\r\n\r\n").decode()
    assert f"Sec-WebSocket-Accept: {accept_of(key)}\r\n" in answer


@pytest.mark.parametrize("frames,reply", [
    ([frame(1, b"Hello")], b"Hello"),
    ([frame(1, b"Hel", fin=False), frame(0, b"lo")], b"Hello"),
    ([frame(1, b"Hel", fin=False), frame(9, b"abc")], b"abc"),
    ([frame(1, b"sem mascara", mask=False)], b"sem mascara"),
], ids=["masked Hello", "fragmented text", "ping inside a fragmented message", "unmasked"])
def test_received_frames_make_one_message(gateway, frames, reply):
    sock = open_ws(gateway.port)
    sock.sendall(b"".join(frames))
    head, opcode, payload = recv_frame(sock)
    assert (opcode, payload) == (1, reply)
    assert head[1] & 0x80 == 0, "server frames are never masked"


@pytest.mark.parametrize("size,header", [
    (125, bytes([0x81, 0x7D])),
    (126, bytes([0x81, 0x7E, 0x00, 0x7E])),
    (65536, bytes([0x81, 0x7F, 0, 0, 0, 0, 0, 1, 0, 0])),
])
def test_outgoing_header_by_size(gateway, size, header):
    sock = open_ws(gateway.port)
    sock.sendall(frame(1, f"size:{size}".encode()))
    head, _, payload = recv_frame(sock)
    assert head == header
    assert payload == b"a" * size


def test_close_frame_is_answered_and_connection_ends(gateway):
    sock = open_ws(gateway.port)
    sock.sendall(frame(8, bytes([0x03, 0xE8]) + b"tchau"))
    assert recv_frame(sock) == (bytes([0x88, 0x02]), 8, bytes([0x03, 0xE8]))
    assert closed_by_peer(sock)
    gateway.wait_log("finalizada.")


def test_binary_messages(gateway):
    text = '{"route":"/version","type":"version","texto":"ação"}'

    async def run():
        async with websockets.connect(f"wss://localhost:{gateway.port}/",
                                      ssl=client_context(gateway)) as ws:
            await ws.send(gzip.compress(text.encode()))
            inflated = await ws.recv()
            await ws.send("ação".encode())
            plain = await ws.recv()
            await ws.send(b"\x1f\x8b isto nao e gzip")
            await ws.send("depois")
            after_bad_gzip = await ws.recv()
            return inflated, plain, after_bad_gzip

    assert asyncio.run(run()) == (text, "ação", "depois")
    gateway.wait_log("Erro na conversão: Conteúdo gzip inválido.")


def test_multi_megabyte_message_arrives_whole(gateway):
    big = "x" * (5 << 20)

    async def run():
        async with websockets.connect(f"wss://localhost:{gateway.port}/", max_size=None,
                                      ssl=client_context(gateway)) as ws:
            await ws.send(big)
            return await ws.recv()

    assert asyncio.run(run()) == big


def test_each_client_gets_only_its_own_replies(gateway):
    """Two clients in a prompt at once: each answer reaches the prompt of the
    client that gave it, and each reply goes back to that client alone."""

    async def run():
        uri = f"wss://localhost:{gateway.port}/"
        async with websockets.connect(uri, ssl=client_context(gateway)) as a, \
                websockets.connect(uri, ssl=client_context(gateway)) as b:
            await a.send("ask:pergunta A")
            await b.send("ask:pergunta B")
            prompts = (await a.recv(), await b.recv())
            await b.send("resposta B")
            await a.send("resposta A")
            answers = (await a.recv(), await b.recv())
            await a.send("id")
            await b.send("id")
            ids = (await a.recv(), await b.recv())
            return prompts, answers, ids

    prompts, answers, ids = asyncio.run(run())
    assert prompts == ("pergunta A", "pergunta B")
    assert answers == ("answer:resposta A", "answer:resposta B")
    assert ids[0] != ids[1]


def test_plain_tcp_client_is_dropped(gateway):
    import socket
    sock = socket.create_connection(("127.0.0.1", gateway.port), timeout=5)
    sock.sendall(upgrade_request())
    assert closed_by_peer(sock)
    gateway.wait_log("Falha na negociação TLS")
    assert not closed_by_peer(open_ws(gateway.port), timeout=0.2), "the server goes on"
