#!/usr/bin/env bash
# Builds the Windows installers:
#
#   packaging/windows/build.sh OUTDIR [ARCH...]      ARCH: i686, x86_64 (default both)
#
# writes OUTDIR/QuorelSiTef-<version>-setup.exe (32-bit gateway, the one that
# loads the library's 32-bit DLL) and OUTDIR/QuorelSiTef-<version>-x64-setup.exe
# (64-bit gateway). The version is the CMake project's, as the build
# configured it; QUORELSITEF_PACKAGE_VERSION packages the program under
# another (a test builds a newer installer of the same program that way).
# The gateway is built first where it is missing (scripts/build-windows.sh,
# into build-win-ARCH) and laid out afresh in build-win-ARCH/installer-app, so
# nothing a test or a person left in another app folder goes into the
# installer. The installers' paths are printed, one a line.
set -euo pipefail

out=${1:?usage: build.sh OUTDIR [i686|x86_64...]}
shift
arches=("$@")
((${#arches[@]})) || arches=(i686 x86_64)
root=$(cd "$(dirname "$0")/../.." && pwd)

mkdir -p "$out"
out=$(cd "$out" && pwd)
for arch in "${arches[@]}"; do
  case "$arch" in
    i686) suffix=setup.exe ;;
    x86_64) suffix=x64-setup.exe ;;
    *) echo "unknown architecture: $arch (x86_64 or i686)" >&2; exit 2 ;;
  esac
  build=$root/build-win-$arch
  app=$build/installer-app
  rm -rf "$app"
  GATEWAY_WINDOWS_BUILD_DIR=$build "$root/scripts/build-windows.sh" "$arch" "$app" >/dev/null
  version=${QUORELSITEF_PACKAGE_VERSION:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' \
    "$build/CMakeCache.txt")}
  [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || {
    echo "no four-part version (got '$version')" >&2
    exit 2
  }
  file=$out/QuorelSiTef-$version-$suffix
  makensis -V2 -DARCH="$arch" -DVERSION="$version" -DAPPDIR="$app" -DOUTFILE="$file" \
    "$root/packaging/windows/QuorelSiTef.nsi" >&2
  echo "$file"
done
