#include "checks.h"
#include "text.h"

#include <algorithm>
#include <cstdio>

namespace lint {

void Report(Findings& findings, int line, const std::string& message)
{
    findings.push_back({std::max(line, 1), WithoutControls(message)});
}

std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

std::string JoinedList(const std::vector<std::string>& items)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

} // namespace lint
