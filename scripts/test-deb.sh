#!/usr/bin/env bash
# Tests the Debian package in a throw-away Debian 12 system, as root: install,
# payments over TLS, upgrade over a running gateway that holds a backup, an
# upgrade during a payment, remove and purge (tests/e2e/test_deb_package.py).
#
#   scripts/test-deb.sh
#
# Builds the package twice (this tree's version, and the same tree as a newer
# version for the upgrade). The system is debootstrap's minbase with systemd
# and the package's runtime dependencies, booted with systemd-nspawn (on the
# machine's network, so the test reaches the gateway and the gateway the
# test's sale API on 127.0.0.1); the test runs its commands in it through
# nsenter. Making the root takes minutes, so it is kept as a tarball in
# /var/cache/quorelsitef-deb-root/ (QUORELSITEF_DEB_ROOT_CACHE moves it), named
# after what goes into it: the bootstrap script, the mirror and the packages.
# Each run unpacks a fresh copy under /var/tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$PWD

if ((EUID != 0)); then
  echo "test-deb.sh runs as root (debootstrap, systemd-nspawn)" >&2
  exit 2
fi

cache=${QUORELSITEF_DEB_ROOT_CACHE:-/var/cache/quorelsitef-deb-root}
work=$(mktemp -d /var/tmp/quorelsitef-deb.XXXXXX)
log=$work/root.log
root=$work/root
source scripts/lib/debian-root.sh

container=
finish() {
  local status=$?
  if ((status != 0)) && [[ -s $log ]]; then
    tail -n 20 "$log"
  fi
  if [[ -n $container ]]; then
    # SIGTERM asks systemd-nspawn to shut the system down.
    kill -TERM "$container" 2>/dev/null || true
    timeout 60 tail --pid="$container" -f /dev/null || kill -KILL "$container" 2>/dev/null || true
  fi
  if root_release "$root"; then
    rm -rf --one-file-system "$work"
  else
    echo "test-deb: a mount could not be released; left in $work" >&2
  fi
  return "$status"
}
trap finish EXIT

version=$(sed -n 's/^project(QuorelSiTef VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
old=$(scripts/package.sh deb "$work/old")
new=$(QUORELSITEF_PACKAGE_VERSION=$version+1 scripts/package.sh deb "$work/new")

# systemd to boot, and the dependencies' package names (the first of each set
# of alternatives).
packages="systemd systemd-sysv dbus $(dpkg-deb -f "$old" Depends | tr ',' '\n' |
  sed -E 's/\|.*//; s/\(.*\)//; s/ //g' | sort -u | tr '\n' ' ')"
key=$( (cat scripts/lib/debian-root.sh; root_mirror; echo "$packages") | sha256sum | cut -c1-16)
base=$cache/$key.tar

mkdir -p "$root"
if [[ ! -f $base ]]; then
  echo "test-deb: bootstrapping the Debian 12 root ($key), a few minutes"
  root_bootstrap "$root"
  chroot "$root" apt-get update -qq >>"$log" 2>&1
  # shellcheck disable=SC2086 # one word per package
  chroot "$root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends $packages >>"$log" 2>&1
  chroot "$root" apt-get clean
  # One root is kept: the one of the last inputs.
  rm -f "$cache"/*.tar
  mkdir -p "$cache"
  tar -C "$root" --numeric-owner -cpf "$base.part" .
  mv "$base.part" "$base"
else
  tar -C "$root" --numeric-owner -xpf "$base"
fi

systemd-nspawn --boot --quiet --register=no --keep-unit -D "$root" \
  --machine=quorelsitef-deb-test >"$work/console.log" 2>&1 &
container=$!
# The container's init: the child of systemd-nspawn that is process 1 of its
# own namespace. For a moment nspawn's first child is the one that sets the
# container up, in the machine's process namespace; it is not the init.
container_init() {
  local pid
  for pid in $(ps -o pid= --ppid "$container"); do
    if awk '/^NSpid:/ { exit !(NF > 2 && $NF == 1) }' "/proc/$pid/status" 2>/dev/null; then
      echo "$pid"
      return
    fi
  done
}
# Until systemd answers, systemctl says "offline" at once. nsenter takes the
# init's root as well as its namespaces: when this script itself runs in a
# chroot, the container's mount namespace is rooted at the machine's root.
leader=
state=
for _ in $(seq 120); do
  leader=$(container_init)
  if [[ -n $leader ]]; then
    state=$(timeout 60 nsenter --target "$leader" --all --root --wd \
      systemctl is-system-running --wait 2>/dev/null || true)
    [[ $state == running || $state == degraded ]] && break
  fi
  sleep 1
done
if [[ $state != running && $state != degraded ]]; then
  echo "test-deb: the container did not boot" >&2
  tail -n 20 "$work/console.log" >&2
  exit 1
fi

GATEWAY_DEB_ROOT=$root GATEWAY_DEB_INIT=$leader GATEWAY_DEB_OLD=$old GATEWAY_DEB_NEW=$new \
  GATEWAY_BUILD_DIR=${QUORELSITEF_BUILD_DIR:-$checkout/build} \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e/test_deb_package.py
