"""Registering the service: a systemd unit in an overridable folder."""

import os
import subprocess


def test_install_writes_and_uninstall_removes_the_unit(installed, tmp_path):
    env = {**os.environ, "GATEWAY_SYSTEMD_UNIT_DIR": str(tmp_path)}
    exe = str(installed / "SvcQuorelSiTef")
    subprocess.run([exe, "--install"], check=True, env=env, capture_output=True)
    unit = (tmp_path / "QuorelSiTefService.service").read_text()
    assert ("Description=Serviço guardião do Quorel DataSnap Servidor- "
            "Mantenha este serviço iniciado.\n") in unit
    assert f'ExecStart="{exe}" --service\n' in unit
    assert "WantedBy=multi-user.target" in unit

    subprocess.run([exe, "--uninstall"], check=True, env=env, capture_output=True)
    assert not (tmp_path / "QuorelSiTefService.service").exists()
    again = subprocess.run([exe, "--uninstall"], env=env, capture_output=True)
    assert again.returncode != 0


def test_unknown_argument_is_refused(installed):
    result = subprocess.run([str(installed / "SvcQuorelSiTef"), "--bogus"], capture_output=True)
    assert result.returncode == 2
    assert b"--service" in result.stderr
