#!/usr/bin/env bash
# Proves the README's set-up the way a new user meets it: builds a minimal
# Debian 12 root with debootstrap, installs git alone, clones one commit of this
# repository into it and runs the given commands there from the clone's top,
# each exactly as the README writes it. A green run on a developer's machine
# proves nothing about the set-up, because whatever was installed by hand stays.
#
#   scripts/fresh-root.sh [--commit REV] [--keep] [COMMAND...]
#       (default command: scripts/test.sh; as root)
#
# The mirror comes from this machine's own apt sources, so no address is ever
# written by us. Mounts are undone and the root removed on every way out
# (--keep leaves the root for a look, its mounts still undone). CTest prints
# each failing test's own output (CTEST_OUTPUT_ON_FAILURE), so a failure in the
# root reads in this log as it would at home.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
commit=HEAD
keep=0
while [ $# -gt 0 ]; do
    case $1 in
        --commit) commit=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --) shift; break ;;
        -*) echo "usage: $0 [--commit REV] [--keep] [COMMAND...]" >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || set -- scripts/test.sh

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-root.sh: run as root (debootstrap and chroot need it)" >&2
    exit 2
fi
sha=$(git -C "$here" rev-parse --verify "$commit^{commit}")

export DEBIAN_FRONTEND=noninteractive
if ! command -v debootstrap >/dev/null; then
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

# The first Debian mirror among the machine's own sources, deb822 or one-line.
mirror=
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    mirror=$(awk '/^URIs:/ && $2 !~ /security/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
    mirror=$(awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }' /etc/apt/sources.list)
fi
if [ -z "$mirror" ]; then
    echo "fresh-root.sh: no Debian bookworm mirror found in this machine's apt sources" >&2
    exit 2
fi

root=$(mktemp -d "${FRESH_ROOT_DIR:-/var/tmp}/kindsniffer-root.XXXXXX")
chmod 755 "$root"  # as a real root is: apt's own _apt user must reach its cache
mounted=()
cleanup() {
    local status=$?
    # Processes left inside (a wineserver, an Xvfb) hold the mounts busy.
    local pid
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
        if [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ]; then
            kill -9 "$pid" 2>/dev/null || true
        fi
    done
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -R "${mounted[$i]}" 2>/dev/null || umount -R -l "${mounted[$i]}" 2>/dev/null || true
    done
    if findmnt -rn -o TARGET | grep -q "^$root/"; then
        echo "fresh-root.sh: mounts remain under $root; not removing it" >&2
    elif [ "$keep" = 1 ]; then
        echo "fresh-root.sh: the root is kept in $root" >&2
    else
        rm -rf --one-file-system "$root"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bind() {  # bind SOURCE TARGET-INSIDE-ROOT [ro]
    mkdir -p "$root$2"
    mount --bind "$1" "$root$2"
    mounted+=("$root$2")
}

start=$SECONDS
echo "== fresh root: debootstrap --variant=minbase bookworm in $root"
if ! debootstrap --variant=minbase bookworm "$root" "$mirror" > "$root.debootstrap.log" 2>&1; then
    tail -n 30 "$root.debootstrap.log" >&2
    rm -f "$root.debootstrap.log"
    exit 1
fi
rm -f "$root.debootstrap.log"

# The machine's own sources (updates and security included), and its resolver.
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/debian.sources"
    : > "$root/etc/apt/sources.list"
fi
if [ "$(apt-config dump Acquire::Check-Valid-Until | awk '{ print $2 }')" = '"false";' ]; then
    echo 'Acquire::Check-Valid-Until "false";' > "$root/etc/apt/apt.conf.d/99kindsniffer-valid-until"
fi
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

mount -t proc proc "$root/proc"; mounted+=("$root/proc")
mount -t sysfs sysfs "$root/sys"; mounted+=("$root/sys")
bind /dev /dev
mount -t devpts devpts "$root/dev/pts" -o newinstance,ptmxmode=0666 2>/dev/null && mounted+=("$root/dev/pts") || true
mount -t tmpfs tmpfs "$root/dev/shm"; mounted+=("$root/dev/shm")

in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        TERM=dumb CI="${CI:-}" CTEST_OUTPUT_ON_FAILURE=1 "$@"
}

in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends git ca-certificates >/dev/null
echo "== fresh root ready with git in $((SECONDS - start)) s"

# A clone of exactly the commit under test, as a user's clone would be.
mkdir -p "$root/work"
git clone -q --no-local --no-checkout "$here" "$root/work/kindsniffer"
git -C "$root/work/kindsniffer" checkout -q "$sha"
echo "== cloned $sha"

status=0
for command in "$@"; do
    step=$SECONDS
    echo "== in the fresh root: $command"
    # Waited for rather than run in the foreground: bash runs a trap only once
    # its foreground child has ended, and a TERM must clean up at once.
    in_root /bin/bash -c "cd /work/kindsniffer && $command" &
    if wait $!; then
        echo "== $command: exit 0 in $((SECONDS - step)) s"
    else
        status=$?
        echo "== $command: exit $status in $((SECONDS - step)) s"
        break
    fi
done
echo "== fresh root: $((SECONDS - start)) s in all"
exit "$status"
