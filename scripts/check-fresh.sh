#!/usr/bin/env bash
# Runs the README's test command in a freshly bootstrapped Debian 12 root, as
# root: the proof that the project's own scripts install everything the build
# and the tests need, with nothing installed by hand.
#
#   scripts/check-fresh.sh [--keep] [--log FILE] [--dir PARENT] [-- COMMAND...]
#
#   --keep        keep the root afterwards (its path is printed)
#   --log FILE    where the whole run is written (default PARENT/check-fresh-<time>.log)
#   --dir PARENT  folder the root is made in (default /var/tmp; it needs a few GB)
#   COMMAND       run in the checkout inside the root instead of scripts/test.sh
#
# The root gets a minimal Debian 12 (debootstrap's minbase, from the mirror
# this machine's apt sources name), this machine's apt sources, name
# resolution (/etc/hosts, /etc/resolv.conf), the certificates this machine
# trusts (for Node.js, which reaches the npm registry through them) and a
# clone of the committed HEAD. The root is bound onto itself, /proc, /sys and
# /dev are bound in, and all are unmounted on exit, even on failure. Prints
# the last lines of the run and exits with the command's status.
set -euo pipefail

keep=0
parent=/var/tmp
log=
while (($#)); do
  case $1 in
    --keep) keep=1 ;;
    --log) log=${2:?--log needs a file}; shift ;;
    --dir) parent=${2:?--dir needs a folder}; shift ;;
    --) shift; break ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done
command_line=${*:-scripts/test.sh}

if ((EUID != 0)); then
  echo "check-fresh.sh runs as root (debootstrap, mount, chroot)" >&2
  exit 2
fi

checkout=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
head=$(git -C "$checkout" rev-parse HEAD)
stamp=$(date -u +%Y%m%dT%H%M%SZ)
log=${log:-$parent/check-fresh-$stamp.log}
: >"$log"

say() { echo "check-fresh: $*" | tee -a "$log"; }

source "$checkout/scripts/lib/debian-root.sh"

root=$(mktemp -d "$parent/check-fresh-root.XXXXXX")
printed=0

release() {
  local status=$?
  if ((!printed)); then
    tail -n 40 "$log"
  fi
  local unmounted=1
  root_release "$root" || unmounted=0
  if ((keep)); then
    say "root kept in $root"
  elif ((unmounted)); then
    rm -rf --one-file-system "$root"
  else
    say "a mount could not be released; root left in $root"
  fi
  return "$status"
}
trap release EXIT

say "log: $log"
say "bootstrapping Debian 12 from $(root_mirror) into $root"
started=$SECONDS
root_bootstrap "$root"

git clone --quiet --no-hardlinks "$checkout" "$root/root/QuorelSiTef" >>"$log" 2>&1
git -C "$root/root/QuorelSiTef" checkout --quiet --detach "$head"

root_mount "$root"

say "running '$command_line' at ${head:0:12} (bootstrap took $((SECONDS - started)) s)"
started=$SECONDS
status=0
chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  NODE_EXTRA_CA_CERTS=/usr/local/share/check-fresh/trusted.pem \
  /bin/bash -c "cd /root/QuorelSiTef && $command_line" >>"$log" 2>&1 || status=$?

tail -n 40 "$log"
printed=1
say "'$command_line' exited with status $status after $((SECONDS - started)) s; whole run in $log"
exit "$status"
