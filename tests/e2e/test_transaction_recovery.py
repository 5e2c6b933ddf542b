"""A payment whose process was killed after the library approved it and
before it was confirmed: the next start confirms it from its backup and
reports it with its real data."""

import json
import os
import signal
import threading
from pathlib import Path

import pytest

from conftest import wait_until
from payment_support import (SaleApi, approval_steps, ledger, open_session, payment_request,
                             reply, setup_payment_gateway)


class LedgerGate:
    """Makes the stand-in library's ledger a FIFO and reads it until the
    library reports the function's final status; from then on nobody reads,
    so the library's next call (the confirmation) blocks in its ledger write
    and the gateway stops right before the confirmation."""

    def __init__(self, path):
        self.path = Path(path)
        os.mkfifo(self.path)
        self.records = []
        self.final = threading.Event()
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()

    def read(self):
        while not self.final.is_set():
            with open(self.path) as fifo:
                for line in fifo:
                    record = json.loads(line)
                    self.records.append(record)
                    if (record["fn"] == "ContinuaFuncaoSiTefInterativo" and "cmd" not in record
                            and record.get("result") == 0):
                        self.final.set()


@pytest.fixture
def sale_api(tmp_path):
    api = SaleApi(tmp_path / "sale_api")
    yield api
    api.close()


def kill_after_approval(make_gateway, tmp_path, sale_api, nsu):
    """Runs a debit payment whose process is killed after the approval;
    returns the gateway (stopped) and the backup files it left."""
    steps = [{"cmd": 23}] + [dict(s, text=nsu) if s.get("type") in (133, 134) else s
                             for s in approval_steps("debit")]
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"2": {"steps": steps}}, sale_api,
                                     env={"TZ": "BRT3"})
    gate = LedgerGate(gateway.folder / "gate.ledger")
    gateway.stop()
    gateway.env["CLISITEF_SIM_LEDGER"] = str(gate.path)
    gateway.start()
    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=2, payer_name="Maria"))
    assert gate.final.wait(20), "the library never approved"
    # The backup is written before the confirmation, where the gateway stops.
    wait_until(lambda: list((gateway.folder / "TEF").glob("*.tef")), timeout=60, what="the backup")
    backups = sorted((gateway.folder / "TEF").glob("VornCliSiTef_CliSiTef_*.tef"))
    gateway.proc.send_signal(signal.SIGKILL)
    gateway.proc.wait()
    # Blocked in the confirmation's ledger write: no confirmation yet.
    assert backups and not [r for r in gate.records if r["fn"].startswith("Finaliza")]
    client.close()
    return gateway, backups


def test_restart_confirms_the_killed_payment(make_gateway, tmp_path, sale_api):
    gateway, backups = kill_after_approval(make_gateway, tmp_path, sale_api, "000555")
    assert len(backups) == 1
    assert sale_api.requests == []

    gateway.env["CLISITEF_SIM_LEDGER"] = str(gateway.folder / "ledger.jsonl")
    gateway.start()
    client, session = open_session(gateway, sale_api)

    def confirm(message):
        return reply(session, "confirmation") if message["type"] == "confirmation" else None

    texts = client.converse({"route": "/initialize", "session_uuid": session,
                             "type": "initialize"}, confirm, until=("initialize",))
    assert texts[-1] == ('{"type":"initialize","message":"Inicializado com sucesso."}')
    messages = [json.loads(t) for t in texts]
    # The start-up confirmation tells the operator which payment it finished.
    notice = "Transa\u00e7\u00e3o TEF efetuada.\r\nFavor reimprimir \u00faltimo Cupom.\r\nNSU: 000555"
    assert [m["message"][:len(notice)] for m in messages if m["type"] == "confirmation"] == [notice]
    results = [m for m in messages if m["type"] == "result"]
    assert len(results) == 1
    recovered = results[0]["transaction_data"][0]
    # The recovered payment carries its own data and the session's sale.
    assert (recovered["operation"], recovered["nsu_code"], recovered["transaction_value"],
            recovered["transaction_date_time"], recovered["payer_name"], recovered["sale_id"],
            recovered["company_id"], recovered["payment_id"]) == \
        ("debit", "000555", 12.34, "2024-03-05T17:07:09Z", "", 42, 3, 77)
    assert recovered["receipt"] == [{"copy_number": 1, "data": ["LOJA", "VIA CLIENTE"]},
                                    {"copy_number": 2, "data": ["LOJA", "VIA LOJA"]}]
    assert not list((gateway.folder / "TEF").glob("*.tef"))
    assert len(sale_api.requests) == 1 and '"nsu_code":"000555"' in sale_api.requests[0][3]
    # The start-up confirmation did not call the library; the next payment is
    # confirmed with it.
    assert not [r for r in ledger(gateway) if r["fn"] == "FinalizaTransacaoSiTefInterativo"]
    texts = client.converse(payment_request(session, operation=2, payer_name="Ana"), confirm)
    assert json.loads(texts[-1])["transaction_data"][0]["payer_name"] == "Ana"
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]


def test_two_pending_cards_give_two_items(make_gateway, tmp_path, sale_api):
    # Here the first payment request initializes the library on demand.
    gateway, backups = kill_after_approval(make_gateway, tmp_path, sale_api, "000555")
    # A second card of the same sale left pending the same way.
    second = backups[0].with_name("VornCliSiTef_CliSiTef_002.tef")
    second.write_bytes(backups[0].read_bytes().replace(b"000555", b"000556"))

    gateway.env["CLISITEF_SIM_LEDGER"] = str(gateway.folder / "ledger.jsonl")
    gateway.start()
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2),
                            lambda m: reply(session, "confirmation")
                            if m["type"] == "confirmation" else None)
    recovered = next(json.loads(t) for t in texts if json.loads(t)["type"] == "result")
    items = recovered["transaction_data"]
    assert [item["nsu_code"] for item in items] == ["000555", "000556"]
    # Only the first item carries the callback's payment id and the company.
    assert [("payment_id" in item, "company_id" in item) for item in items] == \
        [(True, True), (False, False)]
    assert not list((gateway.folder / "TEF").glob("*.tef"))
