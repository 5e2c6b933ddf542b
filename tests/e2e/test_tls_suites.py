"""The endpoint's TLS 1.2 cipher suites: forward secrecy with an AEAD cipher
only, unless the site's INI names others."""

import socket
import ssl
import subprocess

import pytest

from wsraw import frame, read_until, recv_frame, upgrade_request

# The suites of the common "intermediate" server profile the endpoint offers
# with each kind of certificate.
INTERMEDIATE = {
    "rsa": {"ECDHE-RSA-AES128-GCM-SHA256", "ECDHE-RSA-AES256-GCM-SHA384",
            "ECDHE-RSA-CHACHA20-POLY1305"},
    "ec": {"ECDHE-ECDSA-AES128-GCM-SHA256", "ECDHE-ECDSA-AES256-GCM-SHA384",
           "ECDHE-ECDSA-CHACHA20-POLY1305"},
}
# What a client offering only one suite gets: None is a refused handshake.
OFFERS = [
    ("rsa", "AES128-SHA", None),                    # RSA key exchange, CBC
    ("rsa", "AES256-GCM-SHA384", None),             # RSA key exchange
    ("rsa", "ECDHE-RSA-AES128-SHA", None),          # CBC
    ("rsa", "ECDHE-RSA-AES256-SHA384", None),       # CBC
    ("rsa", "DHE-RSA-AES128-GCM-SHA256", None),     # no DH group is configured
    ("rsa", "ECDHE-RSA-AES128-GCM-SHA256", "ECDHE-RSA-AES128-GCM-SHA256"),
    ("rsa", "ECDHE-RSA-CHACHA20-POLY1305", "ECDHE-RSA-CHACHA20-POLY1305"),
    ("ec", "ECDHE-ECDSA-AES128-SHA", None),         # CBC
    ("ec", "ECDHE-ECDSA-AES256-GCM-SHA384", "ECDHE-ECDSA-AES256-GCM-SHA384"),
]


def use_rsa_certificate(gateway):
    """Replaces the development certificate (EC) by an RSA one, with which the
    suites of RSA key exchange could be negotiated."""
    folder = gateway.folder / "Certificado"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-noenc", "-days", "1",
                    "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", str(folder / "server_key.pem"),
                    "-out", str(folder / "server_cert.pem")], check=True, capture_output=True)
    (folder / "ca_cert.pem").write_bytes((folder / "server_cert.pem").read_bytes())


def gateway_with(make_gateway, certificate, **settings):
    gateway = make_gateway(start=False, **settings)
    if certificate == "rsa":
        use_rsa_certificate(gateway)
    gateway.start()
    return gateway


def client_context(ciphers=None):
    """A client as browsers are (Python's default suites) or one that offers
    only the given suites, accepting any certificate."""
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    if ciphers is not None:
        context.maximum_version = ssl.TLSVersion.TLSv1_2
        # Level 0: the client offers whatever it is told to; only the
        # server decides here.
        context.set_ciphers(ciphers + ":@SECLEVEL=0")
    return context


def negotiated(port, context):
    """The suite of a completed handshake and WebSocket echo, or None when the
    handshake was refused."""
    raw = socket.create_connection(("127.0.0.1", port), timeout=5)
    try:
        sock = context.wrap_socket(raw, server_hostname="localhost")
    except (ssl.SSLError, ConnectionError):
        raw.close()
        return None
    with sock:
        sock.sendall(upgrade_request())
        read_until(sock, b"\r\n\r\n")
        sock.sendall(frame(1, b"ola"))
        assert recv_frame(sock)[2] == b"ola"
        return sock.cipher()[0]


@pytest.mark.parametrize("certificate", ["rsa", "ec"])
def test_suites_offered(make_gateway, certificate):
    gateway = gateway_with(make_gateway, certificate)
    for cert, offer, expected in OFFERS:
        if cert == certificate:
            assert negotiated(gateway.port, client_context(offer)) == expected, offer
    # A browser-grade client gets one of the profile's suites.
    assert negotiated(gateway.port, client_context()) in INTERMEDIATE[certificate]


def test_a_site_may_name_its_own_suites(make_gateway):
    gateway = gateway_with(make_gateway, "rsa", ciphers="AES128-SHA")
    assert negotiated(gateway.port, client_context("AES128-SHA")) == "AES128-SHA"
    assert negotiated(gateway.port, client_context("ECDHE-RSA-AES128-GCM-SHA256")) is None


def test_a_list_without_a_known_suite_leaves_no_server(make_gateway):
    gateway = make_gateway(ciphers="NENHUMA-CIFRA", wait_listening=False)
    gateway.wait_log("Falha ao ativar o servidor socket: Lista de cifras TLS inv\u00e1lida: "
                     "NENHUMA-CIFRA: ")
    assert gateway.proc.poll() is None
