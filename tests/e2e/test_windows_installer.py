"""The 64-bit Windows installer under Wine, in a prefix of its own: a silent
install that keeps the INI it finds and starts a service that completes a
payment over TLS; a crash that leaves a backup, a silent upgrade over the
running service, and the upgraded gateway confirming and reporting that
payment once; the silent uninstaller removing the service and the program
but leaving the store's files. GATEWAY_WINDOWS_INSTALLER and
GATEWAY_WINDOWS_UPGRADE name two installers of the same program, the second
of a higher version (packaging/windows/build.sh). The 32-bit installer is
built and not run: these machines run no 32-bit programs."""

import json
import os
import re
import signal
import shutil
import subprocess

import pytest

from conftest import ROOT, Gateway, free_port, port_open, wait_until
from api_client import set_ini
from payment_support import (approval_steps, open_session, outbox_entries,
                             payment_request, reply)
from wine import Wine, windows_path

INSTALLER = os.environ.get("GATEWAY_WINDOWS_INSTALLER")
UPGRADE = os.environ.get("GATEWAY_WINDOWS_UPGRADE")
pytestmark = pytest.mark.skipif(
    not (INSTALLER and UPGRADE),
    reason="needs the Windows installers (GATEWAY_WINDOWS_INSTALLER, GATEWAY_WINDOWS_UPGRADE)")

SERVICE = "QuorelSiTefService"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorelSiTef"
# How long the stand-in library holds the confirmation the crash comes
# before: far longer than the test waits.
HOLD_MS = 120000
# A menu the payment shows its client before it goes to the library's host.
MENU = {"cmd": 21, "text": "1:Loja;2:Cliente;"}
PROGRAM_FILES = ["SvcQuorelSiTef.exe", "SvcQuorelSiTefWindow.dll", "uninstall.exe",
                 "dll/CliSiTef32I.dll", "SumatraPDF.exe", "libmupdf.dll"]


def version_of(installer):
    return re.search(r"QuorelSiTef-([0-9.]+)-x64-setup\.exe$", installer).group(1)


@pytest.fixture(scope="module")
def wine(tmp_path_factory):
    session = Wine.create(tmp_path_factory.mktemp("installer") / "wineprefix")
    yield session
    session.stop()


@pytest.fixture(autouse=True)
def machine_left_clean(wine):
    """Each test finds a machine without the gateway, whatever the test
    before it left."""
    yield
    entry = registered(wine)
    if entry is not None:
        uninstall(wine, entry["InstallLocation"])


def drive_c(wine, path):
    """The Linux path of a C:\\ path of the prefix."""
    return wine.prefix / "drive_c" / path.replace("\\", "/")[3:]


