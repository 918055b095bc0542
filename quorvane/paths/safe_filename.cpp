#include <re2/re2.h>

#include "quorvane/paths/paths.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

namespace {

constexpr std::size_t kMaxFilenameChars = 120;

// Letters and digits of every script stay, as word characters do in Unicode-aware
// regular expressions; marks and symbols do not.
const RE2& not_filename_char() {
    static const RE2 pattern(R"([^\pL\pN_\-.])");
    return pattern;
}

}  // namespace

std::string _safe_filename(const std::string& name) {
    if (name.empty()) return "UNKNOWN";
    std::string safe = drop_invalid_utf8(name);
    RE2::GlobalReplace(&safe, not_filename_char(), "_");
    // Every blank became "_" above, so only the trailing dots are left to strip.
    while (!safe.empty() && safe.back() == '.') safe.pop_back();
    safe = utf8_prefix(safe, kMaxFilenameChars);
    return safe.empty() ? "UNKNOWN" : safe;
}

}  // namespace quorvane
