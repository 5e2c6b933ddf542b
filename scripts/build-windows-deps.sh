#!/usr/bin/env bash
# Cross-builds OpenSSL and libcurl for Windows (mingw-w64, static) from
# Debian's own source packages, once per machine, and prints the folder that
# holds them (include/ and lib/ of both).
#
#   scripts/build-windows-deps.sh ARCH      ARCH: x86_64 or i686
#
# The result is cached in $QUORELSITEF_WINDOWS_DEPS/ARCH (default
# /var/cache/quorelsitef-windows/ARCH), one folder per key: the
# cross-compiler's version and this script's own content. A change of either
# builds a new folder; otherwise the folder is reused without asking apt for
# anything, so a newer source version listed by the mirror does not start a
# long rebuild in the middle of a test run. The versions built are written
# in the folder's VERSIONS; remove the folder to build the newest sources.
# Progress goes to stderr; stdout carries only the folder.
set -euo pipefail

arch=${1:?usage: build-windows-deps.sh x86_64|i686}
# The 32-bit assembler routines of OpenSSL use ELF relocations that the
# mingw assembler cannot represent in COFF objects: that build is plain C.
case "$arch" in
  x86_64) openssl_target=mingw64 openssl_options=() ;;
  i686) openssl_target=mingw openssl_options=(no-asm) ;;
  *) echo "unknown architecture: $arch (x86_64 or i686)" >&2; exit 2 ;;
esac
host=$arch-w64-mingw32
cache_root=${QUORELSITEF_WINDOWS_DEPS:-/var/cache/quorelsitef-windows}
jobs=${JOBS:-2}

log() { echo "build-windows-deps[$arch]: $*" >&2; }

# deb-src entries for the mirrors the machine's deb822 sources already name.
ensure_deb_src() {
  apt-cache showsrc openssl >/dev/null 2>&1 && return
  local out=/etc/apt/sources.list.d/quorelsitef-src.sources
  log "adding deb-src entries in $out"
  awk '
    BEGIN { RS = ""; FS = "\n" }
    {
      binary = 0
      for (i = 1; i <= NF; i++)
        if ($i ~ /^Types:/ && ($i " ") ~ /[ \t]deb[ \t]/) binary = 1
      if (!binary) next
      print "Types: deb-src"
      for (i = 1; i <= NF; i++)
        if ($i ~ /^(URIs|Suites|Components|Signed-By):/) print $i
      print ""
    }' /etc/apt/sources.list.d/*.sources >"$out"
  apt-get update -qq
}

# Newest version of a source package first.
source_versions() {
  apt-cache showsrc "$1" | awk '/^Package: /{ p = $2 } /^Version: / && p == "'"$1"'" { print $2 }' |
    sort -u | sort -rV
}

# Fetches and unpacks a source package into $2, trying versions from the
# newest down until one is served. Prints the version fetched.
fetch_source() {
  local pkg=$1 dir=$2 v
  for v in $(source_versions "$pkg"); do
    if (cd "$dir" && apt-get source -qq "$pkg=$v" >"$pkg-fetch.log" 2>&1); then
      echo "$v"
      return
    fi
    log "source $pkg $v not served; trying an older one"
    rm -rf "${dir:?}"/"$pkg"*
  done
  log "no source of $pkg could be fetched"
  exit 1
}

mkdir -p "$cache_root/$arch"
# One build per architecture at a time; a second caller waits and reuses it.
exec 9>"$cache_root/$arch/.lock"
flock 9
compiler_version=$("$host-gcc-posix" -dumpfullversion)
key=$( (echo "$compiler_version"; cat "${BASH_SOURCE[0]}") | sha256sum | cut -c1-16)
prefix=$cache_root/$arch/$key

if [[ -f $prefix/.complete ]]; then
  log "reusing $prefix"
  echo "$prefix"
  exit 0
fi

ensure_deb_src
log "building OpenSSL and libcurl into $prefix"
work=$cache_root/$arch/work-$key
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
chmod 755 "$work"

openssl_fetched=$(fetch_source openssl "$work")
curl_fetched=$(fetch_source curl "$work")
log "sources: openssl $openssl_fetched, curl $curl_fetched"

(
  cd "$work"/openssl-*/
  CC=gcc-posix ./Configure "$openssl_target" --cross-compile-prefix="$host-" \
    --prefix="$prefix" --libdir=lib --openssldir="$prefix/ssl" \
    no-shared no-tests "${openssl_options[@]}" >configure.log 2>&1 || { tail -n 40 configure.log >&2; exit 1; }
  make -j"$jobs" build_libs >make.log 2>&1 || { tail -n 40 make.log >&2; exit 1; }
  make install_dev >install.log 2>&1 || { tail -n 40 install.log >&2; exit 1; }
)

(
  cd "$work"/curl-*/
  cmake -S . -B build-win -G "Unix Makefiles" \
    -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_C_COMPILER="$host-gcc-posix" \
    -DCMAKE_RC_COMPILER="$host-windres" \
    -DCMAKE_FIND_ROOT_PATH="/usr/$host;$prefix" \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_OPENSSL=ON -DOPENSSL_ROOT_DIR="$prefix" -DOPENSSL_USE_STATIC_LIBS=ON \
    -DCURL_ZLIB=ON -DZLIB_LIBRARY="/usr/$host/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$host/include" \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
    -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_USE_GSSAPI=OFF -DCURL_DISABLE_LDAP=ON \
    -DCURL_USE_SCHANNEL=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
    >configure.log 2>&1 || { tail -n 40 configure.log >&2; exit 1; }
  cmake --build build-win -j"$jobs" >make.log 2>&1 || { tail -n 40 make.log >&2; exit 1; }
  cmake --install build-win >install.log 2>&1 || { tail -n 40 install.log >&2; exit 1; }
)

echo "openssl $openssl_fetched, curl $curl_fetched, $host-gcc $compiler_version" >"$prefix/VERSIONS"
touch "$prefix/.complete"
rm -rf "$work"
log "done"
echo "$prefix"