def registered(wine):
    """The values of the installed programs' entry, or None without one."""
    query = wine.run("reg", "query", UNINSTALL_KEY, check=False)
    if query.returncode != 0:
        return None
    values = {}
    for line in query.stdout.decode(errors="replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
    return values


def install(wine, installer, *switches):
    done = wine.run(installer, "/S", *switches, check=False)
    assert done.returncode == 0, done.stdout + done.stderr


def uninstall(wine, location):
    """Runs the silent uninstaller to its end: it hands over to a copy of
    itself in the temporary folder and returns at once."""
    done = wine.run(drive_c(wine, location) / "uninstall.exe", "/S", check=False)
    assert done.returncode == 0, done.stdout + done.stderr
    wait_until(lambda: registered(wine) is None and not wine.processes(location),
               timeout=60, what="the uninstaller")


def service_lines(gateway):
    return [line.split("] ", 1)[1] for line in gateway.log_text().splitlines() if "servi" in line]


def debit_scenario(gateway, nsu, first=(), **top):
    """A debit payment approved with the NSU; `first`: steps before it."""
    steps = [*first, {"cmd": 23}] + [dict(s, text=nsu) if s.get("type") in (133, 134) else s
                                     for s in approval_steps("debit")]
    (gateway.folder / "dll" / "CliSiTefSim.json").write_text(
        json.dumps({**top, "functions": {"2": {"steps": steps}}}))


def ledger(gateway):
    path = gateway.folder / "dll" / "CliSiTefSim.ledger"
    return [json.loads(line) for line in path.read_text().splitlines() if line.strip()]


def confirmations(gateway):
    return [r["confirm"] for r in ledger(gateway) if r["fn"] == "FinalizaTransacaoSiTefInterativo"]


def prepare_machine(wine, location, sale_api, nsu, **scenario):
    """A machine set up before the installer runs: the INI (a free port, the
    sale API's certificate), the certificates and the stand-in library's
    scenario of a debit payment. Returns the gateway to be, with the INI's
    text."""
    folder = drive_c(wine, location)
    gateway = Gateway(folder, free_port(), wine=wine)
    (folder / "dll").mkdir(parents=True)
    shutil.copy(ROOT / "config" / "SvcQuorelSiTef.ini", folder)
    set_ini(folder, "server", "port", gateway.port)
    set_ini(folder, "callback", "ca_file", windows_path(sale_api.cert))
    subprocess.run([str(ROOT / "tools" / "dev-cert.sh"), str(folder / "Certificado")],
                   check=True, stdout=subprocess.DEVNULL)
    debit_scenario(gateway, nsu, **scenario)
    return gateway, (folder / "SvcQuorelSiTef.ini").read_text()


def test_install_payment_upgrade_over_a_backup_and_uninstall(wine, sale_api):
    location = r"C:\Program Files\QuorelSiTef"
    # The installer keeps the INI it finds.
    gateway, ini = prepare_machine(wine, location, sale_api, "000444")
    folder = gateway.folder

    install(wine, INSTALLER, "/STANDIN")
    assert (folder / "SvcQuorelSiTef.ini").read_text() == ini
    assert all((folder / name).exists() for name in PROGRAM_FILES)
    entry = registered(wine)
    assert {key: entry.get(key) for key in
            ("DisplayName", "DisplayVersion", "Publisher", "InstallLocation", "UninstallString")} == \
        {"DisplayName": "QuorelSiTef", "DisplayVersion": version_of(INSTALLER),
         "Publisher": "Quorel", "InstallLocation": location,
         "UninstallString": f'"{location}\\uninstall.exe"'}
    wait_until(lambda: port_open(gateway.port), timeout=30, what="the service's port")

    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2))
    client.close()
    assert json.loads(texts[-1])["status"] == "approved"
    assert confirmations(gateway) == [1]
    wait_until(lambda: len(sale_api.requests) == 1, timeout=30, what="the report")

    # The service dies after the library approved a payment and before it
    # was confirmed; the machine starts again and so does the service.
    debit_scenario(gateway, "000555", finalize_delay_ms=HOLD_MS)
    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=2))
    wait_until(lambda: list((folder / "TEF").glob("*.tef")), timeout=60, what="the backup")
    backups = {path.name: path.read_bytes() for path in (folder / "TEF").glob("*.tef")}
    for pid in wine.processes(r"QuorelSiTef\SvcQuorelSiTef.exe"):
        os.kill(pid, signal.SIGKILL)
    client.close()
    # Wine's service manager does not notice that the process died: the
    # service stays "running" and never stops, like one whose payment never
    # ends. An upgrade then gives up after its wait and changes nothing.
    assert wine.status(UPGRADE, "/S", "/STOPWAIT=2") == 2
    assert registered(wine)["DisplayVersion"] == version_of(INSTALLER)

    debit_scenario(gateway, "000555")
    wine.restart()
    wait_until(lambda: port_open(gateway.port), timeout=30, what="the service after the restart")
    assert confirmations(gateway) == [1]

    install(wine, UPGRADE)
    assert registered(wine)["DisplayVersion"] == version_of(UPGRADE)
    assert (folder / "SvcQuorelSiTef.ini").read_text() == ini
    assert {path.name: path.read_bytes() for path in (folder / "TEF").glob("*.tef")} == backups
    wait_until(lambda: port_open(gateway.port), timeout=30, what="the upgraded service")
    # Stopped by the upgrade, not killed: the stop is in the log.
    assert service_lines(gateway)[-3:] == \
        ["O serviço foi parado.", "Iniciando servidor socket.", "O serviço foi inciado."]

    client, session = open_session(gateway, sale_api)
    texts = client.converse({"route": "/initialize", "session_uuid": session, "type": "initialize"},
                            lambda m: reply(session, "confirmation")
                            if m["type"] == "confirmation" else None, until=("initialize",))
    client.close()
    messages = [json.loads(text) for text in texts]
    assert [m["transaction_data"][0]["nsu_code"] for m in messages if m["type"] == "result"] == \
        ["000555"]
    assert not list((folder / "TEF").glob("*.tef"))
    wait_until(lambda: {e["estado"] for e in outbox_entries(gateway)} == {"aceito"}, timeout=60,
               what="every report accepted")
    assert ['"nsu_code":"000555"' in body for _, _, _, body in sale_api.requests] == [False, True]
    # Confirmed from its backup, never undone with the library.
    assert confirmations(gateway) == [1]

    # A backup the uninstall finds stays, with everything else of the store.
    # It comes while the service is stopped: a running gateway undoes the
    # backups it finds when a client's connection closes.
    stopped = wine.run("net", "stop", SERVICE, check=False)
    assert stopped.returncode == 0, stopped.stdout + stopped.stderr
    wait_until(lambda: not wine.processes(location), timeout=30, what="the service to end")
    (folder / "TEF" / "VornCliSiTef_CliSiTef_001.tef").write_bytes(next(iter(backups.values())))
    kept = sorted(str(path.relative_to(folder)) for path in folder.rglob("*")
                  if path.is_file() and path.parts[len(folder.parts)] in
                  ("TEF", "Log", "Certificado", "Outbox", "SvcQuorelSiTef.ini"))
    uninstall(wine, location)
    assert sorted(str(path.relative_to(folder)) for path in folder.rglob("*")
                  if path.is_file()) == kept
    assert [name for name in ("TEF", "Log", "Certificado", "Outbox")
            if not (folder / name).is_dir()] == []
    assert wine.run("sc", "query", SERVICE, check=False).returncode != 0


