#!/usr/bin/env bash
# The Windows zip as a user gets it: checked against SHA256SUMS, unpacked into
# a folder whose name is Japanese and holds a space, and used from there under
# Wine, with the console program and with the dialog. What Explorer shows of
# the programs, their icons and version resources, is read as icoutils reads it.
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
    THIRD-PARTY-NOTICES.txt docs/signature-authoring.html kindsniffer-cli.exe kindsniffer.dll \
    include/kindsniffer.h lib/kindsniffer.def lib/libkindsniffer.dll.a | LC_ALL=C sort)" \
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
[ "$(head -c 3 "$notices" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "THIRD-PARTY-NOTICES.txt lacks the UTF-8 byte-order mark"
grep -qv $'\r$' "$notices" && fail "THIRD-PARTY-NOTICES.txt has lines that do not end in CR LF"
# Every license the copyright files point to on a Debian system, whole.
python3 - "$notices" <<'PY' || fail "THIRD-PARTY-NOTICES.txt lacks license texts it names"
import os, re, sys
notices = open(sys.argv[1], encoding="utf-8-sig", newline="").read()
named = set(re.findall(r"/usr/share/common-licenses/([A-Za-z0-9][A-Za-z0-9.+_-]*[A-Za-z0-9])", notices))
missing = [name for name in sorted(named)
           if open(os.path.join("/usr/share/common-licenses", name), encoding="utf-8").read().replace("\n", "\r\n")
           not in notices]
for name in missing:
    print(f"    {name} is named but its text is not there")
sys.exit(1 if missing or not {"GPL-2", "GPL-3", "LGPL-2.1"} <= named else 0)
PY

echo "== Kindsniffer.exe's icons: every size Explorer shows, the 256 one PNG"
resources=$(mktemp -d)
trap 'rm -rf "$root" "$resources"' EXIT
# An .ico's entry N (from 0) is 16 bytes from offset 6, its image's offset at 12.
image_start() {
    local at
    at=$(od -An -tu4 -j $((6 + 16 * $2 + 12)) -N4 "$1" | tr -d ' ')
    od -An -tx1 -j "$at" -N4 "$1" | tr -d ' '
}
for group in "103 16 24 32 48 256" "104 16 24"; do
    read -r id sizes <<<"$group"
    ico=$resources/$id.ico
    wrestool -x -t 14 -n "$id" -o "$ico" "$root/$top/Kindsniffer.exe" || fail "no icon group $id"
    index=0 listing="" starts=""
    for size in $sizes; do
        listing+="--icon --index=$((index + 1)) --width=$size --height=$size --bit-depth=32 --palette-size=0"$'\n'
        # A 32-bit bitmap begins with its 40-byte header, the 256 one is a PNG.
        [ "$size" = 256 ] && starts+=$'89504e47\n' || starts+=$'28000000\n'
        index=$((index + 1))
    done
    expect "icon group $id" "$listing" "$(icotool -l "$ico" 2>&1)"$'\n'
    expect "icon group $id images" "$starts" "$(for ((i = 0; i < index; i++)); do image_start "$ico" $i; done)"$'\n'
done

echo "== the programs' and the library's version resources: English (US) and Japanese, the same strings, both translations listed"
for file in Kindsniffer.exe kindsniffer-cli.exe kindsniffer.dll; do
    program=${file%.*}
    raw=$resources/$program.version
    wrestool -x --raw -t 16 -o "$raw" "$root/$top/$file" || fail "$file has no version resource"
    values=$(python3 "$(dirname "$0")/version_info.py" "$raw") || fail "$file: a malformed version resource"
    expect "$file translations" "VarFileInfo/Translation=0409 04b0 0411 04b0" "$(grep '^VarFileInfo/' <<<"$values")"
    expect "$file blocks" $'040904B0\n041104B0' "$(sed -n 's|^StringFileInfo/\([^/]*\)/.*|\1|p' <<<"$values" | uniq)"
    english=$(sed -n 's|^StringFileInfo/040904B0/||p' <<<"$values")
    expect "$file Japanese strings" "$english" "$(sed -n 's|^StringFileInfo/041104B0/||p' <<<"$values")"
    grep -qx "FileVersion=$version" <<<"$english" || fail "$file: no FileVersion $version"
    grep -qx "OriginalFilename=$file" <<<"$english" || fail "$file: no OriginalFilename"
done

echo "== the library exports its interface and nothing else, and a program built from the zip alone uses it"
exports=$(x86_64-w64-mingw32-objdump -p "$root/$top/kindsniffer.dll" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
header=$(grep -o '^KINDSNIFFER_EXPORT [^(]*(' "$root/$top/include/kindsniffer.h" | sed 's/.*[ *]\([a-z_]*\)($/\1/' | LC_ALL=C sort)
expect "the DLL's exports" "$header" "$exports"
expect "kindsniffer.def" "$header" "$(sed -n 's/^ *\(kindsniffer_[a-z_]*\).*/\1/p' "$root/$top/lib/kindsniffer.def" | LC_ALL=C sort)"
x86_64-w64-mingw32-gcc -std=c99 -Wall -Werror -I"$root/$top/include" -o "$root/$top/identify.exe" \
    "$(dirname "$0")/../../examples/identify.c" -L"$root/$top/lib" -lkindsniffer || fail "the example does not build from the zip"
output=$("$wine_run" "$win\\identify.exe" 2>&1) || fail "the example built from the zip did not run"
grep -q '^upload: PNG image \[\.png\]' <<<"$output" || fail "the example built from the zip: $output"
rm -f "$root/$top/identify.exe"

echo "== the authoring guide is a web page, its links to its own headings whole"
guide="$root/$top/docs/signature-authoring.html"
[ "$(head -n 1 "$guide")" = "<!DOCTYPE html>" ] || fail "the guide is no HTML document"
grep -q '<meta charset="utf-8">' "$guide" || fail "the guide does not say it is UTF-8"
grep -q '<table>' "$guide" || fail "the guide's tables were not rendered"
grep -q '<h2 id="the-pattern-language">' "$guide" || fail "the guide's headings have no anchors"
for target in $(grep -o 'href="#[^"]*"' "$guide" | sed 's/^href="#\(.*\)"$/\1/'); do
    grep -q " id=\"$target\"" "$guide" || fail "the guide links to #$target, which it lacks"
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
    "gzip compressed data (general)  .gz .tgz  C:\\$folder\\見本\\backup" \
    "PNG image                       .png      C:\\$folder\\見本\\holiday-photo.txt" \
    "PDF document                    .pdf .ai  C:\\$folder\\見本\\minutes.doc" \
    "PNG image                       .png      C:\\$folder\\見本\\写真 (1).txt")" "$output"

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
