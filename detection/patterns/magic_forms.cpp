// The new forms of <magic> text: reading them and showing them, and the
// reading and showing of any rule, which tells a new form from a classic one.
// structure_test.cpp tests them against a file's structures.
#include "patterns/magic.h"

#include "ascii.h"

#include <algorithm>

namespace {

constexpr struct {
    std::string_view keyword;
    MagicForm form;
} kKeywords[] = {
    {"ptr", MagicForm::Pointer}, {"zip", MagicForm::ZipMember}, {"ole", MagicForm::OleEntry},
    {"oleclsid", MagicForm::OleClsid}, {"gzip", MagicForm::Gzip}, {"zlib", MagicForm::Zlib}, {"near", MagicForm::Near},
    {"nontext", MagicForm::NonText},
    {"text", MagicForm::Text}, {"json", MagicForm::Json}, {"xmlroot", MagicForm::XmlRoot},
    {"table", MagicForm::Table}, {"line", MagicForm::Line}, {"header", MagicForm::Header},
    {"yaml", MagicForm::Yaml}, {"ini", MagicForm::Ini}, {"lang", MagicForm::Language}, {"weigh", MagicForm::Weigh},
};

// A language's name in lang: lower-case letters, digits, "+", "-" and "_", at most 32.
bool ReadLanguageName(std::string_view token)
{
    return !token.empty() && token.size() <= 32
        && std::all_of(token.begin(), token.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || IsDecimalDigit(c) || c == '+' || c == '-' || c == '_';
           });
}

// A weight: an optional minus, then 1 to 2 digits, never 0.
std::optional<int> ReadWeight(std::string_view token)
{
    const bool negative = token.starts_with("-");
    if (negative)
        token.remove_prefix(1);
    if (token.empty() || token.size() > 2 || !std::all_of(token.begin(), token.end(), IsDecimalDigit))
        return std::nullopt;
    const int value = std::stoi(std::string(token));
    if (value == 0 || value > kMaxWeight)
        return std::nullopt;
    return negative ? -value : value;
}

constexpr struct {
    std::string_view name;
    char delimiter;
} kDelimiters[] = {{",", ','}, {";", ';'}, {"tab", '\t'}};

// An element name as xmlroot takes it: "*", or the characters of an XML name.
bool ReadElementName(std::string_view token)
{
    return token == "*"
        || (!token.empty() && IsXmlNameStart(token[0]) && std::all_of(token.begin(), token.end(), IsXmlNameChar));
}

constexpr struct {
    std::string_view name;
    PointerWidth width;
} kWidths[] = {
    {"u16le", PointerWidth::U16Le}, {"u16be", PointerWidth::U16Be},
    {"u32le", PointerWidth::U32Le}, {"u32be", PointerWidth::U32Be},
};

constexpr std::string_view kPeDirectoryNames[kPeDirectories] = {"export", "import", "resource"};

// What xmlroot may ask of the root element beside its name.
constexpr std::size_t kMostXmlConditions = 4;

std::string WidthName(PointerWidth width)
{
    return std::string(std::find_if(std::begin(kWidths), std::end(kWidths), [&](const auto& w) {
                           return w.width == width;
                       })->name);
}

// Decimal numbers of the new forms: digits only, up to 18 of them, so that
// any sum of two stays inside 64 bits.
constexpr std::size_t kMaxDecimalDigits = 18;

// Which written byte of a GUID a compound file stores first, second, ...
constexpr std::size_t kGuidOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

std::optional<std::uint8_t> HexPair(std::string_view text)
{
    if (text.size() != 2 || !IsHexDigit(text[0]) || !IsHexDigit(text[1]))
        return std::nullopt;
    return static_cast<std::uint8_t>(HexDigitValue(text[0]) << 4 | HexDigitValue(text[1]));
}

