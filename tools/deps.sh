#!/usr/bin/env bash
# deps.sh - install what the build and the tests need (apt packages: the mingw-w64 toolchain,
# Wine, Xvfb, GoogleTest sources, test tools) and cross-build the third-party C libraries for
# the x86_64-w64-mingw32 target as static libraries + headers in one cache prefix outside the
# repository.
#
# Everything comes from Debian's archive through apt (no other network):
#   zlib     : binary package libz-mingw-w64-dev (libz.a, zlib.h), symlinked into the prefix
#   minizip  : contrib/minizip of Debian source package `zlib`  -> lib/libminizip.a, include/minizip/
#   LZMA SDK : C/ of Debian source package `7zip`                -> lib/liblzmasdk.a, include/lzmasdk/
#   OpenSSL  : Debian source package `openssl` (3.0.x), libcrypto -> lib/libcrypto.a, include/openssl/
# Source packages are unpacked with dpkg-source, so Debian's (security) patches are applied.
#
# Idempotent: the key is made of the recipe, the build options, the accepted upstream
# series / pinned Debian versions and the toolchain package versions, and names the
# prefix ($HOME/.cache/tavro-deps/x86_64-w64-mingw32-<key>), so checkouts that build with
# different options each keep their own prefix instead of rebuilding each other's.
# $PREFIX/.deps-stamp repeats the key; if it matches and all files are there, the script
# exits at once, without apt. The prefix is printed on standard output (everything else
# goes to standard error), for tools/build.sh to hand to CMake.
#
# Environment:
#   DEPS_PREFIX   install prefix      (default: keyed, as above)
#   DEPS_WORK     download/build dir  (default $DEPS_PREFIX.work; removed on success
#                                      unless DEPS_KEEP_WORK=1)
#   DEPS_JOBS     parallel jobs       (default: nproc)
#   DEPS_FORCE=1  rebuild even if the stamp matches
#   DEPS_OPENSSL_PROFILE=min|full     (default min: libcrypto without TLS/networking,
#                 engines, EC/DH/DSA and legacy ciphers; SHA-1/2/3, MD5, HMAC, AES, RSA,
#                 EVP, RAND, KDFs stay)
#   DEPS_ZLIB_DEB / DEPS_7ZIP_DEB / DEPS_OPENSSL_DEB   exact Debian source versions to use
#                 (default: the newest version apt lists that matches the series and can
#                 be downloaded, security suite included)
#   DEPS_PREFER=main  try the $CODENAME main suite's version first instead of the newest
# Needs root on a machine that lacks the tools or the deb-src index (it adds a
# deb-src entry next to each deb entry, runs apt-get update and apt-get install).
set -euo pipefail

RECIPE=4                     # bump when anything below changes what gets built
HOST=x86_64-w64-mingw32
CACHE_ROOT=$HOME/.cache/tavro-deps
JOBS=${DEPS_JOBS:-$(nproc)}
PROFILE=${DEPS_OPENSSL_PROFILE:-min}
CODENAME=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

# accepted upstream series (regex on the Debian version without epoch) or exact pins
ZLIB_RE='^1\.2\.13\.'        # must match libz-mingw-w64-dev's zlib (1.2.13 in bookworm)
SEVENZIP_RE='really26\.'     # Debian: 22.01+really26.0x+dfsg-0+deb12u1
OPENSSL_RE='^3\.0\.'
ZLIB_DEB=${DEPS_ZLIB_DEB:-}
SEVENZIP_DEB=${DEPS_7ZIP_DEB:-}
OPENSSL_DEB=${DEPS_OPENSSL_DEB:-}

CC="$HOST-gcc-posix"
AR="$HOST-ar"
RANLIB="$HOST-ranlib"
CFLAGS_DEPS='-O2 -g0 -ffunction-sections -fdata-sections'

APT_PKGS=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          mingw-w64-x86-64-dev libz-mingw-w64-dev make perl dpkg-dev xz-utils bzip2
          cmake ninja-build ccache googletest wine wine64 xvfb x11-utils osslsigncode openssl 7zip python3
          imagemagick fonts-wine)

# With its assembly (perl generates it for the GNU assembler): SHA-256 runs about three
# times as fast, on the processor's SHA extensions where it has them.
OPENSSL_COMMON=(no-shared no-tests no-module no-dso no-engine no-dynamic-engine
                no-autoload-config no-legacy no-ui-console)
