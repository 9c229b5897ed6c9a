// How the text tests that read lines walk a view (JSON Lines in
// text_shapes.cpp, the rest in text_line_shapes.cpp): line by line, without
// the line end, and without the spaces and tabs around a line's words.
#pragma once

#include <cstddef>
#include <string_view>

// Calls `line` with each line of the view, without its line end, while it
// returns true; a last line cut by the view's end is not handed on.
template <typename Line>
void ForEachLine(std::string_view view, bool cut, Line line)
{
    for (std::size_t start = 0; start < view.size();) {
        std::size_t end = view.find('\n', start);
        if (end == std::string_view::npos) {
            if (cut)
                return;
            end = view.size();
        }
        std::string_view text = view.substr(start, end - start);
        if (text.ends_with('\r'))
            text.remove_suffix(1);
        if (!line(text))
            return;
        start = end + 1;
    }
}

// The line without spaces and tabs at either end.
inline std::string_view Trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}
