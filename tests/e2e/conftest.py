"""Fixtures that run the installed gateway in a temporary app folder.

The build to test is named by GATEWAY_BUILD_DIR (CTest sets it). The build is
installed once per session with `cmake --install`, a development certificate
is written into it, and each gateway instance runs from its own copy of that
folder, on a free port, as `SvcQuorelSiTef --service`.

With GATEWAY_WINDOWS_APP naming a Windows app folder instead, that folder is
copied and each gateway runs as `wine SvcQuorelSiTef.exe --service`.
"""

import glob
import os
import random
import shutil
import signal
import socket
import subprocess
import time
from pathlib import Path

import pytest

from payment_support import SaleApi
from wine import WINDOWS_APP, Wine, processes_in

ROOT = Path(__file__).resolve().parents[2]


def free_port():
    """A port nothing holds, below the range the system draws the local ports
    of outgoing connections from: a port of that range that was free a moment
    ago can be taken by a connection before the gateway binds it."""
    low = int(Path("/proc/sys/net/ipv4/ip_local_port_range").read_text().split()[0])
    while True:
        port = random.randrange(1024, low)
        with socket.socket() as s:
            try:
                s.bind(("", port))
            except OSError:
                continue
            return port


def port_open(port):
    """True when something listens on the port (read from /proc, so checking
    opens no connection the server would see)."""
    with open("/proc/net/tcp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            if int(fields[1].split(":")[1], 16) == port and fields[3] == "0A":
                return True
    return False


def wait_until(predicate, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")


class Gateway:
    """One running gateway process in its own app folder."""

    def __init__(self, folder, port, env=None, wine=None):
        self.folder = Path(folder)
        self.port = port
        self.wine = wine
        self.env = {**os.environ, **(env or {})}
        self.stderr_path = self.folder / "stderr.txt"
        self.proc = None
        # Arguments put before the executable's path (a command that sets up
        # the process's surroundings and then runs the rest).
        self.launcher = []

    @property
    def ca_file(self):
        return str(self.folder / "Certificado" / "ca_cert.pem")

    def command(self, *args):
        """The command line that runs the app folder's executable."""
        if self.wine is None:
            return [*self.launcher, str(self.folder / "SvcQuorelSiTef"), *args]
        return [*self.launcher, "wine", str(self.folder / "SvcQuorelSiTef.exe"), *args]

    def environ(self):
        return self.env if self.wine is None else self.wine.environ(self.env)

    def run(self, *args):
        """Runs the executable with the arguments to its end; returns the
        completed process with its output as bytes."""
        return subprocess.run(self.command(*args), cwd=self.folder, env=self.environ(),
                              stdin=subprocess.DEVNULL, capture_output=True)

    def start(self, wait_listening=True):
        with open(self.stderr_path, "ab") as err:
            self.proc = subprocess.Popen(
                self.command("--service"), cwd=self.folder, env=self.environ(),
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        if wait_listening:
            wait_until(lambda: port_open(self.port) or self.proc.poll() is not None,
                       timeout=30 if self.wine else 10, what=f"port {self.port}")
            if self.proc.poll() is not None:
                raise AssertionError(f"the gateway ended with code {self.proc.returncode} "
                                     f"before listening on port {self.port}\n"
                                     f"{self.stderr_text()}{self.log_text()[-2000:]}")

    def signal(self, sig):
        self.proc.send_signal(sig)

    def kill(self):
        """Ends the process at once. Under Wine its sockets belong to Wine's
        server, which closes them a moment later: the wait for the port keeps
        the next start from finding it still taken."""
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait()
        wait_until(lambda: not port_open(self.port), what=f"port {self.port} released")

    def stop(self):
        """Stops the gateway as its system's service stop would (SIGTERM on
        Linux; under Wine SIGINT, which reaches the program as Ctrl+C) and
        returns its exit code; under Wine no process of its folder may stay."""
        if self.proc is None or self.proc.poll() is not None:
            return self.proc.returncode if self.proc else 0
        sig = signal.SIGTERM if self.wine is None else signal.SIGINT
        self.proc.send_signal(sig)
        try:
            code = self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError(f"the gateway did not stop on {sig.name}")
        if self.wine is not None:
            wait_until(lambda: not processes_in(self.folder),
                       what="every process of the app folder to end")
        return code

    def log_text(self):
        text = ""
        for path in sorted(glob.glob(str(self.folder / "Log" / "**" / "QuorelSiTefService *.log"),
                                     recursive=True)):
            text += Path(path).read_bytes().decode("cp1252")
        return text

    def wait_log(self, fragment, timeout=10.0):
        wait_until(lambda: fragment in self.log_text(), timeout, f"log line {fragment!r}")

    def stderr_text(self):
        return self.stderr_path.read_text(errors="replace") if self.stderr_path.exists() else ""


@pytest.fixture(scope="session")
def wine(tmp_path_factory):
    """The Wine prefix and server of the run, or None for the Linux build."""
    if WINDOWS_APP is None:
        yield None
        return
    session = Wine.start(tmp_path_factory.mktemp("wine"))
    yield session
    session.stop()


@pytest.fixture(scope="session")
def installed(tmp_path_factory, wine):
    folder = tmp_path_factory.mktemp("installed")
    if wine is not None:
        shutil.rmtree(folder)
        shutil.copytree(WINDOWS_APP, folder)
    else:
        build = os.environ.get("GATEWAY_BUILD_DIR")
        if not build:
            pytest.skip("GATEWAY_BUILD_DIR names no build to test")
        subprocess.run(["cmake", "--install", build, "--prefix", str(folder)], check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run([str(ROOT / "tools" / "dev-cert.sh"), str(folder / "Certificado")], check=True,
                   stdout=subprocess.DEVNULL)
    return folder


def write_ini(folder, settings):
    """Sets [server] keys in the app folder's INI (other sections are kept)."""
    ini = Path(folder) / "SvcQuorelSiTef.ini"
    lines = ini.read_text().splitlines()
    start = lines.index("[server]")
    end = next((i for i in range(start + 1, len(lines)) if lines[i].startswith("[")), len(lines))
    section = [line for line in lines[start + 1:end]
               if line.split("=", 1)[0] not in settings]
    section += [f"{key}={value}" for key, value in settings.items()]
    ini.write_text("\n".join(lines[:start + 1] + section + lines[end:]) + "\n")


@pytest.fixture
def make_gateway(installed, wine, tmp_path):
    """Returns a function that creates (and by default starts) a gateway with
    the given [server] settings; every gateway is stopped at the end and must
    exit cleanly, with nothing on its error output (sanitizer reports).
    Messages go to the echo stand-in dispatcher unless api=True; env adds
    environment variables for the gateway process."""
    gateways = []

    def make(start=True, wait_listening=True, api=False, env=None, **settings):
        folder = tmp_path / f"app{len(gateways)}"
        shutil.copytree(installed, folder, symlinks=True)
        port = settings.pop("port", None) or free_port()
        write_ini(folder, {"port": port, **settings})
        env = {**(env or {}), "GATEWAY_ECHO_DISPATCHER": "0" if api else "1"}
        gateway = Gateway(folder, port, env, wine)
        gateways.append(gateway)
        if start:
            gateway.start(wait_listening)
        return gateway

    yield make
    for gateway in gateways:
        code = gateway.stop()
        assert code == 0, f"exit code {code}\n{gateway.stderr_text()}"
        assert "ThreadSanitizer" not in gateway.stderr_text(), gateway.stderr_text()
        assert "Sanitizer" not in gateway.stderr_text(), gateway.stderr_text()


@pytest.fixture
def gateway(make_gateway):
    return make_gateway()


@pytest.fixture
def sale_api(tmp_path):
    """An HTTPS sale API of the test's own."""
    api = SaleApi(tmp_path / "sale_api")
    yield api
    api.close()
