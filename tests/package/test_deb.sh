#!/usr/bin/env bash
# The Debian package as a user gets it: checked against SHA256SUMS, its
# control fields, and installed into a scratch root (dpkg -x), where the
# installed program examines a sample with its default signature file.
#
#   test_deb.sh PACKAGE_DIR VERSION SHIPPED_SET SAMPLES_DIR
set -euo pipefail

package_dir=$1 version=$2 shipped=$3 samples=$4
deb=$package_dir/kindsniffer-cli_${version}_amd64.deb

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || fail "$1: expected \"$2\", got \"$3\""
}

echo "== the package matches SHA256SUMS and names itself, its version and its libraries"
(cd "$package_dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
expect "Package" kindsniffer-cli "$(dpkg-deb -f "$deb" Package)"
expect "Version" "$version" "$(dpkg-deb -f "$deb" Version)"
expect "Architecture" amd64 "$(dpkg-deb -f "$deb" Architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libtinyxml2 zlib1g; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

echo "== it installs the program, the signature set, the man page, the changelog and the copyright file"
expect "files" "$(printf '%s\n' ./usr/bin/kindsniffer-cli ./usr/share/doc/kindsniffer-cli/changelog.gz \
    ./usr/share/doc/kindsniffer-cli/copyright ./usr/share/doc/kindsniffer-cli/signature-authoring.md \
    ./usr/share/kindsniffer/Kindsniffer.xml ./usr/share/man/man1/kindsniffer-cli.1.gz)" \
    "$(cd "$root" && find . -type f | LC_ALL=C sort)"
zcat "$root/usr/share/doc/kindsniffer-cli/changelog.gz" | head -n 1 | grep -q "^kindsniffer-cli ($version)" ||
    fail "the changelog's newest entry is not this version's"
cmp -s "$shipped" "$root/usr/share/kindsniffer/Kindsniffer.xml" || fail "the installed set differs from the shipped one"
zcat "$root/usr/share/man/man1/kindsniffer-cli.1.gz" | grep -Eq "^\.TH KINDSNIFFER-CLI 1 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\" .*$version" ||
    fail "the man page lacks its title line with the release's date"

echo "== lintian finds no error, and no warning beyond those listed with their reasons"
# Warnings accepted, each with its reason (none today): "tag1 tag2".
accepted=""
tags=$(lintian --allow-root --no-cfg "$deb" 2>/dev/null | awk '$1 == "E:" || $1 == "W:" { print $1, $3 }' | sort -u)
while read -r level tag; do
    [ -n "$tag" ] || continue
    if [ "$level" = "E:" ]; then
        fail "lintian error: $tag"
    elif ! [[ " $accepted " == *" $tag "* ]]; then
        fail "lintian warning not listed: $tag"
    fi
done <<< "$tags"

echo "== the installed program finds its signature set and examines a sample"
cd /
expect "--version" "kindsniffer-cli $version" "$("$root/usr/bin/kindsniffer-cli" --version)"
status=0
output=$("$root/usr/bin/kindsniffer-cli" --json "$samples/holiday-photo.txt") || status=$?
expect "exit status" 0 "$status"
expect "output" "{\"path\": \"$samples/holiday-photo.txt\", \"state\": \"detected\", \"title\": \"PNG image\", \"extensions\": [\".png\"], \"mime\": \"image/png\"}" "$output"

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all passed"
