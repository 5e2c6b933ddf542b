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

if ! command -v debootstrap >/dev/null; then
  say "installing debootstrap"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >>"$log" 2>&1
  apt-get install -y -qq --no-install-recommends debootstrap >>"$log" 2>&1
fi

# The mirror that serves this machine's bookworm packages, whichever format
# its sources are written in.
mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Created-By: Packages' 'Release: bookworm' |
  head -n 1)
if [[ -z $mirror ]]; then
  echo "no bookworm source in this machine's apt sources" >&2
  exit 2
fi

root=$(mktemp -d "$parent/check-fresh-root.XXXXXX")
# It becomes "/" inside: every user there (apt's _apt among them) must reach it.
chmod 755 "$root"
mounts=()
printed=0

release_root() {
  local status=$?
  local pid
  if ((!printed)); then
    tail -n 40 "$log"
  fi
  # Whatever the command left running inside the root would keep its mounts busy.
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    if [[ $(readlink "/proc/$pid/root" 2>/dev/null) == "$root" ]]; then
      kill -9 "$pid" 2>/dev/null || true
    fi
  done
  local i unmounted=1
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || unmounted=0
  done
  if ((keep)); then
    say "root kept in $root"
  elif ((unmounted)); then
    rm -rf --one-file-system "$root"
  else
    say "a mount could not be released; root left in $root"
  fi
  return "$status"
}
trap release_root EXIT

bind() {
  mkdir -p "$root$1"
  mount --bind "$1" "$root$1"
  mounts+=("$root$1")
}

say "log: $log"
say "bootstrapping Debian 12 from $mirror into $root"
started=$SECONDS
debootstrap --variant=minbase bookworm "$root" "$mirror" >>"$log" 2>&1

# The same apt sources as this machine, with the keys they name.
rm -f "$root/etc/apt/sources.list"
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [[ -f $file ]] && cp "$file" "$root$file"
done
for key in $(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
  /etc/apt/sources.list.d/*.sources 2>/dev/null |
  grep -oiE '(signed-by[=:] *)/[^] ]+' | sed -E 's/^[^/]+//' | sort -u); do
  if [[ -f $key && ! -e $root$key ]]; then
    mkdir -p "$(dirname "$root$key")"
    cp "$key" "$root$key"
  fi
done

cp -L /etc/hosts /etc/resolv.conf "$root/etc/"
mkdir -p "$root/usr/local/share/check-fresh"
cp -L /etc/ssl/certs/ca-certificates.crt "$root/usr/local/share/check-fresh/trusted.pem"

git clone --quiet --no-hardlinks "$checkout" "$root/root/QuorelSiTef" >>"$log" 2>&1
git -C "$root/root/QuorelSiTef" checkout --quiet --detach "$head"

# "/" inside is a mount point of its own, as on a real machine: the tests'
# private mount namespaces (unshare -m) change its propagation.
mount --bind "$root" "$root"
mounts+=("$root")
mkdir -p "$root/proc" "$root/sys"
mount -t proc proc "$root/proc"
mounts+=("$root/proc")
bind /sys
bind /dev
bind /dev/pts
bind /dev/shm

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
