"""Sessions over the wire: starting with a signed access token, the refusals,
expiry and finishing."""

import datetime
import json
import re
import time

import pytest

from api_client import (Client, claims_with, error, set_ini, start_request, token)


@pytest.fixture
def api(make_gateway):
    gateway = make_gateway(api=True)
    client = Client(gateway)
    yield client
    client.close()


def test_good_session_start_answers_exactly(api):
    before = datetime.datetime.now(datetime.timezone.utc)
    [reply] = api.ask(start_request(token()))
    after = datetime.datetime.now(datetime.timezone.utc)
    match = re.fullmatch(
        r'\{"type":"session","status":"created","message":"Sess\\u00E3o criada com sucesso\.",'
        r'"expiration":"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})Z","session_uuid":"([0-9A-F-]{36})",'
        r'"store_code":"00000001","terminal_number":"AG100900"\}', reply)
    assert match, reply
    expiration = datetime.datetime.fromisoformat(match.group(1) + "+00:00")
    window = datetime.timedelta(minutes=30)
    assert before + window - datetime.timedelta(seconds=1) <= expiration <= after + window
    assert re.fullmatch(r"[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}",
                        match.group(2))


def test_number_claims_read_as_their_text(api):
    reply = api.start_session(claims_with(secctional_code=1009, sale_id=42, company_id=3))
    assert reply["terminal_number"] == "AG100900"


REFUSALS = [
    ("wrong type", {"route": "/session/start", "type": "sessao", "token": token()},
     'Configuração de entrada inválida: type diferente de "session".'),
    ("type not a text", {"route": "/session/start", "type": ["session"], "token": token()},
     'Configuração de entrada inválida: type diferente de "session".'),
    ("no token", {"route": "/session/start", "type": "session"}, "Campo token nao encontrado."),
    ("token not JWS", start_request("abc"),
     'Token de acesso malformado: esperadas três partes separadas por ".".'),
    ("other key", start_request(token(key=b"another key of the same size....")),
     "Acesso não autorizado."),
    ("HS512", start_request(token(alg="HS512")),
     "Algoritmo HS512 não aceito: exige chave de pelo menos 512 bits; "
     "a chave compartilhada é para HS256."),
    ("HS384", start_request(token(alg="HS384")),
     "Algoritmo HS384 não aceito: exige chave de pelo menos 384 bits; "
     "a chave compartilhada é para HS256."),
    ("alg none", start_request(token(header={"alg": "none"})[:-43]),
     'Algoritmo de assinatura não aceito: "none". Use HS256.'),
    ("exp passed", start_request(token(claims_with(exp=int(time.time()) - 60))),
     "Acesso não autorizado."),
    ("nbf ahead", start_request(token(claims_with(nbf=int(time.time()) + 3600))),
     "Acesso não autorizado."),
    ("missing claim", start_request(token(claims_with(operator=None))),
     "Campo operator nao encontrado."),
    ("missing last claim", start_request(token(claims_with(callback_url=None))),
     "Campo callback_url nao encontrado."),
    ("sale not integer", start_request(token(claims_with(sale_id="4x2"))),
     "'4x2' não é um valor inteiro válido."),
    ("sale zero", start_request(token(claims_with(sale_id="0"))), "ID de venda não informado."),
    ("blank callback", start_request(token(claims_with(callback_url="  "))),
     "URL de callback não informada."),
]


def test_refused_session_starts(api):
    for name, request, message in REFUSALS:
        assert api.ask(request) == [error(message)], name


def test_refused_start_keeps_the_live_session(api):
    uuid = api.start_session()["session_uuid"]
    assert api.ask(start_request(token(claims_with(sale_id="0")))) == [
        error("ID de venda não informado.")]
    assert api.ask({"route": "/nada", "session_uuid": uuid}) == []


def test_finish_twice(api):
    uuid = api.start_session()["session_uuid"]
    finish = {"route": "/session/finish", "type": "session", "session_uuid": uuid}
    assert api.ask(finish) == [
        '{"type":"session","status":"finished","message":"Sess\\u00E3o finalizada com sucesso."}']
    assert api.ask(finish) == [error("Sessão inválida.")]


def test_two_sessions_live_together(api):
    first = api.start_session()["session_uuid"]
    second = api.start_session()["session_uuid"]
    assert first != second
    for uuid in (first, second):
        assert api.ask({"route": "/nada", "session_uuid": uuid}) == []


def test_session_expires(make_gateway):
    gateway = make_gateway(api=True, start=False)
    set_ini(gateway.folder, "security", "session_seconds", "1")
    gateway.start()
    client = Client(gateway)
    uuid = client.start_session()["session_uuid"]
    time.sleep(1.2)
    finish = {"route": "/session/finish", "type": "session", "session_uuid": uuid}
    assert client.ask(finish) == [error("Sessão expirada.")]
    assert client.ask(finish) == [error("Sessão inválida.")]
    client.close()


def test_configured_shared_key(make_gateway):
    gateway = make_gateway(api=True, start=False)
    set_ini(gateway.folder, "security", "jwt_secret", "uma-chave-configurada-bem-longa")
    gateway.start()
    client = Client(gateway)
    assert client.ask(start_request(token())) == [error("Acesso não autorizado.")]
    replies = client.ask(start_request(token(key=b"uma-chave-configurada-bem-longa")))
    assert '"status":"created"' in replies[0]
    client.close()
