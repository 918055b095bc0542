#pragma once
// Lines and whitespace-separated tokens of device output, taken as UTF-8 text: every
// Unicode line break ends a line, and whitespace is any Unicode white-space code point,
// so the multi-byte forms (NEL, U+2028, U+2029, no-break space) count as themselves and a
// byte of some other character never does.

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The text cut at LF, CR LF, CR, VT, FF, 0x1C-0x1E, NEL, U+2028 and U+2029; the breaks
// are dropped and a final break opens no empty line.
std::vector<std::string_view> split_text_lines(std::string_view text);

// The runs of non-whitespace of a line, in order.
std::vector<std::string_view> split_tokens(std::string_view line);

// The line without leading and trailing whitespace.
std::string_view strip_text(std::string_view line);

}  // namespace quorvane
