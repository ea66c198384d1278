#!/usr/bin/env bash
# Cross-builds, for 64-bit Windows, the libraries the Windows programs link:
# zlib, an iconv, libffi, pcre2, libintl, GLib, GMime and SQLite, all from Debian 12's
# own source packages. The result goes to a cache folder outside the clone whose
# name is a hash of the recipe (this script, its pins and win-iconv.c), so only
# the first build (or a changed recipe) pays for it; every later call returns at once.
#
#   build-deps.sh                 build if needed, then print the prefix
#   build-deps.sh --print-prefix  print the prefix only
#
# VANTOREL_MINGW_PREFIX overrides the prefix (a CI cache, or a shared build).
# As root it installs the cross packages that are missing; otherwise it names them.
set -euo pipefail

HOST=x86_64-w64-mingw32
JOBS=${JOBS:-2}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
script="$here/$(basename "${BASH_SOURCE[0]}")"

# Source packages and versions, as Debian 12 (bookworm) main ships them. The
# versions are pinned, and so is the SHA-256 of every file apt-get source
# fetches, so a build always compiles the code that was reviewed.
# (gettext: only its runtime libintl is built.)
SOURCES=(
  "zlib=1:1.2.13.dfsg-1"
  "libffi=3.4.4-1"
  "pcre2=10.42-1"
  "gettext=0.21-12"
  "glib2.0=2.74.6-2+deb12u9"
  "gmime=3.2.13+dfsg-2"
  "sqlite3=3.40.1-2+deb12u2"
)
declare -A SHA256=(
  [zlib_1.2.13.dfsg-1.dsc]=3fa1e6b2fc525062aa88207dda52fed8e045373c809d362fe8a2bfbf7cf515a8
  [zlib_1.2.13.dfsg.orig.tar.bz2]=71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1
  [zlib_1.2.13.dfsg-1.debian.tar.xz]=f66cf3d4f2d7defcd4d1fd1fb0a11ee39f1e01b42ec7d059c9dc5c1695133c44
  [libffi_3.4.4-1.dsc]=21c9ef156b6766535cb014e0765142c8104ffbcd73f003ecfa80cfb314baa4f0
  [libffi_3.4.4.orig.tar.gz]=d66c56ad259a82cf2a9dfc408b32bf5da52371500b84745f7fb8b645712df676
  [libffi_3.4.4-1.debian.tar.xz]=161b210bfd2ada0b15b0d2a2a98ffc779cd4a68661a7fdf46f61732493db0895
  [pcre2_10.42-1.dsc]=726dafe7a8d07332d4df61edf23f384ddb158b2b263846273d1103b6b9a7c176
  [pcre2_10.42.orig.tar.gz]=c33b418e3b936ee3153de2c61cc638e7e4fe3156022a5c77d0711bcbb9d64f1f
  [pcre2_10.42-1.diff.gz]=8267c3acacb04e8a077235f676187393e295443fc16ff46ddbe5f6476879c8cb
  [gettext_0.21-12.dsc]=1486eb00e01d7b91cef4ca45805c95ee8d8de6016136f231b5f9f5f74225b318
  [gettext_0.21.orig.tar.xz]=d20fcbb537e02dcf1383197ba05bd0734ef7bf5db06bdb241eb69b7d16b73192
  [gettext_0.21.orig.tar.xz.asc]=d2587b13a73000e67bce860106c55b726c3e6b5bad06390d073f077334f4b5f3
  [gettext_0.21-12.debian.tar.xz]=b4bb3a1749f14ea9f3544c3457f934005b0fd130e546fb56fcf9c38d6b5c614b
  [glib2.0_2.74.6-2+deb12u9.dsc]=bd8e8cd8d251c2365a02258bf4d6c44721289ac44c3a2477c140ce253bdb4b41
  [glib2.0_2.74.6.orig.tar.xz]=069cf7e51cd261eb163aaf06c8d1754c6835f31252180aff5814e5afc7757fbc
  [glib2.0_2.74.6.orig-unicode-data.tar.xz]=dabcaff9298aa111a94e580561d2f29371f3e61b356c925ec5e0792df2b11ff2
  [glib2.0_2.74.6-2+deb12u9.debian.tar.xz]=ccfe76a05463099331f31fc2fde1677ce3c5e0d054112890541b511c0b3321ff
  [gmime_3.2.13+dfsg-2.dsc]=e3f1ec3066756600bf2928dd813a14bae251d72dcc6efc187c2704751c3d85d4
  [gmime_3.2.13+dfsg.orig.tar.xz]=4b868eb152b83ccbc593340560c1fd1cc497e43e14104c85869de6f2101675e0
  [gmime_3.2.13+dfsg-2.debian.tar.xz]=1c4d66082f3a7efb6f90dd66571514964bd97e55b7106e3ee4eb15d75fb57f07
  [sqlite3_3.40.1-2+deb12u2.dsc]=ee3459ae9d00939741c7708fc1b8ce1bde12d8c3fb1dfa005bbbc8651d884e23
  [sqlite3_3.40.1.orig.tar.xz]=aaa776260ab4dc976db34aa7891819484c8676b5b2783123ebc6301e2ca5d655
  [sqlite3_3.40.1.orig-www.tar.xz]=a5e95a18d1b59729278860559ded78751b9163ffb5bb906c5cd24c015f71d5fd
  [sqlite3_3.40.1-2+deb12u2.debian.tar.xz]=0843bc12e4364076477935ce313a6d0796fd899a989ff18ebb6545540e10e4ca
)

PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  meson ninja-build pkg-config python3
  autoconf automake libtool make
  dpkg-dev xz-utils bzip2 wine wine64 tcl gcc
)

# The recipe: this script (pins included) and the iconv source it compiles.
recipe_hash() { cat "$script" "$here/win-iconv.c" | sha256sum | cut -c1-16; }
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/vantorel/mingw"
prefix="${VANTOREL_MINGW_PREFIX:-$cache_root/$(recipe_hash)}"

if [ "${1:-}" = "--print-prefix" ]; then
  echo "$prefix"
  exit 0
fi
if [ -e "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

install_missing() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "The Windows build needs these Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

work="$prefix/.work"
logs="$work/logs"
step() { echo "[windows-deps] $*" >&2; }

# Runs a build step with its output in a log; on failure shows the log's end.
run_logged() {
  local name=$1; shift
  if ! "$@" >"$logs/$name.log" 2>&1; then
    echo "[windows-deps] $name failed; the end of $logs/$name.log:" >&2
    tail -n 40 "$logs/$name.log" >&2
    exit 1
  fi
}

# The system's own apt lists stay untouched: source entries for the same
# mirrors and suites the machine uses go to a private list and state folder.
write_source_list() {
  local out=$1 f codename
  # Only this Debian release's suites: other vendors' entries may have no sources.
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  : >"$out"
  {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -f "$f" ] || continue
      sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      # deb822 stanzas: one deb-src line per stanza of Types: deb.
      awk '
        function flush() {
          if (types ~ /(^| )deb( |$)/ && uris != "" && suites != "") {
            opt = (signed != "") ? "[signed-by=" signed "] " : ""
            n = split(uris, u, " "); m = split(suites, s, " ")
            for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
              print "deb-src " opt u[i] " " s[j] " " comps
          }
          types = uris = suites = comps = signed = ""
        }
        /^[[:space:]]*#/ { next }
        /^[[:space:]]*$/ { flush(); next }
        { key = $1; sub(/:$/, "", key); $1 = ""; sub(/^ /, ""); }
        key == "Types" { types = $0 } key == "URIs" { uris = $0 }
        key == "Suites" { suites = $0 } key == "Components" { comps = $0 }
        key == "Signed-By" { signed = $0 }
        END { flush() }' "$f"
    done
  } | awk -v codename="$codename" '$0 ~ " " codename "(-[a-z]+)? " ' | sort -u >"$out" || true
  if [ ! -s "$out" ]; then
    echo "[windows-deps] found no Debian suite in /etc/apt to fetch sources from" >&2
    exit 1
  fi
}

