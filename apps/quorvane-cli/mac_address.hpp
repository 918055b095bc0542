#pragma once
// MAC addresses as users type them: 0011.22aa.bbcc, 00:11:22:aa:bb:cc or
// 00-11-22-AA-BB-CC.

#include <optional>
#include <string>

namespace quorvane::cli {

// The dotted lower-case form the controllers print, or nothing when the text is not a
// MAC in one of the three forms.
std::optional<std::string> normalise_mac(const std::string& text);

}  // namespace quorvane::cli
