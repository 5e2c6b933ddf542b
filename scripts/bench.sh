#!/usr/bin/env bash
# Builds the gateway (build/) and the benchmarks' measuring client
# (build-bench/), installs the Node.js peer's package, and runs every
# benchmark against its peer, printing each figure beside its target.
#
#   scripts/bench.sh            the full run (several minutes); figures also
#                               in build-bench/results.json
#   scripts/bench.sh --smoke    every benchmark with tiny counts, well under
#                               a minute; fails only when a benchmark breaks
set -euo pipefail
cd "$(dirname "$0")/.."

smoke=()
if [[ ${1:-} == --smoke ]]; then
  smoke=(--smoke)
fi

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target app_folder
cmake -S bench -B build-bench >/dev/null
cmake --build build-bench -j2
if [[ ! -d bench/peer/node_modules/ws ]]; then
  (cd bench/peer && npm ci --no-audit --no-fund --silent)
fi

python3 bench/run_bench.py --build build --client build-bench/gateway-bench \
  --json build-bench/results.json "${smoke[@]}"
