// Where a PE image's data directories (exports, imports, resources) lie in
// the file: the header names each by its address in memory, and the section
// table says which file bytes hold that address.
#pragma once

#include "structures/byte_fetch.h"

#include <array>
#include <cstdint>

// The directories a near search may start from, by their index in the header.
constexpr std::size_t kPeDirectories = 3;  // export, import, resource

// The section table is read whole; a valid image has at most 96 sections.
constexpr std::uint32_t kPeSectionLimit = 96;

struct PeDirectories {
    // File offset of each directory; `present` is false where the header
    // names none, or names an address that no section's file bytes hold.
    std::array<std::uint64_t, kPeDirectories> offset{};
    std::array<bool, kPeDirectories> present{};
};

// Reads the pointer at 60, the PE header, its optional header's directory
// entries and the section table: at most 24 + 240 + 96 * 40 bytes after the
// pointer, nothing else. Found when the header is a PE32 or PE32+ one.
StructureStatus ReadPeDirectories(const ByteFetch& fetch, PeDirectories& directories);
