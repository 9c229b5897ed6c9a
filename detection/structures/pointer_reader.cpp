// Reading the number a `ptr` test names and where it points.
#include "structures/pointer_reader.h"

PointerReading ReadPointer(const ByteFetch& fetch, std::uint64_t at, PointerWidth width, std::int64_t displacement,
                           std::uint64_t length)
{
    PointerReading reading;
    const std::size_t bytes = width == PointerWidth::U16Le || width == PointerWidth::U16Be ? 2 : 4;
    const bool bigEndian = width == PointerWidth::U16Be || width == PointerWidth::U32Be;
    if (!fetch.Inside(at, bytes))
        return reading;
    const std::uint8_t* p = fetch.Bytes(at, bytes);
    if (!p) {
        reading.status = StructureStatus::ReadFailed;
        return reading;
    }
    for (std::size_t i = 0; i < bytes; ++i)
        reading.value = reading.value << 8 | p[bigEndian ? i : bytes - 1 - i];
    // The number has at most 32 bits and the displacement is parsed within
    // 2^62 either way: the sum cannot overflow.
    const std::int64_t target = static_cast<std::int64_t>(reading.value) + displacement;
    if (target < 0 || !fetch.Inside(static_cast<std::uint64_t>(target), length))
        return reading;
    reading.target = static_cast<std::uint64_t>(target);
    reading.status = StructureStatus::Found;
    return reading;
}