OPENSSL_MIN=(no-sock no-async no-ssl no-tls no-dtls no-psk no-srp no-srtp no-nextprotoneg
             no-ssl-trace no-ct no-ocsp no-cms no-cmp no-ts no-rfc3779 no-comp
             no-ec no-dh no-dsa no-sm2 no-sm3 no-sm4 no-gost
             no-aria no-bf no-blake2 no-camellia no-cast no-chacha no-poly1305 no-des
             no-idea no-md4 no-mdc2 no-rc2 no-rc4 no-rmd160 no-seed no-whirlpool
             no-siphash no-siv no-ocb no-scrypt no-cmac
             no-capieng no-padlockeng no-loadereng)
case $PROFILE in
  min)  OPENSSL_OPTS=("${OPENSSL_COMMON[@]}" "${OPENSSL_MIN[@]}") ;;
  full) OPENSSL_OPTS=("${OPENSSL_COMMON[@]}") ;;
  *) echo "DEPS_OPENSSL_PROFILE must be min or full" >&2; exit 2 ;;
esac

# LZMA SDK: 7z archive reader + LZMA/LZMA2/PPMd/BCJ/BCJ2/ARM*/IA64/RISCV/Delta decoders
LZMA_SRCS=(7zAlloc.c 7zArcIn.c 7zBuf.c 7zBuf2.c 7zCrc.c 7zCrcOpt.c 7zDec.c 7zFile.c 7zStream.c
           Bcj2.c Bra.c Bra86.c BraIA64.c CpuArch.c Delta.c Lzma2Dec.c LzmaDec.c
           Ppmd7.c Ppmd7Dec.c)
LZMA_DEFS='-DZ7_PPMD_SUPPORT -DZ7_EXTRACT_ONLY'
MINIZIP_SRCS=(zip.c unzip.c ioapi.c iowin32.c)

log() { printf '[mingw-deps %(%H:%M:%S)T] %s\n' -1 "$*" >&2; }
die() { log "ERROR: $*"; exit 1; }
pkgver() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }
all_pkgs_installed() {
  local n; n=$(dpkg-query -W -f='${Status}\n' "${APT_PKGS[@]}" 2>/dev/null | grep -c '^install ok installed$') || true
  [ "$n" = "${#APT_PKGS[@]}" ]
}
pkg_ok() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = 'install ok installed' ]; }
have_src_index() { local out; out=$(apt-cache showsrc zlib 2>/dev/null) || true; [[ $out == *"Package: zlib"* ]]; }
have_candidates() { local out; out=$(apt-cache policy "$@" 2>/dev/null) || true
                    [[ $out == *"Candidate: "* && $out != *"Candidate: (none)"* ]]; }

stamp_key() {
  printf '%s\n' "recipe=$RECIPE" "host=$HOST" "profile=$PROFILE" "cflags=$CFLAGS_DEPS" \
    "series=$ZLIB_RE $SEVENZIP_RE $OPENSSL_RE" "pins=$ZLIB_DEB $SEVENZIP_DEB $OPENSSL_DEB ${DEPS_PREFER:-newest}" \
    "openssl_opts=${OPENSSL_OPTS[*]}" "lzma=${LZMA_SRCS[*]} $LZMA_DEFS" "minizip=${MINIZIP_SRCS[*]}" \
    "gcc=$(pkgver gcc-mingw-w64-x86-64-posix)" "crt=$(pkgver mingw-w64-x86-64-dev)" \
    "libz=$(pkgver libz-mingw-w64-dev)" | sha256sum | cut -c1-16
}
EXPECTED=(lib/libcrypto.a lib/libminizip.a lib/liblzmasdk.a lib/libz.a include/openssl/sha.h
          include/minizip/zip.h include/lzmasdk/7z.h include/zlib.h)

# set_prefix KEY: the prefix, its stamp and work folder for that key.
set_prefix() {
  PREFIX=${DEPS_PREFIX:-$CACHE_ROOT/$HOST-$1}
  WORK=${DEPS_WORK:-$PREFIX.work}
  STAMP="$PREFIX/.deps-stamp"
}

