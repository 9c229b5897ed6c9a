// The number a `ptr` test reads, and where it points.
#pragma once

#include "structures/byte_fetch.h"

#include <cstdint>

enum class PointerWidth : std::uint8_t { U16Le, U16Be, U32Le, U32Be };

struct PointerReading {
    StructureStatus status = StructureStatus::Absent;
    std::uint64_t value = 0;   // the number read at `at`
    std::uint64_t target = 0;  // value + displacement: where the tested bytes start
};

// Reads the unsigned number at `at` and adds `displacement`. Found only when
// the number lies inside the file, the sum is not negative and `length`
// bytes from it lie inside the file too; nothing beyond the number is read.
PointerReading ReadPointer(const ByteFetch& fetch, std::uint64_t at, PointerWidth width, std::int64_t displacement,
                           std::uint64_t length);
