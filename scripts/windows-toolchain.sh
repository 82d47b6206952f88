#!/usr/bin/env bash
# Builds what the tool needs to be cross-compiled for 32-bit Windows, from
# Debian's own packages and sources: Qt's qtbase (Core, Gui, Widgets, Test,
# the windows and offscreen platforms), SQLite, and libcurl over Schannel, so
# that Windows' own TLS and certificate store serve the mail and no OpenSSL
# ships. Installs the MinGW-w64 compilers, Wine and NSIS first.
#
# Everything goes into a cache outside the repository, one folder per set of
# versions; each piece leaves a stamp there, and a second run with the cache
# in place does nothing. cmake/windows-i686.cmake builds the project against it.
#
# 32-bit, since the Jet ODBC driver that reads the product's file is 32-bit
# only, as is the product. Qt 6.4 is the last Qt built for 32-bit Windows.
#
# Usage: scripts/windows-toolchain.sh    (as root, or with sudo at hand)
# TAVENRO_WINDOWS_CACHE moves the cache (default /var/cache/tavenro-windows);
# JOBS sets the parallel jobs (default: the number of cores). The build runs
# at the lowest priority, so that a machine's other work keeps its pace.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

qt_version=6.4.2
sqlite_version=3.40.1
curl_version=7.88.1
triplet=i686-w64-mingw32
cache="${TAVENRO_WINDOWS_CACHE:-/var/cache/tavenro-windows}"
prefix="$cache/i686-qt$qt_version-sqlite$sqlite_version-curl$curl_version"
jobs="${JOBS:-$(nproc)}"
toolchain="$here/cmake/windows-i686.cmake"

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}
stamped() { [ -e "$prefix/.stamp-$1" ]; }
low() { nice -n 19 "$@"; }
# Seconds since the piece started, kept beside its stamp for the record.
finish() {
    local piece="$1" started="$2"
    echo "$(($(date +%s) - started))" >"$prefix/.stamp-$piece"
    echo "== $piece built in $(($(date +%s) - started)) s"
}

if stamped qtbase && stamped sqlite && stamped curl && command -v makensis >/dev/null &&
    command -v "$triplet-g++-posix" >/dev/null; then
    echo "Windows toolchain ready: $prefix"
    exit 0
fi

# -- Debian packages ---------------------------------------------------------
packages=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
          mingw-w64-i686-dev mingw-w64-tools nsis wine
          cmake ninja-build perl python3 tcl dpkg-dev xz-utils
          qt6-base-dev qt6-base-dev-tools)
missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
# The sources come from Debian's source archive.
src_list=/etc/apt/sources.list.d/tavenro-deb-src.sources
need_update=
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    as_root tee "$src_list" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    need_update=1
fi
# Wine runs 32-bit programs with its i386 half.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    need_update=1
fi
wine32_status=$(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null || true)
if [ -n "$need_update" ] || [ ${#missing[@]} -gt 0 ] || [ "$wine32_status" != "install ok installed" ]; then
    # A mirror caught mid-sync fails one index or another; what did arrive
    # is still used, and the installs below say what is really missing.
    as_root apt-get update -qq || echo "apt-get update reported errors; going on" >&2
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
if [ "$wine32_status" != "install ok installed" ]; then
    # Only needed to run what is built, not to build it: a failure here is
    # reported and the build goes on.
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        wine32:i386 >/dev/null ||
        echo "wine32:i386 could not be installed: 32-bit programs will not run under Wine" >&2
fi

mkdir -p "$cache/src" "$cache/build" "$prefix"
# One run at a time: a second one waits, then finds the pieces stamped.
exec 9>"$cache/.lock"
flock 9

# A build folder left by an earlier run is resumed, unless the toolchain file
# it was configured with has gone (a worktree since removed).
resume_or_restart() {
    local old
    [ -f "$1/CMakeCache.txt" ] || return 0
    old=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$1/CMakeCache.txt")
    [ -z "$old" ] || [ -f "$old" ] || rm -rf "$1"
}

# Debian's source of a package, unpacked with Debian's patches, once.
fetch_source() {
    local package="$1" dir="$2"
    if [ ! -d "$cache/src/$dir" ]; then
        (cd "$cache/src" && apt-get source -qq "$package" >/dev/null)
    fi
    [ -d "$cache/src/$dir" ] || {
        echo "apt-get source $package did not give $dir" >&2
        exit 1
    }
}

# -- SQLite: the amalgamation, made with the host's tclsh, as one DLL --------
if ! stamped sqlite; then
    started=$(date +%s)
    fetch_source sqlite3 "sqlite3-$sqlite_version"
    build="$cache/build/sqlite"
    rm -rf "$build" && mkdir -p "$build"
    (cd "$build" && low "$cache/src/sqlite3-$sqlite_version/configure" --disable-tcl >/dev/null &&
        low make -s sqlite3.c >/dev/null)
    mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include"
    low "$triplet-gcc-posix" -O2 -shared -o "$prefix/bin/libsqlite3-0.dll" \
        -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA -I"$build" "$build/sqlite3.c" \
        -Wl,--out-implib,"$prefix/lib/libsqlite3.dll.a" -static-libgcc
    cp "$build/sqlite3.h" "$build/sqlite3ext.h" "$prefix/include/"
    rm -rf "$build"
    finish sqlite "$started"
fi

# -- libcurl over Schannel: SMTP and POP3, with and without TLS, only --------
if ! stamped curl; then
    started=$(date +%s)
    fetch_source curl "curl-$curl_version"
    build="$cache/build/curl"
    resume_or_restart "$build"
    # HTTP stays: Debian's backported fixes reach its code from the mail
    # protocols' shared parts.
    off=()
    for feature in ALTSVC COOKIES DICT DOH FILE FTP GOPHER HSTS IMAP LDAP LDAPS MQTT NETRC \
        NTLM PROXY RTSP SMB TELNET TFTP; do
        off+=("-DCURL_DISABLE_$feature=ON")
    done
    low cmake -S "$cache/src/curl-$curl_version" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTAVENRO_WINDOWS_PREFIX="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DCURL_ENABLE_SSL=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
        -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DCURL_ZLIB=OFF -DCURL_USE_LIBSSH2=OFF \
        -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DENABLE_UNIX_SOCKETS=OFF \
        -DCURL_DISABLE_HTTP=OFF -DENABLE_THREADED_RESOLVER=ON -DENABLE_UNICODE=ON "${off[@]}" \
        >"$build.configure.log" 2>&1 || {
        tail -40 "$build.configure.log" >&2
        exit 1
    }
    low cmake --build "$build" -j "$jobs" >"$build.build.log" 2>&1 || {
        grep -B2 -A20 -m3 'FAILED\|error:' "$build.build.log" >&2
        exit 1
    }
    low cmake --install "$build" >/dev/null
    rm -rf "$build" "$build.configure.log" "$build.build.log"
    finish curl "$started"
fi

# -- Qt's qtbase: the modules and plugins the tool uses, nothing more --------
if ! stamped qtbase; then
    started=$(date +%s)
    fetch_source qt6-base "qt6-base-$qt_version+dfsg"
    build="$cache/build/qtbase"
    resume_or_restart "$build"
    features=(
        # The tool's own: the widgets, their tests, and images for the icons.
        -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON -DFEATURE_png=ON
        # Qt's bundled third-party code, not the host's.
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
        -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
        -DFEATURE_system_doubleconversion=OFF -DFEATURE_freetype=ON -DFEATURE_harfbuzz=ON
        -DFEATURE_jpeg=ON
        # What the tool never uses.
        -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
        -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
        -DFEATURE_androiddeployqt=OFF -DFEATURE_pkg_config=OFF)
    low cmake -S "$cache/src/qt6-base-$qt_version+dfsg" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTAVENRO_WINDOWS_PREFIX="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        "${features[@]}" >"$build.configure.log" 2>&1 || {
        tail -40 "$build.configure.log" >&2
        exit 1
    }
    low cmake --build "$build" -j "$jobs" >"$build.build.log" 2>&1 || {
        grep -B2 -A20 -m3 'FAILED\|error:' "$build.build.log" >&2
        exit 1
    }
    low cmake --install "$build" >/dev/null
    rm -rf "$build" "$build.configure.log" "$build.build.log"
    finish qtbase "$started"
fi

echo "Windows toolchain ready: $prefix ($(du -sh "$prefix" | cut -f1))"
