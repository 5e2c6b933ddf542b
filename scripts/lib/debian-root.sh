# shellcheck shell=bash disable=SC2154 # `log` is the caller's
# Throw-away Debian 12 roots, for scripts that test in a fresh system
# (check-fresh.sh, test-deb.sh). Sourced, not run; the caller runs as root,
# with `set -euo pipefail`, and sets `log` to the file command output goes to.
#
#   root_bootstrap ROOT       debootstrap's minbase from this machine's mirror,
#                             with its apt sources and keys, name resolution
#                             and trusted certificates
#   root_mount ROOT           binds ROOT onto itself, /proc, /sys (with its control
#                             groups), /dev into it
#   root_release ROOT         ends what runs inside ROOT and unmounts it all;
#                             false when a mount could not be released

root_mounts=()

# The mirror that serves this machine's bookworm packages, whichever format
# its sources are written in.
root_mirror() {
  apt-get indextargets --format '$(REPO_URI)' 'Created-By: Packages' 'Release: bookworm' |
    head -n 1
}

root_bootstrap() {
  local root=$1 mirror file key
  if ! command -v debootstrap >/dev/null; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >>"$log" 2>&1
    apt-get install -y -qq --no-install-recommends debootstrap >>"$log" 2>&1
  fi
  mirror=$(root_mirror)
  if [[ -z $mirror ]]; then
    echo "no bookworm source in this machine's apt sources" >&2
    return 2
  fi
  # It becomes "/" inside: every user there (apt's _apt among them) must reach it.
  chmod 755 "$root"
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
}

root_bind() {
  mkdir -p "$2$1"
  mount --bind "$1" "$2$1"
  root_mounts+=("$2$1")
}

root_mount() {
  local root=$1
  # "/" inside is a mount point of its own, as on a real machine: the tests'
  # private mount namespaces (unshare -m) change its propagation.
  mount --bind "$root" "$root"
  root_mounts+=("$root")
  mkdir -p "$root/proc" "$root/sys"
  mount -t proc proc "$root/proc"
  root_mounts+=("$root/proc")
  root_bind /sys "$root"
  # The control groups are mounts of their own under /sys; systemd (booted in
  # a container by the package test) cannot start without them.
  local cgroup
  while read -r cgroup; do
    root_bind "$cgroup" "$root"
  done < <(findmnt -R -l -n -o TARGET /sys/fs/cgroup)
  root_bind /dev "$root"
  root_bind /dev/pts "$root"
  root_bind /dev/shm "$root"
}

root_release() {
  local root=$1 pid i released=0
  # Whatever runs inside the root would keep its mounts busy.
  for pid in /proc/[0-9]*; do
    if [[ $(readlink "$pid/root" 2>/dev/null) == "$root" ]]; then
      kill -9 "${pid#/proc/}" 2>/dev/null || true
    fi
  done
  for ((i = ${#root_mounts[@]} - 1; i >= 0; i--)); do
    umount "${root_mounts[i]}" 2>/dev/null || umount -l "${root_mounts[i]}" || released=1
  done
  root_mounts=()
  return "$released"
}
