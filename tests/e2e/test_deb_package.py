"""The Debian package in a throw-away Debian 12 root (scripts/test-deb.sh makes
the root and both packages): installed with apt, a payment over TLS, an
upgrade over a running gateway that holds the backup of an unconfirmed
payment, that payment confirmed and reported once by the upgraded gateway, a
payment after, then remove and purge.

No systemd runs in the root: the maintainer scripts enable the unit and leave
starting and stopping to systemd, so the test plays systemd's part. It starts
the unit's ExecStart as the unit's User= in its WorkingDirectory= and stops it
with SIGTERM, as systemd does around an upgrade."""

import json
import os
import shlex
import shutil
import subprocess
from pathlib import Path

import pytest

from conftest import Gateway, free_port, port_open, wait_until
from api_client import set_ini
from payment_support import (SaleApi, approval_steps, confirmations, open_session,
                             outbox_entries, payment_request, reply, write_scenario)

ROOT = os.environ.get("GATEWAY_DEB_ROOT")
pytestmark = pytest.mark.skipif(ROOT is None, reason="run by scripts/test-deb.sh, in a Debian 12 root")

APP = "/opt/quorelsitef"
UNIT = "/lib/systemd/system/QuorelSiTefService.service"
ETC = "/etc/quorelsitef"
PRIVATE = ("TEF", "Log", "Outbox", "Certificado")
REFUSED = ("Remo\u00e7\u00e3o completa recusada: a pasta /opt/quorelsitef/TEF guarda c\u00f3pia de "
           "transa\u00e7\u00e3o TEF ainda n\u00e3o confirmada.")
# How long the stand-in library holds a confirmation the test kills the gateway in.
HOLD_MS = 120000


def host(path):
    """Where a path of the root is, seen from here."""
    return Path(ROOT) / path.lstrip("/")


def chroot(*args):
    return subprocess.run(["chroot", ROOT, "/usr/bin/env", "-i", "LANG=C.UTF-8",
                           "DEBIAN_FRONTEND=noninteractive",
                           "PATH=/usr/sbin:/usr/bin:/sbin:/bin", *args],
                          capture_output=True, text=True)


def apt(*args):
    result = chroot("apt-get", "-y", "-q", *args)
    return result.returncode, result.stdout + result.stderr


def install(package):
    shutil.copy(package, host("/tmp"))
    code, output = apt("install", "/tmp/" + Path(package).name)
    assert code == 0, output


def unit_settings():
    return dict(line.split("=", 1) for line in host(UNIT).read_text().splitlines() if "=" in line)


class UnitGateway(Gateway):
    """The gateway as the installed unit runs it, in the root."""

    def __init__(self, port, scenario, ledger_path):
        super().__init__(host(APP), port)
        self.scenario = scenario
        self.ledger_path = ledger_path

    def start(self, wait_listening=True):
        unit = unit_settings()
        command = ["chroot", f"--userspec={unit['User']}:{unit['User']}", ROOT,
                   "/usr/bin/env", "-i", "-C", shlex.split(unit["WorkingDirectory"])[0],
                   f"CLISITEF_SIM_SCENARIO={self.scenario}",
                   f"CLISITEF_SIM_LEDGER={self.ledger_path}", *shlex.split(unit["ExecStart"])]
        with open(host("/tmp/gateway-stderr.txt"), "ab") as err:
            self.proc = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=err)
        if wait_listening:
            wait_until(lambda: port_open(self.port), what=f"port {self.port}")


def accepted(gateway, count):
    wait_until(lambda: [e["estado"] for e in outbox_entries(gateway)] == ["aceito"] * count,
               timeout=60, what=f"{count} reports accepted")


