// The pointer read. Input: the place of the number (2 bytes), its width
// (1 byte), the displacement (2 bytes, signed), the length of the bytes
// tested (1 byte), then the file. The oracle reads the same by hand.
#include "fuzz_support.h"

#include "structures/pointer_reader.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 6)
        return 0;
    const std::uint64_t at = data[0] | data[1] << 8;
    const auto width = static_cast<PointerWidth>(data[2] % 4);
    const auto displacement = static_cast<std::int64_t>(static_cast<std::int16_t>(data[3] | data[4] << 8)) * 3;
    const std::uint64_t length = data[5] % 9;
    const std::vector<std::uint8_t> file(data + 6, data + size);
    const std::span<const std::uint8_t> bytes(file);
    const PointerReading reading = ReadPointer(FetchFromMemory(bytes), at, width, displacement, length);

    const std::size_t n = width == PointerWidth::U16Le || width == PointerWidth::U16Be ? 2 : 4;
    const bool big = width == PointerWidth::U16Be || width == PointerWidth::U32Be;
    if (at + n > file.size()) {
        FUZZ_CHECK(reading.status == StructureStatus::Absent);
        return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i)
        value |= std::uint64_t{file[at + i]} << (8 * (big ? n - 1 - i : i));
    const long long target = static_cast<long long>(value) + displacement;
    const bool holds = target >= 0 && static_cast<unsigned long long>(target) + length <= file.size();
    FUZZ_CHECK(reading.status == (holds ? StructureStatus::Found : StructureStatus::Absent));
    FUZZ_CHECK(reading.value == value);
    FUZZ_CHECK(!holds || reading.target == static_cast<std::uint64_t>(target));
    return 0;
}
