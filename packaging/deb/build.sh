#!/usr/bin/env bash
# Builds the Debian package quorelsitef_<version>_amd64.deb into OUTDIR.
#
#   packaging/deb/build.sh OUTDIR
#
# The gateway comes from the build folder QUORELSITEF_BUILD_DIR (default
# build/, configured and built here when anything is missing). The version is
# the CMake project's; QUORELSITEF_PACKAGE_VERSION gives the package another
# one (the upgrade test builds a newer package of the same tree).
#
# The package lays out /opt/quorelsitef/ (the executable and the printing
# program) and the systemd unit the executable's --install writes, run as the
# system user quorelsitef. The configuration, /etc/quorelsitef/SvcQuorelSiTef.ini
# (/opt/quorelsitef/SvcQuorelSiTef.ini points to it), belongs to the maintainer
# scripts rather than to dpkg's conffiles: dpkg deletes conffiles before the
# purge script runs, and a purge the script refuses must keep it. postinst
# writes the default only when none is there, so upgrades keep it.
#
# Prints the package's path.
# It carries neither the debug window nor a CliSiTef library: the stand-in
# library would approve payments without a terminal, so a store's vendor
# library is the only one that ever goes into /opt/quorelsitef/dll/.
set -euo pipefail

out=${1:?usage: packaging/deb/build.sh OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
checkout=$(cd "$here/../.." && pwd)
build=${QUORELSITEF_BUILD_DIR:-$checkout/build}
app=/opt/quorelsitef
service_user=quorelsitef

if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S "$checkout" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target app_folder >&2
version=${QUORELSITEF_PACKAGE_VERSION:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
cmake --install "$build" --prefix "$stage$app" --strip >/dev/null
# Folders with the service's own data are made by postinst, owned by the
# service user, and are never replaced or removed by dpkg.
rm -rf "$stage$app"/{TEF,Log,Outbox,Certificado,dll} "$stage$app"/SvcQuorelSiTefWindow.*

# The unit, written by the program itself as `--install` writes it on any
# machine, then moved from the staging folder to where it is installed.
mkdir -p "$stage/lib/systemd/system"
GATEWAY_SYSTEMD_UNIT_DIR=$work/unit GATEWAY_SERVICE_USER=$service_user \
  "$stage$app/SvcQuorelSiTef" --install >/dev/null
sed "s|$stage$app|$app|g" "$work/unit/QuorelSiTefService.service" \
  >"$stage/lib/systemd/system/QuorelSiTefService.service"

# The default configuration, which postinst copies to /etc/quorelsitef when
# none is there.
mkdir -p "$stage/usr/share/quorelsitef"
mv "$stage$app/SvcQuorelSiTef.ini" "$stage/usr/share/quorelsitef/"
ln -s /etc/quorelsitef/SvcQuorelSiTef.ini "$stage$app/SvcQuorelSiTef.ini"

# Runtime dependencies: the shared libraries the programs link, libcurl
# (opened when the first result is posted), and the tools the maintainer
# scripts run.
mkdir -p "$work/debian" "$stage/DEBIAN"
printf 'Source: quorelsitef\n\nPackage: quorelsitef\nArchitecture: amd64\n' >"$work/debian/control"
linked=$(cd "$work" && dpkg-shlibdeps -O "$stage$app/SvcQuorelSiTef" "$stage$app/SumatraPDF.exe" \
  2>/dev/null | sed -n 's/^shlibs:Depends=//p')
depends="$linked, libcurl4 (>= 7.88), passwd, init-system-helpers (>= 1.54)"

sed -e "s/@VERSION@/$version/" -e "s/@DEPENDS@/$depends/" \
  -e "s/@SIZE@/$(du -sk --exclude=DEBIAN "$stage" | cut -f1)/" \
  "$here/control.in" >"$stage/DEBIAN/control"
install -m 0755 "$here/postinst" "$here/prerm" "$here/postrm" "$stage/DEBIAN/"

mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$out/quorelsitef_${version}_amd64.deb" >/dev/null
echo "$out/quorelsitef_${version}_amd64.deb"