std::optional<std::uint64_t> Decimal(std::string_view text)
{
    if (text.empty() || text.size() > kMaxDecimalDigits)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// "N:", "+N:" or "-N:" (signed only where `signedAllowed`), or "?:" (only where `searchAllowed`).
struct Anchor {
    bool search = false;
    std::int64_t offset = 0;
};
std::optional<Anchor> ReadAnchor(std::string_view token, bool signedAllowed, bool searchAllowed)
{
    if (token.size() < 2 || token.back() != ':')
        return std::nullopt;
    if (token == "?:")
        return searchAllowed ? std::optional<Anchor>(Anchor{true, 0}) : std::nullopt;
    token.remove_suffix(1);
    bool negative = false;
    if (signedAllowed && (token[0] == '+' || token[0] == '-')) {
        negative = token[0] == '-';
        token.remove_prefix(1);
    }
    auto number = Decimal(token);
    if (!number)
        return std::nullopt;
    const auto magnitude = static_cast<std::int64_t>(*number);
    return Anchor{false, negative ? -magnitude : magnitude};
}

std::optional<MaskedByte> ReadMaskedByte(std::string_view token)
{
    if (token == "??")
        return MaskedByte{0, 0};
    if (token.size() == 2) {
        auto value = HexPair(token);
        return value ? std::optional<MaskedByte>(MaskedByte{*value, 0xFF}) : std::nullopt;
    }
    if (token.size() == 5 && token[2] == '&') {
        auto value = HexPair(token.substr(0, 2));
        auto mask = HexPair(token.substr(3));
        if (value && mask)
            return MaskedByte{*value, *mask};
    }
    return std::nullopt;
}

// The bytes after an anchor: at least one, each a valid byte token.
bool ReadBytes(std::span<const std::string_view> tokens, std::vector<MaskedByte>& bytes)
{
    if (tokens.empty())
        return false;
    for (std::string_view token : tokens) {
        auto byte = ReadMaskedByte(token);
        if (!byte)
            return false;
        bytes.push_back(*byte);
    }
    return true;
}

// A name with %XX escapes undone; with `stars`, cut at each unescaped "*"
// into the literal runs between them.
bool ReadName(std::string_view token, bool stars, std::vector<std::string>& pieces)
{
    if (token.empty())
        return false;
    pieces.assign(1, std::string());
    for (std::size_t i = 0; i < token.size(); ++i) {
        if (token[i] == '%') {
            auto byte = i + 2 < token.size() ? HexPair(token.substr(i + 1, 2)) : std::nullopt;
            if (!byte)
                return false;
            pieces.back() += static_cast<char>(*byte);
            i += 2;
        } else if (stars && token[i] == '*') {
            pieces.emplace_back();
        } else {
            pieces.back() += token[i];
        }
    }
    return true;
}

// "00020906-0000-0000-C000-000000000046" as a compound file stores it: the
// first three groups little-endian, the last two as written.
bool ReadGuid(std::string_view text, std::array<std::uint8_t, 16>& guid)
{
    if (text.size() != 36)
        return false;
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !IsHexDigit(text[i]))
            return false;
        if (!dash)
            digits += text[i];
    }
    for (std::size_t i = 0; i < 16; ++i)
        guid[i] = *HexPair(std::string_view(digits).substr(2 * kGuidOrder[i], 2));
    return true;
}

