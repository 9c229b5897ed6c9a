#!/usr/bin/env bash
# One-time machine set-up for building and testing Kindsniffer on Debian 12.
# Installs the native and MinGW-w64 toolchains, Wine, Xvfb and everything the
# tests and the corpus generator use, generates the Japanese locale, and
# fetches the tinyxml2 source for the cross build. Safe to run again.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: run as root (it installs packages)" >&2
    exit 2
fi

packages=(
    # native build
    cmake ninja-build g++ pkg-config libtinyxml2-dev googletest
    # the fuzz targets (clang with libFuzzer and the sanitizers)
    clang libclang-rt-14-dev
    # cross build and the Windows test runner
    g++-mingw-w64-x86-64-posix wine wine64
    # real windows, keyboard and screenshots
    xvfb xdotool xauth imagemagick fonts-ipafont-gothic fonts-wine locales
    # source package of tinyxml2 for the cross build
    dpkg-dev xz-utils
    # sample corpus, benchmarks and comparison tools
    file bc python3 sqlite3 gzip bzip2 zstd lzip lz4 cpio p7zip-full
    fonts-dejavu-core ghostscript poppler-utils genisoimage qemu-utils
    flac vorbis-tools opus-tools lame wavpack gcab lzop ncompress arj rpm
    squashfs-tools dosfstools woff2 zip openssl e2fsprogs dpkg-dev binutils
)

# deb-src entries derived from the machine's own sources, so that no mirror
# address is written anywhere by us.
src_list=/etc/apt/sources.list.d/kindsniffer-deb-src.sources
if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
fi
if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/kindsniffer-deb-src.list
    src_list=/etc/apt/sources.list.d/kindsniffer-deb-src.list
fi

export DEBIAN_FRONTEND=noninteractive
missing=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>&1 | grep -vc '^ii ' || true)
if [ "$missing" -gt 0 ] || ! apt-cache showsrc tinyxml2 >/dev/null 2>&1; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
fi

# Wine reports code page 932 only when the Japanese locale exists.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    sed -i 's/^# *\(en_US.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    locale-gen >/dev/null
fi

"$here/scripts/fetch-tinyxml2.sh"
echo "setup: done"
