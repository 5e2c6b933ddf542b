"""The sale API callback's failures: the payment stays approved and the
client always gets its result; what went wrong is in the service log."""

import pytest

from api_client import error, set_ini
from payment_support import (SaleApi, approval_steps, ledger, open_session, payment_request,
                             setup_payment_gateway)

DEBIT = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}


@pytest.fixture
def sale_api(tmp_path):
    # It offers HTTP/2 as production servers do: the gateway must keep to
    # HTTP/1.1, whose answers carry the status text the log quotes.
    api = SaleApi(tmp_path / "sale_api", offer_http2=True)
    yield api
    api.close()


@pytest.mark.parametrize("answer,log_line,payment_id", [
    ((422, "Unprocessable Entity", '{"message":"Falha"}'),
     "Erro ao registrar transa\u00e7\u00e3o na API: Code: 422 - Message: Falha", 0),
    ((503, "Service Unavailable", None),
     "Erro ao registrar transa\u00e7\u00e3o na API: 503 - Service Unavailable", 0),
    ((200, "OK", None), None, 0),
    ((204, "No Content", None), None, 0),
    ((200, "OK", '{"data":"abc"}'), "Identificador de pagamento inv\u00e1lido", 0),
], ids=["422 with message", "503 without body", "200 empty", "204", "200 data not integer"])
def test_callback_answers(make_gateway, tmp_path, sale_api, answer, log_line, payment_id):
    sale_api.answer = answer
    # The one request asserted below is the client's first attempt; the
    # sender's retries come an hour later.
    gateway = setup_payment_gateway(make_gateway, tmp_path, DEBIT, sale_api,
                                    ini={("callback", "retry_first_s"): "3600"})
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2))
    assert texts[-1].endswith(f',"payment_id":{payment_id},"company_id":3}}]}}')
    assert '"status":"approved"' in texts[-1]
    assert len(sale_api.requests) == 1
    if log_line:
        gateway.wait_log(log_line)
    else:
        assert "Erro ao registrar" not in gateway.log_text()
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]


@pytest.mark.parametrize("status,reason", [
    (301, "Moved Permanently"), (302, "Found"), (303, "See Other"),
    (307, "Temporary Redirect"), (308, "Permanent Redirect")])
def test_redirected_callback_posts_the_result_to_the_new_address(make_gateway, tmp_path,
                                                                   sale_api, status, reason):
    sale_api.redirect = (status, reason)
    gateway = setup_payment_gateway(make_gateway, tmp_path, DEBIT, sale_api)
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2))
    assert texts[-1].endswith(',"payment_id":77,"company_id":3}]}')
    (first_method, first_path, _, sent), (method, path, headers, body) = sale_api.requests
    assert (method, path) == ("POST", "/moved" + first_path)
    assert headers["Content-Type"] == "application/json"
    assert body == sent and body.startswith('{"type":"result","status":"approved"')
    assert "Erro ao registrar" not in gateway.log_text()


def test_callback_unreachable(make_gateway, tmp_path):
    # Nobody listens at the session's callback address.
    gateway = setup_payment_gateway(make_gateway, tmp_path, DEBIT)
    client, session = open_session(gateway, None)
    texts = client.converse(payment_request(session, operation=2))
    assert texts[-2].startswith(error("Erro ao registrar transa\u00e7\u00e3o: Request Error ")[:-2])
    assert texts[-1].endswith(',"payment_id":0,"company_id":3}]}')
    log = gateway.log_text()
    assert "Erro ao registrar transa\u00e7\u00e3o na API: Request Error " in log
    # The result, ids included, is kept in the log.
    assert texts[-1].replace('"payment_id"', '"payment_id"') in log
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]


def hold_answer(sale_api, gateway):
    # The time-out is lowered so that holding the answer exceeds it quickly.
    sale_api.release.clear()
    set_ini(gateway.folder, "callback", "timeout_ms", "1000")


def distrust(sale_api, gateway):
    set_ini(gateway.folder, "callback", "ca_file", "")


def answer_invalid_json(sale_api, gateway):
    sale_api.answer = (200, "OK", '{"data":77,')


# How the sale API fails, and whether the gateway's request itself failed
# (the client then gets an error reply before its result).
SALE_API_FAULTS = {
    "slower than the time-out": (hold_answer, True),
    "untrusted certificate": (distrust, True),
    "invalid JSON": (answer_invalid_json, False),
}


@pytest.mark.parametrize("fault", SALE_API_FAULTS)
def test_sale_api_faults(make_gateway, tmp_path, sale_api, fault):
    make_fault, request_failed = SALE_API_FAULTS[fault]
    gateway = setup_payment_gateway(make_gateway, tmp_path, DEBIT, sale_api)
    make_fault(sale_api, gateway)
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2))
    # The payment stays confirmed and approved, without a payment id.
    assert [r["confirm"] for r in ledger(gateway)
            if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]
    assert '"status":"approved"' in texts[-1]
    assert texts[-1].endswith(',"payment_id":0,"company_id":3}]}')
    failure = error("Erro ao registrar transa\u00e7\u00e3o: Request Error ")[:-2]
    assert texts[-2].startswith(failure) == request_failed
    assert ("Erro ao registrar transa\u00e7\u00e3o na API: Request Error " in gateway.log_text()) \
        == request_failed