// "near N SPAN:", "near -N SPAN:", "near ptr AT WIDTH DISP SPAN:" or "near pe DIR SPAN:", then BYTES.
bool ParseNear(std::span<const std::string_view> tokens, StructureTest& test)
{
    const std::size_t n = tokens.size();
    std::size_t spanAt = 2;
    if (n >= 2 && tokens[1] == "ptr") {
        spanAt = 5;
        auto at = Decimal(n > spanAt ? tokens[2] : std::string_view());
        const auto width = std::find_if(std::begin(kWidths), std::end(kWidths),
                                        [&](const auto& w) { return n > spanAt && w.name == tokens[3]; });
        auto displacement = n > spanAt ? ReadAnchor(std::string(tokens[4]) + ":", true, false) : std::nullopt;
        if (!at || width == std::end(kWidths) || !displacement)
            return false;
        test.nearFrom = NearFrom::Pointer;
        test.at = *at;
        test.width = width->width;
        test.displacement = displacement->offset;
    } else if (n >= 2 && tokens[1] == "pe") {
        spanAt = 3;
        const auto name = std::find(std::begin(kPeDirectoryNames), std::end(kPeDirectoryNames),
                                    n > spanAt ? tokens[2] : std::string_view());
        if (name == std::end(kPeDirectoryNames))
            return false;
        test.nearFrom = NearFrom::PeDirectory;
        test.at = static_cast<std::uint64_t>(name - std::begin(kPeDirectoryNames));
    } else {
        const bool end = n >= 2 && tokens[1].starts_with('-');
        auto at = Decimal(n >= 2 ? tokens[1].substr(end ? 1 : 0) : std::string_view());
        if (!at || (end && *at == 0))
            return false;
        test.nearFrom = end ? NearFrom::End : NearFrom::Offset;
        test.at = *at;
    }
    auto span = n > spanAt ? ReadAnchor(tokens[spanAt], false, false) : std::nullopt;
    if (!span || span->offset <= 0 || static_cast<std::uint64_t>(span->offset) > kNearLimit)
        return false;
    test.span = static_cast<std::uint64_t>(span->offset);
    return ReadBytes(tokens.subspan(spanAt + 1), test.bytes) && test.bytes.size() <= test.span;
}

// "xmlns=URI", "ATTR=VALUE" or "ATTR", with %XX escapes in URI and VALUE.
bool ParseXmlCondition(std::string_view token, StructureTest& test)
{
    const std::size_t equals = token.find('=');
    const std::string_view name = token.substr(0, equals);
    if (name.empty() || !IsXmlNameStart(name[0]) || !std::all_of(name.begin(), name.end(), IsXmlNameChar))
        return false;
    if (equals == std::string_view::npos) {
        test.attributes.push_back({std::string(name), std::nullopt});
        return true;
    }
    std::vector<std::string> value;
    const std::string_view written = token.substr(equals + 1);
    if (!written.empty() && !ReadName(written, false, value))
        return false;
    std::string decoded = value.empty() ? std::string() : value.front();
    if (name == "xmlns") {
        if (decoded.empty() || test.xmlns)
            return false;
        test.xmlns = std::move(decoded);
    } else {
        test.attributes.push_back({std::string(name), std::move(decoded)});
    }
    return true;
}

