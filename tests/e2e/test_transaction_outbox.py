"""Delivery of results to the sale API through the journal: retries until the
API accepts, refusals kept aside, and "/transaction/status"."""

import json

from api_client import error
from conftest import wait_until
from payment_support import (approval_steps, ledger, open_session, outbox_entries,
                             payment_request, reply, setup_payment_gateway)

DEBIT = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}
# A payment that stops at a menu until the client answers.
AT_MENU = {"0": {"steps": [{"cmd": 21, "text": "1:Loja;2:Cliente;"}, {"cmd": 23}]
                 + approval_steps("debit")}}


def outbox_gateway(make_gateway, tmp_path, sale_api, functions=DEBIT):
    return setup_payment_gateway(make_gateway, tmp_path, functions, sale_api,
                                 ini={("callback", "retry_first_s"): "1"})


def test_api_down_receives_the_report_when_it_comes_back(make_gateway, tmp_path, sale_api):
    sale_api.script = [(503, "Service Unavailable", None), (503, "Service Unavailable", None)]
    gateway = outbox_gateway(make_gateway, tmp_path, sale_api)
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2))
    # The first attempt is the client's: its result carries no payment id.
    assert texts[-1].endswith(',"payment_id":0,"company_id":3}]}')
    wait_until(lambda: [e["estado"] for e in outbox_entries(gateway)] == ["aceito"], timeout=60,
               what="the report accepted")
    key = outbox_entries(gateway)[0]["chave"]
    assert sale_api.keys() == [key, key, key]
    assert len({body for _, _, _, body in sale_api.requests}) == 1
    log = gateway.log_text()
    for line in ("(tentativa 2): " + key, "nova tentativa em 2 s: " + key,
                 "(tentativa 3): " + key, "Relato de transa\u00e7\u00e3o aceito pela API: " + key):
        assert line in log
    # One payment: the retries post the report, never a new payment.
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]


def test_refused_report_is_tried_once_and_kept_aside(make_gateway, tmp_path, sale_api):
    sale_api.answer = (422, "Unprocessable Entity", '{"message":"Falha"}')
    gateway = outbox_gateway(make_gateway, tmp_path, sale_api)
    client, session = open_session(gateway, sale_api)
    client.converse(payment_request(session, operation=2))
    [rejected] = outbox_entries(gateway, "Outbox/Rejeitados")
    assert (rejected["estado"], rejected["resposta"]) == ("rejeitado", "Code: 422 - Message: Falha")
    assert outbox_entries(gateway) == []
    gateway.wait_log("Relato de transa\u00e7\u00e3o recusado pela API e guardado \u00e0 parte: "
                     + rejected["chave"] + " - Code: 422 - Message: Falha")
    # A restart posts what the journal holds to send: nothing.
    gateway.stop()
    gateway.start()
    open_session(gateway, sale_api)
    gateway.stop()
    assert len(sale_api.requests) == 1


def test_stop_gives_up_a_retry_the_api_holds(make_gateway, tmp_path, sale_api):
    # The first attempt fails; the API then holds the retry for an hour.
    sale_api.script = [(503, "Service Unavailable", None)]
    gateway = setup_payment_gateway(make_gateway, tmp_path, DEBIT, sale_api,
                                     ini={("callback", "retry_first_s"): "1",
                                          ("callback", "timeout_ms"): "3600000"})
    client, session = open_session(gateway, sale_api)
    client.converse(payment_request(session, operation=2))
    client.close()
    sale_api.arrived.clear()
    sale_api.release.clear()
    assert sale_api.arrived.wait(60), "the retry never came"
    # The stop does not wait for the API's answer (the fixture allows it
    # 30 s); the report stays due with its key.
    gateway.stop()
    assert [e["estado"] for e in outbox_entries(gateway)] == ["confirmado"]
    sale_api.release.set()
    gateway.start()
    wait_until(lambda: [e["estado"] for e in outbox_entries(gateway)] == ["aceito"], timeout=60,
               what="the report accepted")
    assert set(sale_api.keys()) == {outbox_entries(gateway)[0]["chave"]}


def status_request(session, sale_id="4711"):
    return {"route": "/transaction/status", "session_uuid": session, "type": "transaction_status",
            "sale_id": sale_id}


def status(client, session, sale_id="4711"):
    client.send(status_request(session, sale_id))
    return json.loads(client.recv())


def test_status_of_a_sale(make_gateway, tmp_path, sale_api):
    gateway = outbox_gateway(make_gateway, tmp_path, sale_api, {**DEBIT, **AT_MENU})
    cashier, session = open_session(gateway, sale_api)
    assert status(cashier, session) == {"type": "transaction_status", "sale_id": "4711",
                                        "state": "unknown"}

    # An approved payment: its result exactly as the client got it, reported.
    texts = cashier.converse(payment_request(session, operation=2))
    cashier.send(status_request(session))
    assert cashier.recv() == ('{"type":"transaction_status","sale_id":"4711","state":"approved",'
                              '"result":' + texts[-1] + ',"reported":true}')

    # A payment of another sale waits at its menu: another connection hears
    # it is running.
    cashier.converse(payment_request(session, operation=0, sale_id=4712), until=("menu",))
    other, other_session = open_session(gateway, sale_api)
    assert status(other, other_session, "4712")["state"] == "running"
    # Its connection drops: the payment ends without a result.
    cashier.close()
    wait_until(lambda: status(other, other_session, "4712")["state"] != "running", timeout=30,
               what="the payment's end")
    assert status(other, other_session, "4712") == {"type": "transaction_status",
                                                    "sale_id": "4712", "state": "canceled"}
    # The first sale still answers its own last result.
    assert status(other, other_session)["state"] == "approved"


def test_status_errors(make_gateway, tmp_path, sale_api):
    gateway = outbox_gateway(make_gateway, tmp_path, sale_api)
    client, session = open_session(gateway, sale_api)
    request = status_request(session)
    del request["sale_id"]
    client.send(request)
    assert client.recv() == error("Campo sale_id nao encontrado.")
    client.send(status_request("00000000-0000-0000-0000-000000000000"))
    assert json.loads(client.recv())["type"] == "error"
