#!/usr/bin/env bash
# Tests the Debian package in a throw-away Debian 12 root, as root: install,
# payments over TLS, upgrade over a running gateway that holds a backup,
# remove and purge (tests/e2e/test_deb_package.py, which drives the root
# through chroot).
#
#   scripts/test-deb.sh
#
# Builds the package twice (this tree's version, and the same tree as a newer
# version for the upgrade). The root is debootstrap's minbase with the
# package's runtime dependencies installed; it takes minutes to make, so it
# is kept as a tarball in /var/cache/quorelsitef-deb-root/ (QUORELSITEF_DEB_ROOT_CACHE
# moves it), named after what goes into it: the bootstrap script, the mirror
# and the dependencies. Each run unpacks a fresh copy under /var/tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$PWD

if ((EUID != 0)); then
  echo "test-deb.sh runs as root (debootstrap, mount, chroot)" >&2
  exit 2
fi

cache=${QUORELSITEF_DEB_ROOT_CACHE:-/var/cache/quorelsitef-deb-root}
work=$(mktemp -d /var/tmp/quorelsitef-deb.XXXXXX)
log=$work/root.log
root=$work/root
source scripts/lib/debian-root.sh

finish() {
  local status=$?
  if ((status != 0)) && [[ -s $log ]]; then
    tail -n 20 "$log"
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

# The dependencies' package names, the first of each set of alternatives.
depends=$(dpkg-deb -f "$old" Depends | tr ',' '\n' | sed -E 's/\|.*//; s/\(.*\)//; s/ //g' |
  sort -u | tr '\n' ' ')
key=$( (cat scripts/lib/debian-root.sh; root_mirror; echo "$depends") | sha256sum | cut -c1-16)
base=$cache/$key.tar

mkdir -p "$root"
if [[ ! -f $base ]]; then
  echo "test-deb: bootstrapping the Debian 12 root ($key), a few minutes"
  root_bootstrap "$root"
  chroot "$root" apt-get update -qq >>"$log" 2>&1
  # shellcheck disable=SC2086 # one word per package
  chroot "$root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends $depends >>"$log" 2>&1
  chroot "$root" apt-get clean
  mkdir -p "$cache"
  tar -C "$root" --numeric-owner -cpf "$base.part" .
  mv "$base.part" "$base"
else
  tar -C "$root" --numeric-owner -xpf "$base"
fi
root_mount "$root"

GATEWAY_DEB_ROOT=$root GATEWAY_DEB_OLD=$old GATEWAY_DEB_NEW=$new \
  GATEWAY_BUILD_DIR=${QUORELSITEF_BUILD_DIR:-$checkout/build} \
  python3 -m pytest -q -p no:cacheprovider tests/e2e/test_deb_package.py
