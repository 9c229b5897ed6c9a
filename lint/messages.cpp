#include "checks.h"
#include "escaping.h"

#include <algorithm>
#include <cstdio>

namespace lint {

void Report(Findings& findings, int line, const std::string& message)
{
    findings.push_back({std::max(line, 1), WithoutControls(message)});
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
