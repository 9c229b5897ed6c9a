// The shapes of text read as nested syntax or as delimited rows: JSON and
// JSON Lines, the root element of XML, and tables.
#include "text/text_sample.h"

#include "text/text_lines.h"

#include "ascii.h"

#include <algorithm>

namespace {

// The white space of JSON and of XML alike; C's class also holds VT and FF,
// which neither allows.
bool MarkupSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A JSON reader that tells a fault from running out of text.
enum class Json { Ok, Bad, Out };
constexpr int kJsonDepth = 512;

struct JsonReader {
    std::string_view s;
    std::size_t i = 0;

    Json Space()
    {
        while (i < s.size() && MarkupSpace(s[i]))
            ++i;
        return i < s.size() ? Json::Ok : Json::Out;
    }

    Json Literal(std::string_view word)
    {
        for (char c : word) {
            if (i == s.size())
                return Json::Out;
            if (s[i++] != c)
                return Json::Bad;
        }
        return Json::Ok;
    }

    Json String()
    {
        ++i;  // the opening quote
        while (i < s.size()) {
            const auto c = static_cast<unsigned char>(s[i++]);
            if (c == '"')
                return Json::Ok;
            if (c < 0x20)
                return Json::Bad;
            if (c != '\\')
                continue;
            if (i == s.size())
                return Json::Out;
            const char e = s[i++];
            if (e == 'u') {
                for (int k = 0; k < 4; ++k, ++i) {
                    if (i == s.size())
                        return Json::Out;
                    if (!IsHexDigit(s[i]))
                        return Json::Bad;
                }
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return Json::Bad;
            }
        }
        return Json::Out;
    }

    Json Digits(bool required)
    {
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        if (i == s.size())
            return Json::Out;
        return required && i == start ? Json::Bad : Json::Ok;
    }

    Json Number()
    {
        if (s[i] == '-' && ++i == s.size())
            return Json::Out;
        if (s[i] == '0') {
            if (++i == s.size())
                return Json::Out;
        } else if (Json r = Digits(true); r != Json::Ok) {
            return r;
        }
        if (s[i] == '.') {
            ++i;
            if (Json r = Digits(true); r != Json::Ok)
                return r;
        }
        if (s[i] == 'e' || s[i] == 'E') {
            if (++i == s.size())
                return Json::Out;
            if (s[i] == '+' || s[i] == '-')
                ++i;
            if (Json r = Digits(true); r != Json::Ok)
                return r;
        }
        return Json::Ok;
    }

    Json Value(int depth)
    {
        if (Json r = Space(); r != Json::Ok)
            return r;
        const char c = s[i];
        if (c == '{' || c == '[')
            return depth < kJsonDepth ? Container(depth + 1) : Json::Bad;
        if (c == '"')
            return String();
        if (c == 't')
            return Literal("true");
        if (c == 'f')
            return Literal("false");
        if (c == 'n')
            return Literal("null");
        if (c == '-' || (c >= '0' && c <= '9'))
            return Number();
        return Json::Bad;
    }

    Json Container(int depth)
    {
        const bool object = s[i++] == '{';
        const char close = object ? '}' : ']';
        if (Json r = Space(); r != Json::Ok)
            return r;
        if (s[i] == close) {
            ++i;
            return Json::Ok;
        }
        for (;;) {
            if (object) {
                if (Json r = Space(); r != Json::Ok)
                    return r;
                if (s[i] != '"')
                    return Json::Bad;
                if (Json r = String(); r != Json::Ok)
                    return r;
                if (Json r = Space(); r != Json::Ok)
                    return r;
                if (s[i++] != ':')
                    return Json::Bad;
            }
            if (Json r = Value(depth); r != Json::Ok)
                return r;
            if (Json r = Space(); r != Json::Ok)
                return r;
            const char next = s[i++];
            if (next == close)
                return Json::Ok;
            if (next != ',')
                return Json::Bad;
        }
    }
};

// An object or array at the text's start and nothing but white space after
// it; Out when the text ends inside the value.
Json WholeContainer(std::string_view text)
{
    if (text.empty() || (text[0] != '{' && text[0] != '['))
        return Json::Bad;
    JsonReader reader{text};
    if (Json r = reader.Value(0); r != Json::Ok)
        return r;
    return reader.Space() == Json::Out ? Json::Ok : Json::Bad;
}

} // namespace