bool ParseInto(std::span<const std::string_view> tokens, MagicForm form, StructureTest& test)
{
    const std::size_t n = tokens.size();
    // The anchor inside the data of a payload or member: "N:" or "?:".
    auto payloadAnchor = [&](std::string_view token) {
        auto anchor = ReadAnchor(token, false, true);
        if (!anchor)
            return false;
        test.search = anchor->search;
        test.offset = static_cast<std::uint64_t>(anchor->offset);
        return true;
    };
    switch (form) {
    case MagicForm::Classic:
        return false;
    case MagicForm::Pointer: {
        if (n < 5)
            return false;
        auto at = Decimal(tokens[1]);
        const auto width = std::find_if(std::begin(kWidths), std::end(kWidths),
                                        [&](const auto& w) { return w.name == tokens[2]; });
        auto displacement = ReadAnchor(tokens[3], true, false);
        if (!at || width == std::end(kWidths) || !displacement)
            return false;
        test.at = *at;
        test.width = width->width;
        test.displacement = displacement->offset;
        return ReadBytes(tokens.subspan(4), test.bytes);
    }
    case MagicForm::ZipMember:
        if (n < 2 || n == 3 || !ReadName(tokens[1], true, test.namePieces))
            return false;
        test.nameText = tokens[1];
        test.hasBytes = n > 2;
        return n == 2 || (payloadAnchor(tokens[2]) && ReadBytes(tokens.subspan(3), test.bytes));
    case MagicForm::OleEntry: {
        if (n != 2 || !ReadName(tokens[1], false, test.namePieces))
            return false;
        auto name = Utf16FromUtf8(test.namePieces.front());
        // A stored name holds at most 31 units.
        if (!name || name->size() > 31)
            return false;
        std::transform(name->begin(), name->end(), name->begin(), FoldCompoundUnit);
        test.oleName = std::move(*name);
        test.nameText = tokens[1];
        test.namePieces.clear();
        return true;
    }
    case MagicForm::OleClsid:
        return n == 2 && ReadGuid(tokens[1], test.clsid);
    case MagicForm::Gzip:
        return n >= 3 && payloadAnchor(tokens[1]) && ReadBytes(tokens.subspan(2), test.bytes);
    case MagicForm::Zlib: {
        auto at = Decimal(n >= 4 ? tokens[1] : std::string_view());
        test.at = at.value_or(0);
        return at && payloadAnchor(tokens[2]) && ReadBytes(tokens.subspan(3), test.bytes);
    }
    case MagicForm::Text:
        if (n == 2)
            test.encoding = TextEncodingFromKeyword(tokens[1]);
        return n == 1 || (n == 2 && test.encoding);
    case MagicForm::Json:
        test.lines = n == 2 && tokens[1] == "lines";
        return n == 1 || test.lines;
    case MagicForm::NonText:
    case MagicForm::Yaml:
    case MagicForm::Ini:
        return n == 1;
    case MagicForm::Header: {
        // Field names: printable ASCII without a colon, as a message writes them.
        constexpr std::size_t kMostNames = 8;
        if (n < 2 || n > kMostNames + 1)
            return false;
        for (std::string_view name : tokens.subspan(1)) {
            if (!std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F && c != ':'; }))
                return false;
            test.namePieces.emplace_back(name);
            test.nameText += (test.nameText.empty() ? "" : " ") + std::string(name);
        }
        return true;
    }
    case MagicForm::Near:
        return ParseNear(tokens, test);
    case MagicForm::XmlRoot: {
        if (n < 2 || n > 2 + kMostXmlConditions || !ReadElementName(tokens[1]))
            return false;
        test.nameText = tokens[1];
        for (std::string_view token : tokens.subspan(2)) {
            if (!ParseXmlCondition(token, test))
                return false;
            test.conditionText += " " + std::string(token);
        }
        return true;
    }
    case MagicForm::Table: {
        const auto delimiter = std::find_if(std::begin(kDelimiters), std::end(kDelimiters),
                                            [&](const auto& d) { return n == 2 && d.name == tokens[1]; });
        test.delimiter = delimiter == std::end(kDelimiters) ? 0 : delimiter->delimiter;
        return delimiter != std::end(kDelimiters);
    }
    case MagicForm::Line:
        if (n != 2 || !ReadName(tokens[1], false, test.namePieces))
            return false;
        test.nameText = tokens[1];
        return true;
    case MagicForm::Language:
        if (n < 2 || n > 3 || !std::all_of(tokens.begin() + 1, tokens.end(), ReadLanguageName)
            || (n == 3 && tokens[1] == tokens[2]))
            return false;
        for (std::string_view name : tokens.subspan(1)) {
            test.namePieces.emplace_back(name);
            test.nameText += (test.nameText.empty() ? "" : " ") + std::string(name);
        }
        return true;
    case MagicForm::Weigh: {
        auto weight = n == 4 ? ReadWeight(tokens[1]) : std::nullopt;
        if (!weight || !EvidenceKindFromKeyword(tokens[2], test.evidence) || !ReadName(tokens[3], false, test.namePieces))
            return false;
        // A name is one word; a shebang or mode holds no space.
        if ((test.evidence == EvidenceKind::Shebang || test.evidence == EvidenceKind::Mode)
            && test.namePieces.front().find_first_of(" \t\r\n") != std::string::npos)
            return false;
        if (test.namePieces.front().find('\n') != std::string::npos)
            return false;
        test.weight = *weight;
        test.nameText = tokens[3];
        return true;
    }
    }
    return false;
}

std::string Hex(std::uint8_t byte)
{
    return {kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
}

std::string FormatBytes(const StructureTest& test, std::string text)
{
    for (const MaskedByte& b : test.bytes)
        text += " " + (b.mask == 0 ? std::string("??") : b.mask == 0xFF ? Hex(b.value) : Hex(b.value) + "&" + Hex(b.mask));
    return text;
}

} // namespace

