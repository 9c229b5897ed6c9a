// UTF-8 and UTF-16, read and written by one set of rules for every library:
// what counts as well-formed, and what becomes of a lone surrogate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The well-formed UTF-8 sequence at the start of `text`: its length, with
// its code point in `code`. 0 when there is none: no bytes, a stray or
// missing continuation byte, a cut sequence, an overlong form, a surrogate
// or a value past U+10FFFF.
std::size_t DecodeUtf8(std::string_view text, char32_t& code);

void AppendUtf8(std::string& out, char32_t code);

// Walks UTF-16 units (of wide text, the low 16 bits of each), handing each
// code point to emit(code, false), and each unpaired surrogate to
// emit(unit, true).
template <class Unit, class Emit>
void ForEachUtf16(std::basic_string_view<Unit> text, Emit emit)
{
    auto unitAt = [&](std::size_t i) { return static_cast<char32_t>(static_cast<std::uint16_t>(text[i])); };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            const char32_t next = unitAt(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                emit(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), false);
                ++i;
                continue;
            }
        }
        emit(unit, unit >= 0xD800 && unit <= 0xDFFF);
    }
}

// UTF-16 for showing, a lone surrogate as U+FFFD.
std::string Utf8FromUtf16(std::u16string_view utf16);

// UTF-8 as UTF-16; empty when it is not well-formed.
std::optional<std::u16string> Utf16FromUtf8(std::string_view utf8);
