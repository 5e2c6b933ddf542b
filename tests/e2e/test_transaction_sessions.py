"""A running payment belongs to its client: another client's requests do not
change it, a client that disconnects leaves nothing confirmed, and the gateway
serves the next client normally."""

import json
import socket
import ssl
import time

import pytest

from api_client import SERVICE_VERSION, VERSION_PROBE, Client, claims_with, set_ini
from payment_support import (SaleApi, approval_steps, ledger, open_session, payment_request,
                             reply, setup_payment_gateway, PaymentClient)
from test_transaction_recovery import kill_after_approval

MENU = {"cmd": 21, "text": "1:Loja;2:Cliente;"}
INITIALIZED = '{"type":"initialize","message":"Inicializado com sucesso."}'
PINPAD_CONNECTED = '{"type":"status","status":"connected","message":"PinPad conectado"}'


def wait_for(client, type_):
    while True:
        message = json.loads(client.recv())
        if message["type"] == type_:
            return message


def test_second_client_cannot_change_a_running_payment(make_gateway, tmp_path, sale_api):
    other_api = SaleApi(tmp_path / "other_api", same_certificate_as=sale_api)
    steps = [{"cmd": 23}, MENU] + approval_steps("debit")
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api)
    first, session = open_session(gateway, sale_api)
    request = payment_request(session, operation=0)
    del request["sale_id"]
    first.send(request)
    wait_for(first, "menu")

    second = PaymentClient(gateway)
    other = second.start_session(claims_with(callback_url=other_api.url, sale_id="99",
                                             company_id="7", operator="caixa 2"))["session_uuid"]
    # A second payment is dropped without a reply; the pinpad query and the
    # version are answered (or not) without touching the running payment.
    assert second.ask(payment_request(other, payer_name="Outro", sale_id=5)) == []
    second.ask({"route": "/pinpad/status", "session_uuid": other, "type": "pinpad"})
    second.send(VERSION_PROBE)
    assert second.recv() == SERVICE_VERSION

    first.send(reply(session, "menu", response="1:Loja"))
    result = wait_for(first, "result")
    item = result["transaction_data"][0]
    assert (item["sale_id"], item["payer_name"], item["transaction_value"], item["company_id"]) == \
        (42, "Maria", 12.34, 3)
    assert len(sale_api.requests) == 1 and other_api.requests == []
    starts = [r for r in ledger(gateway) if r["fn"] == "IniciaFuncaoSiTefInterativo"]
    assert [(r["amount"], r["operator"]) for r in starts] == [("12,34", "caixa 1")]
    # The second session's own payment runs with its own values.
    request = payment_request(other, operation=0, payer_name="Outro")
    del request["sale_id"]
    texts = second.converse(request, lambda m: reply(other, "menu", response="1:Loja")
                            if m["type"] == "menu" else None)
    item = json.loads(texts[-1])["transaction_data"][0]
    assert (item["sale_id"], item["payer_name"], item["company_id"]) == (99, "Outro", 7)
    assert len(other_api.requests) == 1 and len(sale_api.requests) == 1
    other_api.close()


def test_disconnect_in_the_middle_of_a_payment(make_gateway, tmp_path, sale_api):
    steps = [{"cmd": 23}, MENU] + approval_steps("debit")
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api)
    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=0))
    wait_for(client, "menu")
    client.close()

    def continues():
        return [r["continue"] for r in ledger(gateway) if r["fn"] == "ContinuaFuncaoSiTefInterativo"]

    deadline = time.monotonic() + 10
    while -1 not in continues() and time.monotonic() < deadline:
        time.sleep(0.05)
    # The library function was aborted and nothing was confirmed.
    assert continues()[-1] == -1
    assert not [r for r in ledger(gateway) if r["fn"] == "FinalizaTransacaoSiTefInterativo"]
    assert sale_api.requests == []

    again, session = open_session(gateway, sale_api)
    texts = again.converse(payment_request(session, operation=0),
                           lambda m: reply(session, "menu", response="2:Cliente")
                           if m["type"] == "menu" else None)
    assert '"status":"approved"' in texts[-1]
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]


def test_each_payment_uses_the_claims_and_restriction_in_force(make_gateway, tmp_path, sale_api):
    gateway = setup_payment_gateway(make_gateway, tmp_path,
                                    {"0": {"steps": approval_steps("debit")}}, sale_api)
    client, session = open_session(gateway, sale_api)
    # One payment per row: the INI's "qrcode_on_pinpad" at that moment, the
    # operator of a session started just before (None: the same session), and
    # what the library must receive. An empty restriction list is sent as the
    # card payment's default "[10];".
    rows = [("0", None, "{DevolveStringQRCode=1}", "caixa 1"),
            ("1", None, "[10];", "caixa 1"),
            ("1", "caixa 2", "[10];", "caixa 2"),
            ("0", None, "{DevolveStringQRCode=1}", "caixa 2"),
            ("0", "caixa 3", "{DevolveStringQRCode=1}", "caixa 3")]
    for qrcode_on_pinpad, operator, restrictions, expected_operator in rows:
        set_ini(gateway.folder, "sitef", "qrcode_on_pinpad", qrcode_on_pinpad)
        if operator is not None:
            client.close()
            client, session = open_session(gateway, sale_api, operator=operator)
        texts = client.converse(payment_request(session, operation=0))
        assert '"status":"approved"' in texts[-1]
        start = [r for r in ledger(gateway) if r["fn"] == "IniciaFuncaoSiTefInterativo"][-1]
        assert (start["restrictions"], start["operator"]) == (restrictions, expected_operator), \
            (qrcode_on_pinpad, operator)
    assert len([r for r in ledger(gateway) if r["fn"] == "ConfiguraIntSiTefInterativoEx"]) == 1


