#include "explain.h"

namespace {

std::string Held(const PatternHeld& held)
{
    return (held.rule->anchor == MagicAnchor::Search ? "found at offset " : "held at offset ")
         + std::to_string(held.offset);
}

} // namespace

std::vector<std::string> ExplainLines(DetectionState state, const DetectionBasis& basis)
{
    const std::string tried = std::to_string(basis.typesTried) + (basis.typesTried == 1 ? " type" : " types");
    switch (state) {
    case DetectionState::Unreadable:
        return {};
    case DetectionState::Undetermined:
        return {"no type matched; " + tried + " tried"};
    case DetectionState::Detected:
        break;
    }
    std::vector<std::string> lines{"type at line " + std::to_string(basis.type ? basis.type->line : 0) + " (" + tried
                                   + " tried)"};
    for (const PatternHeld& held : basis.patterns) {
        lines.push_back("line " + std::to_string(held.rule->line) + "  " + FormatMagicRule(*held.rule) + "  "
                        + Held(held));
    }
    return lines;
}

std::string ExplainJson(DetectionState state, const DetectionBasis& basis)
{
    if (state == DetectionState::Unreadable)
        return "null";
    std::string json = "{\"typesTried\": " + std::to_string(basis.typesTried);
    if (state == DetectionState::Detected && basis.type) {
        json += ", \"line\": " + std::to_string(basis.type->line) + ", \"patterns\": [";
        for (std::size_t i = 0; i < basis.patterns.size(); ++i) {
            const PatternHeld& held = basis.patterns[i];
            const bool search = held.rule->anchor == MagicAnchor::Search;
            // The canonical text holds only digits, hex, '?', ':', '-' and spaces: no escaping needed.
            json += std::string(i ? ", " : "") + "{\"line\": " + std::to_string(held.rule->line) + ", \"pattern\": \""
                  + FormatMagicRule(*held.rule) + "\", \"kind\": \"" + (search ? "search" : "offset")
                  + "\", \"offset\": " + std::to_string(held.offset) + "}";
        }
        json += "]";
    }
    return json + "}";
}