def test_plain_install_writes_the_default_ini_and_no_stand_in(wine):
    location = r"C:\Loja\QuorelSiTef"
    folder = drive_c(wine, location)
    install(wine, INSTALLER, "/D=" + location)
    assert (folder / "SvcQuorelSiTef.ini").read_text() == \
        (ROOT / "config" / "SvcQuorelSiTef.ini").read_text()
    assert [name for name in PROGRAM_FILES if (folder / name).exists()] == \
        ["SvcQuorelSiTef.exe", "SvcQuorelSiTefWindow.dll", "uninstall.exe"]
    assert [name for name in ("dll", "TEF", "Log", "Certificado", "Outbox")
            if not (folder / name).is_dir()] == []
    assert registered(wine)["InstallLocation"] == location
    # Started, though with no certificate it does not listen.
    wait_until(lambda: b"RUNNING" in wine.run("sc", "query", SERVICE, check=False).stdout,
               timeout=30, what="the service to run")

    # Into another folder, while the service runs this one's program and
    # keeps its backups here: nothing changes.
    other = r"C:\Outra\QuorelSiTef"
    assert wine.status(INSTALLER, "/S", "/D=" + other) == 2
    assert not drive_c(wine, other).exists()
    assert registered(wine)["InstallLocation"] == location
    assert b"RUNNING" in wine.run("sc", "query", SERVICE, check=False).stdout

    uninstall(wine, location)
    assert sorted(path.name for path in folder.iterdir()) == \
        ["Certificado", "Log", "Outbox", "SvcQuorelSiTef.ini", "TEF"]
    assert wine.run("sc", "query", SERVICE, check=False).returncode != 0


def short_path(wine, path):
    """The path in the short (8.3) names of its folders."""
    (wine.prefix / "drive_c" / "short.bat").write_text(
        f'@for %%I in ("{path}") do @echo %%~sI\r\n')
    return wine.run("cmd", "/c", r"C:\short.bat").stdout.decode().strip()