std::optional<MagicForm> NewFormOf(std::string_view text)
{
    const std::string_view first = text.substr(0, text.find(' '));
    for (const auto& keyword : kKeywords) {
        if (keyword.keyword == first)
            return keyword.form;
    }
    return std::nullopt;
}

MagicRule ParseStructureRule(std::string_view text, MagicForm form)
{
    MagicRule rule;
    rule.form = form;
    std::vector<std::string_view> tokens;
    ForEachToken(text, [&](std::string_view token) {
        tokens.push_back(token);
        return true;
    });
    rule.tokenCount = tokens.size();
    rule.valid = ParseInto(tokens, form, rule.structure);
    if (!rule.valid)
        rule.structure = {};
    return rule;
}

std::string FormatStructureRule(const MagicRule& rule)
{
    const StructureTest& test = rule.structure;
    const std::string anchor = test.search ? " ?:" : " " + std::to_string(test.offset) + ":";
    switch (rule.form) {
    case MagicForm::Classic:
        break;
    case MagicForm::Pointer: {
        const std::string sign = test.displacement > 0 ? "+" : "";
        const std::string text = "ptr " + std::to_string(test.at) + " " + WidthName(test.width) + " "
                         + sign + std::to_string(test.displacement) + ":";
        return FormatBytes(test, text);
    }
    case MagicForm::ZipMember:
        return "zip " + test.nameText + (test.hasBytes ? FormatBytes(test, anchor) : "");
    case MagicForm::OleEntry:
        return "ole " + test.nameText;
    case MagicForm::OleClsid: {
        // Written byte i is stored at kGuidOrder[i] too: the order swaps pairs.
        std::string text = "oleclsid ";
        for (std::size_t i = 0; i < 16; ++i)
            text += (i == 4 || i == 6 || i == 8 || i == 10 ? "-" : "") + Hex(test.clsid[kGuidOrder[i]]);
        return text;
    }
    case MagicForm::Gzip:
        return FormatBytes(test, "gzip" + anchor);
    case MagicForm::Zlib:
        return FormatBytes(test, "zlib " + std::to_string(test.at) + anchor);
    case MagicForm::NonText:
        return "nontext";
    case MagicForm::Text:
        return test.encoding ? "text " + std::string(TextEncodingKeyword(*test.encoding)) : "text";
    case MagicForm::Json:
        return test.lines ? "json lines" : "json";
    case MagicForm::Yaml:
        return "yaml";
    case MagicForm::Ini:
        return "ini";
    case MagicForm::Header:
        return "header " + test.nameText;
    case MagicForm::XmlRoot:
        return "xmlroot " + test.nameText + test.conditionText;
    case MagicForm::Near: {
        std::string text = "near ";
        switch (test.nearFrom) {
        case NearFrom::Offset: text += std::to_string(test.at); break;
        case NearFrom::End: text += "-" + std::to_string(test.at); break;
        case NearFrom::Pointer:
            text += "ptr " + std::to_string(test.at) + " " + WidthName(test.width) + " "
                  + (test.displacement > 0 ? "+" : "") + std::to_string(test.displacement);
            break;
        case NearFrom::PeDirectory: text += "pe " + std::string(kPeDirectoryNames[test.at]); break;
        }
        return FormatBytes(test, text + " " + std::to_string(test.span) + ":");
    }
    case MagicForm::Table:
        return std::string("table ") + (test.delimiter == '\t' ? "tab" : std::string(1, test.delimiter));
    case MagicForm::Line:
        return "line " + test.nameText;
    case MagicForm::Language:
        return "lang " + test.nameText;
    case MagicForm::Weigh:
        return "weigh " + std::to_string(test.weight) + " " + std::string(EvidenceKindKeyword(test.evidence)) + " "
             + test.nameText;
    }
    return {};
}

MagicRule ParseMagicRule(std::string_view text)
{
    if (auto form = NewFormOf(text))
        return ParseStructureRule(text, *form);
    return ParseClassicMagicRule(text);
}

std::string FormatMagicRule(const MagicRule& rule)
{
    if (rule.form != MagicForm::Classic)
        return FormatStructureRule(rule);
    return FormatClassicMagicRule(rule);
}
