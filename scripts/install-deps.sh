#!/usr/bin/env bash
# Installs the Debian packages the gateway needs to build, run and be tested,
# when any of them is missing. Safe to run again: it does nothing then.
set -euo pipefail

# One list for everything: the build, the tests, the benchmarks and the fuzzing.
packages=(
  build-essential cmake pkg-config clang-format ccache
  libssl-dev openssl zlib1g-dev libcurl4-openssl-dev nlohmann-json3-dev
  # FLTK's CMake package names fluid and the GL headers, which libfltk1.3-dev
  # only recommends.
  libfltk1.3-dev fluid libgl-dev libglu1-mesa-dev
  libgtest-dev libgmock-dev
  python3 python3-pytest python3-websockets
  xvfb xauth
  chromium zbar-tools
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
  wine wine64 nsis debootstrap dpkg-dev systemd-container
  # ps, which the package test uses to find its container's init.
  procps
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# The demo page's browser test runs Playwright on Node.js; a machine may carry
# Node.js from another source, so the Debian packages come in only when the
# commands are missing.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