prefix_complete() {
  [ -f "$STAMP" ] || return 1
  local f; for f in "${EXPECTED[@]}"; do [ -e "$PREFIX/$f" ] || return 1; done
  [ "$(sed -n 's/^key=//p' "$STAMP")" = "$1" ]
}

# ---------------------------------------------------------------- apt side
# apt's own idea of where its sources live (honours APT_CONFIG)
apt_paths() {
  SRC_LIST=/etc/apt/sources.list SRC_PARTS=/etc/apt/sources.list.d
  eval "$(apt-config shell SRC_LIST Dir::Etc::sourcelist/f SRC_PARTS Dir::Etc::sourceparts/d)"
  SRC_PARTS=${SRC_PARTS%/}
}

has_deb_src() {
  grep -qsE '^Types:.*\bdeb-src\b' "$SRC_PARTS"/*.sources ||
    grep -qsE '^deb-src\s' "$SRC_LIST" "$SRC_PARTS"/*.list
}

add_deb_src() {
  local f out added=0
  for f in "$SRC_PARTS"/*.sources; do
    [ -f "$f" ] && grep -qE '^Types:.*\bdeb\b' "$f" || continue
    out="${f%.sources}-deps-src.sources"
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$out"; added=1
    log "added $out"
  done
  if grep -qsE '^deb\s' "$SRC_LIST"; then
    sed -nE 's/^deb(\s)/deb-src\1/p' "$SRC_LIST" >"$SRC_PARTS/deps-src.list"
    added=1; log "added $SRC_PARTS/deps-src.list"
  fi
  [ $added = 1 ] || die "found no apt 'deb' entry to copy as deb-src"
}

ensure_apt() {
  local missing=() p update=0
  for p in "${APT_PKGS[@]}"; do pkg_ok "$p" || missing+=("$p"); done
  apt_paths
  if ! has_deb_src; then
    [ "$(id -u)" = 0 ] || die "no deb-src entry in apt sources and not root"
    add_deb_src; update=1
  fi
  have_src_index || update=1
  if [ ${#missing[@]} -gt 0 ]; then
    [ "$(id -u)" = 0 ] || die "missing packages ${missing[*]} and not root"
    have_candidates "${missing[@]}" || update=1
  fi
  if [ $update = 1 ]; then log "apt-get update"; apt-get update -qq; fi
  if [ ${#missing[@]} -gt 0 ]; then
    log "apt-get install ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  have_src_index || die "no deb-src index (apt-cache showsrc zlib is empty)"
}

# Download and unpack source package $1 (Debian version regex $2, optional exact pin $3).
# Order: newest version apt knows first (security updates matter for parsers of untrusted
# archives), then older ones; DEPS_PREFER=main tries the $CODENAME main suite first.
# A version whose files are missing on the mirror/proxy (404) is skipped.
# Sets SRC_VER and SRC_DIR.
fetch_src() {
  local pkg=$1 re=$2 pin=$3 spec dsc v tried=' ' dl="$WORK/dl/$1"
  local specs=()
  if [ -n "$pin" ]; then specs=("$pkg=$pin")
  else
    [ "${DEPS_PREFER:-newest}" = main ] && specs=("$pkg/$CODENAME")
    while read -r v; do specs+=("$pkg=$v"); done < <(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | sort -urV)
  fi
  for spec in "${specs[@]}"; do
    rm -rf "$dl"; mkdir -p "$dl"
    dsc=$(cd "$dl" && apt-get source --print-uris -qq "$spec" 2>/dev/null) || true
    dsc=$(awk '$2 ~ /\.dsc$/ {print $2; exit}' <<<"$dsc")
    [ -n "$dsc" ] || continue
    v=${dsc#"${pkg}_"}; v=${v%.dsc}
    case $tried in *" $v "*) continue ;; esac
    tried+="$v "
    [ -n "$pin" ] || [[ $v =~ $re ]] || continue
    log "apt-get source --download-only $spec ($v)"
    if ! (cd "$dl" && apt-get source --download-only -qq "$spec" >"$WORK/$pkg-download.log" 2>&1); then
      log "  $pkg $v: download failed ($(grep -m1 -o '[0-9]\{3\} [A-Za-z ]*' "$WORK/$pkg-download.log" || echo '?')), trying next"
      continue
    fi
    SRC_DIR="$WORK/src/$pkg"
    rm -rf "$SRC_DIR"; mkdir -p "$WORK/src"
    if ! dpkg-source --no-check -x "$dl/$dsc" "$SRC_DIR" >"$WORK/$pkg-unpack.log" 2>&1; then
      log "  dpkg-source -x failed for $pkg $v, trying next"; continue
    fi
    SRC_VER=$v; return 0
  done
  die "no downloadable source of $pkg matching /$re/${pin:+ (pin $pin)}; tried:$tried"
}

# ---------------------------------------------------------------- builds
# static_lib NAME SRCDIR "CFLAGS" FILE.c...  -> $PREFIX/lib/libNAME.a (parallel make)
static_lib() {
  local name=$1 src=$2 flags=$3; shift 3
  local o="$WORK/obj/$name" f objs=()
  for f in "$@"; do objs+=("${f%.c}.o"); done
  mkdir -p "$o"
  { printf 'all: lib%s.a\n' "$name"
    printf '%%.o: %s/%%.c\n\t%s %s -c $< -o $@\n' "$src" "$CC" "$flags"
    printf 'lib%s.a: %s\n\trm -f $@ && %s rcs $@ $^\n' "$name" "${objs[*]}" "$AR"
  } >"$o/Makefile"
  make -s -C "$o" -j"$JOBS" >"$WORK/$name-make.log" 2>&1 || { cat "$WORK/$name-make.log"; die "building lib$name.a failed"; }
  cp "$o/lib$name.a" "$PREFIX/lib/"
}

build_minizip() { # zlib source dir
  local d=$1/contrib/minizip
  static_lib minizip "$d" "$CFLAGS_DEPS -I$d" "${MINIZIP_SRCS[@]}"
  mkdir -p "$PREFIX/include/minizip"
  cp "$d"/{zip.h,unzip.h,ioapi.h,iowin32.h,crypt.h} "$PREFIX/include/minizip/"
}

build_lzmasdk() { # 7zip source dir
  local d=$1/C
  static_lib lzmasdk "$d" "$CFLAGS_DEPS $LZMA_DEFS -I$d" "${LZMA_SRCS[@]}"
  mkdir -p "$PREFIX/include/lzmasdk"
  cp "$d"/*.h "$PREFIX/include/lzmasdk/"
}

build_openssl() { # openssl source dir
  local d=$1
  ( cd "$d"
    # --prefix/--openssldir are only baked-in strings (nothing is installed there and,
    # with no-autoload-config/no-dso/no-module, nothing is read from them at run time);
    # fixed values keep the library independent of $PREFIX.
    ./Configure mingw64 "${OPENSSL_OPTS[@]}" --prefix=/usr/local/mingw-deps --libdir=lib \
        --openssldir=/usr/local/mingw-deps/ssl \
        CC="$CC" AR="$AR" RANLIB="$RANLIB" RC="$HOST-windres" CFLAGS="-O2 -g0" \
        >"$WORK/openssl-configure.log" 2>&1 || { tail -20 "$WORK/openssl-configure.log"; exit 1; }
    log "openssl configured"
    { make -j"$JOBS" build_generated && make -j"$JOBS" libcrypto.a; } >"$WORK/openssl-make.log" 2>&1 ||
      { tail -30 "$WORK/openssl-make.log"; exit 1; }
  ) || die "openssl build failed (logs in $WORK)"
  cp "$d/libcrypto.a" "$PREFIX/lib/"
  mkdir -p "$PREFIX/include/openssl"
  cp "$d"/include/openssl/*.h "$PREFIX/include/openssl/"
}

# zlib is Debian's prebuilt static libz.a; linked into the prefix so that
# -L$PREFIX/lib -lz picks libz.a (in the sysroot, libz.dll.a would win and the
# DLL would then need zlib1.dll at run time).
link_zlib() {
  ln -sf "/usr/$HOST/lib/libz.a" "$PREFIX/lib/libz.a"
  ln -sf "/usr/$HOST/include/zlib.h" "$PREFIX/include/zlib.h"
  ln -sf "/usr/$HOST/include/zconf.h" "$PREFIX/include/zconf.h"
}

write_pc() { # name libs description
  mkdir -p "$PREFIX/lib/pkgconfig"
  printf 'prefix=%s\nName: %s\nDescription: %s\nVersion: %s\nCflags: -I${prefix}/include%s\nLibs: -L${prefix}/lib %s\n' \
    "$PREFIX" "$1" "$3" "$4" "${5:-}" "$2" >"$PREFIX/lib/pkgconfig/$1.pc"
}

# ---------------------------------------------------------------- main
main() {
  local key t0=$SECONDS
  key=$(stamp_key)
  set_prefix "$key"
  if [ "${DEPS_FORCE:-0}" != 1 ] && prefix_complete "$key" && all_pkgs_installed; then
    log "up to date: $PREFIX ($(sed -n 's/^versions=//p' "$STAMP"))"; echo "$PREFIX"; return 0
  fi
  if [ -d "$PREFIX" ] && [ ! -e "$PREFIX/.deps-owned" ] && [ ! -e "$STAMP" ] && [ -n "$(ls -A "$PREFIX")" ]; then
    die "$PREFIX exists, is not empty and was not made by this script: refusing to wipe it"
  fi
  ensure_apt
  key=$(stamp_key)            # the toolchain may just have been installed
  set_prefix "$key"
  mkdir -p "$(dirname "$PREFIX")"
  exec 9>"$PREFIX.lock"; flock 9   # one build at a time per prefix
  if [ "${DEPS_FORCE:-0}" != 1 ] && prefix_complete "$key"; then
    log "up to date: $PREFIX"; echo "$PREFIX"; return 0
  fi

  rm -rf "$WORK"; mkdir -p "$WORK"
  local zv zd sv sd ov od pids=() pid fail=0 spec p re pin
  # the three downloads/unpacks are independent: run them in parallel
  for spec in "zlib|$ZLIB_RE|$ZLIB_DEB" "7zip|$SEVENZIP_RE|$SEVENZIP_DEB" "openssl|$OPENSSL_RE|$OPENSSL_DEB"; do
    IFS='|' read -r p re pin <<<"$spec"
    ( fetch_src "$p" "$re" "$pin" && echo "$SRC_VER $SRC_DIR" >"$WORK/$p.result" ) &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || fail=1; done
  [ $fail = 0 ] || die "fetching sources failed"
  read -r zv zd <"$WORK/zlib.result"
  read -r sv sd <"$WORK/7zip.result"
  read -r ov od <"$WORK/openssl.result"
  log "sources ready ($((SECONDS - t0)) s): zlib $zv, 7zip $sv, openssl $ov"

  rm -rf "$PREFIX"; mkdir -p "$PREFIX/lib" "$PREFIX/include"; : >"$PREFIX/.deps-owned"
  link_zlib
  build_minizip "$zd";  log "libminizip.a done ($((SECONDS - t0)) s)"
  build_lzmasdk "$sd";  log "liblzmasdk.a done ($((SECONDS - t0)) s)"
  build_openssl "$od";  log "libcrypto.a done ($((SECONDS - t0)) s)"

  local zup=${zv%%.dfsg*} sup=${sv#*really}; sup=${sup%%+*}; local oup=${ov%%-*}
  write_pc zlib "-lz" "zlib (libz-mingw-w64-dev)" "$zup"
  write_pc minizip "-lminizip -lz" "minizip from zlib $zv" "$zup" " -I\${prefix}/include/minizip"
  write_pc lzmasdk "-llzmasdk" "LZMA SDK C 7z decoder from 7zip $sv (include as lzmasdk/7z.h)" "$sup"
  write_pc libcrypto "-lcrypto -lws2_32 -lgdi32 -lcrypt32 -ladvapi32 -luser32" "OpenSSL libcrypto $ov ($PROFILE)" "$oup"

  { echo "key=$key"; echo "versions=zlib=$zv 7zip=$sv openssl=$ov libz-mingw-w64-dev=$(pkgver libz-mingw-w64-dev)"
    echo "openssl_profile=$PROFILE"; echo "openssl_opts=${OPENSSL_OPTS[*]}"
    echo "built=$(date -u +%FT%TZ) in $((SECONDS - t0)) s with -j$JOBS"; } >"$STAMP.tmp"
  mv "$STAMP.tmp" "$STAMP"
  [ "${DEPS_KEEP_WORK:-0}" = 1 ] || rm -rf "$WORK"
  log "done in $((SECONDS - t0)) s: $PREFIX"
  echo "$PREFIX"
}
main "$@"
