#!/usr/bin/env bash
# Installs the Debian packages the gateway needs to build, run and be tested,
# when any of them is missing. Safe to run again: it does nothing then.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format
  libssl-dev openssl zlib1g-dev libcurl4-openssl-dev nlohmann-json3-dev libfltk1.3-dev
  libgtest-dev libgmock-dev
  python3 python3-pytest python3-websockets
  xvfb xauth
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
