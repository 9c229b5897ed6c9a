// A byte fetch over bytes in memory.
#include "structures/byte_fetch.h"

ByteFetch FetchFromMemory(const std::span<const std::uint8_t>& bytes)
{
    return {bytes.size(),
            [](void* context, std::uint64_t position, std::size_t) {
                return static_cast<const std::span<const std::uint8_t>*>(context)->data() + position;
            },
            const_cast<std::span<const std::uint8_t>*>(&bytes)};
}
