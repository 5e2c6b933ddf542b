#!/usr/bin/env bash
# Installs what is missing and builds the gateway. Starting it on the stand-in
# payment library comes with the service host.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
echo "Built. The gateway cannot be started yet: the service host is not there."
