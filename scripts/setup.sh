#!/usr/bin/env bash
# One-time machine set-up for building and testing Kindsniffer on Debian 12.
# Installs the native and MinGW-w64 toolchains, Wine, Xvfb and every package
# whose programs or files the tests and the corpus generator read, generates
# the Japanese locale, and fetches the tinyxml2 source for the cross build.
# With --bench it also installs what the benchmark scripts alone use. Safe to
# run again: it calls apt-get only when something is missing.
#
#   scripts/setup.sh [--bench]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: run as root (it installs packages)" >&2
    exit 2
fi

bench=0
[ "${1:-}" = --bench ] && bench=1

packages=(
    # native build
    cmake ninja-build g++ pkg-config libtinyxml2-dev googletest
    # zlib, linked statically: for the native build and for the MinGW-w64 cross build
    zlib1g-dev libz-mingw-w64-dev
    # the fuzz targets and the tsan preset (clang with libFuzzer and the sanitizers, ThreadSanitizer included)
    clang libclang-rt-14-dev
    # cross build and the Windows test runner
    g++-mingw-w64-x86-64-posix wine wine64
    # real windows, keyboard and screenshots
    xvfb xdotool xauth imagemagick fonts-ipafont-gothic fonts-wine locales
    # the authoring guide as HTML for the zip; the zip test reads its icons and version resource with icoutils
    cmark-gfm icoutils
    # source package of tinyxml2 for the cross build; git for the release check
    dpkg-dev xz-utils git
    # the comparison tool and the test scripts' interpreter; the Debian package's own checker
    file python3 lintian
    # programs the corpus generator runs to make its samples
    ghostscript poppler-utils sqlite3 gzip bzip2 zstd lzip lz4 lzop ncompress cpio p7zip-full arj zip
    genisoimage qemu-utils squashfs-tools dosfstools e2fsprogs util-linux gcab rpm binutils gcc
    flac vorbis-tools opus-tools lame wavpack woff2 openssl openssh-client
    # files the corpus generator copies as real samples of their kinds
    libgs-common          # an ICC colour profile
    fonts-dejavu-core     # TrueType fonts, also the source of the TTC, WOFF and WOFF2 samples
    fonts-urw-base35      # OpenType, Type 1 (PFB, T1) and AFM fonts
    gir1.2-glib-2.0       # a GObject introspection typelib
    openjdk-17-jdk-headless  # a Java module (.jmod)
    debian-archive-keyring   # an OpenPGP keyring
    libc6 zlib1g coreutils   # ELF programs and shared objects
    # the Dask recipe in examples/ and its test (examples.dask): a LocalCluster of two workers
    python3-dask python3-distributed
    # the Python module's tests (python.module, python.corpus): pytest, and a venv to pip-install it into
    python3-pytest python3-venv
)
bench_packages=(
    # the benchmarks: processor time, one-core runs and the npm file-type
    time bc util-linux nodejs npm
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
# A Node.js from elsewhere brings its own npm; only a machine without one gets Debian's.
if [ "$bench" = 1 ] && { ! command -v /usr/bin/time >/dev/null || ! command -v bc >/dev/null \
                         || ! command -v npm >/dev/null; }; then
    apt-get update -qq
    if command -v npm >/dev/null; then
        apt-get install -y -qq --no-install-recommends time bc util-linux >/dev/null
    else
        apt-get install -y -qq --no-install-recommends "${bench_packages[@]}" >/dev/null
    fi
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
