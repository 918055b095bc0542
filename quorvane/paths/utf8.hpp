#pragma once
// UTF-8 validation shared by the file helpers and the configuration store. Validity is
// strict: no overlong forms, no surrogates, nothing above U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// Byte offset of the first invalid sequence, or std::string_view::npos when valid.
std::size_t first_invalid_utf8(std::string_view text);

inline bool is_valid_utf8(std::string_view text) {
    return first_invalid_utf8(text) == std::string_view::npos;
}

// The text with every invalid sequence removed. Each maximal invalid subpart is dropped
// as one unit, so a truncated multi-byte character disappears without taking the
// following valid character with it.
std::string drop_invalid_utf8(std::string_view text);

// Number of code points of valid UTF-8 text.
std::size_t utf8_length(std::string_view text);

// The first `count` code points of valid UTF-8 text.
std::string utf8_prefix(std::string_view text, std::size_t count);

// White space in the Unicode sense (the White_Space property): the ASCII blanks and line
// breaks, NEL, no-break space, the typographic spaces, line and paragraph separators and
// the ideographic space.
bool is_unicode_space(char32_t code_point);

// The text without white space at either end. Bytes that are not UTF-8 are never white
// space, so text that is not UTF-8 is trimmed only up to them.
std::string_view trim_unicode_space(std::string_view text);

// How many white-space code points the text begins with.
std::size_t leading_space_count(std::string_view text);

// Letters of every script lower-cased by their simple case mapping ("Ä" to "ä", "Σ" to
// "σ"); everything else, bytes that are not UTF-8 included, is kept as it is. Lower-casing
// an already lower-cased text changes nothing.
std::string lower_case_utf8(std::string_view text);

// A-Z folded to a-z, every other byte kept: for device output, which may be any bytes.
std::string ascii_lower(std::string_view text);

}  // namespace quorvane
