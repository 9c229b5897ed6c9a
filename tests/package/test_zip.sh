#!/usr/bin/env bash
# The Windows zip as a user gets it: checked against SHA256SUMS, unpacked into
# a folder whose name is Japanese and holds a space, and used from there under
# Wine, with the console program and with the dialog.
#
#   test_zip.sh PACKAGE_DIR VERSION WINE_RUN WINEPREFIX WINDOW_PROBE SAMPLES_DIR
set -euo pipefail

package_dir=$1 version=$2 wine_run=$3 prefix=$4 probe=$5 samples=$6
top=Kindsniffer-$version-win64
zip=$package_dir/$top.zip
# Programs of a Japanese user; non-ASCII paths need a UTF-8 locale under Wine.
export KINDSNIFFER_WINE_LANG=ja_JP.UTF-8

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        fail "$1"
        diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /' || true
    fi
}

echo "== the zip matches SHA256SUMS and holds one folder with the release in it, sorted"
(cd "$package_dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
listing=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
expect "zip entries" "$(printf "$top/%s\n" Kindsniffer.exe Kindsniffer.xml LICENSE README.txt \
    THIRD-PARTY-NOTICES.txt docs/signature-authoring.md kindsniffer-cli.exe | LC_ALL=C sort)" \
    "$(grep -v '/$' <<<"$listing")"
expect "entry order" "$(LC_ALL=C sort <<<"$listing")" "$listing"

folder="ツール 集"
root="$prefix/drive_c/$folder"
rm -rf "$root"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/見本"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$root"
cp "$samples"/* "$root/見本/"
cp "$samples/holiday-photo.txt" "$root/見本/写真 (1).txt"
win="C:\\$folder\\$top"
notices="$root/$top/THIRD-PARTY-NOTICES.txt"
readme="$root/$top/README.txt"
[ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "README.txt lacks the UTF-8 byte-order mark Notepad needs"
grep -qv $'\r$' "$readme" && fail "README.txt has lines that do not end in CR LF"
for notice in "Upstream-Name: tinyxml2" "Upstream-Name: zlib" "Upstream-Name: mingw-w64" "winpthreads" "GCC RUNTIME LIBRARY EXCEPTION"; do
    grep -q "$notice" "$notices" || fail "THIRD-PARTY-NOTICES.txt lacks \"$notice\""
done

# From elsewhere, as from the Send To menu: nothing may depend on the
# current folder.
cd /

echo "== the console program examines the samples with the signature file beside it"
status=0
errors=$(mktemp)
output=$("$wine_run" "$win\\kindsniffer-cli.exe" -r "C:\\$folder\\見本" 2>"$errors") || status=$?
# What the program (or Wine) said on stderr, so that a failure here tells its own story.
[ "$status" = 0 ] || { echo "its stderr:"; sed 's/^/    /' "$errors"; }
rm -f "$errors"
expect "console exit status" 0 "$status"
expect "console output" "$(printf '%s\n' \
    "gzip compressed data  .gz .tgz  C:\\$folder\\見本\\backup" \
    "PNG image             .png      C:\\$folder\\見本\\holiday-photo.txt" \
    "PDF document          .pdf .ai  C:\\$folder\\見本\\minutes.doc" \
    "PNG image             .png      C:\\$folder\\見本\\写真 (1).txt")" "$output"

echo "== the dialog starts with the signature file beside it"
output=$("$wine_run" "$probe" "$win\\Kindsniffer.exe" "C:\\$folder\\見本\\写真 (1).txt") || true
expect "dialog on a sample" "$(printf 'dialog PNG image | .png\nexit 0')" "$output"

echo "== without the signature file it warns, with no window behind, and ends with 0"
mv "$root/$top/Kindsniffer.xml" "$root/$top/Kindsniffer.xml.bak"
output=$("$wine_run" "$probe" "$win\\Kindsniffer.exe") || true
expect "dialog without the signature file" "$(printf 'message Kindsniffer: xmlがありません。\nexit 0')" "$output"

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all passed"
