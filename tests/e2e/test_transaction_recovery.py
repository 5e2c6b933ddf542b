"""A payment whose process was killed after the library approved it and
before it was confirmed: the next start confirms it from its backup and
reports it with its real data."""

import json

import pytest

from conftest import wait_until
from folder_faults import folder_faults_need_linux, make_read_only, pin, private_mounts
from payment_support import (approval_steps, ledger, open_session, outbox_entries,
                             payment_request, reply, setup_payment_gateway, write_scenario)

# How long the stand-in library holds a confirmation when a test kills the
# gateway before it: far longer than a test waits.
HOLD_MS = 120000


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


def wait_for_journal(gateway, client, sale_api):
    wait_until(lambda: outbox_entries(gateway), timeout=60, what="the journal entry")


def wait_for_connection(gateway, client, sale_api):
    assert sale_api.connected.wait(60), "the callback never came"


def wait_for_callback(gateway, client, sale_api):
    assert sale_api.arrived.wait(60), "the callback never came"


def accept_unknown_to_the_journal(gateway, client, sale_api):
    """The API accepts the report, but the journal cannot record that: a
    folder stands where the entry's next version is written."""
    assert sale_api.arrived.wait(60), "the callback never came"
    (gateway.folder / "Outbox" / (sale_api.keys()[0] + ".json.tmp")).mkdir()
    sale_api.release.set()
    client.converse(None)
    gateway.wait_log("Erro ao gravar o di\u00e1rio de relatos")


def read_to_result(gateway, client, sale_api):
    client.converse(None)


# Where the process is killed, whether the library holds the confirmation or
# the sale API the request or its answer there, and what each point leaves:
# whether the backup is still on disk, whether the library confirmed the
# payment before the kill, whether the next start recovers it, and whether the
# sale API gets the report a second time (only where its answer was lost).
KILL_POINTS = {
    "after the backup is written": (wait_for_backup, "confirmation", True, False, True, False),
    "during the receipt messages": (read_to_receipt, "confirmation", True, False, True, False),
    # The report is in the journal; the library holds the confirmation.
    "after the journal entry is written":
        (wait_for_journal, "confirmation", True, False, True, False),
    # The library has confirmed, the backup is gone, the report has not
    # reached the sale API.
    "before the sale API read the report": (wait_for_connection, "read", False, True, False, False),
    # The sale API has the report; its answer never reached the gateway.
    "during the callback": (wait_for_callback, "callback", False, True, False, True),
    "after the sale API accepted, before the journal knew":
        (accept_unknown_to_the_journal, "callback", False, True, False, True),
    "after the confirmation": (read_to_result, None, False, True, False, False),
}


@pytest.mark.parametrize("point", KILL_POINTS)
def test_killed_payment_ends_exactly_once(make_gateway, tmp_path, sale_api, point):
    wait, hold, backup_left, confirmed, recovered, repeated = KILL_POINTS[point]
    functions = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}
    delay = {"finalize_delay_ms": HOLD_MS} if hold == "confirmation" else {}
    gateway = setup_payment_gateway(make_gateway, tmp_path, functions, sale_api, **delay)
    if hold == "callback":
        sale_api.release.clear()
    sale_api.lose_requests = hold == "read"
    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=2))
    wait(gateway, client, sale_api)
    backups_at_kill = sorted(p.name for p in (gateway.folder / "TEF").iterdir())
    gateway.kill()
    client.close()
    sale_api.lose_requests = False
    sale_api.release.set()
    sale_api.dropped.set()
    assert backups_at_kill == (["VornCliSiTef_CliSiTef_001.tef"] if backup_left else [])
    # A write the kill cut short leaves its temporary file, which the next
    # start removes; the folder standing in for one is the test's own.
    for leftover in (gateway.folder / "Outbox").glob("*.tmp"):
        if leftover.is_dir():
            leftover.rmdir()

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
    # The sale API accepted one report, posted again only where its answer
    # was lost, with the same key.
    wait_until(lambda: [e["estado"] for e in outbox_entries(gateway)] == ["aceito"], timeout=60,
               what="the report accepted")
    gateway.stop()
    assert [body.count('"nsu_code":"000123"') for _, _, _, body in sale_api.requests] == \
        ([1, 1] if repeated else [1])
    assert set(sale_api.keys()) == {outbox_entries(gateway)[0]["chave"]}
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


REFUND_NOTICE = "Transa\u00e7\u00e3o efetuada com sucesso.\r\nFavor reter o Cupom"


def close_at_notice(gateway, client, session):
    client.close()


def pin_backup_at_notice(gateway, client, session):
    pin(gateway, gateway.folder / "TEF" / "VornCliSiTef_CliSiTef_001.tef")
    client.send(json.dumps(reply(session, "confirmation")))
    assert json.loads(client.converse(None)[-1])["status"] == "approved"
    client.close()


# What goes wrong after the library has confirmed a payment flagged as a
# refund, at the notice that follows the confirmation; and whether its backup
# stays, marked confirmed.
FINISH_FAULTS = {
    "the client is gone at the notice": (close_at_notice, False),
    "the backup cannot be deleted": (pin_backup_at_notice, True),
}


@pytest.mark.parametrize("fault", [
    "the client is gone at the notice",
    pytest.param("the backup cannot be deleted", marks=folder_faults_need_linux),
])
def test_confirmed_payment_is_finished_once(make_gateway, tmp_path, sale_api, fault):
    act, backup_stays = FINISH_FAULTS[fault]
    functions = {"2": {"steps": approval_steps("debit") + [{"cmd": 0, "type": 110, "text": "1"}]}}
    gateway = setup_payment_gateway(make_gateway, tmp_path, functions, sale_api,
                                    prepare=private_mounts)
    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=2))
    notice = json.loads(client.converse(None, until=("confirmation",))[-1])
    assert notice["message"] == REFUND_NOTICE
    act(gateway, client, session)
    # Stopping ends the connection's clean-up, which undoes what is pending.
    assert gateway.stop() == 0

    def library_calls():
        return [(r["fn"], r.get("confirm")) for r in ledger(gateway)
                if r["fn"] in ("FinalizaTransacaoSiTefInterativo", "IniciaFuncaoSiTefInterativo")]

    # Confirmed once, never undone, no cancellation started.
    assert library_calls() == [("IniciaFuncaoSiTefInterativo", None),
                               ("FinalizaTransacaoSiTefInterativo", 1)]
    backups = list((gateway.folder / "TEF").iterdir())
    assert [b.name for b in backups] == (["VornCliSiTef_CliSiTef_001.tef"] if backup_stays else [])
    if backup_stays:
        assert "899-001 = S" in backups[0].read_text(encoding="cp1252")

    gateway.start()
    client, session = open_session(gateway, sale_api)
    assert [m for m in initialize(client, session) if m["type"] == "result"] == []
    client.close()
    assert library_calls()[1:] == [("FinalizaTransacaoSiTefInterativo", 1)]
    assert list((gateway.folder / "TEF").iterdir()) == []
    # The sale API heard of the payment once, across the restart.
    assert [body.count('"nsu_code":"000123"') for _, _, _, body in sale_api.requests] == [1]