fetch_sources() {
  local aptdir="$work/apt" src="$work/src"
  rm -rf "$src"
  mkdir -p "$aptdir/lists/partial" "$aptdir/cache/archives/partial" "$src"
  write_source_list "$aptdir/sources.list"
  local apt_opts=(
    -o "Dir::Etc::SourceList=$aptdir/sources.list"
    -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$aptdir/lists"
    -o "Dir::Cache=$aptdir/cache"
    -o "APT::Sandbox::User=$(id -un)"
  )
  step "fetching Debian sources (apt-get source)"
  run_logged apt-update apt-get "${apt_opts[@]}" update
  (cd "$src" && run_logged apt-source apt-get "${apt_opts[@]}" source --download-only "${SOURCES[@]}")

  # Every fetched file must be one that is pinned, with the pinned hash, and
  # every pinned file must be there.
  local f name want got bad=0
  for f in "$src"/*; do
    [ -f "$f" ] || continue
    name=$(basename "$f")
    want=${SHA256[$name]:-}
    got=$(sha256sum "$f" | cut -d' ' -f1)
    if [ -z "$want" ]; then
      echo "[windows-deps] fetched $name, which is not pinned (a new Debian version?)" >&2; bad=1
    elif [ "$got" != "$want" ]; then
      echo "[windows-deps] $name: SHA-256 $got, pinned $want" >&2; bad=1
    fi
  done
  for name in "${!SHA256[@]}"; do
    [ -f "$src/$name" ] || { echo "[windows-deps] missing $name" >&2; bad=1; }
  done
  [ $bad -eq 0 ] || exit 1

  step "unpacking"
  local dsc
  for dsc in "$src"/*.dsc; do
    case $(basename "$dsc") in
      # Debian's gettext patches edit configure.ac and Makefile.am, which
      # would make the build rerun autopoint and automake; none of them
      # concerns the runtime libintl built here, so they are left out.
      gettext_*) (cd "$src" && run_logged unpack-gettext dpkg-source --skip-patches -x "$dsc") ;;
      *) (cd "$src" && run_logged "unpack-$(basename "$dsc" .dsc)" dpkg-source -x "$dsc") ;;
    esac
  done
}

write_cross_files() {
  cat >"$work/cross.ini" <<EOF
[binaries]
c = '$HOST-gcc-posix'
cpp = '$HOST-g++-posix'
ar = '$HOST-ar'
strip = '$HOST-strip'
windres = '$HOST-windres'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = '$prefix/lib/pkgconfig'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
}

# Environment for autotools builds against what is already in the prefix.
autotools_env() {
  export CC="$HOST-gcc-posix" CXX="$HOST-g++-posix"
  export AR="$HOST-ar" RANLIB="$HOST-ranlib" STRIP="$HOST-strip" WINDRES="$HOST-windres"
  export CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" CFLAGS="-O2"
  export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=""
}

srcdir() { find "$work/src" -maxdepth 1 -type d -name "$1" | head -n1; }

build_zlib() {
  local s; s=$(srcdir 'zlib-*')
  step "zlib"
  local objs=(adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback
              inffast inflate inftrees trees uncompr zutil)
  (cd "$s" && run_logged zlib "$HOST-gcc-posix" -O2 -shared -o zlib1.dll \
      "${objs[@]/%/.c}" -Wl,--out-implib,libz.dll.a)
  install -D -m644 "$s/zlib.h" "$prefix/include/zlib.h"
  install -D -m644 "$s/zconf.h" "$prefix/include/zconf.h"
  install -D -m755 "$s/zlib1.dll" "$prefix/bin/zlib1.dll"
  install -D -m644 "$s/libz.dll.a" "$prefix/lib/libz.dll.a"
  mkdir -p "$prefix/lib/pkgconfig"
  cat >"$prefix/lib/pkgconfig/zlib.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: zlib
Description: zlib compression library
Version: 1.2.13
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF
}

# GMime needs iconv_open and friends; the MinGW C library has none. GLib carries
# a small iconv over the Windows code page API (win_iconv.c) for its own use;
# built as its own DLL, with UTF-7 decoding added (win-iconv.c beside this
# script), it serves GMime.
build_iconv() {
  local g; g=$(srcdir 'glib2.0-*')
  step "iconv (GLib's win_iconv and UTF-7 as libiconv-2.dll)"
  mkdir -p "$work/iconv"
  cat >"$prefix/include/iconv.h" <<'EOF'
/* iconv over the Windows code page API (libiconv-2.dll). */
#ifndef VANTOREL_WIN_ICONV_H
#define VANTOREL_WIN_ICONV_H
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void *iconv_t;
iconv_t iconv_open(const char *tocode, const char *fromcode);
int iconv_close(iconv_t cd);
size_t iconv(iconv_t cd, char **inbuf, size_t *inbytesleft, char **outbuf, size_t *outbytesleft);
#ifdef __cplusplus
}
#endif
#endif
EOF
  (cd "$work/iconv" && run_logged iconv "$HOST-gcc-posix" -O2 -shared -o libiconv-2.dll \
      -I"$g/glib" "$here/win-iconv.c" -Wl,--out-implib,libiconv.dll.a)
  install -D -m755 "$work/iconv/libiconv-2.dll" "$prefix/bin/libiconv-2.dll"
  install -D -m644 "$work/iconv/libiconv.dll.a" "$prefix/lib/libiconv.dll.a"
}

