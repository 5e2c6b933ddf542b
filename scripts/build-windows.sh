#!/usr/bin/env bash
# Builds the Windows gateway with mingw-w64 and lays out its app folder:
#
#   scripts/build-windows.sh ARCH DIR      ARCH: x86_64 or i686
#
# DIR receives SvcQuorelSiTef.exe, SvcQuorelSiTef.ini (an existing one is
# kept), dll\CliSiTef32I.dll (the stand-in library), SumatraPDF.exe with the
# libmupdf.dll marker, and the folders Certificado\, Log\ and TEF\.
# Only what is missing is built: OpenSSL and libcurl come from their cache
# (scripts/build-windows-deps.sh), the build folder (build-win-ARCH, or
# $GATEWAY_WINDOWS_BUILD_DIR) is reused.
set -euo pipefail

arch=${1:?usage: build-windows.sh x86_64|i686 DIR}
dir=${2:?usage: build-windows.sh x86_64|i686 DIR}
case "$arch" in
  x86_64 | i686) ;;
  *) echo "unknown architecture: $arch (x86_64 or i686)" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=${GATEWAY_WINDOWS_BUILD_DIR:-$root/build-win-$arch}

deps=$("$root/scripts/build-windows-deps.sh" "$arch")
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGATEWAY_WINDOWS_DEPS="$deps" >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target app_folder
cmake --install "$build" --prefix "$dir" --strip >/dev/null
echo "$dir"
