"""Route dispatch over the wire: silence, errors, connection ends, the version
query, and no input that can bring the process down."""

import json
import os

import pytest

from api_client import SERVICE_VERSION, Client, error, start_request, token


@pytest.fixture
def gateway(make_gateway):
    return make_gateway(api=True)


@pytest.fixture
def api(gateway):
    client = Client(gateway)
    yield client
    client.close()


def test_dispatch(api):
    live = api.start_session()["session_uuid"]
    cases = [
        ("not JSON", "isto não é JSON", []),
        ("no route", {"type": "version"}, [error("Campo route nao encontrado.")]),
        ("unknown route, live session", {"route": "/nada", "session_uuid": live}, []),
        ("unknown route, unknown session", {"route": "/nada", "session_uuid": "X"},
         [error("Sessão inválida.")]),
        ("unknown route, no session", {"route": "/nada"},
         [error("Campo session_uuid nao encontrado.")]),
        ("start in another letter case",
         {"route": "/Session/Start", "type": "session", "token": token(), "session_uuid": live},
         []),
    ]
    for name, message, replies in cases:
        assert api.ask(message) == replies, name


@pytest.mark.parametrize("message", ['[{"route":"/version"}]', '"texto"', "42", "null"])
def test_json_that_is_not_an_object_ends_the_connection(gateway, message):
    client = Client(gateway)
    client.send(message)
    assert client.ended_by_server()
    client.close()
    other = Client(gateway)
    assert other.ask({"route": "/nada"}) == [error("Campo session_uuid nao encontrado.")]
    other.close()


def test_version_without_session(api):
    api.send({"route": "/version", "type": "version", "category": "service_exe"})
    assert api.recv() == SERVICE_VERSION
    cases = [
        ({"route": "/version", "type": "status", "category": "service_exe"},
         error("Campo type diferente de version.")),
        ({"route": "/version", "type": "version", "category": "outro"},
         error("Categoria inválida. Valores permitidos [service_exe, clisitef_dll]")),
        ({"route": "/version", "type": "version"},
         error("Erro ao verificar pinpad: Campo category nao encontrado.")),
        # Before any session the library is looked for beside the executable.
        ({"route": "/version", "type": "version", "category": "clisitef_dll"},
         '{"type":"version","category":"clisitef_dll","version":"Vers\\u00E3o n\\u00E3o encontrada"}'),
    ]
    for message, reply in cases:
        assert api.ask(message) == [reply], message


@pytest.mark.parametrize("member", ['"note":"cortado no emoji \\ud83d"', '"note":"\\ude00"',
                                    '"n":1e400', '"n":-' + "9" * 400])
def test_valid_json_beyond_utf16_or_a_double_is_answered(api, member):
    """A browser's JSON.stringify of a text cut inside an emoji leaves a lone
    surrogate; a number may be beyond a double's range. Both are JSON."""
    text = '{"route":"/version","type":"version","category":"outro",' + member + "}"
    assert api.ask(text) == [
        error("Categoria inv\u00e1lida. Valores permitidos [service_exe, clisitef_dll]")]


def test_library_version_after_a_session(gateway, api):
    if not (gateway.folder / "dll" / "CliSiTef32I.dll").exists():
        pytest.skip("the stand-in library is not part of this build")
    api.start_session()
    assert api.ask({"route": "/version", "type": "version", "category": "clisitef_dll"}) == [
        '{"type":"version","category":"clisitef_dll","version":"6.2.115.27"}']


def malformed(route, live):
    """Messages a careless or hostile client might send to a route."""
    base = {"route": route, "session_uuid": live}
    values = [None, True, 0, -1, 1.5e308, "", " ", "\u0000", "é" * 5000, [], {}, [1, {"a": []}],
              {"x": {"y": {"z": None}}}, "A" * 70000]
    members = ["type", "token", "category", "data", "file_type", "session_uuid", "route"]
    messages = [{"route": route}, dict(base)]
    for member in members:
        for value in values:
            messages.append({**base, member: value})
    messages += [
        json.dumps(base)[:-1],
        '{"route":"' + route + '","session_uuid":"' + live + '","type":"x","type":"y"}',
        '{"route":"' + route + '","session_uuid":"' + live + '","n":' + "9" * 400 + "}",
        '{"route":"' + route + '","session_uuid":"' + live + '","d":' + "[" * 300 + "]" * 300 + "}",
        '{"route":"' + route + '","session_uuid":"' + live + '","s":"\\ud800"}',
        {**base, "type": "print", "data": "@@@@", "file_type": "pdf"},
        {**base, "type": "session", "token": "a.b.c"},
        {**base, "type": "session", "token": token(header={"alg": "HS256", "crit": ["x"]})},
        {**base, "type": "version", "category": ["service_exe"]},
    ]
    return messages


def well_formed(reply):
    if reply.startswith("Erro na conversão do arquivo: "):
        return True
    try:
        value = json.loads(reply)
    except ValueError:
        return False
    return isinstance(value, dict) and "type" in value and reply.isascii()


def test_no_malformed_message_brings_the_process_down(gateway, api):
    routes = ["/session/start", "/session/finish", "/initialize", "/pinpad/status", "/version",
              "/transaction", "/transaction/cancel", "/print", "/outra"]
    live = api.start_session()["session_uuid"]
    for route in routes:
        for reply in api.ask_all(malformed(route, live)):
            assert well_formed(reply), (route, reply[:200])
        live = api.start_session()["session_uuid"]
    assert gateway.proc.poll() is None
