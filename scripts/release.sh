#!/usr/bin/env bash
# Builds the release and checks that it is reproducible.
#
#   scripts/release.sh
#       Builds the last commit twice, from clean copies in two different
#       folders: the Windows zip and the three Debian packages (the console
#       program, the library, its development files), with their executables
#       and libraries. Every artifact must come out byte for byte the same; the
#       zip and the .debs then go to build/release/ with SHA256SUMS.
#       Zip and package entries are dated SOURCE_DATE_EPOCH, by default the
#       time of the last commit.
#
#   scripts/release.sh --executables BUILD_DIR
#       The bounded form CI runs: builds the Windows executables once more,
#       from a copy of the working tree in another folder, and compares them
#       with those in BUILD_DIR (a build of the windows preset).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kindsniffer-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# In a build of the windows preset.
windows_exes=(app/Kindsniffer.exe cli/kindsniffer-cli.exe lib/kindsniffer.dll)

# The tinyxml2 source is fetched, not committed: a fresh copy takes the one
# this tree has, or fetches it.
copy_dependencies() {
    local tree=$1
    if [ -f "$root/.deps/tinyxml2/tinyxml2.cpp" ]; then
        mkdir -p "$tree/.deps"
        cp -r "$root/.deps/tinyxml2" "$tree/.deps/"
    else
        "$tree/scripts/fetch-tinyxml2.sh"
    fi
}

# The same bytes, or a list of what differs.
compare() {
    local first=$1 second=$2 file differ=0
    shift 2
    for file in "$@"; do
        if cmp -s "$first/$file" "$second/$file"; then
            echo "same: $file"
        else
            echo "DIFFERENT: $file" >&2
            differ=1
        fi
    done
    return $differ
}

if [ "${1:-}" = --executables ]; then
    build=$(realpath "$2")
    tree=$work/again/src
    mkdir -p "$tree"
    # The working tree as it is, uncommitted changes included: that is what
    # BUILD_DIR was built from.
    (
        cd "$root"
        git ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
            tar -c --null --no-recursion -T -
    ) | tar -x -C "$tree"
    copy_dependencies "$tree"
    (cd "$tree" && cmake --preset windows -DKINDSNIFFER_TESTS=OFF >/dev/null &&
        cmake --build --preset windows --target Kindsniffer kindsniffer-cli kindsniffer >/dev/null)
    compare "$build" "$tree/build/windows" "${windows_exes[@]}"
    exit
fi

cd "$root"
# One commit for both trees, even if HEAD moves meanwhile.
commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct "$commit")}
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: uncommitted changes are not part of the release: it builds ${commit:0:7}" >&2
fi
version=$(git show "$commit:CMakeLists.txt" | sed -n 's/^project(Kindsniffer VERSION \([0-9.]*\).*/\1/p')
zip=Kindsniffer-$version-win64.zip
debs=("kindsniffer-cli_${version}_amd64.deb" "libkindsniffer0_${version}_amd64.deb" "libkindsniffer-dev_${version}_amd64.deb")

# Two clean trees at different depths, so that no path can hide in the output.
trees=("$work/one/src" "$work/the/second/tree/src")
for tree in "${trees[@]}"; do
    echo "== building ${commit:0:7} in $tree"
    mkdir -p "$tree"
    git archive "$commit" | tar -x -C "$tree"
    copy_dependencies "$tree"
    (
        cd "$tree"
        for preset in windows native; do
            cmake --preset $preset -DKINDSNIFFER_TESTS=OFF >/dev/null
            cmake --build --preset $preset >/dev/null
            cpack --preset $preset >/dev/null
        done
    )
done

echo "== comparing"
status=0
compare "${trees[0]}/build/windows" "${trees[1]}/build/windows" "${windows_exes[@]}" "$zip" || status=1
compare "${trees[0]}/build/native" "${trees[1]}/build/native" cli/kindsniffer-cli "lib/libkindsniffer.so.$version" \
    "${debs[@]}" || status=1
if [ $status -ne 0 ]; then
    echo "release.sh: the two builds differ; nothing released" >&2
    exit 1
fi

out=build/release
rm -rf "$out"
mkdir -p "$out"
cp "${trees[0]}/build/windows/$zip" "${debs[@]/#/${trees[0]}/build/native/}" "$out/"
(cd "$out" && sha256sum -- *.zip *.deb > SHA256SUMS)
echo "== release $version in $out:"
(cd "$out" && ls -l && cat SHA256SUMS)