build_libffi() {
  local s; s=$(srcdir 'libffi-*')
  step "libffi"
  mkdir -p "$s/build-w64"
  (cd "$s/build-w64" && autotools_env &&
    run_logged libffi-configure ../configure --host=$HOST --prefix="$prefix" \
      --enable-shared --disable-static --disable-docs --disable-multi-os-directory &&
    run_logged libffi-build make -j"$JOBS" install)
}

build_pcre2() {
  local s; s=$(srcdir 'pcre2-*')
  step "pcre2"
  mkdir -p "$s/build-w64"
  (cd "$s/build-w64" && autotools_env &&
    run_logged pcre2-configure ../configure --host=$HOST --prefix="$prefix" \
      --enable-shared --disable-static --enable-pcre2-8 --disable-pcre2-16 \
      --disable-pcre2-32 --disable-pcre2grep-libz --disable-pcre2grep-libbz2 \
      --disable-pcre2test-libreadline &&
    run_logged pcre2-build make -j"$JOBS" &&
    run_logged pcre2-install make install)
}

# Only gettext's runtime library: GLib needs its symbols; no catalogs are
# shipped, so it is built without iconv.
build_intl() {
  local s; s=$(srcdir 'gettext-*')
  step "libintl (gettext-runtime/intl)"
  mkdir -p "$s/build-w64"
  (cd "$s/build-w64" && autotools_env &&
    run_logged intl-configure ../gettext-runtime/configure --host=$HOST --prefix="$prefix" \
      --enable-shared --disable-static --disable-java --disable-csharp --disable-libasprintf \
      --disable-openmp --disable-c++ --without-emacs --without-git \
      --enable-threads=windows am_cv_func_iconv=no &&
    run_logged intl-build make -C intl -j"$JOBS" &&
    run_logged intl-install make -C intl install)
}

build_glib() {
  local s; s=$(srcdir 'glib2.0-*')
  step "GLib (meson)"
  rm -rf "$s/build-w64"
  run_logged glib-setup env PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH="" \
    meson setup "$s/build-w64" "$s" --cross-file "$work/cross.ini" \
      --prefix "$prefix" --libdir lib --buildtype release --default-library shared \
      --wrap-mode nodownload \
      -Dc_args="-I$prefix/include" -Dc_link_args="-L$prefix/lib" \
      -Dcpp_args="-I$prefix/include" -Dcpp_link_args="-L$prefix/lib" \
      -Dtests=false -Dinstalled_tests=false -Dnls=disabled -Dgtk_doc=false -Dman=false \
      -Dxattr=false -Dlibmount=disabled -Dselinux=disabled -Dlibelf=disabled \
      -Ddtrace=false -Dsystemtap=false -Dsysprof=disabled
  run_logged glib-build ninja -C "$s/build-w64" -j "$JOBS"
  run_logged glib-install meson install -C "$s/build-w64" --no-rebuild
}

