#pragma once
// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks).

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

std::string base64_encode(std::string_view bytes);

// Lenient decoding: characters outside the alphabet are skipped and decoding stops at
// the "=" that completes the last group of four. A last group of one character, or of
// two or three characters without their padding, gives no value.
std::optional<std::string> base64_decode(std::string_view text);

}  // namespace quorvane
