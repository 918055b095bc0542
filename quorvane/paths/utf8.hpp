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

}  // namespace quorvane
