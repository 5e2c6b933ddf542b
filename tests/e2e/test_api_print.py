"""Document printing over the wire: every reply, and documents reaching the
print spool through the app folder's printing program."""

import base64
import time

import pytest

from api_client import Client, error, set_ini

DOCUMENT = b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj <<>> endobj\ntrailer <<>>\n%%EOF\n"


def print_request(data, file_type="pdf"):
    return {"route": "/print", "type": "print", "data": data, "file_type": file_type}


@pytest.fixture
def spool(tmp_path):
    folder = tmp_path / "spool"
    folder.mkdir()
    return folder


@pytest.fixture
def printing(make_gateway, spool):
    gateway = make_gateway(api=True, start=False, env={"GATEWAY_PRINT_SPOOL": str(spool)})
    set_ini(gateway.folder, "sitef", "printer", "Balcao 1")
    gateway.start()
    return gateway


def spooled(spool, count, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        files = sorted(spool.glob("*.pdf"))
        if len(files) >= count:
            return files
        time.sleep(0.05)
    raise AssertionError(f"{count} documents expected in {spool}, found {list(spool.iterdir())}")


def test_print_replies(printing):
    client = Client(printing)
    data = base64.b64encode(DOCUMENT).decode()
    cases = [
        ("wrong type", {**print_request(data), "type": "imprimir"},
         [error("Campo type diferente de print.")]),
        ("no data", {"route": "/print", "type": "print", "file_type": "pdf"},
         [error("Campo data nao encontrado.")]),
        ("blank data", print_request(" \r\n "), [error('Campo "data" não foi preenchido.')]),
        ("upper-case type", print_request(data, "PDF"),
         [error("Tipo do arquivo inválido. Valor permitido [pdf]")]),
        ("no file type", {"route": "/print", "type": "print", "data": data},
         [error("Erro ao imprimir: Campo file_type nao encontrado.")]),
        ("not base64", print_request("JVBE*A=="),
         ["Erro na conversão do arquivo: Caractere inválido no texto base64 na posição 5."]),
    ]
    for name, message, replies in cases:
        assert client.ask(message) == replies, name
    client.close()


def test_missing_pieces(make_gateway):
    data = base64.b64encode(DOCUMENT).decode()
    cases = [
        ("no printer", "", None, "Impressora não definida."),
        ("no program", "Balcao", "SumatraPDF.exe", "SumatraPDF não localizado."),
        ("no library", "Balcao", "libmupdf.dll", "libmupdf.dll não localizado."),
    ]
    for name, printer, remove, message in cases:
        gateway = make_gateway(api=True, start=False)
        set_ini(gateway.folder, "sitef", "printer", printer)
        if remove:
            (gateway.folder / remove).unlink()
        gateway.start()
        client = Client(gateway)
        assert client.ask(print_request(data)) == [error(message)], name
        client.close()


def test_documents_reach_the_spool(printing, spool):
    client = Client(printing)
    plain = base64.b64encode(DOCUMENT).decode()
    crlf = "\r\n".join(plain[i:i + 76] for i in range(0, len(plain), 76))
    forms = [plain, "data:application/pdf;base64," + plain, crlf, " " + plain[:8] + " " + plain[8:]]
    for count, data in enumerate(forms, start=1):
        assert client.ask(print_request(data)) == [], data[:40]
        files = spooled(spool, count)
        assert (printing.folder / "Temp.pdf").read_bytes() == DOCUMENT
        newest = max(files, key=lambda path: path.stat().st_mtime_ns)
        assert newest.name.startswith("Balcao_1-"), newest.name
        assert newest.read_bytes() == DOCUMENT, data[:40]
    client.close()
