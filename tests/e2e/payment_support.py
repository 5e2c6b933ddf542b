"""What the payment tests share: a real HTTPS sale API (stdlib http.server
with its own certificate, which the gateway trusts through [callback] ca_file),
stand-in library scenarios, a gateway set up for payments, and a client that
answers prompts and collects every message up to the result."""

import base64
import hashlib
import hmac
import json
import ssl
import subprocess
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

from api_client import SHARED_KEY, Client, claims_with, set_ini

CALLBACK_PATH = "/v1/sales/tef/callback/"


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def callback_token():
    """The HS384 token the gateway must sign: header {"typ":"JWT","alg":"HS384"},
    payload {} (computed here independently of the gateway)."""
    signing_input = b64url(b'{"typ":"JWT","alg":"HS384"}') + "." + b64url(b"{}")
    signature = hmac.new(SHARED_KEY, signing_input.encode(), hashlib.sha384).digest()
    return signing_input + "." + b64url(signature)


class SaleApi:
    """An HTTPS server playing the back office. Each request is recorded as
    (method, path, headers, body); the answer comes from `self.script` (the
    next answers, taken in order) and then from `self.answer`, each a
    (status, reason, body or None) tuple."""

    def __init__(self, folder, same_certificate_as=None, offer_http2=False):
        """`same_certificate_as`: another SaleApi whose certificate this one
        serves too (the gateway trusts one extra CA file). `offer_http2`:
        the server offers HTTP/2 first in its TLS handshake, as production
        web servers do; it speaks only HTTP/1.1, so a client that takes the
        offer gets no answer it can read."""
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.cert = self.folder / "api_cert.pem"
        key = self.folder / "api_key.pem"
        if same_certificate_as is not None:
            self.cert = same_certificate_as.cert
            key = same_certificate_as.cert.with_name("api_key.pem")
        else:
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                            "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                            "-keyout", str(key), "-out", str(self.cert)],
                           check=True, capture_output=True)
        self.requests = []
        self.answer = (201, "Created", '{"data":77}')
        # (status, reason) of a redirect answered to every request whose
        # path starts with CALLBACK_PATH, to the same path under "/moved";
        # None: no redirect.
        self.redirect = None
        self.script = []
        # While `lose_requests` is set, each request that comes is held
        # until `dropped` is set and then dropped unrecorded and unanswered
        # (the report never reached the back office); `connected` is set
        # when one is held.
        self.lose_requests = False
        self.dropped = threading.Event()
        self.connected = threading.Event()
        # Clearing `release` makes the server hold each answer until it is
        # set again; `arrived` is set when a request has been read.
        self.release = threading.Event()
        self.release.set()
        self.arrived = threading.Event()
        api = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_POST(self):
                if api.lose_requests:
                    api.connected.set()
                    api.dropped.wait(120)
                    self.close_connection = True
                    return
                length = int(self.headers.get("Content-Length", "0"))
                body = self.rfile.read(length).decode()
                api.requests.append((self.command, self.path, dict(self.headers.items()), body))
                api.arrived.set()
                if api.redirect is not None and self.path.startswith(CALLBACK_PATH):
                    self.send_response(*api.redirect)
                    self.send_header("Location", "/moved" + self.path)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                api.release.wait(120)
                status, reason, text = api.script.pop(0) if api.script else api.answer
                data = b"" if text is None else text.encode()
                self.send_response(status, reason)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert, key)
        if offer_http2:
            context.set_alpn_protocols(["h2", "http/1.1"])
        self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
        self.url = f"https://127.0.0.1:{self.server.server_address[1]}"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def keys(self):
        """The Idempotency-Key of each request, in order."""
        return [headers.get("Idempotency-Key") for _, _, headers, _ in self.requests]

    def close(self):
        self.dropped.set()
        self.release.set()
        self.server.shutdown()
        self.server.server_close()


