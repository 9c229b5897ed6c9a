// Shapes of text read line by line, by keys and indentation: a header block,
// block YAML and INI settings.
#include "text/text_sample.h"

#include "text/text_lines.h"

#include "ascii.h"

#include <algorithm>

namespace {

// Where the colon that ends a YAML mapping key stands, or npos when `text`
// opens with no key: a quoted key, or a plain one that starts with no
// indicator and ends at the first ": " or at a colon that ends the line. A
// plain key here holds no brackets, commas, semicolons or equals signs: YAML
// allows them, but code that ends its lines with colons holds them.
std::size_t YamlKeyEnd(std::string_view text)
{
    if (text.empty())
        return std::string_view::npos;
    std::size_t i = 0;
    if (text[0] == '"' || text[0] == '\'') {
        const std::size_t close = text.find(text[0], 1);
        if (close == std::string_view::npos)
            return std::string_view::npos;
        i = close + 1;
        while (i < text.size() && text[i] == ' ')
            ++i;
        return i < text.size() && text[i] == ':' && (i + 1 == text.size() || text[i + 1] == ' ') ? i
                                                                                                 : std::string_view::npos;
    }
    if (std::string_view("-?:,[]{}#&*!|>%@`").find(text[0]) != std::string_view::npos || text[0] == ' ')
        return std::string_view::npos;
    for (; i < text.size(); ++i) {
        if (text[i] == ':' && (i + 1 == text.size() || text[i + 1] == ' '))
            return i;
        if ((text[i] == '#' && text[i - 1] == ' ') || std::string_view("()[]{},;=").find(text[i]) != std::string_view::npos)
            return std::string_view::npos;
    }
    return std::string_view::npos;
}

// Whether `text` is "key:" with no value (a comment may follow): a nested block comes next.
bool YamlOpensBlock(std::string_view text)
{
    const std::size_t colon = YamlKeyEnd(text);
    if (colon == std::string_view::npos)
        return false;
    const std::string_view value = Trim(text.substr(colon + 1));
    return value.empty() || value[0] == '#';
}

// "- " entries of a sequence: the column where their content starts.
std::size_t YamlEntryContent(std::string_view line, std::size_t column)
{
    while (column < line.size() && line[column] == '-' && (column + 1 == line.size() || line[column + 1] == ' ')) {
        ++column;
        while (column < line.size() && line[column] == ' ')
            ++column;
    }
    return column;
}

} // namespace

bool HeaderHolds(std::string_view view, std::span<const std::string> names, bool cut)
{
    std::vector<bool> found(names.size());
    std::size_t fields = 0;
    bool good = true;
    ForEachLine(view, cut, [&](std::string_view line) {
        if (line.empty())
            return false;  // the end of the header block
        if (line[0] == ' ' || line[0] == '\t') {
            good = fields > 0;  // a folded line continues the field before it
            return good;
        }
        const std::size_t colon = line.find(':');
        const std::string_view name = line.substr(0, colon);
        good = colon != std::string_view::npos && colon > 0
            && std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
        for (std::size_t k = 0; good && k < names.size(); ++k)
            found[k] = found[k] || EqualIgnoringAsciiCase(name, std::string_view(names[k]));
        fields += good;
        return good;
    });
    return good && fields > 0 && std::all_of(found.begin(), found.end(), [](bool f) { return f; });
}

bool YamlHolds(std::string_view view, bool cut)
{
    constexpr std::size_t kNone = std::string_view::npos;
    // The columns at which the open blocks' lines start, outermost first.
    std::vector<std::size_t> levels{0};
    // After "key:" with no value its block may follow; after a value, deeper
    // lines continue that scalar (folded text, a block scalar, a long list).
    bool blockAwaited = false;
    std::size_t scalarColumn = kNone;
    bool started = false;
    bool nested = false;
    bool marked = false;
    bool good = true;
    ForEachLine(view, cut, [&](std::string_view line) {
        if (Trim(line).empty())
            return true;
        // YAML never indents with tabs.
        if (line[0] == '\t')
            return good = false;
        const std::size_t indent = line.find_first_not_of(' ');
        const std::string_view content = line.substr(indent);
        if (content[0] == '#')
            return true;
        if (indent == 0 && (content == "---" || content.starts_with("--- ") || content == "...")) {
            marked = marked || (!started && content[0] == '-');
            levels.assign(1, 0);
            blockAwaited = false;
            scalarColumn = kNone;
            return true;
        }
        if (!started && indent > 0)
            return good = false;
        if (!blockAwaited && scalarColumn != kNone && indent > scalarColumn)
            return true;
        const std::size_t column = YamlEntryContent(line, indent);
        const std::string_view item = line.substr(column);
        const bool key = YamlKeyEnd(item) != kNone;
        const bool opensBlock = blockAwaited && indent > levels.back();
        if (opensBlock && column == indent && !key) {
            // The value of "key:" may be plain text on the lines below it.
            blockAwaited = false;
            scalarColumn = levels.back();
            return true;
        }
        // Control files continue a field on lines indented by one space; a
        // nested YAML block is indented further.
        const bool deeperBlock = opensBlock && indent >= levels.back() + 2;
        if (opensBlock) {
            levels.push_back(indent);
        } else {
            while (levels.back() > indent)
                levels.pop_back();
            // A line between two blocks' columns belongs to neither.
            if (levels.back() != indent)
                return good = false;
        }
        // Every line that starts a block's column is a key or an entry: prose
        // or code at the left edge is not.
        if (column == indent && !key)
            return good = false;
        // The block under a key is a nested mapping, or a sequence of them,
        // keyed by a name; a list of words under a heading, or a sentence that
        // ends in a colon under another, is as much prose as YAML.
        nested = nested || ((deeperBlock || (blockAwaited && column > indent)) && key
                            && item.substr(0, YamlKeyEnd(item)).find(' ') == std::string_view::npos);
        started = true;
        if (key && column > indent)
            levels.push_back(column);  // the mapping inside a sequence entry
        blockAwaited = item.empty() || YamlOpensBlock(item);
        scalarColumn = blockAwaited ? kNone : key ? column : indent;
        return true;
    });
    return good && started && (nested || marked);
}

bool IniHolds(std::string_view view, bool cut)
{
    bool section = false;
    std::size_t keys = 0;
    bool good = true;
    // A key is a name: "pkg>=2" is a requirement line, not a setting.
    auto isKey = [](std::string_view line) {
        const std::size_t equals = line.find('=');
        const std::string_view key = Trim(line.substr(0, equals));
        return equals != std::string_view::npos && !key.empty() && key.find_first_of("<>!~") == std::string_view::npos;
    };
    ForEachLine(view, cut, [&](std::string_view raw) {
        const std::string_view line = Trim(raw);
        if (line.empty())
            return true;
        if (line[0] == ';' || line[0] == '#') {
            // A setting commented out is a setting all the same.
            keys += section && isKey(line.substr(1));
            return true;
        }
        if (line[0] == '[') {
            good = line.size() > 2 && line.back() == ']' && line.find(']') == line.size() - 1;
            section = section || good;
            return good;
        }
        // An indented line under a key continues its value.
        good = section && (isKey(line) || (keys > 0 && (raw[0] == ' ' || raw[0] == '\t')));
        keys += good && isKey(line);
        return good;
    });
    return good && keys > 0;
}
