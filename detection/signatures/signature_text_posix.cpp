// A title's or an extension's bytes as UTF-8 on POSIX, converted with iconv.
#include "signatures/signature_text.h"

#include <iconv.h>

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

struct Converter {
    iconv_t cd;
    ~Converter()
    {
        if (cd != kNoConverter)
            iconv_close(cd);
    }
};

bool IsAscii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

std::string SignatureTextAsUtf8(std::string_view text, const std::string& declaredEncoding)
{
    if (declaredEncoding.empty() || IsAscii(text) || IsNonAsciiUtf8(text))
        return std::string(text);
    const Converter converter{iconv_open("UTF-8", declaredEncoding.c_str())};
    if (converter.cd == kNoConverter)
        return std::string(text);  // an encoding this system does not know

    std::string in(text);
    std::string out(in.size() * 4 + 4, '\0');
    char* from = in.data();
    std::size_t fromLeft = in.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    // Bytes that do not fit the declared encoding keep the text as it was:
    // half a conversion would be a silent wrong answer.
    if (iconv(converter.cd, &from, &fromLeft, &to, &toLeft) == static_cast<std::size_t>(-1) || fromLeft != 0)
        return std::string(text);
    out.resize(out.size() - toLeft);
    return out;
}
