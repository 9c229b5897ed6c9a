#!/usr/bin/env bash
# The Debian packages as a user gets them: kindsniffer-cli, libkindsniffer0
# and libkindsniffer-dev, checked against SHA256SUMS, their control fields and
# control files, and installed together into a scratch root (dpkg -x), where
# the installed program examines a sample with its default signature file, a
# C program is built against the installed header, pkg-config file and library,
# and the Python module runs over the installed library.
#
#   test_deb.sh PACKAGE_DIR VERSION SOURCE_DIR
set -euo pipefail

package_dir=$1 version=$2 source=$3
shipped=$source/data/Kindsniffer.xml samples=$source/data/samples
cli_deb=$package_dir/kindsniffer-cli_${version}_amd64.deb
lib_deb=$package_dir/libkindsniffer0_${version}_amd64.deb
dev_deb=$package_dir/libkindsniffer-dev_${version}_amd64.deb
libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""
}

echo "== the packages match SHA256SUMS and name themselves, their version, section and dependencies"
(cd "$package_dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
expect "packages in SHA256SUMS" 3 "$(wc -l < "$package_dir/SHA256SUMS")"
# package  section  what Depends must name
while read -r package section needs; do
    deb=$package_dir/${package}_${version}_amd64.deb
    expect "$package Package" "$package" "$(dpkg-deb -f "$deb" Package)"
    expect "$package Version" "$version" "$(dpkg-deb -f "$deb" Version)"
    expect "$package Architecture" amd64 "$(dpkg-deb -f "$deb" Architecture)"
    expect "$package Section" "$section" "$(dpkg-deb -f "$deb" Section)"
    depends=$(dpkg-deb -f "$deb" Depends)
    for need in $needs; do
        [[ ", $depends" == *", ${need//_/ }"* ]] || fail "$package: Depends lacks ${need//_/ }: $depends"
    done
done <<EOF
kindsniffer-cli utils libkindsniffer0_(=_$version) libc6 libstdc++6 libtinyxml2 zlib1g
libkindsniffer0 libs libc6 libstdc++6 libtinyxml2 zlib1g
libkindsniffer-dev libdevel libkindsniffer0_(=_$version)
EOF

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
files() {  # files DEB: its regular files and links, as dpkg -x writes them
    local into
    into=$root/$(basename "$1")
    mkdir -p "$into" && dpkg -x "$1" "$into" && (cd "$into" && find . ! -type d | LC_ALL=C sort)
}

echo "== each package holds its files: the program; the library and the set; the header, link and .pc"
doc() { printf '%s\n' "./usr/share/doc/$1/changelog.gz" "./usr/share/doc/$1/copyright"; }
expect "kindsniffer-cli files" "$( (printf '%s\n' ./usr/bin/kindsniffer-cli ./usr/share/doc/kindsniffer-cli/signature-authoring.md \
    ./usr/share/man/man1/kindsniffer-cli.1.gz; doc kindsniffer-cli) | LC_ALL=C sort)" "$(files "$cli_deb")"
expect "libkindsniffer0 files" "$( (printf '%s\n' "./$libdir/libkindsniffer.so.0" "./$libdir/libkindsniffer.so.$version" \
    ./usr/share/kindsniffer/Kindsniffer.xml; doc libkindsniffer0) | LC_ALL=C sort)" "$(files "$lib_deb")"
expect "libkindsniffer-dev files" "$( (printf '%s\n' "./$libdir/libkindsniffer.so" "./$libdir/pkgconfig/kindsniffer.pc" \
    ./usr/include/kindsniffer.h; doc libkindsniffer-dev) | LC_ALL=C sort)" "$(files "$dev_deb")"
for deb in "$cli_deb" "$lib_deb" "$dev_deb"; do
    dpkg -x "$deb" "$root/installed"
    package=$(dpkg-deb -f "$deb" Package)
    zcat "$root/installed/usr/share/doc/$package/changelog.gz" | head -n 1 | grep -q "^kindsniffer-cli ($version)" ||
        fail "$package: the changelog's newest entry is not this version's"
done
installed=$root/installed
cmp -s "$shipped" "$installed/usr/share/kindsniffer/Kindsniffer.xml" || fail "the installed set differs from the shipped one"
zcat "$installed/usr/share/man/man1/kindsniffer-cli.1.gz" | grep -Eq "^\.TH KINDSNIFFER-CLI 1 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\" .*$version" ||
    fail "the man page lacks its title line with the release's date"
cmp -s "$source/lib/include/kindsniffer.h" "$installed/usr/include/kindsniffer.h" || fail "the installed header differs"

echo "== the library: its SONAME and links, and control files that list exactly what it exports"
library=$installed/$libdir/libkindsniffer.so.$version
expect "SONAME" libkindsniffer.so.0 "$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
expect "libkindsniffer.so.0 link" "libkindsniffer.so.$version" "$(readlink "$installed/$libdir/libkindsniffer.so.0")"
expect "libkindsniffer.so link" libkindsniffer.so.0 "$(readlink "$installed/$libdir/libkindsniffer.so")"
control=$root/control
dpkg-deb -e "$lib_deb" "$control"
expect "control files" "control md5sums shlibs symbols triggers" "$(cd "$control" && find . -type f -printf '%f\n' | LC_ALL=C sort | xargs)"
expect "shlibs" "libkindsniffer 0 libkindsniffer0 (>= $version)" "$(cat "$control/shlibs")"
expect "triggers" "activate-noawait ldconfig" "$(cat "$control/triggers")"
cmp -s "$source/packaging/libkindsniffer0/symbols" "$control/symbols" || fail "DEBIAN/symbols is not packaging/libkindsniffer0/symbols"
exported=$(readelf --dyn-syms -W "$library" | awk '$5 == "GLOBAL" && $7 != "UND" { sub("@@", "@", $8); print $8 }' |
           sed 's/^\([A-Z0-9_]*\)$/\1@\1/' | LC_ALL=C sort)
expect "symbols the library exports" "$exported" "$(sed -n 's/^ \([^ ]*\) .*/\1/p' "$control/symbols" | LC_ALL=C sort)"

echo "== lintian finds no error, and no warning beyond those listed with their reasons"
# Warnings accepted, each with its reason (none today): "tag1 tag2".
accepted=""
tags=$(lintian --allow-root --no-cfg "$cli_deb" "$lib_deb" "$dev_deb" 2>/dev/null |
       awk '$1 == "E:" || $1 == "W:" { print $1, $2, $3 }' | sort -u)
while read -r level package tag; do
    [ -n "$tag" ] || continue
    if [ "$level" = "E:" ]; then
        fail "lintian error: $package $tag"
    elif ! [[ " $accepted " == *" $tag "* ]]; then
        fail "lintian warning not listed: $package $tag"
    fi
done <<< "$tags"

echo "== the installed program finds its signature set, from libkindsniffer0, and examines a sample"
cd /
expect "--version" "kindsniffer-cli $version" "$("$installed/usr/bin/kindsniffer-cli" --version)"
status=0
output=$("$installed/usr/bin/kindsniffer-cli" --json "$samples/holiday-photo.txt") || status=$?
expect "exit status" 0 "$status"
expect "output" "{\"path\": \"$samples/holiday-photo.txt\", \"state\": \"detected\", \"title\": \"PNG image\", \"extensions\": [\".png\"], \"mime\": \"image/png\"}" "$output"

echo "== a C program builds with pkg-config against the installed files and opens the set installed with the library"
# The .pc names its prefix from its own folder, so the flags lead into the scratch root.
flags=$(PKG_CONFIG_PATH=$installed/$libdir/pkgconfig pkg-config --cflags --libs kindsniffer)
cat > "$root/probe.c" <<'EOF'
#include <kindsniffer.h>
#include <stdio.h>
int main(int argc, char** argv)
{
    kindsniffer_error error;
    kindsniffer_set* set = kindsniffer_set_open_shipped(&error);
    if (!set) {
        printf("%s\n", error.message);
        return 1;
    }
    kindsniffer_result* result = kindsniffer_identify_file(set, argv[1], 0);
    printf("%s\n", kindsniffer_result_title(result));
    kindsniffer_result_free(result);
    kindsniffer_set_free(set);
    return argc == 2 ? 0 : 1;
}
EOF
# shellcheck disable=SC2086  # the flags are words
if cc -o "$root/probe" "$root/probe.c" $flags; then
    expect "the C program's answer" "PNG image" "$(LD_LIBRARY_PATH=$installed/$libdir "$root/probe" "$samples/holiday-photo.txt")"
else
    fail "the C program does not build against the installed files"
fi

echo "== the Python module loads the installed library and its set"
expect "the module's answer" "PNG image" "$(KINDSNIFFER_LIBRARY=$installed/$libdir/libkindsniffer.so.0 PYTHONPATH=$source/python \
    python3 -c 'import sys, kindsniffer; print(kindsniffer.open().identify(sys.argv[1]).title)' "$samples/holiday-photo.txt")"

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all passed"
