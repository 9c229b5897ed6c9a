// A compound file's directory (the container of the older Office formats and
// many others): which streams and storages it holds, and its root's class id.
#pragma once

#include "structures/byte_fetch.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Bounds: the directory chain is followed for at most this many sectors, and
// only through sectors in the first 64 MiB of the file, the part of the FAT
// consulted. A chain that leaves it, loops or leads outside the file fails.
constexpr std::size_t kCompoundDirectorySectors = 4096;
constexpr std::uint64_t kCompoundFatReach = 64u << 20;

struct CompoundDirectory {
    std::uint32_t sectorShift = 9;
    std::array<std::uint8_t, 16> rootClsid{};
    std::vector<std::uint32_t> sectors;  // the directory chain, in order
    // Each allocated stream or storage: a hash of its folded name and its
    // place in the chain. A hash that fits is confirmed by reading the entry
    // again, so that a directory of 131,072 entries costs 1 MiB, not 8.
    struct Entry {
        std::uint32_t hash;
        std::uint32_t index;
    };
    std::vector<Entry> entries;
};

// ASCII letters to upper case, as the name comparison of compound files
// does for them; every other unit unchanged.
char16_t FoldCompoundUnit(char16_t unit);
std::uint32_t CompoundNameHash(std::u16string_view folded);

StructureStatus ReadCompoundDirectory(const ByteFetch& fetch, CompoundDirectory& directory);

// Looks for a stream or storage named `folded` (already folded). Found puts
// its name as stored, in UTF-16, into `name`.
StructureStatus FindCompoundEntry(const ByteFetch& fetch, const CompoundDirectory& directory,
                                  std::u16string_view folded, std::u16string& name);
