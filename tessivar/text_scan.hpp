#pragma once

#include <cstddef>
#include <string_view>

// Small scanning helpers shared by the fact extractors. Every helper is linear in the text it
// looks at, so hostile logs (multi-MB lines, binary garbage) cannot make a scan quadratic.
namespace tessivar::detail {

// The ASCII white space a text-mode trim or split removes: blank, tab, line break, CR, vertical
// tab, form feed and the four information separators.
constexpr bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || (c >= '\x1c' && c <= '\x1f');
}

std::string_view trim(std::string_view s);

// The line around position `pos`, including its closing line break when it has one.
std::string_view line_at(std::string_view text, std::size_t pos);

// Position just past the line that holds `pos` (text.size() for the last line).
std::size_t end_of_line(std::string_view text, std::size_t pos);

// Position of the first `needle` at or after `from`; npos when there is none.
std::size_t find(std::string_view text, std::string_view needle, std::size_t from = 0);

// Number of characters (code points) of valid UTF-8 text.
std::size_t utf8_length(std::string_view s);

}  // namespace tessivar::detail
