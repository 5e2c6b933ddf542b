"""The demo page (tools/demo) in Debian's Chromium, driven through Playwright
(tools/browser-test/demo.test.mjs) against a gateway on the built-in stand-in
flows, with a real HTTPS sale API for the callback.

The browser connects, opens a session, asks versions, initialization and the
pinpad; prints a chosen PDF; pays by credit (answering menus and collects),
undoes that payment from the Cancellation tab, cancels a second payment once
the terminal allows it, and pays by PIX (the QR code drawn by the page is
decoded with zbarimg). Screenshots of the prompts and of the result are
kept in <build>/demo-screenshots (or the test's temporary folder)."""

import datetime
import json
import os
import re
import shutil
import subprocess
import threading
import time
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from urllib.parse import urlencode

import pytest

from api_client import claims_with, set_ini, token
from payment_support import ledger

ROOT = Path(__file__).resolve().parents[2]
DEMO = ROOT / "tools" / "demo"
DRIVER = ROOT / "tools" / "browser-test"
CHROMIUM = "/usr/bin/chromium"

# What the cashier types into the collect forms (field type: text), as
# demo.test.mjs does.
TYPED = {512: "4111111111111111", 513: "1230", 514: "123", 505: "03"}


@pytest.fixture
def demo_page():
    """Serves tools/demo over HTTP on loopback; yields the page's address."""

    class Quiet(SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", 0), partial(Quiet, directory=str(DEMO)))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{server.server_address[1]}/index.html"
    server.shutdown()
    server.server_close()


@pytest.fixture
def browser_driver():
    """Chromium and the Playwright driver; installs the driver's npm packages
    from the lock file when they are missing."""
    if not os.access(CHROMIUM, os.X_OK):
        pytest.skip(f"{CHROMIUM} is not installed (scripts/install-deps.sh installs the "
                    "Debian package chromium); the demo page's browser test cannot run")
    for tool in ("node", "npm", "zbarimg"):
        assert shutil.which(tool), f"{tool} is missing: scripts/install-deps.sh installs it"
    if not (DRIVER / "node_modules" / "playwright-core").is_dir():
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund"], cwd=DRIVER, check=True,
                       stdout=subprocess.DEVNULL)
    return DRIVER / "demo.test.mjs"


@pytest.fixture(scope="session")
def shots_folder(tmp_path_factory):
    """Emptied once per run, so the screenshots of every test stay together."""
    build = os.environ.get("GATEWAY_BUILD_DIR")
    folder = Path(build) / "demo-screenshots" if build else tmp_path_factory.mktemp("screenshots")
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder


class Demo:
    """A gateway for the page (built-in stand-in flows, ledger in its folder,
    the sale API trusted for the callback) and the page's address for it."""

    def __init__(self, gateway, page, sale_api, script, shots, profile):
        self.gateway, self.page, self.sale_api = gateway, page, sale_api
        self.script, self.shots, self.profile = script, shots, profile

    def run(self, *parts, **env):
        query = urlencode({"url": f"wss://127.0.0.1:{self.gateway.port}",
                           "token": token(claims_with(callback_url=self.sale_api.url))})
        env = {**os.environ, "DEMO_PAGE": f"{self.page}?{query}", "DEMO_SHOTS": str(self.shots),
               "DEMO_PROFILE": str(self.profile), "DEMO_PARTS": ",".join(parts), **env}
        done = subprocess.run(["node", str(self.script)], cwd=DRIVER, env=env,
                              capture_output=True, text=True, timeout=300)
        assert done.returncode == 0, f"browser run failed\n{done.stdout}\n{done.stderr}"
        [line] = [line for line in done.stdout.splitlines() if line.startswith("RESULT ")]
        run = json.loads(line[len("RESULT "):])
        assert run["pageErrors"] == [], run["pageErrors"]
        assert run["outside"] == [], "the page loaded something from outside loopback"
        return run


@pytest.fixture
def demo(make_gateway, demo_page, browser_driver, sale_api, shots_folder, tmp_path):
    gateway = make_gateway(start=False, api=True)
    gateway.env["CLISITEF_SIM_LEDGER"] = str(gateway.folder / "ledger.jsonl")
    gateway.env["GATEWAY_PRINT_SPOOL"] = str(tmp_path / "spool")
    (tmp_path / "spool").mkdir()
    set_ini(gateway.folder, "callback", "ca_file", str(sale_api.cert))
    set_ini(gateway.folder, "sitef", "printer", "Balcao 1")
    gateway.start()
    return Demo(gateway, demo_page, sale_api, browser_driver, shots_folder, tmp_path / "profile")


def answers_by_field(records):
    """The answer the library got for each field type, from its ledger."""
    return {r["answered_type"]: r["answer"] for r in records
            if r["fn"] == "ContinuaFuncaoSiTefInterativo" and "answered_type" in r
            and r["continue"] == 0}


