"""Registering the service: a systemd unit in an overridable folder on Linux;
on Windows (under Wine) a service of the Service Control Manager that starts,
completes a payment, stops and is removed."""

import json
import os
import shutil
import subprocess

import pytest

from api_client import set_ini
from conftest import port_open, wait_until
from payment_support import SaleApi, approval_steps, open_session, payment_request
from wine import WINDOWS_APP, linux_only, processes_in, windows_path

SERVICE = "QuorelSiTefService"


@linux_only("systemd unit files")
def test_install_writes_and_uninstall_removes_the_unit(installed, tmp_path):
    env = {**os.environ, "GATEWAY_SYSTEMD_UNIT_DIR": str(tmp_path),
           "GATEWAY_SERVICE_USER": "quorelsitef"}
    exe = str(installed / "SvcQuorelSiTef")
    subprocess.run([exe, "--install"], check=True, env=env, capture_output=True)
    unit = (tmp_path / "QuorelSiTefService.service").read_text()
    assert ("Description=Serviço guardião do Quorel DataSnap Servidor- "
            "Mantenha este serviço iniciado.\n") in unit
    assert f'ExecStart="{exe}" --service\n' in unit
    assert f"WorkingDirectory={installed}\n" in unit
    assert "WantedBy=multi-user.target" in unit
    # The account, which may still listen on port 443.
    assert "User=quorelsitef\nAmbientCapabilities=CAP_NET_BIND_SERVICE\n" in unit
    # systemd lets a stop wait for a running payment (300 s by default) and more.
    assert "TimeoutStopSec=330\n" in unit
    # systemd itself accepts the unit (checked offline where systemd is installed).
    if shutil.which("systemd-analyze"):
        verify = subprocess.run(
            ["systemd-analyze", "verify", str(tmp_path / "QuorelSiTefService.service")],
            capture_output=True, text=True)
        assert verify.returncode == 0, verify.stderr

    subprocess.run([exe, "--uninstall"], check=True, env=env, capture_output=True)
    assert not (tmp_path / "QuorelSiTefService.service").exists()
    again = subprocess.run([exe, "--uninstall"], env=env, capture_output=True)
    assert again.returncode != 0


def test_unknown_argument_is_refused(make_gateway):
    gateway = make_gateway(start=False)
    result = gateway.run("--bogus")
    assert result.returncode == 2
    assert b"--service" in result.stderr


@pytest.mark.skipif(WINDOWS_APP is None, reason="the Windows service manager (Wine)")
def test_windows_service_completes_a_payment(make_gateway, wine, tmp_path):
    """The service started by the service manager gets Wine's environment,
    not the test's: the stand-in library reads its scenario beside itself and
    writes its ledger there, and the INI names files by their Z: paths (the
    service's working folder is the system's)."""
    sale_api = SaleApi(tmp_path / "sale_api")
    gateway = make_gateway(start=False, api=True)
    library = gateway.folder / "dll"
    steps = [{"cmd": 23}] + approval_steps("debit")
    (library / "CliSiTefSim.json").write_text(json.dumps({"functions": {"2": {"steps": steps}}}))
    set_ini(gateway.folder, "callback", "ca_file", windows_path(sale_api.cert))
    try:
        installed = gateway.run("/install")
        assert installed.returncode == 0, installed.stderr
        started = wine.run("net", "start", SERVICE, check=False)
        assert started.returncode == 0, started.stdout + started.stderr
        wait_until(lambda: port_open(gateway.port), timeout=30, what="the service's port")

        client, session = open_session(gateway, sale_api)
        texts = client.converse(payment_request(session, operation=2))
        client.close()
        assert json.loads(texts[-1])["status"] == "approved"
        assert len(sale_api.requests) == 1
        ledger = [json.loads(line) for line in
                  (library / "CliSiTefSim.ledger").read_text().splitlines()]
        assert [r["confirm"] for r in ledger
                if r["fn"] == "FinalizaTransacaoSiTefInterativo"] == [1]

        stopped = wine.run("net", "stop", SERVICE, check=False)
        assert stopped.returncode == 0, stopped.stdout + stopped.stderr
        wait_until(lambda: not processes_in(gateway.folder), timeout=30,
                   what="the service's process to end")
        assert not port_open(gateway.port)
    finally:
        removed = gateway.run("/uninstall")
        sale_api.close()
    assert removed.returncode == 0, removed.stderr
    assert wine.run("net", "start", SERVICE, check=False).returncode != 0
    lines = [line.split("] ", 1)[1] for line in gateway.log_text().splitlines()
             if "servi" in line]
    assert lines == ["Iniciando servidor socket.", "O serviço foi inciado.",
                     "O serviço foi parado."]
