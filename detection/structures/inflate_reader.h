// The start of a compressed payload: a gzip member, a zlib stream or the raw
// deflate data of a ZIP member, inflated as far as a test may look.
#pragma once

#include "structures/byte_fetch.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum class PayloadWrapper { Raw, Gzip, Zlib };

// No test looks past this much of a payload, nor reads more compressed input
// for it: a small file that inflates to gigabytes costs no more than this.
constexpr std::size_t kPayloadLimit = 64 * 1024;
constexpr std::uint64_t kCompressedLimit = 1024 * 1024;

// Inflates the stream that starts at `start` and takes at most `available`
// bytes of the file. Absent when its header is not that of `wrapper`. Found
// otherwise, with `payload` holding the first bytes it inflates to (up to
// kPayloadLimit): all of them, or those before the input ran out, hit
// kCompressedLimit or turned out corrupt. A test holds only on bytes that
// `payload` has.
StructureStatus InflatePayload(const ByteFetch& fetch, std::uint64_t start, std::uint64_t available,
                               PayloadWrapper wrapper, std::vector<std::uint8_t>& payload);

// Where the deflate data of a gzip member begins after its header (FEXTRA,
// FNAME, FCOMMENT, FHCRC included), given its first `length` bytes: Short
// when the header may go on past them, Wrong when it is no gzip header.
struct GzipHeaderEnd {
    enum State { Wrong, Short, Complete } state = Wrong;
    std::size_t end = 0;  // Complete only
};
GzipHeaderEnd ParseGzipHeader(const std::uint8_t* bytes, std::size_t length);
