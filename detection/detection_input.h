// What a detection run reads: a file it opened, or bytes a caller holds in
// memory. Both go through one read, so that a buffer meets the same tests,
// windows and search pass as a file, and nothing outside it is touched.
#pragma once

#include "files/platform_file.h"

#include <cstdint>
#include <cstring>
#include <span>

struct DetectionInput {
    PlatformFile* file = nullptr;          // when set, the bytes are read from it
    std::span<const std::uint8_t> memory;  // otherwise these are the whole file
};

// Exactly into.size() bytes from `position`; false on a failed or short read.
inline bool ReadInput(const DetectionInput& input, std::uint64_t position, std::span<std::uint8_t> into)
{
    if (input.file)
        return PlatformFileRead(*input.file, position, into);
    if (position > input.memory.size() || input.memory.size() - position < into.size())
        return false;
    if (!into.empty())
        std::memcpy(into.data(), input.memory.data() + position, into.size());
    return true;
}