def test_a_payment_at_a_prompt_holds_no_other_connection(make_gateway, tmp_path, sale_api):
    steps = [{"cmd": 23}, MENU] + approval_steps("debit")
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api)
    first, session = open_session(gateway, sale_api)
    first.send(payment_request(session, operation=0))
    wait_for(first, "menu")

    # The first client never answers while the second one is served: an
    # initialized library answers "/initialize" at once, a pinpad query and a
    # payment are dropped, and every next message is answered.
    second = PaymentClient(gateway, timeout=20)
    other = second.start_session()["session_uuid"]
    assert second.ask({"route": "/initialize", "session_uuid": other, "type": "initialize"}) == \
        [INITIALIZED]
    assert second.ask({"route": "/pinpad/status", "session_uuid": other, "type": "status"}) == []
    assert second.ask(payment_request(other, operation=0)) == []
    assert second.ask({"route": "/initialize", "session_uuid": other, "type": "initialize"}) == \
        [INITIALIZED]

    first.send(reply(session, "menu", response="1:Loja"))
    assert wait_for(first, "result")["status"] == "approved"
    assert second.ask({"route": "/pinpad/status", "session_uuid": other, "type": "status"}) == \
        [PINPAD_CONNECTED]
    fns = [r["fn"] for r in ledger(gateway)]
    assert (fns.count("ConfiguraIntSiTefInterativoEx"), fns.count("IniciaFuncaoSiTefInterativo"),
            fns.count("VerificaPresencaPinPad")) == (1, 1, 1)


def test_another_connections_initialization_is_waited_for(make_gateway, tmp_path, sale_api):
    # A backup left by a killed payment makes the next initialization ask its
    # client to acknowledge the recovered payment: the component stays held
    # by that initialization until the client answers.
    gateway, _ = kill_after_approval(make_gateway, tmp_path, sale_api, "000555")
    killed_run = len(ledger(gateway))
    gateway.start()
    first, session = open_session(gateway, sale_api)
    first.send({"route": "/initialize", "session_uuid": session, "type": "initialize"})
    wait_for(first, "confirmation")

    second, other = open_session(gateway, sale_api, operator="caixa 2")
    second.send({"route": "/pinpad/status", "session_uuid": other, "type": "status"})
    second.send(payment_request(other, operation=2, payer_name="Ana"))
    # Nothing is dropped or answered while the initialization holds the component.
    second.sock.settimeout(1.5)
    with pytest.raises(socket.timeout):
        second.recv()
    second.sock.settimeout(30)

    texts = first.converse(reply(session, "confirmation"), until=("initialize",))
    assert texts[-1] == INITIALIZED
    texts = second.converse(None, lambda m: reply(other, "confirmation")
                            if m["type"] == "confirmation" else None)
    assert texts[0] == PINPAD_CONNECTED
    result = json.loads(texts[-1])
    assert (result["status"], result["transaction_data"][0]["payer_name"]) == ("approved", "Ana")
    starts = [r for r in ledger(gateway)[killed_run:] if r["fn"] == "IniciaFuncaoSiTefInterativo"]
    assert [r["operator"] for r in starts] == ["caixa 2"]


def served(gateway):
    """Whether a new client is let in and answered: the server turns a client
    away when its connection limit is reached."""
    try:
        client = Client(gateway)
        client.send(VERSION_PROBE)
        answered = client.recv() == SERVICE_VERSION
        client.close()
        return answered
    except (OSError, ssl.SSLError):
        return False


def test_clients_that_come_and_go_during_a_payment_keep_no_place(make_gateway, tmp_path,
                                                                 sale_api):
    steps = [{"cmd": 23}, MENU] + approval_steps("debit")
    gateway = setup_payment_gateway(make_gateway, tmp_path, {"0": {"steps": steps}}, sale_api,
                                    prepare=lambda g: set_ini(g.folder, "server",
                                                              "max_connections", "2"))
    first, session = open_session(gateway, sale_api)
    first.send(payment_request(session, operation=0))
    wait_for(first, "menu")

    # While the payment waits for its client, other clients come one at a
    # time and leave: each closed connection gives its place back (a place
    # is freed a moment after the close, hence the wait), and its clean-up
    # touches nothing of the running payment.
    for _ in range(3):
        deadline = time.monotonic() + 10
        while not served(gateway):
            assert time.monotonic() < deadline, "a new client was turned away"
            time.sleep(0.05)

    first.send(reply(session, "menu", response="1:Loja"))
    assert wait_for(first, "result")["status"] == "approved"
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]