bool IsXmlNameStart(char c)
{
    const char lower = AsciiLower(c);
    return (lower >= 'a' && lower <= 'z') || c == '_' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsXmlNameChar(char c)
{
    return IsXmlNameStart(c) || IsDecimalDigit(c) || c == '-' || c == '.';
}

bool JsonHolds(std::string_view view, bool cut)
{
    JsonReader space{view};
    space.Space();
    const Json whole = WholeContainer(view.substr(space.i));
    return whole == Json::Ok || (whole == Json::Out && cut);
}

namespace {

// The attributes of a start tag, from just after its name up to its '>': as
// many as are well formed (NAME = "VALUE" or 'VALUE'), values as written.
void ReadXmlAttributes(std::string_view rest, std::vector<std::pair<std::string, std::string>>& attributes)
{
    std::size_t k = 0;
    auto space = [&] {
        while (k < rest.size() && MarkupSpace(rest[k]))
            ++k;
    };
    for (;;) {
        space();
        if (k == rest.size() || !IsXmlNameStart(rest[k]))
            return;
        const std::size_t nameStart = k;
        while (k < rest.size() && IsXmlNameChar(rest[k]))
            ++k;
        const std::string_view name = rest.substr(nameStart, k - nameStart);
        space();
        if (k == rest.size() || rest[k] != '=')
            return;
        ++k;
        space();
        if (k == rest.size() || (rest[k] != '"' && rest[k] != '\''))
            return;
        const std::size_t close = rest.find(rest[k], k + 1);
        if (close == std::string_view::npos)
            return;
        const std::string_view value = rest.substr(k + 1, close - k - 1);
        if (value.find('<') != std::string_view::npos)
            return;
        attributes.emplace_back(name, value);
        k = close + 1;
    }
}

} // namespace

std::optional<XmlStartTag> XmlRootTag(std::string_view view)
{
    std::size_t i = 0;
    for (;;) {
        while (i < view.size() && MarkupSpace(view[i]))
            ++i;
        const std::string_view rest = view.substr(i);
        if (rest.starts_with("<?") || rest.starts_with("<!--")) {
            const std::string_view end = rest[1] == '?' ? "?>" : "-->";
            const std::size_t found = rest.find(end, 2);
            if (found == std::string_view::npos)
                return std::nullopt;
            i += found + end.size();
        } else if (EqualIgnoringAsciiCase(rest.substr(0, 9), std::string_view("<!DOCTYPE"))) {
            // The internal subset in brackets may hold '>' of its own declarations.
            std::size_t k = 9;
            int depth = 0;
            char quote = 0;
            for (; k < rest.size(); ++k) {
                const char c = rest[k];
                if (quote) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    --depth;
                } else if (c == '>' && depth <= 0) {
                    break;
                }
            }
            if (k == rest.size())
                return std::nullopt;
            i += k + 1;
        } else if (rest.size() > 1 && rest[0] == '<' && IsXmlNameStart(rest[1])) {
            std::size_t k = 1;
            while (k < rest.size() && IsXmlNameChar(rest[k]))
                ++k;
            if (k == rest.size() || !(MarkupSpace(rest[k]) || rest[k] == '>' || rest[k] == '/'))
                return std::nullopt;
            XmlStartTag tag{std::string(rest.substr(1, k - 1)), {}};
            ReadXmlAttributes(rest.substr(k), tag.attributes);
            return tag;
        } else {
            return std::nullopt;
        }
    }
}

std::optional<std::string> XmlRootName(std::string_view view)
{
    auto tag = XmlRootTag(view);
    return tag ? std::optional<std::string>(std::move(tag->name)) : std::nullopt;
}

bool TableHolds(std::string_view view, char delimiter, bool cut)
{
    std::vector<std::size_t> counts;
    // Which columns hold text in some row: a delimiter that only opens or
    // closes each line (";" before assembler comments, after statements) makes
    // one column of text, and that is no table.
    std::vector<bool> columnHasText;
    std::size_t count = 0;
    bool quoted = false;
    bool fieldStart = true;
    bool fieldHasText = false;
    bool rowHasText = false;
    bool commented = false;
    // Prose whose sentences hold one comma each is no table: every one of
    // its lines ends a sentence, where a row of a table seldom does.
    char last = 0;
    std::size_t sentences = 0;
    // Once a row's count differs from the first row's, or the first row has
    // too few, no later row can make a table: the rest is not read.
    bool hopeless = false;
    auto endRow = [&] {
        sentences += last == '.' || last == '!' || last == '?';
        counts.push_back(count);
        hopeless = count != counts.front() || counts.front() < (commented ? 2u : 1u);
    };
    auto endField = [&] {
        if (fieldHasText) {
            if (columnHasText.size() <= count)
                columnHasText.resize(count + 1);
            columnHasText[count] = true;
        }
        fieldHasText = false;
    };
    for (std::size_t i = 0; i < view.size() && counts.size() < kTableRows; ++i) {
        const char c = view[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < view.size() && view[i + 1] == '"')
                    ++i;
                else
                    quoted = false;
            }
            continue;
        }
        // Data files often open with "#" lines that say what the columns are.
        if (c == '#' && counts.empty() && !rowHasText) {
            const std::size_t end = view.find('\n', i);
            if (end == std::string_view::npos)
                break;
            i = end;
            commented = true;
            continue;
        }
        if (c == '\n') {
            // Blank rows (a file's last line end doubled, a gap between blocks) are no rows.
            endField();
            if (rowHasText)
                endRow();
            if (hopeless)
                return false;
            count = 0;
            last = 0;
            fieldStart = true;
            rowHasText = false;
            continue;
        }
        rowHasText = rowHasText || c != '\r';
        last = c == '\r' || c == ' ' || c == '\t' ? last : c;
        if (c == delimiter) {
            endField();
            ++count;
            fieldStart = true;
        } else if (c == '"' && fieldStart) {
            quoted = true;
            fieldStart = false;
            fieldHasText = true;
        } else if (c != '\r') {
            fieldStart = false;
            fieldHasText = fieldHasText || c != ' ';
        }
    }
    // The last row without a line end counts only when it is the file's last.
    if (counts.size() < kTableRows && !cut) {
        if (quoted)
            return false;
        endField();
        if (rowHasText)
            endRow();
    }
    // Behind comments, rows of two columns are too common in scripts and
    // word lists ("import os, sys", "reserved:<tab>word") to tell a table.
    return counts.size() >= 2 && counts.front() >= (commented ? 2 : 1) && sentences < counts.size()
        && std::all_of(counts.begin(), counts.end(), [&](std::size_t n) { return n == counts.front(); })
        && std::count(columnHasText.begin(), columnHasText.end(), true) >= 2;
}

bool JsonLinesHolds(std::string_view view, bool cut)
{
    std::size_t values = 0;
    bool blank = false;
    bool good = true;
    ForEachLine(view, cut, [&](std::string_view line) {
        line = Trim(line);
        if (line.empty()) {
            blank = true;
            return true;
        }
        // One value per line: a blank line between values is none of the form.
        good = !blank && WholeContainer(line) == Json::Ok;
        values += good;
        return good;
    });
    return good && values >= 2;
}
