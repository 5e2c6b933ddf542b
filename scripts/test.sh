#!/usr/bin/env bash
# Installs what is missing, builds the gateway twice (plain, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test of both
# builds through CTest, then runs the end-to-end tests on a ThreadSanitizer
# build, and finally builds the Windows gateway and runs its unit tests and
# the end-to-end tests under Wine (scripts/test-windows.sh), and, as root,
# tests the Debian package in a booted Debian 12 system (scripts/test-deb.sh).
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)

# Compiled objects are kept in ccache's folder outside the checkout, so a run
# on a machine that built the same sources before recompiles only what changed.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
# Paths are taken relative to the checkout, so a clone in another folder hits
# the same entries.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1

run_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600
}

echo "== plain build"
run_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== benchmarks, smoke run (checks they work, not their speed)"
scripts/bench.sh --smoke

echo "== fuzz targets, 20 s each"
scripts/fuzz.sh 20

echo "== sanitizer build (address, undefined)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_build build-asan -DCMAKE_BUILD_TYPE=Debug -DGATEWAY_SANITIZE=address,undefined

echo "== thread sanitizer build (end-to-end tests)"
# Only what the end-to-end tests install is built; any race report ends the
# gateway with a non-zero status, which fails the test that stops it.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DGATEWAY_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target app_folder
TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
  ctest --test-dir build-tsan -R '^e2e$' --output-on-failure --timeout 900

echo "== Debian package (install, upgrade, remove, purge in a Debian 12 root)"
# Needs root (debootstrap, mount, chroot); CI runs as root.
if ((EUID == 0)); then
  scripts/test-deb.sh
else
  echo "skipped: not root"
fi

echo "== Windows build (mingw-w64) and its tests under Wine"
scripts/test-windows.sh
