"""A payment whose process was killed after the library approved it and
before it was confirmed: the next start confirms it from its backup and
reports it with its real data."""

import json

import pytest

from conftest import wait_until
from folder_faults import folder_faults_need_linux, make_read_only
from payment_support import (SaleApi, approval_steps, ledger, open_session, payment_request,
                             reply, setup_payment_gateway, write_scenario)

# How long the stand-in library holds a confirmation when a test kills the
# gateway before it: far longer than a test waits.
HOLD_MS = 120000


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
    functions = {"2": {"steps": steps}}
    # The library holds the confirmation, so the gateway is killed before it.
    gateway = setup_payment_gateway(make_gateway, tmp_path, functions, sale_api,
                                     env={"TZ": "BRT3"}, finalize_delay_ms=HOLD_MS)
    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=2, payer_name="Maria"))
    # The backup is written before the confirmation, where the gateway waits.
    wait_until(lambda: list((gateway.folder / "TEF").glob("*.tef")), timeout=60, what="the backup")
    backups = sorted((gateway.folder / "TEF").glob("VornCliSiTef_CliSiTef_*.tef"))
    gateway.kill()
    assert backups and not [r for r in ledger(gateway) if r["fn"].startswith("Finaliza")]
    client.close()
    write_scenario(tmp_path, functions)
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


def initialize(client, session):
    """Runs "/initialize", agreeing to every confirmation; returns the
    messages up to its answer, parsed."""
    texts = client.converse({"route": "/initialize", "session_uuid": session,
                             "type": "initialize"},
                            lambda m: reply(session, "confirmation")
                            if m["type"] == "confirmation" else None, until=("initialize",))
    return [json.loads(t) for t in texts]


def wait_for_backup(gateway, client, sale_api):
    wait_until(lambda: list((gateway.folder / "TEF").glob("*.tef")), timeout=60, what="the backup")


def read_to_receipt(gateway, client, sale_api):
    client.converse(None, until=("receipt",))


def wait_for_callback(gateway, client, sale_api):
    assert sale_api.arrived.wait(60), "the callback never came"


def read_to_result(gateway, client, sale_api):
    client.converse(None)


# Where the process is killed, whether the library holds the confirmation or
# the sale API its answer there, and what each point leaves: whether the
# backup is still on disk, whether the library confirmed the payment before
# the kill, and whether the next start recovers it.
KILL_POINTS = {
    "after the backup is written": (wait_for_backup, "confirmation", True, False, True),
    "during the receipt messages": (read_to_receipt, "confirmation", True, False, True),
    # The library has confirmed, the backup is gone, the client has not had
    # its result.
    "during the callback": (wait_for_callback, "callback", False, True, False),
    "after the confirmation": (read_to_result, None, False, True, False),
}


@pytest.mark.parametrize("point", KILL_POINTS)
def test_killed_payment_ends_exactly_once(make_gateway, tmp_path, sale_api, point):
    wait, hold, backup_left, confirmed, recovered = KILL_POINTS[point]
    functions = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}
    delay = {"finalize_delay_ms": HOLD_MS} if hold == "confirmation" else {}
    gateway = setup_payment_gateway(make_gateway, tmp_path, functions, sale_api, **delay)
    if hold == "callback":
        sale_api.release.clear()
    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=2))
    wait(gateway, client, sale_api)
    backups_at_kill = sorted(p.name for p in (gateway.folder / "TEF").iterdir())
    gateway.kill()
    client.close()
    sale_api.release.set()
    assert backups_at_kill == (["VornCliSiTef_CliSiTef_001.tef"] if backup_left else [])

    write_scenario(tmp_path, functions)
    gateway.start()
    client, session = open_session(gateway, sale_api)
    messages = initialize(client, session)
    results = [m for m in messages if m["type"] == "result"]
    # The next session hears of the payment only when this start settled it.
    items = [(r["status"], r["transaction_data"][0]["nsu_code"],
              r["transaction_data"][0]["payment_id"]) for r in results]
    assert items == ([("approved", "000123", 77)] if recovered else [])
    assert messages[-1] == {"type": "initialize", "message": "Inicializado com sucesso."}
    # One outcome: confirmed with the library by the killed run, or settled
    # by this start; never undone, never both; the sale API heard of it once.
    finals = [r["confirm"] for r in ledger(gateway)
              if r["fn"] == "FinalizaTransacaoSiTefInterativo"]
    assert (finals, len(results)) == (([1], 0) if confirmed else ([], 1))
    assert [body.count('"nsu_code":"000123"') for _, _, _, body in sale_api.requests] == [1]
    assert list((gateway.folder / "TEF").iterdir()) == []


@folder_faults_need_linux
def test_backup_that_cannot_be_deleted_is_reported_once(make_gateway, tmp_path, sale_api):
    gateway, _ = kill_after_approval(make_gateway, tmp_path, sale_api, "000555")
    gateway.env["CLISITEF_SIM_LEDGER"] = str(gateway.folder / "ledger.jsonl")

    def reported(client, session):
        return [m["transaction_data"][0]["nsu_code"] for m in initialize(client, session)
                if m["type"] == "result"]

    # The backup folder has gone read-only: each initialization finds the
    # backup again and cannot delete it.
    make_read_only(gateway, gateway.folder / "TEF")
    try:
        gateway.start()
        client, session = open_session(gateway, sale_api)
        nsus = reported(client, session) + reported(client, session)
        client.close()
        gateway.stop()
    finally:
        (gateway.folder / "TEF").chmod(0o755)
    assert [p.name for p in (gateway.folder / "TEF").iterdir()] == ["VornCliSiTef_CliSiTef_001.tef"]
    # Writable again: the backup is settled and deleted.
    gateway.launcher = []
    gateway.start()
    client, session = open_session(gateway, sale_api)
    nsus += reported(client, session)
    assert list((gateway.folder / "TEF").iterdir()) == []
    # The host hears of the payment once, whichever run settled it.
    assert (nsus, len(sale_api.requests)) == (["000555"], 1)
