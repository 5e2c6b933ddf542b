"""Terminal preparation over the wire: "/initialize" and "/pinpad/status"
against the stand-in CliSiTef library, with its scenario and ledger."""

import json
import shutil

import pytest

from api_client import Client, error, set_ini

INITIALIZED = '{"type":"initialize","message":"Inicializado com sucesso."}'


class Library:
    """The stand-in library's scenario and ledger files of one gateway."""

    def __init__(self, folder):
        self.scenario = folder / "scenario.json"
        self.ledger = folder / "ledger.jsonl"
        self.set({})

    def set(self, scenario):
        self.scenario.write_text(json.dumps(scenario))

    def calls(self, function):
        if not self.ledger.exists():
            return []
        records = [json.loads(line) for line in self.ledger.read_text().splitlines()]
        return [r for r in records if r["fn"] == function]


@pytest.fixture
def library(tmp_path):
    return Library(tmp_path)


@pytest.fixture
def api(make_gateway, library):
    gateway = make_gateway(api=True, env={"CLISITEF_SIM_SCENARIO": str(library.scenario),
                                          "CLISITEF_SIM_LEDGER": str(library.ledger)})
    client = Client(gateway)
    client.session = client.start_session()["session_uuid"]
    yield client
    client.close()


def initialize(api, type_="initialize"):
    return api.ask({"route": "/initialize", "type": type_, "session_uuid": api.session})


def pinpad(api, type_="status"):
    return api.ask({"route": "/pinpad/status", "type": type_, "session_uuid": api.session})


def test_initialize_twice_configures_once(api, library):
    assert initialize(api) == [INITIALIZED]
    assert initialize(api) == [INITIALIZED]
    configured = library.calls("ConfiguraIntSiTefInterativoEx")
    assert len(configured) == 1
    assert configured[0]["server"] == "127.0.0.1"
    assert configured[0]["store"] == "00000001"
    assert configured[0]["terminal"].startswith("AG1009")
    assert configured[0]["parameters"] == "[];{ValorIncluiTaxa=0;};"


def test_initialize_wrong_type(api, library):
    assert initialize(api, "status") == [error("Campo type diferente de initialize.")]
    assert library.calls("ConfiguraIntSiTefInterativoEx") == []


def test_initialize_refused_by_the_library(api, library):
    library.set({"configure": 2})
    assert initialize(api) == [
        error("Erro ao conectar com servidor TEF: Erro ao conectar com servidor TEF")]
    library.set({})
    assert initialize(api) == [INITIALIZED]
    assert len(library.calls("ConfiguraIntSiTefInterativoEx")) == 2


def test_pinpad_status(api, library):
    cases = [
        (1, '{"type":"status","status":"connected","message":"PinPad conectado"}'),
        (0, '{"type":"status","status":"disconnected","message":"Nenhum PinPad conectado"}'),
        (-1, '{"type":"status","status":"error","message":'
             '"Erro na dll ou arquivo de configura\\u00E7\\u00E3o do PinPad"}'),
        (7, '{"type":"status","status":"","message":""}'),
    ]
    for code, reply in cases:
        library.set({"pinpad": code})
        assert pinpad(api) == [reply], code
    assert len(library.calls("ConfiguraIntSiTefInterativoEx")) == 1
    assert [c["result"] for c in library.calls("VerificaPresencaPinPad")] == [1, 0, -1, 7]


def test_pinpad_wrong_type(api, library):
    assert pinpad(api, "pinpad") == [error("Campo type diferente de pinpad.")]
    assert library.calls("VerificaPresencaPinPad") == []


@pytest.mark.parametrize("where", ["beside the executable", "absolute path"])
def test_library_file_named_in_the_ini(make_gateway, library, tmp_path, where):
    """The library moved out of dll/ under another name: only [sitef] library
    finds it, for the library's functions and for its version."""
    gateway = make_gateway(start=False, api=True,
                           env={"CLISITEF_SIM_SCENARIO": str(library.scenario),
                                "CLISITEF_SIM_LEDGER": str(library.ledger)})
    base = gateway.folder if where == "beside the executable" else tmp_path
    moved = base / "lib64" / "CliSiTef64I.dll"
    moved.parent.mkdir()
    shutil.move(gateway.folder / "dll" / "CliSiTef32I.dll", moved)
    setting = "lib64/CliSiTef64I.dll" if where == "beside the executable" else str(moved)
    set_ini(gateway.folder, "sitef", "library", setting)
    gateway.start()
    client = Client(gateway)
    client.session = client.start_session()["session_uuid"]
    assert initialize(client) == [INITIALIZED]
    assert len(library.calls("ConfiguraIntSiTefInterativoEx")) == 1
    assert client.ask({"route": "/version", "type": "version", "category": "clisitef_dll"}) == [
        '{"type":"version","category":"clisitef_dll","version":"6.2.115.27"}']
    client.close()
