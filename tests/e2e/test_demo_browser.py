"""The demo page (tools/demo) in Debian's Chromium, driven through Playwright
(tools/browser-test/demo.test.mjs) against a gateway on the built-in stand-in
flows, with a real HTTPS sale API for the callback.

The browser connects, opens a session, asks versions, initialization and the
pinpad, then pays by credit (answering menus and collects), cancels a second
payment once the terminal allows it, and pays by PIX (the QR code drawn by the
page is decoded with zbarimg). Screenshots of the prompts and of the result are
kept in <build>/demo-screenshots (or the test's temporary folder)."""

import json
import os
import shutil
import subprocess
import threading
from functools import partial
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from urllib.parse import urlencode

import pytest

from api_client import claims_with, set_ini, token
from payment_support import SaleApi, ledger

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


@pytest.fixture
def sale_api(tmp_path):
    api = SaleApi(tmp_path / "sale-api")
    yield api
    api.close()


@pytest.fixture
def shots_folder(tmp_path):
    build = os.environ.get("GATEWAY_BUILD_DIR")
    folder = Path(build) / "demo-screenshots" if build else tmp_path / "screenshots"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    return folder


def run_driver(script, page, folder, profile):
    env = {**os.environ, "DEMO_PAGE": page, "DEMO_SHOTS": str(folder),
           "DEMO_PROFILE": str(profile), "DEMO_PAYMENTS": "1"}
    done = subprocess.run(["node", str(script)], cwd=DRIVER, env=env, capture_output=True,
                          text=True, timeout=300)
    assert done.returncode == 0, f"browser run failed\n{done.stdout}\n{done.stderr}"
    [line] = [line for line in done.stdout.splitlines() if line.startswith("RESULT ")]
    return json.loads(line[len("RESULT "):])


def answers_by_field(records):
    """The answer the library got for each field type, from its ledger."""
    return {r["answered_type"]: r["answer"] for r in records
            if r["fn"] == "ContinuaFuncaoSiTefInterativo" and "answered_type" in r
            and r["continue"] == 0}


def test_demo_page_in_chromium(make_gateway, demo_page, browser_driver, sale_api, shots_folder,
                               tmp_path):
    gateway = make_gateway(start=False, api=True)
    gateway.env["CLISITEF_SIM_LEDGER"] = str(gateway.folder / "ledger.jsonl")
    set_ini(gateway.folder, "callback", "ca_file", str(sale_api.cert))
    gateway.start()
    query = urlencode({"url": f"wss://127.0.0.1:{gateway.port}",
                       "token": token(claims_with(callback_url=sale_api.url))})
    run = run_driver(browser_driver, f"{demo_page}?{query}", shots_folder, tmp_path / "profile")

    # Connection, session and the terminal queries.
    assert run["terminal"] == "AG100900"
    assert run["versions"]["gateway"] == "1.0.12.0"
    assert run["versions"]["library"] != "Versão não encontrada"
    assert run["initialization"] == "Inicializado com sucesso."
    assert run["pinpad"] == "connected — PinPad conectado"
    assert run["pageErrors"] == [] and run["outside"] == []

    # The credit payment: its prompts, what the library received, the table.
    credit = run["credit"]
    assert credit["prompts"][0] == "menu:Debito/Credito/PIX/Back/Cancel", credit["prompts"]
    assert any(p.startswith("collect:") for p in credit["prompts"]), credit["prompts"]
    records = ledger(gateway)
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
    assert credit["cancelForm"]["nsu"] == rows["nsu_code"]
    assert credit["cancelForm"]["amount"] == "12,34"

    # The cancelled payment: Cancel sent "/transaction/cancel", the cancel
    # confirmation was answered, the library function was aborted.
    cancelled = run["cancelled"]
    assert cancelled["status"].startswith("canceled"), cancelled
    assert any("Deseja realmente cancelar" in p for p in cancelled["prompts"]), cancelled
    sent = [json.loads(text) for text in run["log"] if text.startswith("{")]
    assert any(m.get("route") == "/transaction/cancel" and m.get("type") == "cancellation"
               for m in sent)
    aborted = [r for r in records if r["fn"] == "ContinuaFuncaoSiTefInterativo"
               and r["continue"] == -1]
    assert aborted, "the library function was not aborted"

    # PIX: the drawn QR code decodes to the payload the gateway sent.
    pix = run["pix"]
    assert pix["status"].startswith("approved"), pix
    assert dict(pix["rows"])["operation"] == "pix"
    decoded = subprocess.run(["zbarimg", "--quiet", "--raw", str(shots_folder / "qrcode.png")],
                             capture_output=True, text=True)
    assert decoded.stdout.rstrip("\n") == pix["payload"], decoded

    # One callback per approved payment.
    bodies = [json.loads(body) for _, _, _, body in sale_api.requests]
    assert [b["status"] for b in bodies] == ["approved", "approved"]

    for name in ("prompt-menu", "prompt-collect", "prompt-cancel", "result"):
        assert (shots_folder / f"{name}.png").stat().st_size > 10000, name
