"""Running the Windows gateway under Wine.

GATEWAY_WINDOWS_APP names a Windows app folder laid out by
`scripts/build-windows.sh x86_64 DIR`; the suite then runs that gateway
through Wine instead of the Linux build. One Wine prefix serves the whole run
(the caller's WINEPREFIX, whose server the caller ends, otherwise one made
and ended here), and one persistent Wine server keeps each start to a
fraction of a second.
"""

import os
import subprocess
from pathlib import Path

import pytest

WINDOWS_APP = os.environ.get("GATEWAY_WINDOWS_APP")

# Wine's own messages stay quiet; no Mono or Gecko (nothing here needs .NET
# or an HTML engine, and Wine would otherwise offer to download them). The
# programs see a Brazilian Windows, as on a point of sale: the gateway reads
# amounts and dates in the machine's regional settings.
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=", "WINEARCH": "win64",
            "LC_ALL": "pt_BR.UTF-8"}


def linux_only(facility):
    """Marks a test that needs a facility the Windows gateway under Wine does
    not have; the reason names it."""
    return pytest.mark.skipif(WINDOWS_APP is not None,
                              reason=f"needs a Linux-only facility: {facility}")


class Wine:
    """The prefix and server one test run uses: the caller's (WINEPREFIX,
    its server already running), or one made here with its own server."""

    def __init__(self, prefix, owned):
        self.prefix = Path(prefix)
        self.owned = owned
        self.env = {**WINE_ENV, "WINEPREFIX": str(self.prefix)}

    @classmethod
    def start(cls, scratch):
        given = os.environ.get("WINEPREFIX")
        if given:
            return cls(given, owned=False)
        return cls.create(Path(scratch) / "wineprefix")

    @classmethod
    def create(cls, prefix):
        """A new prefix in the folder (which must not exist yet), with its
        own server, whatever WINEPREFIX says."""
        wine = cls(prefix, owned=True)
        wine.prefix.mkdir(parents=True)
        wine.tool("wineserver", "-p")
        wine.tool("wine", "wineboot", "--init")
        # The service manager that wineboot --init starts refuses full access
        # to a service created after it: the server starts again, and the
        # first program of its session starts the manager.
        wine.restart()
        return wine

    def restart(self):
        """Ends the server and every program of the prefix and starts the
        server again, as a reboot would: the first program of the new
        session starts the service manager, which starts the services set to
        start automatically."""
        self.tool("wineserver", "-k")
        self.tool("wineserver", "-w")
        self.tool("wineserver", "-p")
        self.tool("wine", "cmd", "/c", "exit")

    def tool(self, *command):
        """Runs a Wine command whose output nobody reads (the programs it
        leaves running would hold a pipe open)."""
        subprocess.run(command, env=self.environ(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

    def environ(self, extra=None):
        return {**os.environ, **(extra or {}), **self.env}

    def run(self, *args, check=True, extra=None):
        """Runs a Windows program (or Wine tool) to its end; returns the
        completed process with its output as bytes."""
        return subprocess.run(["wine", *map(str, args)], env=self.environ(extra), check=check,
                              stdin=subprocess.DEVNULL, capture_output=True)

    def status(self, *args):
        """Runs a Windows program to its end and returns its exit code; its
        output goes nowhere, as for a program that leaves another running
        (Wine hands that one the same output, which would keep a pipe open)."""
        return subprocess.run(["wine", *map(str, args)], env=self.environ(),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, check=False).returncode

    def processes(self, text):
        """Process ids of this prefix's programs whose command line holds the
        text (case-insensitive)."""
        mark = f"WINEPREFIX={self.prefix}".encode()
        return [pid for pid, command, environment in running()
                if mark in environment and text.lower().encode() in command.lower()]

    def stop(self):
        """Ends the server of a prefix made here (a caller's prefix keeps the
        server its caller started)."""
        if self.owned:
            self.tool("wineserver", "-k")
            self.tool("wineserver", "-w")


def windows_path(path):
    """The path as a Windows program sees it through Wine's Z: drive."""
    return "Z:" + str(path).replace("/", "\\")


def running():
    """(process id, command line, environment entries) of each process that
    can be read."""
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes()
            environment = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        yield int(entry.name), command, environment


def processes_in(folder):
    """Process ids of the programs still running from the folder (their
    command lines name it as a Linux or a Wine Z: path)."""
    names = {str(folder).encode(), windows_path(folder).encode()}
    return [pid for pid, command, _ in running()
            if any(name.lower() in command.lower() for name in names)]