# GMime ships its configure.ac only; it is regenerated here without gtk-doc,
# whose macros are stubbed out since no documentation is built.
build_gmime() {
  local s; s=$(srcdir 'gmime-*')
  step "GMime (autotools)"
  cat >"$s/m4/gtk-doc-off.m4" <<'EOF'
AC_DEFUN([GTK_DOC_CHECK], [
  enable_gtk_doc=no
  AM_CONDITIONAL([GTK_DOC_BUILD_HTML], [false])
  AM_CONDITIONAL([GTK_DOC_BUILD_PDF], [false])
  AM_CONDITIONAL([GTK_DOC_USE_LIBTOOL], [false])
  AM_CONDITIONAL([GTK_DOC_USE_REBASE], [false])
])
EOF
  printf 'EXTRA_DIST =\nCLEANFILES =\nDISTCLEANFILES =\n' >"$s/gtk-doc.make"
  touch "$s/ChangeLog"  # automake wants one; the Debian source has none
  sed -i 's/^SUBDIRS = m4 build util gmime tests docs$/SUBDIRS = m4 build util gmime/; /^SUBDIRS += /d' "$s/Makefile.am"
  # configure cannot run its iconv probe when cross-compiling: these are the
  # charset name forms the Windows iconv above accepts.
  cat >"$s/iconv-detect.h" <<'EOF'
#define ICONV_ISO_INT_FORMAT "iso-%u-%u"
#define ICONV_ISO_STR_FORMAT "iso-%u-%s"
#define ICONV_SHIFT_JIS "shift_jis"
#define ICONV_10646 "UCS-4BE"
EOF
  (cd "$s" && GTKDOCIZE=true run_logged gmime-autoreconf autoreconf -fi)
  mkdir -p "$s/build-w64"
  cp "$s/iconv-detect.h" "$s/build-w64/"
  (cd "$s/build-w64" && autotools_env &&
    run_logged gmime-configure ../configure --host=$HOST --prefix="$prefix" \
      --enable-shared --disable-static --disable-crypto --without-libidn \
      --disable-introspection --disable-vala --with-libiconv=native \
      ac_cv_have_iconv_detect_h=yes &&
    run_logged gmime-build make -j"$JOBS" &&
    run_logged gmime-install make install)
}

# SQLite's source tree has no single-file amalgamation; it is generated with the
# build machine's compiler and tclsh (only code generators run natively), then
# compiled on its own as the DLL the migration ledger links.
build_sqlite() {
  local s; s=$(srcdir 'sqlite3-*')
  step "SQLite (amalgamation as libsqlite3-0.dll)"
  mkdir -p "$s/build-native"
  (cd "$s/build-native" &&
    run_logged sqlite-configure env -u CC -u CFLAGS -u CPPFLAGS -u LDFLAGS ../configure --disable-tcl &&
    run_logged sqlite-amalgamation make -j"$JOBS" sqlite3.c)
  (cd "$s/build-native" && run_logged sqlite-dll "$HOST-gcc-posix" -O2 -shared \
      -DSQLITE_THREADSAFE=1 -o libsqlite3-0.dll sqlite3.c \
      -Wl,--out-implib,libsqlite3.dll.a)
  install -D -m644 "$s/build-native/sqlite3.h" "$prefix/include/sqlite3.h"
  install -D -m644 "$s/src/sqlite3ext.h" "$prefix/include/sqlite3ext.h"
  install -D -m755 "$s/build-native/libsqlite3-0.dll" "$prefix/bin/libsqlite3-0.dll"
  install -D -m644 "$s/build-native/libsqlite3.dll.a" "$prefix/lib/libsqlite3.dll.a"
  cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: SQLite
Description: SQL database engine
Version: 3.40.1
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
}

# A build stopped half way resumes after its last finished step (the prefix
# belongs to one recipe, so the finished steps are still valid).
once() {
  local stamp="$work/stamps/$1"
  [ -e "$stamp" ] && return 0
  "$@"
  mkdir -p "$work/stamps" && touch "$stamp"
}

main() {
  install_missing
  local start=$SECONDS
  mkdir -p "$logs" "$prefix/include" "$prefix/lib/pkgconfig" "$prefix/bin"
  once fetch_sources
  write_cross_files
  once build_zlib
  once build_iconv
  once build_libffi
  once build_pcre2
  once build_intl
  once build_glib
  once build_gmime
  once build_sqlite
  # The sources and build trees are only needed to build; the prefix stays.
  rm -rf "$work/src" "$work/iconv"
  touch "$prefix/.complete"
  step "done in $((SECONDS - start)) s: $prefix"
  echo "$prefix"
}

# On one line, so that bash reads nothing more of this file once it has started
# (an edit during a build cannot run as a command).
main; exit
