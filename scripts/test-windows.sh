#!/usr/bin/env bash
# The Windows part of the tests: builds the gateway for both architectures
# with mingw-w64 (OpenSSL and libcurl from their machine cache), runs the
# x86_64 unit tests through CTest under Wine, then the end-to-end suite from
# Linux against the x86_64 gateway under Wine. Of the i686 build only the
# programs and libraries of the app folder are compiled and linked: these
# machines cannot run 32-bit programs. Last, the installers of both builds are
# made, and the x86_64 one is installed, upgraded and removed under Wine.
#
# One Wine prefix per run (build-win-x86_64/wineprefix, made afresh) and one
# Wine server for the whole run, so each test program starts in a fraction of
# a second.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
export JOBS=$jobs

echo "-- x86_64: build"
scripts/build-windows.sh x86_64 build-win-x86_64/app >/dev/null
cmake --build build-win-x86_64 -j"$jobs"

echo "-- x86_64: unit tests under Wine"
export WINEPREFIX=$PWD/build-win-x86_64/wineprefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs .NET or an HTML engine, and Wine would
# otherwise ask to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
wineboot --init >/dev/null 2>&1
# Windows without a display: the debug window's test draws its controls with
# Wine's null graphics driver.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# The service manager that wineboot --init starts refuses full access to a
# service created after it (`net start` cannot open the service): the server
# starts again, and the first program of its session starts the manager. The
# manager's environment reaches the services: a Brazilian Windows, as on a
# point of sale (the end-to-end suite's programs get the same locale).
wineserver -k
wineserver -w
wineserver -p
LC_ALL=pt_BR.UTF-8 wine cmd /c exit >/dev/null 2>&1
ctest --test-dir build-win-x86_64 --output-on-failure -j"$jobs" --timeout 600

echo "-- x86_64: end-to-end suite against the gateway under Wine"
# The same prefix and server; the service test installs, starts, stops and
# removes the service in it. The browser test stays with the Linux build.
GATEWAY_WINDOWS_APP=$PWD/build-win-x86_64/app timeout 1800 /usr/bin/python3 -m pytest -q \
  -p no:cacheprovider --ignore=tests/e2e/test_demo_browser.py -rs tests/e2e
wineserver -k
trap - EXIT

echo "-- i686: compile and link the gateway and the stand-in library"
scripts/build-windows.sh i686 build-win-i686/app >/dev/null

echo "-- installers: both built; the x86_64 one installed, upgraded and removed under Wine"
# The test makes a Wine prefix of its own (a machine with no gateway yet).
# The upgrade is the same program packaged under a higher version.
installer=$(packaging/windows/build.sh build-win-installers | grep -- '-x64-setup\.exe$')
upgrade=$(QUORELSITEF_PACKAGE_VERSION=99.0.0.0 packaging/windows/build.sh build-win-installers/upgrade x86_64)
GATEWAY_WINDOWS_INSTALLER=$installer GATEWAY_WINDOWS_UPGRADE=$upgrade timeout 900 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider -rs tests/e2e/test_windows_installer.py