def test_install_upgrade_remove_purge(tmp_path):
    old, new = os.environ["GATEWAY_DEB_OLD"], os.environ["GATEWAY_DEB_NEW"]
    install(old)
    # The root's users are not this machine's: its own passwd names the uid.
    uid = int(chroot("getent", "passwd", "quorelsitef").stdout.split(":")[2])
    # The service's folders are its own alone; no payment library comes with it.
    for folder in PRIVATE:
        stat = host(f"{APP}/{folder}").stat()
        assert (stat.st_uid, oct(stat.st_mode & 0o777)) == (uid, "0o700"), folder
    assert list(host(f"{APP}/dll").iterdir()) == []
    unit = unit_settings()
    assert (unit["User"], unit["ExecStart"], unit["WorkingDirectory"]) == \
        ("quorelsitef", f'"{APP}/SvcQuorelSiTef" --service', f'"{APP}"')
    assert int(unit["TimeoutStopSec"]) > 300
    assert host("/etc/systemd/system/multi-user.target.wants/QuorelSiTefService.service").is_symlink()
    assert chroot("dpkg-query", "-W", "-f=${Conffiles}", "quorelsitef").stdout.split()[0] == \
        f"{ETC}/SvcQuorelSiTef.ini"

    # What the technician adds: the TLS files (the key the service's alone),
    # the library (here the stand-in), the port and the sale API's CA.
    subprocess.run([str(Path(__file__).resolve().parents[2] / "tools" / "dev-cert.sh"),
                    str(host(f"{APP}/Certificado"))], check=True, stdout=subprocess.DEVNULL)
    chroot("chown", "-R", "quorelsitef:quorelsitef", f"{APP}/Certificado")
    chroot("chmod", "600", f"{APP}/Certificado/server_key.pem")
    shutil.copy(Path(os.environ["GATEWAY_BUILD_DIR"]) / "sim" / "CliSiTef32I.dll",
                host(f"{APP}/dll/CliSiTef32I.dll"))
    sale_api = SaleApi(tmp_path / "sale_api")
    shutil.copy(sale_api.cert, host(f"{ETC}/api_ca.pem"))
    port = free_port()
    set_ini(host(ETC), "server", "port", str(port))
    set_ini(host(ETC), "callback", "ca_file", f"{ETC}/api_ca.pem")
    # The stand-in's scenario and ledger, where the service user reaches them.
    chroot("install", "-d", "-o", "quorelsitef", "-m", "0700", "/var/lib/standin")
    scenario_dir = host("/var/lib/standin")
    debit = {"2": {"steps": [{"cmd": 23}] + approval_steps("debit")}}
    held = {"2": {"steps": [{"cmd": 23}] + [dict(s, text="000555") if s.get("type") in (133, 134)
                                             else s for s in approval_steps("debit")]}}
    write_scenario(scenario_dir, debit)
    chroot("chown", "quorelsitef", "/var/lib/standin/scenario.json")
    chroot("install", "-o", "quorelsitef", "-m", "0600", "/dev/null", f"{APP}/ledger.jsonl")
    gateway = UnitGateway(port, "/var/lib/standin/scenario.json", f"{APP}/ledger.jsonl")

    def confirm(session):
        return lambda m: reply(session, "confirmation") if m["type"] == "confirmation" else None

    try:
        gateway.start()
        client, session = open_session(gateway, sale_api)
        texts = client.converse(payment_request(session, operation=2), confirm(session))
        assert json.loads(texts[-1])["status"] == "approved"
        client.close()

        # A payment whose confirmation the library holds; the gateway dies in it
        # and is started again: it runs holding the backup, not yet confirmed.
        write_scenario(scenario_dir, held, finalize_delay_ms=HOLD_MS)
        client, session = open_session(gateway, sale_api)
        client.send(payment_request(session, operation=2))
        wait_until(lambda: list(host(f"{APP}/TEF").glob("*.tef")), timeout=60, what="the backup")
        gateway.kill()
        client.close()
        [backup] = host(f"{APP}/TEF").glob("*.tef")
        saved = backup.read_bytes()
        write_scenario(scenario_dir, debit)
        gateway.start()

        # The upgrade: the service stopped as systemd stops it, the package
        # replaced, the service started again.
        assert gateway.stop() == 0
        install(new)
        assert chroot("dpkg-query", "-W", "-f=${Version}", "quorelsitef").stdout == \
            Path(new).name.split("_")[1]
        assert f"port={port}" in host(f"{ETC}/SvcQuorelSiTef.ini").read_text()
        assert backup.exists()
        gateway.start()
        client, session = open_session(gateway, sale_api)
        messages = [json.loads(t) for t in client.converse(
            {"route": "/initialize", "session_uuid": session, "type": "initialize"},
            confirm(session), until=("initialize",))]
        recovered = [m["transaction_data"][0]["nsu_code"] for m in messages if m["type"] == "result"]
        assert recovered == ["000555"]
        texts = client.converse(payment_request(session, operation=2), confirm(session))
        assert json.loads(texts[-1])["status"] == "approved"
        client.close()
        accepted(gateway, 3)
        assert gateway.stop() == 0
    finally:
        gateway.stop()
        sale_api.close()
    # Each payment confirmed once, none undone; the recovered one reported once.
    assert confirmations(gateway) == [1, 1]
    assert [body.count('"nsu_code":"000555"') for _, _, _, body in sale_api.requests] == [0, 1, 0]
    assert not list(host(f"{APP}/TEF").iterdir())

    # Remove keeps the data and the configuration.
    code, output = apt("remove", "quorelsitef")
    assert code == 0, output
    assert not host(f"{APP}/SvcQuorelSiTef").exists() and not host(UNIT).exists()
    assert list(host(f"{APP}/Log").iterdir()) and host(f"{ETC}/SvcQuorelSiTef.ini").exists()

    # Purge refuses while TEF/ holds a backup, and goes through once it is gone.
    backup.write_bytes(saved)
    code, output = apt("purge", "quorelsitef")
    assert code != 0 and REFUSED in output, output
    assert backup.exists() and host(f"{ETC}/SvcQuorelSiTef.ini").exists()
    backup.unlink()
    code, output = apt("purge", "quorelsitef")
    assert code == 0, output
    assert not host(APP).exists() and not host(ETC).exists()
    assert chroot("dpkg-query", "-W", "quorelsitef").returncode != 0