def test_connects_opens_a_session_and_queries_the_terminal(demo):
    run = demo.run("terminal")
    assert re.fullmatch(r"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}",
                        run["session"])
    assert run["terminal"] == "AG100900"
    assert run["versions"] == {"gateway": "1.0.12.0", "library": "6.2.115.27"}
    assert run["initialization"] == "Inicializado com sucesso."
    assert run["pinpad"] == "connected — PinPad conectado"
    sent = [json.loads(text) for text in run["log"] if text.startswith('{"route"')]
    assert [m["route"] for m in sent] == ["/session/start", "/version", "/version",
                                          "/initialize", "/pinpad/status"]
    assert all(m.get("session_uuid") == run["session"] for m in sent[3:])


def test_prints_the_chosen_pdf(demo, tmp_path):
    document = tmp_path / "nota.pdf"
    document.write_bytes(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj <<>> endobj\ntrailer <<>>\n%%EOF\n")
    demo.run("print", DEMO_PDF=str(document))
    deadline = time.monotonic() + 10
    while not (spooled := list((tmp_path / "spool").glob("*.pdf"))) and time.monotonic() < deadline:
        time.sleep(0.05)
    assert [path.read_bytes() for path in spooled] == [document.read_bytes()]


def test_asks_how_a_payment_cut_off_ended(demo):
    run = demo.run("lost")
    assert run["lost"] == "Sale 4242 after the lost connection: not paid (canceled)."
    sent = [json.loads(text) for text in run["log"] if text.startswith('{"route"')]
    assert sent[-1] == {"route": "/transaction/status", "session_uuid": sent[-1]["session_uuid"],
                        "type": "transaction_status", "sale_id": "4242"}


def test_payments_from_the_page(demo):
    run = demo.run("credit", "undo", "cancel", "pix")
    records = ledger(demo.gateway)

    # The credit payment: its prompts, what the library received, the table.
    credit = run["credit"]
    assert credit["prompts"][0] == "menu:Debito/Credito/PIX/Back/Cancel", credit["prompts"]
    assert any(p.startswith("collect:") for p in credit["prompts"]), credit["prompts"]
    answers = answers_by_field(records)
    for field, text in TYPED.items():
        assert answers.get(field) == text, f"field {field}: {answers.get(field)!r}"
    rows = dict(credit["rows"])
    expected_rows = {"operation": "credit", "payer_name": "Maria da Silva",
                     "number_of_installments": "3", "transaction_value": "12.34",
                     "payment_method_code": "0202", "gateway": "Software Express",
                     "receipt": "copy 1, copy 2", "payment_id": "77", "company_id": "3"}
    for name, value in expected_rows.items():
        assert rows.get(name) == value, f"result row {name}: {rows.get(name)!r}"
    assert len(credit["receipts"]) == 2 and "VIA CLIENTE" in credit["receipts"][0]
    assert credit["cancelForm"] == {"nsu": rows["nsu_code"], "amount": "12,34"}

    # Undoing it from the Cancellation tab: the page sent the payment's NSU,
    # local date and time and amount, which the gateway gave the terminal.
    undo = run["undo"]
    assert undo["prompts"][-1].startswith("result:approved"), undo
    assert [value for name, value in undo["rows"] if name == "operation"] == [
        "cancellation", "credit"]
    paid = datetime.datetime.fromisoformat(rows["transaction_date_time"].replace("Z", "+00:00"))
    local = paid.astimezone()
    assert undo["form"]["date"] == local.strftime("%Y-%m-%d %H:%M:%S")
    assert answers.get(516) == rows["nsu_code"]
    assert answers.get(515) == local.strftime("%d%m%Y")
    assert answers.get(146) == "12,34"

    # The cancelled payment: Cancel sent "/transaction/cancel", the cancel
    # confirmation was answered, the library function was aborted.
    cancelled = run["cancelled"]
    assert cancelled["status"].startswith("canceled"), cancelled
    assert any("Deseja realmente cancelar" in p for p in cancelled["prompts"]), cancelled
    sent = [json.loads(text) for text in run["log"] if text.startswith('{"route"')]
    assert {"route": "/transaction/cancel", "session_uuid": run["session"],
            "type": "cancellation"} in sent
    assert any(r["fn"] == "ContinuaFuncaoSiTefInterativo" and r["continue"] == -1
               for r in records), "the library function was not aborted"

    # PIX: the drawn QR code decodes to the payload the gateway sent.
    pix = run["pix"]
    assert pix["status"].startswith("approved"), pix
    assert dict(pix["rows"])["operation"] == "pix"
    decoded = subprocess.run(["zbarimg", "--quiet", "--raw", str(demo.shots / "qrcode.png")],
                             capture_output=True, text=True)
    assert decoded.stdout.rstrip("\n") == pix["payload"], decoded

    # One callback per approved operation.
    bodies = [body for _, _, _, body in demo.sale_api.requests]
    firsts = [re.search(r'"status":"(\w+)".*?"operation":"(\w+)"', body).groups()
              for body in bodies]
    assert firsts == [("approved", "credit"), ("approved", "cancellation"),
                      ("approved", "pix")], bodies

    for name in ("prompt-menu", "prompt-collect", "prompt-cancel", "result"):
        assert (demo.shots / f"{name}.png").stat().st_size > 10000, name
