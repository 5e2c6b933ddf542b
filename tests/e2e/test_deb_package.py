"""The Debian package in a throw-away Debian 12 system booted with systemd
(scripts/test-deb.sh makes it and both packages): installed with apt, the
service started by the package, a payment over TLS, an upgrade over a running
gateway that holds the backup of an unconfirmed payment, that payment
confirmed and reported once by the new version, an upgrade while a payment
waits for its client (the stop lets it end), then remove and purge."""

import json
import os
import shutil
import subprocess
from pathlib import Path
from types import SimpleNamespace

import pytest

from api_client import set_ini
from conftest import Gateway, free_port, port_open, wait_until
from payment_support import (SaleApi, approval_steps, confirmations, open_session,
                             outbox_entries, payment_request, reply, write_scenario)

ROOT = os.environ.get("GATEWAY_DEB_ROOT")
pytestmark = pytest.mark.skipif(ROOT is None, reason="run by scripts/test-deb.sh, in a Debian 12 system")

APP = "/opt/quorelsitef"
ETC = "/etc/quorelsitef"
SERVICE = "QuorelSiTefService"
STANDIN = "/var/lib/standin"
PRIVATE = ("TEF", "Log", "Outbox", "Certificado")
DEBIT = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}
# A payment that waits at a menu until the client answers.
AT_MENU = {"0": {"steps": [{"cmd": 21, "text": "1:Loja;2:Cliente;"}, {"cmd": 23}]
                 + approval_steps("debit")}}
# A payment of its own number whose confirmation the library holds far
# longer than the test waits: the gateway is killed in it.
HELD = {"2": {"steps": [{"cmd": 23}] + [dict(s, text="000555") if s.get("type") in (133, 134)
                                         else s for s in approval_steps("debit")]}}
HOLD_MS = 120000
REFUSED_BACKUP = ("Remo\u00e7\u00e3o completa recusada: a pasta /opt/quorelsitef/TEF guarda "
                  "c\u00f3pia de transa\u00e7\u00e3o TEF ainda n\u00e3o confirmada.")
REFUSED_REPORT = ("Remo\u00e7\u00e3o completa recusada: a pasta /opt/quorelsitef/Outbox guarda "
                  "relato de transa\u00e7\u00e3o ainda n\u00e3o aceito pela API de vendas.")
WAITING = "Aguardando o fim da opera\u00e7\u00e3o em andamento para parar o servidor (at\u00e9 300 s)."


def host(path):
    """Where a path of the system under test is, seen from here."""
    return Path(ROOT) / path.lstrip("/")


def inside(*args, wait=True):
    """Runs a command in the system under test, as its root."""
    command = ["nsenter", "--target", os.environ["GATEWAY_DEB_INIT"], "--all", "--root", "--wd",
               "/usr/bin/env", "-i", "LANG=C.UTF-8", "DEBIAN_FRONTEND=noninteractive",
               "PATH=/usr/sbin:/usr/bin:/sbin:/bin", *args]
    if not wait:
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True)
    return subprocess.run(command, capture_output=True, text=True)


def output(*args):
    return inside(*args).stdout.strip()


def apt(*args, wait=True):
    """apt-get in the system; returns (exit code, output), or the running process.
    Only what the package depends on comes in (the system has it already):
    the printing client it recommends would be fetched from the mirror."""
    result = inside("apt-get", "-y", "-q", "--no-install-recommends", *args, wait=wait)
    return (result.returncode, result.stdout + result.stderr) if wait else result


def copy_in(package):
    """Copies a file into the system (its /tmp is a file system of its own)."""
    shutil.copy(package, host("/var/tmp"))
    return "/var/tmp/" + Path(package).name


def main_pid():
    return output("systemctl", "show", "-p", "MainPID", "--value", SERVICE)


def service_user():
    """The account the service's process runs as."""
    status = output("cat", f"/proc/{main_pid()}/status")
    uid = next(line.split()[1] for line in status.splitlines() if line.startswith("Uid:"))
    return output("getent", "passwd", uid).split(":")[0]


