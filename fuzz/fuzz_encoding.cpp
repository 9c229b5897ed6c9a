// The text tests. Input: bytes taken as a file's text sample. Oracles: the
// encoding found is one the validators accept; a valid text stays valid when
// cut (a sample edge may cut it anywhere), and the first look at a cut one
// still lets it through; UTF-8 and UTF-16 found as text
// decode and re-encode to the bytes they came from; JSON valid when whole is
// valid as a cut prefix; the text forms answer without fault, and nontext
// holds exactly where text does not.
#include "fuzz_support.h"

#include "patterns/magic.h"
#include "text/text_sample.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// UTF-8 (already found well-formed) to UTF-16LE, written apart from TextView
// so that each checks the other.
std::vector<std::uint8_t> Utf16LeFromUtf8(std::string_view utf8)
{
    std::vector<std::uint8_t> out{0xFF, 0xFE};
    auto unit = [&](std::uint32_t u) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            code = code << 6 | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3F);
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
        i += length;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const auto encoding = ClassifyText({bytes, {}, size});
    FUZZ_CHECK(!encoding || CouldBeText({bytes, {}, size}));
    if (encoding) {
        const bool utf16 = *encoding == TextEncoding::Utf16Le || *encoding == TextEncoding::Utf16Be;
        const bool utf8Mark = *encoding == TextEncoding::Utf8 && size >= 3 && data[0] == 0xEF && data[1] == 0xBB
                           && data[2] == 0xBF;
        const std::size_t mark = utf16 ? 2 : utf8Mark ? 3 : 0;
        const auto body = bytes.subspan(mark);
        FUZZ_CHECK(ValidText(*encoding, body, false, false));
        for (std::size_t cut : {size / 3, size / 2, size - 1}) {
            if (cut > mark && cut < size) {
                FUZZ_CHECK(ValidText(*encoding, bytes.subspan(mark, cut - mark), false, true));
                FUZZ_CHECK(CouldBeText({bytes.first(cut), {}, size}));
            }
        }
        const std::string view = TextView(bytes, *encoding);
        if (*encoding == TextEncoding::Utf8 || *encoding == TextEncoding::Ascii) {
            FUZZ_CHECK(view == std::string(body.begin(), body.end()));
            const std::vector<std::uint8_t> utf16 = Utf16LeFromUtf8(view);
            FUZZ_CHECK(TextView(utf16, TextEncoding::Utf16Le) == view);
        }
        if (*encoding == TextEncoding::Utf16Le) {
            const std::vector<std::uint8_t> utf16 = Utf16LeFromUtf8(view);
            FUZZ_CHECK(std::equal(utf16.begin(), utf16.end(), bytes.begin(), bytes.end()));
        }
        if (JsonHolds(view, false)) {
            FUZZ_CHECK(JsonHolds(view, true));
            // Any cut after the opening bracket is a valid beginning.
            const std::size_t open = view.find_first_of("{[");
            FUZZ_CHECK(JsonHolds(std::string_view(view).substr(0, std::max(open + 1, view.size() / 2)), true));
        }
    }
    // The forms, through the matcher, on the same bytes as a whole file.
    MemorySource source(bytes);
    for (const char* text : {"text", "text shift_jis", "text windows-1250", "json", "xmlroot *", "xmlroot html", "table ,", "table tab",
                             "line [InternetShortcut]", "json lines", "header From Subject", "yaml", "ini"}) {
        const MagicResult result = TestMagic(ParseMagicRule(text), source);
        FUZZ_CHECK(result != MagicResult::DecisiveMatch);
        FUZZ_CHECK(!encoding ? result == MagicResult::NoMatch : true);
    }
    // nontext holds exactly where text does not, on a sample that holds bytes.
    const bool text = TestMagic(ParseMagicRule("text"), source) == MagicResult::Match;
    FUZZ_CHECK((TestMagic(ParseMagicRule("nontext"), source) == MagicResult::Match) == (!text && !bytes.empty()));
    return 0;
}
