"""Cancelling a running payment: before the library allows it, while it
waits, too late, and through either route."""

import json

import pytest

from api_client import SERVICE_VERSION, VERSION_PROBE, error
from payment_support import (approval_steps, ledger, open_session, payment_request,
                             reply, setup_payment_gateway)

ABORTED = ('{"type":"confirmation","message":"Opera\\u00E7\\u00E3o cancelada pelo operador",'
           '"options":[],"can_cancel":false}')
CANCELED = ('{"type":"result","status":"canceled","message":"Transa\\u00E7\\u00E3o TEF n\\u00E3o '
            'realizada."}')
CLEARED = '{"type":"message","message":"","options":[],"can_cancel":false}'
CAN_CANCEL = '{"type":"can_cancel","can_cancel":true}'
WAITS = [{"cmd": 23, "delay_ms": 100} for _ in range(50)]


def continue_calls(gateway):
    return [r for r in ledger(gateway) if r["fn"] == "ContinuaFuncaoSiTefInterativo"]


def test_cancel_before_the_library_allows_it(make_gateway, tmp_path, sale_api):
    steps = [{"cmd": 21, "text": "1:Loja;2:Cliente;"}, {"cmd": 23}] + approval_steps("debit")
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api)
    client, session = open_session(gateway, sale_api)
    cancel = {"route": "/transaction/cancel", "session_uuid": session, "type": "cancellation"}

    def answer(message):
        if message["type"] == "menu":
            return cancel
        if message["type"] == "confirmation":
            return reply(session, "confirmation")
        return None

    texts = client.converse(payment_request(session, operation=0), answer)
    # The menu ends unanswered, so the library function is aborted.
    assert texts == ['{"type":"menu","title":"","options":["1:Loja","2:Cliente"],'
                     '"can_cancel":false,"back_menu":false}', CLEARED, ABORTED, CANCELED]
    gateway.wait_log("Entrou no cancelamento.")
    gateway.wait_log("N\u00e3o pode cancelar")
    assert continue_calls(gateway)[-1]["continue"] == -1


@pytest.mark.parametrize("route", ["/transaction/cancel", "/transaction"])
def test_cancel_while_the_library_waits(make_gateway, tmp_path, sale_api, route):
    steps = WAITS + approval_steps("debit")
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api)
    client, session = open_session(gateway, sale_api)

    def answer(message):
        if message["type"] == "can_cancel":
            return {"route": route, "session_uuid": session, "type": "cancellation"}
        if message["type"] == "confirmation":
            return reply(session, "confirmation")
        return None

    texts = client.converse(payment_request(session, operation=0), answer)
    # The library's abort status is shown as an error confirmation, which
    # marks the transaction cancelled.
    assert texts == [CAN_CANCEL, CLEARED, ABORTED, CANCELED]
    calls = continue_calls(gateway)
    assert calls[-1]["continue"] == -1 and calls[-1]["answered_cmd"] == 23
    # Interrupted at one of the next polls, long before the waits ran out.
    assert len(calls) < 10
    assert not [r for r in ledger(gateway) if r["fn"] == "FinalizaTransacaoSiTefInterativo"]
    assert sale_api.requests == []


def test_message_without_type_while_the_library_waits_ends_the_transaction(make_gateway,
                                                                             tmp_path, sale_api):
    steps = WAITS + approval_steps("debit")
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api)
    client, session = open_session(gateway, sale_api)

    def answer(message):
        if message["type"] == "can_cancel":
            return {"route": "/transaction", "session_uuid": session, "response": "1"}
        return None

    texts = client.converse(payment_request(session, operation=0), answer,
                            until=("result", "error"))
    assert texts == [CAN_CANCEL, error("Campo type nao encontrado.")]
    calls = continue_calls(gateway)
    assert calls[-1]["continue"] == -1 and len(calls) < 10
    assert not [r for r in ledger(gateway) if r["fn"] == "FinalizaTransacaoSiTefInterativo"]
    assert sale_api.requests == []
    # The connection goes on.
    client.send(VERSION_PROBE)
    assert client.recv() == SERVICE_VERSION


def test_cancel_too_late_is_reported_approved_once(make_gateway, tmp_path, sale_api):
    steps = [{"cmd": 23}] + approval_steps("debit") + [{"cmd": 20, "text": "Imprimir?"}]
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api)
    client, session = open_session(gateway, sale_api)

    def answer(message):
        if message["type"] == "question":
            return {"route": "/transaction/cancel", "session_uuid": session,
                    "type": "cancellation"}
        return None

    texts = client.converse(payment_request(session, operation=0), answer)
    assert '"status":"approved"' in texts[-1] and '"payment_id":77' in texts[-1]
    assert [json.loads(t)["type"] for t in texts].count("result") == 1
    # Nothing else follows the result.
    client.send(VERSION_PROBE)
    assert client.recv() == SERVICE_VERSION
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]
    assert len(sale_api.requests) == 1
