#!/usr/bin/env bash
# Builds the installers, building what is missing first.
#
#   scripts/package.sh deb OUTDIR       quorelsitef_<version>_amd64.deb
#   scripts/package.sh windows OUTDIR   both Windows installers
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-}
out=${2:-}
if [[ -z $out ]]; then
  echo "usage: scripts/package.sh deb|windows OUTDIR" >&2
  exit 2
fi
case $kind in
  deb) exec packaging/deb/build.sh "$out" ;;
  windows) exec packaging/windows/build.sh "$out" ;;
  *)
    echo "usage: scripts/package.sh deb|windows OUTDIR" >&2
    exit 2
    ;;
esac
