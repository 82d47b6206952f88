#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, and the
# font alias; does nothing (quickly) when everything is already there.
# Usage: scripts/deps.sh [build|demo]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-private-dev qt6-translations-l10n
          e2fsprogs mount libsqlite3-dev sqlite3 libgl-dev fontconfig fonts-ipafont-gothic
          mdbtools-dev libmdb3 mdbtools
          libcurl4-openssl-dev ca-certificates python3 python3-aiosmtpd openssl
          clang libclang-rt-14-dev clang-tidy desktop-file-utils dpkg-dev)
if [ "${1:-build}" = demo ]; then
    packages+=(xvfb xauth x11-apps x11-utils imagemagick openbox xdotool)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

alias_conf=/etc/fonts/conf.d/65-tavenro-ms-pgothic.conf
if ! cmp -s "$here/data/fontconfig/65-tavenro-ms-pgothic.conf" "$alias_conf"; then
    as_root install -m 644 "$here/data/fontconfig/65-tavenro-ms-pgothic.conf" "$alias_conf"
    as_root fc-cache -f >/dev/null 2>&1 || true
fi