def approval_steps(kind="credit", amount_text="{amount}", installments=None):
    """The stored fields of an approved card or PIX payment, then its receipts."""
    modality = {"debit": ("0100", "DEBITO", "Debito a vista"),
                "credit": ("0202", "CREDITO PARCELADO LOJA", "Credito parcelado pelo estabelecimento"),
                "pix": ("0300", "PIX", "Pagamento instantaneo PIX")}[kind]
    steps = [{"cmd": 0, "type": 100, "text": modality[0]},
             {"cmd": 0, "type": 101, "text": modality[1]},
             {"cmd": 0, "type": 102, "text": modality[2]},
             {"cmd": 0, "type": 105, "text": "20240305140709"}]
    if kind != "pix":
        steps.append({"cmd": 0, "type": 2021, "text": "411111******1111"})
    steps += [{"cmd": 0, "type": 131, "text": "00125"},
              {"cmd": 0, "type": 132, "text": "00001"},
              {"cmd": 0, "type": 133, "text": "000123"},
              {"cmd": 0, "type": 134, "text": "000123"},
              {"cmd": 0, "type": 135, "text": "AUT123"},
              {"cmd": 0, "type": 156, "text": "CIELO"},
              {"cmd": 0, "type": 157, "text": "000000009876543"},
              {"cmd": 0, "type": 800, "text": "HASH123"},
              {"cmd": 0, "type": 121, "text": "LOJA\nVIA CLIENTE"},
              {"cmd": 0, "type": 122, "text": "LOJA\nVIA LOJA"}]
    return steps


def write_scenario(folder, functions, **top):
    path = Path(folder) / "scenario.json"
    path.write_text(json.dumps({**top, "functions": functions}))
    return path


class PaymentClient(Client):
    """A client with a session; `converse` answers prompts and returns every
    message (parsed) up to and including the result, plus their texts."""

    def __init__(self, gateway, timeout=30):
        super().__init__(gateway)
        self.sock.settimeout(timeout)

    def converse(self, request, answer=None, until=("result",)):
        """Sends the request, answers each message with `answer(message)`
        (None: no answer) and returns the texts up to the first whose type is
        in `until`. With no request it only goes on reading."""
        if request is not None:
            self.send(request)
        texts = []
        while True:
            text = self.recv()
            texts.append(text)
            message = json.loads(text)
            if message["type"] in until:
                return texts
            if answer is not None:
                reply = answer(message)
                if reply is not None:
                    self.send(reply if isinstance(reply, str) else json.dumps(reply))


def payment_request(session, **members):
    base = {"route": "/transaction", "session_uuid": session, "type": "transaction",
            "operation": 3, "payer_name": "Maria", "sale_id": 4711,
            "transaction_value": "12,34", "number_of_installments": 3}
    base.update(members)
    return base


def reply(session, type_, **members):
    return {"route": "/transaction", "session_uuid": session, "type": type_, **members}


def ledger(gateway):
    path = Path(gateway.folder) / "ledger.jsonl"
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text().splitlines() if line.strip()]


def confirmations(gateway):
    """The confirm argument of each FinalizaTransacaoSiTefInterativo call in the ledger."""
    return [r["confirm"] for r in ledger(gateway) if r["fn"] == "FinalizaTransacaoSiTefInterativo"]


def setup_payment_gateway(make_gateway, tmp_path, functions, sale_api=None, env=None, ini=None,
                          prepare=None, **top):
    """A gateway running the API with the scenario, its ledger in the app
    folder, the sale API's certificate trusted for the callback, and the INI
    keys of `ini` ({(section, key): value}); `prepare(gateway)` runs before it
    starts."""
    scenario = write_scenario(tmp_path, functions, **top)
    gateway = make_gateway(start=False, api=True, env=env)
    gateway.env["CLISITEF_SIM_SCENARIO"] = str(scenario)
    gateway.env["CLISITEF_SIM_LEDGER"] = str(Path(gateway.folder) / "ledger.jsonl")
    if sale_api is not None:
        set_ini(gateway.folder, "callback", "ca_file", str(sale_api.cert))
    for (section, key), value in (ini or {}).items():
        set_ini(gateway.folder, section, key, value)
    if prepare is not None:
        prepare(gateway)
    gateway.start()
    return gateway


def open_session(gateway, sale_api, **claims):
    client = PaymentClient(gateway)
    url = sale_api.url if sale_api else "https://127.0.0.1:1"
    session = client.start_session(claims_with(callback_url=url, **claims))["session_uuid"]
    return client, session



def outbox_entries(gateway, folder="Outbox"):
    """The journal's entries (parsed) in the app folder's Outbox or one of its
    subfolders."""
    path = Path(gateway.folder) / folder
    return [json.loads(p.read_text()) for p in sorted(path.glob("*.json"))]
