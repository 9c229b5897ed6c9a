// How the structure readers get at a file's bytes: a function pointer and
// its context, so that the readers are compiled once, in their own files,
// and run alike over a file being examined and over bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// What a structure reader found. ReadFailed is not an answer: a byte the
// file holds could not be read, so the caller cannot tell either way.
enum class StructureStatus { Found, Absent, ReadFailed };

struct ByteFetch {
    std::uint64_t size = 0;
    // `count` bytes from `position`, valid until the next call. Only asked
    // for bytes inside the file, so null means the read failed.
    const std::uint8_t* (*read)(void* context, std::uint64_t position, std::size_t count) = nullptr;
    void* context = nullptr;

    bool Inside(std::uint64_t position, std::uint64_t count) const
    {
        return position <= size && size - position >= count;
    }
    const std::uint8_t* Bytes(std::uint64_t position, std::size_t count) const
    {
        return read(context, position, count);
    }
};

// A fetch over any source that TestMagic tests is made in patterns/magic.h,
// beside what such a source must offer.
// A fetch over bytes in memory: `bytes` must outlive it.
ByteFetch FetchFromMemory(const std::span<const std::uint8_t>& bytes);

inline std::uint16_t Le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Le32(const std::uint8_t* p)
{
    return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
inline std::uint64_t Le64(const std::uint8_t* p)
{
    return Le32(p) | std::uint64_t{Le32(p + 4)} << 32;
}
