// Inflating the start of a gzip member, zlib stream or raw deflate data, bounded.
#include "structures/inflate_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t kInputPiece = 64 * 1024;

struct InflateEnder {
    void operator()(z_stream* stream) const noexcept
    {
        inflateEnd(stream);
        delete stream;
    }
};

} // namespace

GzipHeaderEnd ParseGzipHeader(const std::uint8_t* bytes, std::size_t length)
{
    constexpr std::uint8_t kHeaderCrc = 2, kExtra = 4, kName = 8, kComment = 16, kReserved = 0xE0;
    GzipHeaderEnd result;
    const std::uint8_t fixed[] = {0x1F, 0x8B, 8};
    if (std::memcmp(bytes, fixed, std::min(length, sizeof fixed)) != 0 || (length > 3 && (bytes[3] & kReserved)))
        return result;
    result.state = GzipHeaderEnd::Short;
    if (length < 10)
        return result;
    const std::uint8_t flags = bytes[3];
    std::size_t at = 10;
    if (flags & kExtra) {
        if (length - at < 2 || length - at - 2 < Le16(bytes + at))
            return result;
        at += 2 + Le16(bytes + at);
    }
    for (std::uint8_t text : {kName, kComment}) {
        if (!(flags & text))
            continue;
        const void* nul = std::memchr(bytes + at, 0, length - at);
        if (!nul)
            return result;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes) + 1;
    }
    if (flags & kHeaderCrc) {
        if (length - at < 2)
            return result;
        const auto crc = static_cast<std::uint16_t>(crc32(0, bytes, static_cast<uInt>(at)) & 0xFFFF);
        if (Le16(bytes + at) != crc) {
            result.state = GzipHeaderEnd::Wrong;
            return result;
        }
        at += 2;
    }
    result.state = GzipHeaderEnd::Complete;
    result.end = at;
    return result;
}

StructureStatus InflatePayload(const ByteFetch& fetch, std::uint64_t start, std::uint64_t available,
                               PayloadWrapper wrapper, std::vector<std::uint8_t>& payload)
{
    payload.clear();
    if (!fetch.Inside(start, 0))
        return StructureStatus::Absent;
    available = std::min({available, fetch.size - start, kCompressedLimit});

    // The wrapper's header, read from the first piece of input. zlib reads a
    // zlib header itself, for the window size it declares; a gzip header is
    // passed over here, and what follows is raw deflate data.
    std::uint64_t position = start;
    int windowBits = -MAX_WBITS;
    if (wrapper == PayloadWrapper::Zlib) {
        if (available < 2)
            return StructureStatus::Absent;
        const std::uint8_t* head = fetch.Bytes(start, 2);
        if (!head)
            return StructureStatus::ReadFailed;
        // Deflate, a window of at most 32 KiB, no preset dictionary, and the check bits right.
        const unsigned header = head[0] << 8 | head[1];
        if ((head[0] & 0x0F) != 8 || (head[0] >> 4) > 7 || (head[1] & 0x20) || header % 31 != 0)
            return StructureStatus::Absent;
        windowBits = MAX_WBITS;
    } else if (wrapper == PayloadWrapper::Gzip) {
        // The fixed part first: most files are no gzip member, and ten bytes tell.
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(available, kInputPiece));
        if (length < 10)
            return StructureStatus::Absent;
        const std::uint8_t* fixed = fetch.Bytes(start, 10);
        if (!fixed)
            return StructureStatus::ReadFailed;
        if (ParseGzipHeader(fixed, 10).state == GzipHeaderEnd::Wrong)
            return StructureStatus::Absent;
        const std::uint8_t* head = fetch.Bytes(start, length);
        if (!head)
            return StructureStatus::ReadFailed;
        // A header longer than one piece (a huge FEXTRA or name) is read whole, within the input bound.
        GzipHeaderEnd end = ParseGzipHeader(head, length);
        if (end.state == GzipHeaderEnd::Short && length < available) {
            const std::uint8_t* whole = fetch.Bytes(start, static_cast<std::size_t>(available));
            if (!whole)
                return StructureStatus::ReadFailed;
            end = ParseGzipHeader(whole, static_cast<std::size_t>(available));
        }
        if (end.state != GzipHeaderEnd::Complete)
            return StructureStatus::Absent;
        position += end.end;
        available -= end.end;
    }

    std::unique_ptr<z_stream, InflateEnder> stream;
    {
        auto fresh = std::make_unique<z_stream>();
        if (inflateInit2(fresh.get(), windowBits) != Z_OK)
            return StructureStatus::Absent;
        stream.reset(fresh.release());
    }
    payload.resize(kPayloadLimit);
    stream->next_out = payload.data();
    stream->avail_out = static_cast<uInt>(kPayloadLimit);
    const std::uint64_t end = position + available;
    while (stream->avail_out > 0 && position < end) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(end - position, kInputPiece));
        const std::uint8_t* input = fetch.Bytes(position, piece);
        if (!input) {
            payload.clear();
            return StructureStatus::ReadFailed;
        }
        stream->next_in = const_cast<Bytef*>(input);
        stream->avail_in = static_cast<uInt>(piece);
        const int status = inflate(stream.get(), Z_NO_FLUSH);
        position += piece - stream->avail_in;
        if (status != Z_OK)
            break;  // the end of the stream, or corrupt data: what came before stands
    }
    payload.resize(kPayloadLimit - stream->avail_out);
    return StructureStatus::Found;
}