def test_update_finds_the_service_folder_however_its_path_is_written(wine):
    """The service's program may be registered unquoted, with environment
    variables, in short names or in another case (by another tool, or by an
    older program): an update of that folder goes on; one of another folder
    is still refused."""
    location = r"C:\Program Files\QuorelSiTef"
    install(wine, INSTALLER)
    short = short_path(wine, location)
    assert short.lower() != location.lower()
    key = rf"HKLM\SYSTEM\CurrentControlSet\Services\{SERVICE}"
    cases = [("REG_SZ", rf"{location}\SvcQuorelSiTef.exe --service", 0),
             ("REG_EXPAND_SZ", r'"%ProgramFiles%\QuorelSiTef\SvcQuorelSiTef.exe" --service', 0),
             ("REG_SZ", rf'"{short}\SvcQuorelSiTef.exe" --service', 0),
             ("REG_SZ", rf'"{location.upper()}\SVCQUORELSITEF.EXE" --service', 0),
             ("REG_SZ", rf"{location}2\SvcQuorelSiTef.exe --service", 2)]
    outcomes = []
    for kind, image, _ in cases:
        wine.run("reg", "add", key, "/v", "ImagePath", "/t", kind, "/d", image, "/f")
        outcomes.append((image, wine.status(INSTALLER, "/S")))
        wait_until(lambda: b"RUNNING" in wine.run("sc", "query", SERVICE, check=False).stdout,
                   timeout=30, what="the service to run")
    assert outcomes == [(image, status) for _, image, status in cases]
    uninstall(wine, location)


def test_upgrade_lets_a_running_payment_end(wine, sale_api):
    """An upgrade while a payment waits for its confirmation: the service
    finishes the payment before it stops, the program is replaced after."""
    location = r"C:\Caixa\QuorelSiTef"
    # The library holds the confirmation far longer than the upgrade takes to
    # ask the service to stop, and far shorter than the service would wait.
    gateway, _ = prepare_machine(wine, location, sale_api, "000777", finalize_delay_ms=20000)
    set_ini(gateway.folder, "server", "stop_wait_seconds", 120)
    install(wine, INSTALLER, "/STANDIN", "/D=" + location)
    wait_until(lambda: port_open(gateway.port), timeout=30, what="the service's port")

    client, session = open_session(gateway, sale_api)
    client.send(payment_request(session, operation=2))
    wait_until(lambda: list((gateway.folder / "TEF").glob("*.tef")), timeout=60,
               what="the backup")
    install(wine, UPGRADE)
    assert registered(wine)["DisplayVersion"] == version_of(UPGRADE)
    assert json.loads(client.converse(None)[-1])["status"] == "approved"
    client.close()
    assert confirmations(gateway) == [1]
    assert not list((gateway.folder / "TEF").glob("*.tef"))
    wait_until(lambda: port_open(gateway.port), timeout=30, what="the upgraded service")
    assert len(sale_api.requests) == 1
    assert service_lines(gateway) == [
        "Iniciando servidor socket.", "O serviço foi inciado.",
        "Aguardando o fim da operação em andamento para parar o servidor (até 120 s).",
        "Operação em andamento concluída; parando o servidor.", "O serviço foi parado.",
        "Iniciando servidor socket.", "O serviço foi inciado."]
    uninstall(wine, location)


def test_upgrade_that_gives_up_leaves_the_service_to_start_again(wine, sale_api):
    """An upgrade that gives up waiting while a payment waits for its client
    changes nothing; the service, already asked to stop, stops once the
    payment ends, and what the upgrade left behind starts it again."""
    location = r"C:\Balcao\QuorelSiTef"
    gateway, _ = prepare_machine(wine, location, sale_api, "000888", first=[MENU])
    install(wine, INSTALLER, "/STANDIN", "/D=" + location)
    wait_until(lambda: port_open(gateway.port), timeout=30, what="the service's port")

    client, session = open_session(gateway, sale_api)
    client.converse(payment_request(session, operation=2), until=("menu",))
    assert wine.status(UPGRADE, "/S", "/STOPWAIT=2") == 2
    assert registered(wine)["DisplayVersion"] == version_of(INSTALLER)

    texts = client.converse(reply(session, "menu", response="1:Loja"))
    client.close()
    assert json.loads(texts[-1])["status"] == "approved"
    wait_until(lambda: service_lines(gateway)[-3:] ==
               ["O serviço foi parado.", "Iniciando servidor socket.", "O serviço foi inciado."],
               timeout=60, what="the service started again")
    wait_until(lambda: port_open(gateway.port), timeout=30, what="the service's port again")

    debit_scenario(gateway, "000999")
    client, session = open_session(gateway, sale_api)
    texts = client.converse(payment_request(session, operation=2))
    client.close()
    assert json.loads(texts[-1])["status"] == "approved"
    assert confirmations(gateway) == [1, 1]
    assert registered(wine)["DisplayVersion"] == version_of(INSTALLER)
    assert all((gateway.folder / name).exists() for name in PROGRAM_FILES)
