"""Payments end to end: the conversation of an approved payment, its receipts,
the sale API callback and the result, for each kind of request."""

import json

import pytest

from api_client import wire
from payment_support import (CALLBACK_PATH, approval_steps, callback_token, ledger,
                             open_session, payment_request, reply, setup_payment_gateway)

SUCCESS = "Transa\\u00E7\\u00E3o TEF conclu\\u00EDda com sucesso."
RECEIPTS = ['{"type":"receipt","copy_number":1,"data":["LOJA","VIA CLIENTE"]}',
            '{"type":"receipt","copy_number":2,"data":["LOJA","VIA LOJA"]}']
RECEIPT_MEMBER = ('"receipt":[{"copy_number":1,"data":["LOJA","VIA CLIENTE"]},'
                  '{"copy_number":2,"data":["LOJA","VIA LOJA"]}]')


def message(text):
    return '{"type":"message","message":' + wire(text) + ',"options":[],"can_cancel":false}'


CAN_CANCEL = '{"type":"can_cancel","can_cancel":true}'


def payment_item(kind, payer="Maria", sale=4711, installments=3, value="12.34",
                 description="Credito parcelado pelo estabelecimento", code="0202",
                 cancellation=False):
    text = f'{{"sale_id":{sale},'
    if cancellation:
        text += '"operation":"cancellation","operator":"CIELO",'
    text += f'"operation":"{kind}",'
    if kind != "pix":
        text += '"card_number":"411111******1111",'
    text += (f'"operator":"CIELO","payer_name":"{payer}","institution":"00125",'
             f'"payment_method_code":"{code}","payment_method_description":"{description}",'
             '"hash":"HASH123","nsu_code":"000123","authorization_code":"AUT123",'
             '"establishment_code":"000000009876543",'
             f'"number_of_installments":{installments},"transaction_value":{value},'
             '"transaction_date_time":"2024-03-05T17:07:09Z","gateway":"Software Express",'
             + RECEIPT_MEMBER + "}")
    return text


def approved(items, payment_id=77, company_id=3):
    body = ('{"type":"result","status":"approved","message":"' + SUCCESS +
            '","transaction_data":[' + ",".join(items) + "]}")
    with_ids = body[:-3] + f',"payment_id":{payment_id},"company_id":{company_id}' + "}]}"
    return body, with_ids


CREDIT_STEPS = ([{"cmd": 3, "text": "Insira ou passe o cartao"},
                 {"cmd": 23, "delay_ms": 20},
                 {"cmd": 21, "text": "1:A Vista;2:Parcelado pelo Estabelecimento;", "expect": "2"},
                 {"cmd": 30, "type": 505, "min": 1, "max": 2,
                  "text": "Forneca o numero de parcelas", "expect": "03"},
                 {"cmd": 21, "text": "1:Cartao do cliente;2:Cartao da loja;", "expect": "1"},
                 {"cmd": 30, "type": 0, "min": 4, "max": 4, "text": "Ultimos 4 digitos",
                  "expect": "1234"},
                 {"cmd": 1, "text": "Processando@Aguarde..."},
                 {"cmd": 23}]
                + approval_steps("credit") + [{"cmd": 1, "text": "Transacao aprovada"}])


@pytest.fixture
def tz_gateway(make_gateway, tmp_path, sale_api):
    def make(functions, **top):
        return setup_payment_gateway(make_gateway, tmp_path, functions, sale_api,
                                     env={"TZ": "BRT3"}, **top)
    return make


@pytest.mark.parametrize("data,payment_id", [('{"data":77}', 77), ('{"data":"78"}', 78)])
def test_approved_credit_in_three_instalments(tz_gateway, sale_api, data, payment_id):
    sale_api.answer = (201, "Created", data)
    gateway = tz_gateway({"3": {"steps": CREDIT_STEPS}})
    client, session = open_session(gateway, sale_api)

    def answer(prompt):
        if prompt["type"] == "menu":
            return reply(session, "menu", response="1:Cartao do cliente")
        if prompt["type"] == "collect":
            return reply(session, "collect", typed=True, response="1234")
        return None

    texts = client.converse(payment_request(session), answer)

    body, result = approved([payment_item("credit")], payment_id)
    assert texts == [
        message("Insira ou passe o cartao"),
        message("Insira ou passe o cartao"),
        CAN_CANCEL,
        '{"type":"menu","title":"","options":["1:Cartao do cliente","2:Cartao da loja"],'
        '"can_cancel":false,"back_menu":false}',
        '{"type":"collect","title":"Ultimos 4 digitos","minimum_size":4,"maximum_size":4,'
        '"field_type":0,"field_operation":"string","can_cancel":false,"back_menu":false,'
        '"typed":true}',
        message("Processando\r\nAguarde..."),
        message("Transacao aprovada"),
        *RECEIPTS,
        result,
    ]
    assert len(sale_api.requests) == 1
    method, path, headers, posted = sale_api.requests[0]
    assert (method, path) == ("POST", CALLBACK_PATH + callback_token())
    assert (headers["Accept"], headers["Accept-Charset"], headers["User-Agent"],
            headers["Content-Type"]) == ("*/*", "UTF-8, *;q=0.8", "", "application/json")
    assert posted == body
    records = ledger(gateway)
    assert not [r for r in records if r.get("mismatch")]
    start = next(r for r in records if r["fn"] == "IniciaFuncaoSiTefInterativo")
    assert (start["modality"], start["amount"]) == (3, "12,34")
    assert [r["confirm"] for r in records if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]


