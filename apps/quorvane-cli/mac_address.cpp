#include "apps/quorvane-cli/mac_address.hpp"

#include <cctype>

namespace quorvane::cli {

namespace {

// True when `text` is groups of `group` hex digits joined by `separator`, twelve digits
// in all.
bool grouped(const std::string& text, std::size_t group, char separator) {
    const std::size_t groups = 12 / group;
    if (text.size() != 12 + groups - 1) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool separator_place = (i + 1) % (group + 1) == 0;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (separator_place ? c != separator : !std::isxdigit(c)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> normalise_mac(const std::string& text) {
    if (!grouped(text, 4, '.') && !grouped(text, 2, ':') && !grouped(text, 2, '-')) {
        return std::nullopt;
    }
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return digits.substr(0, 4) + "." + digits.substr(4, 4) + "." + digits.substr(8, 4);
}

}  // namespace quorvane::cli
