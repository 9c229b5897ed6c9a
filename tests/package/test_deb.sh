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
for library in libc6 libstdc++6 libtinyxml2; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

echo "== it installs the program, the signature set, the man page and the copyright file"
expect "files" "$(printf '%s\n' ./usr/bin/kindsniffer-cli ./usr/share/doc/kindsniffer-cli/THIRD-PARTY-NOTICES.txt \
    ./usr/share/doc/kindsniffer-cli/copyright ./usr/share/doc/kindsniffer-cli/signature-authoring.md ./usr/share/kindsniffer/Kindsniffer.xml \
    ./usr/share/man/man1/kindsniffer-cli.1.gz)" "$(cd "$root" && find . -type f | LC_ALL=C sort)"
grep -q "Upstream-Name: zlib" "$root/usr/share/doc/kindsniffer-cli/THIRD-PARTY-NOTICES.txt" ||
    fail "THIRD-PARTY-NOTICES.txt lacks zlib's notice"
cmp -s "$shipped" "$root/usr/share/kindsniffer/Kindsniffer.xml" || fail "the installed set differs from the shipped one"
zcat "$root/usr/share/man/man1/kindsniffer-cli.1.gz" | grep -q "^\.TH KINDSNIFFER-CLI 1 .*$version" ||
    fail "the man page lacks its title line"

echo "== the installed program finds its signature set and examines a sample"
cd /
expect "--version" "kindsniffer-cli $version" "$("$root/usr/bin/kindsniffer-cli" --version)"
status=0
output=$("$root/usr/bin/kindsniffer-cli" --json "$samples/holiday-photo.txt") || status=$?
expect "exit status" 0 "$status"
expect "output" "{\"path\": \"$samples/holiday-photo.txt\", \"state\": \"detected\", \"title\": \"PNG image\", \"extensions\": [\".png\"]}" "$output"

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all passed"