def test_debit_payment(tz_gateway, sale_api):
    steps = [{"cmd": 23}] + approval_steps("debit")
    gateway = tz_gateway({"2": {"steps": steps}})
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2, payer_name="Jos\u00e9",
                                            number_of_installments=0,
                                            transaction_value="10,5"))
    item = payment_item("debit", payer="Jos\\u00E9", installments=0, value="10.5",
                        description="Debito a vista", code="0100")
    assert texts == [CAN_CANCEL, *RECEIPTS, approved([item])[1]]
    start = next(r for r in ledger(gateway) if r["fn"] == "IniciaFuncaoSiTefInterativo")
    assert start["amount"] == "10,50"


QR = "00020101021226790014br.gov.bcb.pix"


def test_pix_payment_shows_the_qrcode(tz_gateway, sale_api):
    steps = ([{"cmd": 23}, {"cmd": 50, "type": 584, "text": QR}, {"cmd": 23}]
             + approval_steps("pix"))
    gateway = tz_gateway({"122": {"steps": steps}})
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=122, number_of_installments=0))
    item = payment_item("pix", installments=0, description="Pagamento instantaneo PIX",
                        code="0300")
    assert texts == [CAN_CANCEL, '{"type":"qrcode","data":"' + QR + '"}', *RECEIPTS,
                     approved([item])[1]]


def test_reprint_item(tz_gateway, sale_api):
    steps = [{"cmd": 23}, {"cmd": 0, "type": 121, "text": "LOJA\nVIA CLIENTE"},
             {"cmd": 0, "type": 122, "text": "LOJA\nVIA LOJA"}]
    gateway = tz_gateway({"114": {"steps": steps}})
    client, session = open_session(gateway, sale_api)
    # The members a reprint does not read do not reach its result.
    request = {"route": "/transaction", "session_uuid": session, "type": "reprint",
               "operation": 114, "sale_id": 999, "payer_name": "Maria"}
    texts = client.converse(request)
    item = '{"sale_id":42,"operation":"reprint",' + RECEIPT_MEMBER + "}"
    assert texts[-1] == approved([item])[1]
    start = next(r for r in ledger(gateway) if r["fn"] == "IniciaFuncaoSiTefInterativo")
    assert (start["modality"], start["amount"]) == (114, "1,00")


def test_cancellation_item_names_operation_and_operator_twice(tz_gateway, sale_api):
    steps = ([{"cmd": 30, "type": 515, "min": 8, "max": 8, "text": "Data", "expect": "05032024"},
              {"cmd": 30, "type": 516, "min": 1, "max": 12, "text": "NSU", "expect": " 000123"},
              {"cmd": 30, "type": 146, "min": 1, "max": 12, "text": "Valor", "expect": "12,34"},
              {"cmd": 23}] + approval_steps("credit"))
    gateway = tz_gateway({"200": {"steps": steps},
                          "2": {"steps": [{"cmd": 23}] + approval_steps("debit")}})
    client, session = open_session(gateway, sale_api)
    # A payment first: its payer name must not reach the cancellation's result.
    assert '"status":"approved"' in client.converse(payment_request(session, operation=2))[-1]
    request = {"route": "/transaction", "session_uuid": session, "type": "cancellation",
               "operation": 200, "cancellation_nsu": " 000123",
               "transaction_date": "2024-03-05 14:07:09", "transaction_value": "12,34",
               "number_of_installments": 3, "sale_id": 4711}
    texts = client.converse(request)
    item = payment_item("credit", payer="", installments=0, cancellation=True)
    assert texts == [CAN_CANCEL, *RECEIPTS, approved([item])[1]]
    assert not [r for r in ledger(gateway) if r.get("mismatch")]