def test_install_upgrade_remove_purge(tmp_path):
    old, new = copy_in(os.environ["GATEWAY_DEB_OLD"]), copy_in(os.environ["GATEWAY_DEB_NEW"])
    # The stand-in library's scenario and ledger, given to the service the way
    # a site adds settings to a unit: a drop-in.
    inside("install", "-d", "-m", "0777", STANDIN)
    write_scenario(host(STANDIN), {**DEBIT, **AT_MENU})
    drop_in = host(f"/etc/systemd/system/{SERVICE}.service.d/standin.conf")
    drop_in.parent.mkdir(parents=True)
    drop_in.write_text(f"[Service]\nEnvironment=CLISITEF_SIM_SCENARIO={STANDIN}/scenario.json "
                       f"CLISITEF_SIM_LEDGER={STANDIN}/ledger.jsonl\n")
    standin = SimpleNamespace(folder=host(STANDIN))

    code, text = apt("install", old)
    assert code == 0, text
    # Enabled and started by the package, as its own user, whose folders and
    # configuration are its alone; no payment library comes with it.
    assert output("systemctl", "is-enabled", SERVICE) == "enabled"
    assert output("systemctl", "is-active", SERVICE) == "active"
    assert service_user() == "quorelsitef"
    uid, gid = (int(output("getent", kind, "quorelsitef").split(":")[2])
                for kind in ("passwd", "group"))
    for folder in PRIVATE:
        stat = host(f"{APP}/{folder}").stat()
        assert (stat.st_uid, oct(stat.st_mode & 0o777)) == (uid, "0o700"), folder
    ini = host(f"{ETC}/SvcQuorelSiTef.ini").stat()
    assert (ini.st_uid, ini.st_gid, oct(ini.st_mode & 0o777)) == (0, gid, "0o640")
    assert list(host(f"{APP}/dll").iterdir()) == []

    # What the technician adds: the TLS files (the key the service's alone),
    # the library (here the stand-in), the port and the sale API's CA.
    subprocess.run([str(Path(__file__).resolve().parents[2] / "tools" / "dev-cert.sh"),
                    str(host(f"{APP}/Certificado"))], check=True, stdout=subprocess.DEVNULL)
    inside("chown", "-R", "quorelsitef:quorelsitef", f"{APP}/Certificado")
    inside("chmod", "600", f"{APP}/Certificado/server_key.pem")
    shutil.copy(Path(os.environ["GATEWAY_BUILD_DIR"]) / "sim" / "CliSiTef32I.dll",
                host(f"{APP}/dll/CliSiTef32I.dll"))
    sale_api = SaleApi(tmp_path / "sale_api")
    shutil.copy(sale_api.cert, host(f"{ETC}/api_ca.pem"))
    port = free_port()
    set_ini(host(ETC), "server", "port", str(port))
    set_ini(host(ETC), "callback", "ca_file", f"{ETC}/api_ca.pem")
    gateway = Gateway(host(APP), port)

    def restarted(since):
        wait_until(lambda: main_pid() not in ("0", since) and port_open(port), timeout=30,
                   what="the service started again")

    def confirm(session):
        return lambda m: reply(session, "confirmation") if m["type"] == "confirmation" else None

    try:
        pid = main_pid()
        inside("systemctl", "restart", SERVICE)
        restarted(pid)
        client, session = open_session(gateway, sale_api)
        texts = client.converse(payment_request(session, operation=2), confirm(session))
        assert json.loads(texts[-1])["status"] == "approved"
        client.close()

        # The gateway dies while the library holds a confirmation; systemd
        # starts it again, and it runs holding the backup, not yet confirmed.
        write_scenario(host(STANDIN), HELD, finalize_delay_ms=HOLD_MS)
        client, session = open_session(gateway, sale_api)
        client.send(payment_request(session, operation=2))
        wait_until(lambda: list(host(f"{APP}/TEF").glob("*.tef")), timeout=60, what="the backup")
        pid = main_pid()
        inside("systemctl", "kill", "-s", "KILL", SERVICE)
        client.close()
        write_scenario(host(STANDIN), {**DEBIT, **AT_MENU})
        restarted(pid)
        [backup] = host(f"{APP}/TEF").glob("*.tef")
        saved = backup.read_bytes()

        # The upgrade over it: stopped, replaced, started; configuration kept.
        pid = main_pid()
        code, text = apt("install", new)
        assert code == 0, text
        restarted(pid)
        assert output("dpkg-query", "-W", "-f=${Version}", "quorelsitef") == new.split("_")[1]
        assert f"port={port}" in host(f"{ETC}/SvcQuorelSiTef.ini").read_text()
        client, session = open_session(gateway, sale_api)
        messages = [json.loads(t) for t in client.converse(
            {"route": "/initialize", "session_uuid": session, "type": "initialize"},
            confirm(session), until=("initialize",))]
        assert [m["transaction_data"][0]["nsu_code"] for m in messages
                if m["type"] == "result"] == ["000555"]
        assert not backup.exists()

        # An upgrade while a payment waits for its client: the stop lets the
        # payment end, then the package is replaced.
        client.converse(payment_request(session, operation=0), until=("menu",))
        pid = main_pid()
        upgrade = apt("install", "--reinstall", new, wait=False)
        gateway.wait_log(WAITING, timeout=30)
        assert upgrade.poll() is None
        texts = client.converse(reply(session, "menu", response="1:Loja"), confirm(session))
        assert json.loads(texts[-1])["status"] == "approved"
        text, _ = upgrade.communicate(timeout=120)
        assert upgrade.returncode == 0, text
        restarted(pid)
        client.close()
        wait_until(lambda: [e["estado"] for e in outbox_entries(gateway)] == ["aceito"] * 3,
                   timeout=60, what="three reports accepted")
    finally:
        sale_api.close()
    # Each payment the library confirmed once, none undone; the recovered one
    # was finished by the new version without the library, and reported once.
    assert confirmations(standin) == [1, 1]
    assert [body.count('"nsu_code":"000555"') for _, _, _, body in sale_api.requests] == [0, 1, 0]

    # Remove stops the service and keeps the data and the configuration.
    code, text = apt("remove", "quorelsitef")
    assert code == 0, text
    assert output("systemctl", "is-active", SERVICE) == "inactive"
    assert not host(f"{APP}/SvcQuorelSiTef").exists()
    assert list(host(f"{APP}/Log").iterdir()) and host(f"{ETC}/SvcQuorelSiTef.ini").exists()

    # Purge refuses, keeping everything, while TEF/ holds a backup or Outbox/
    # a report the sale API has not accepted; the accepted ones do not hold it.
    entry = sorted(host(f"{APP}/Outbox").glob("*.json"))[0]
    accepted = entry.read_bytes()
    for path, content, refused in [
            (backup, saved, REFUSED_BACKUP),
            # One the gateway could not read and set aside for a person.
            (host(f"{APP}/TEF/VornCliSiTef_CliSiTef_001.tef.invalido"), b"torn", REFUSED_BACKUP),
            (entry, accepted.replace(b'"aceito"', b'"confirmado"'), REFUSED_REPORT)]:
        before = path.read_bytes() if path.exists() else None
        path.write_bytes(content)
        code, text = apt("purge", "quorelsitef")
        assert code != 0 and refused in text, text
        assert path.exists() and host(f"{ETC}/SvcQuorelSiTef.ini").exists()
        if before is None:
            path.unlink()
        else:
            path.write_bytes(before)
    code, text = apt("purge", "quorelsitef")
    assert code == 0, text
    assert not host(APP).exists() and not host(ETC).exists()
    assert inside("dpkg-query", "-W", "quorelsitef").returncode != 0
