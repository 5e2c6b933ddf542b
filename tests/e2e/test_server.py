"""The server's life and its limits: stop, start, activation failures, the
connection limit, the upgrade and stall time-outs and the size limit."""

import asyncio
import gzip
import signal
import socket
import ssl

import websockets

from conftest import port_open, wait_until
from wine import WINDOWS_APP, linux_only

# The system's text for a port in use; Wine has none for Winsock's
# WSAEADDRINUSE, and the gateway then names the error by its number.
ADDRESS_IN_USE = "Address already in use" if WINDOWS_APP is None else "erro 10048"
from wsraw import closed_by_peer, frame, open_ws, recv_frame, tls_connect


@linux_only("SIGUSR1 pause and SIGUSR2 continue")
def test_pause_closes_clients_and_continue_binds_again(gateway):
    sock = open_ws(gateway.port)
    gateway.signal(signal.SIGUSR1)
    assert closed_by_peer(sock)
    wait_until(lambda: not port_open(gateway.port), what="port closed")
    gateway.wait_log("O serviço foi pausado.")
    assert "Conexão 1 finalizada." in gateway.log_text(), "the disconnect hook ran on stop"

    gateway.signal(signal.SIGUSR2)
    wait_until(lambda: port_open(gateway.port), what="port open again")
    sock = open_ws(gateway.port)
    sock.sendall(frame(1, b"de novo"))
    assert recv_frame(sock)[2] == b"de novo"

    assert gateway.stop() == 0
    lines = [line.split("] ", 1)[1] for line in gateway.log_text().splitlines()
             if "servi" in line]
    assert lines == ["Iniciando servidor socket.", "O serviço foi inciado.",
                     "O serviço foi pausado.", "Iniciando servidor socket.",
                     "O serviço foi retomado.", "O serviço foi parado."]


@linux_only("SIGUSR1 pause and SIGUSR2 continue")
def test_second_start_keeps_the_running_server(gateway):
    """A continue while the server runs starts nothing new, and the server
    that runs can still be stopped."""
    gateway.signal(signal.SIGUSR2)
    gateway.wait_log("O serviço foi retomado.")
    gateway.signal(signal.SIGUSR2)
    wait_until(lambda: gateway.log_text().count("O serviço foi retomado.") == 2)
    assert "Falha ao ativar" not in gateway.log_text()
    # Only the service start started a server.
    assert gateway.log_text().count("Iniciando servidor socket.") == 1
    gateway.signal(signal.SIGUSR1)
    wait_until(lambda: not port_open(gateway.port), what="port closed by the pause")


def test_port_taken_leaves_a_log_line_and_no_server(make_gateway):
    with socket.socket() as taken:
        taken.bind(("0.0.0.0", 0))
        taken.listen()
        port = taken.getsockname()[1]
        gateway = make_gateway(port=port, wait_listening=False)
        gateway.wait_log(f"Falha ao ativar o servidor socket: porta {port}: {ADDRESS_IN_USE}")
    assert not port_open(port)
    assert gateway.proc.poll() is None, "the service keeps running without a server"


def test_missing_certificate_leaves_a_log_line(make_gateway):
    gateway = make_gateway(start=False)
    (gateway.folder / "Certificado" / "server_cert.pem").unlink()
    gateway.start(wait_listening=False)
    gateway.wait_log("Falha ao ativar o servidor socket: Não foi possível carregar o certificado")
    assert not port_open(gateway.port)


def test_connection_limit(make_gateway):
    gateway = make_gateway(max_connections=2)
    first, second = open_ws(gateway.port), open_ws(gateway.port)
    third = socket.create_connection(("127.0.0.1", gateway.port), timeout=5)
    assert closed_by_peer(third)
    gateway.wait_log("recusada: limite de 2 conexões simultâneas atingido.")
    first.close()
    gateway.wait_log("Conexão 1 finalizada.")
    fourth = open_ws(gateway.port)
    fourth.sendall(frame(1, b"cabe"))
    assert recv_frame(fourth)[2] == b"cabe"
    second.close()


def test_upgrade_time_out(make_gateway):
    gateway = make_gateway(upgrade_timeout_ms=300)
    silent_tls = tls_connect(gateway.port)
    silent_tcp = socket.create_connection(("127.0.0.1", gateway.port), timeout=5)
    assert closed_by_peer(silent_tls)
    assert closed_by_peer(silent_tcp)
    gateway.wait_log("Tempo esgotado aguardando o pedido de upgrade do WebSocket.")
    gateway.wait_log("Tempo esgotado na negociação TLS.")


def test_peer_stalling_mid_frame_is_disconnected(make_gateway):
    gateway = make_gateway(stall_timeout_ms=300)
    sock = open_ws(gateway.port)
    sock.sendall(frame(1, b"Hello")[:7])
    assert closed_by_peer(sock)
    gateway.wait_log("Tempo esgotado aguardando o restante da mensagem do cliente.")


def test_messages_above_the_size_limit_end_the_connection(make_gateway):
    gateway = make_gateway(max_message_bytes=100000)
    context = ssl.create_default_context(cafile=gateway.ca_file)

    async def refused(payload):
        async with websockets.connect(f"wss://localhost:{gateway.port}/", ssl=context) as ws:
            await ws.send(payload)
            try:
                await ws.recv()
            except websockets.ConnectionClosed as closed:
                return closed.code
        return None

    assert asyncio.run(refused("a" * 100001)) == 1009
    assert asyncio.run(refused(gzip.compress(b" " * 100001))) == 1009
    gateway.wait_log("Mensagem do cliente acima do limite de 100000 bytes.")

    async def within():
        async with websockets.connect(f"wss://localhost:{gateway.port}/", ssl=context) as ws:
            await ws.send("a" * 100000)
            return len(await ws.recv())

    assert asyncio.run(within()) == 100000
