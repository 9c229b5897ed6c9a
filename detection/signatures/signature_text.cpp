// What reading a title or an extension's bytes needs on every platform.
#include "signatures/signature_text.h"

#include "unicode.h"

bool IsNonAsciiUtf8(std::string_view text)
{
    bool nonAscii = false;
    for (std::size_t i = 0; i < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text.substr(i), code);
        if (length == 0)
            return false;
        nonAscii = nonAscii || code >= 0x80;
        i += length;
    }
    return nonAscii;
}
