"""Folders of a gateway's app folder that cannot be written: read-only, or on
a full file system. Without root a read-only folder is made with its
permissions; with root (which permissions do not stop) and for a full file
system the gateway runs in a mount namespace of its own. In such a namespace
a running gateway's file can also be pinned: kept writable, but neither
deleted nor replaced."""

import os
import subprocess

import pytest

from wine import linux_only

# Shell scripts run in the gateway's own mount namespace before it starts:
# "$1" is the folder, the rest is the gateway's command line.
READ_ONLY = 'mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && shift && exec "$@"'
PRIVATE = 'shift && exec "$@"'
FULL = ('mount -t tmpfs -o size=64k tmpfs "$1" && { cat /dev/zero > "$1/fill" 2>/dev/null; '
        'shift; exec "$@"; }')


# Under Wine the files are opened by the Wine server, which runs outside the
# gateway's namespace and as root is not stopped by permissions.
folder_faults_need_linux = linux_only(
    "a mount namespace for the folder fault (Wine's server opens the files outside it)")


def namespace_launcher(script, folder):
    """The command that runs the gateway in a mount namespace of its own
    where `script` has prepared `folder`; skips when this machine cannot
    give the test one (no privilege to mount, no user namespaces)."""
    unshare = ["unshare", "-m"] if os.geteuid() == 0 else ["unshare", "-r", "-m"]
    probe = subprocess.run([*unshare, "sh", "-c", script, "sh", str(folder), "true"],
                           capture_output=True, text=True)
    if probe.returncode != 0:
        pytest.skip(f"cannot mount in a private namespace here: {probe.stderr.strip()}")
    return [*unshare, "sh", "-c", script, "sh", str(folder)]


def make_read_only(gateway, folder):
    if os.geteuid() != 0:
        # Permissions stop an ordinary user; no mount is needed.
        folder.chmod(0o555)
        return
    gateway.launcher = namespace_launcher(READ_ONLY, folder)


def make_full(gateway, folder):
    gateway.launcher = namespace_launcher(FULL, folder)


def private_mounts(gateway):
    """Runs the gateway in a mount namespace of its own, where `pin` can
    change what it sees while it runs."""
    gateway.launcher = namespace_launcher(PRIVATE, gateway.folder)


def pin(gateway, path):
    """Binds the file onto itself in the running gateway's namespace: the
    gateway can still write it, but deleting or replacing a mount point
    fails. The path is taken in the gateway's own root (-r): entering a
    mount namespace would otherwise leave a test running in a chroot at the
    namespace's real root, where the path does not exist."""
    enter = ["nsenter", "-t", str(gateway.proc.pid), "-m", "-r"]
    if os.geteuid() != 0:
        enter += ["-U", "--preserve-credentials"]
    subprocess.run([*enter, "mount", "--bind", str(path), str(path)], check=True,
                   capture_output=True)
