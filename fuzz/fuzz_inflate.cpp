// Inflating a payload. Input: the wrapper (1 byte: raw, gzip or zlib), then
// the stream. The oracle is zlib's own one-shot inflate of the whole input
// into a buffer of the bound: the payload must be exactly what it produced,
// and a header refused must be one zlib produced nothing from.
#include "fuzz_support.h"

#include "structures/inflate_reader.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

std::vector<std::uint8_t> OneShot(const std::uint8_t* data, std::size_t size, int windowBits)
{
    std::vector<std::uint8_t> out(kPayloadLimit);
    z_stream stream{};
    if (inflateInit2(&stream, windowBits) != Z_OK)
        std::abort();
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const auto wrapper = static_cast<PayloadWrapper>(data[0] % 3);
    const std::vector<std::uint8_t> file(data + 1, data + size);
    const std::span<const std::uint8_t> bytes(file);
    std::vector<std::uint8_t> payload;
    const StructureStatus status = InflatePayload(FetchFromMemory(bytes), 0, file.size(), wrapper, payload);
    FUZZ_CHECK(status != StructureStatus::ReadFailed);
    FUZZ_CHECK(payload.size() <= kPayloadLimit);

    const int windowBits = wrapper == PayloadWrapper::Raw ? -MAX_WBITS : wrapper == PayloadWrapper::Gzip ? 16 + MAX_WBITS : MAX_WBITS;
    const std::vector<std::uint8_t> expected = OneShot(file.data(), file.size(), windowBits);
    if (status == StructureStatus::Absent) {
        FUZZ_CHECK(payload.empty());
        FUZZ_CHECK(expected.empty());
        return 0;
    }
    FUZZ_CHECK(payload == expected);
    return 0;
}
