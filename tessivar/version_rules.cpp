#include "tessivar/version_rules.hpp"

#include <cstdint>
#include <limits>
#include <vector>

#include "tessivar/text_scan.hpp"

namespace tessivar {
namespace {

// Reads an integer the way a lenient text-to-integer conversion does: surrounding white space
// and a sign are allowed, nothing else. Saturates instead of overflowing so that a huge build
// number still compares as large.
std::optional<std::int64_t> to_integer(std::string_view text) {
    text = detail::trim(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    constexpr std::int64_t kCap = std::numeric_limits<std::int64_t>::max() / 10;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (value < kCap) value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

struct Version {
    std::string_view major, minor, patch;
    std::int64_t patch_number;
    std::int64_t build;
};

std::optional<Version> parse(std::string_view version) {
    std::vector<std::string_view> pieces;
    std::size_t begin = 0;
    while (pieces.size() < 4) {
        const std::size_t dot = version.find('.', begin);
        pieces.push_back(version.substr(begin, dot == std::string_view::npos ? dot : dot - begin));
        if (dot == std::string_view::npos) break;
        begin = dot + 1;
    }
    if (pieces.size() < 4) return std::nullopt;
    const auto patch = to_integer(pieces[2]);
    const auto build = to_integer(pieces[3]);
    if (!patch || !build) return std::nullopt;
    return Version{pieces[0], pieces[1], pieces[2], *patch, *build};
}

// The releases whose fixed builds are safe for both images; no value when none applies.
std::optional<bool> fixed_release_rule(const Version& v) {
    if (v.major != "17") return std::nullopt;
    struct Fixed {
        std::string_view minor, patch;
        std::int64_t first_safe_build;
    };
    constexpr std::int64_t kAnyBuild = std::numeric_limits<std::int64_t>::min();
    static constexpr Fixed kFixed[] = {
        {"12", "4", 213}, {"12", "5", 209},       {"12", "6", 201}, {"15", "3", 212},
        {"15", "4", 206}, {"15", "5", kAnyBuild}, {"18", "1", 203}, {"18", "2", 201},
    };
    if (v.minor == "12" && v.patch_number <= 3) return false;
    for (const Fixed& f : kFixed) {
        if (v.minor == f.minor && v.patch == f.patch && v.build >= f.first_safe_build) {
            return false;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<bool> running_image_buggy(std::string_view version) {
    const auto v = parse(version);
    if (!v) return std::nullopt;
    if (const auto fixed = fixed_release_rule(*v)) return fixed;
    if (v->major != "17") return true;
    const auto minor = to_integer(v->minor);
    if (!minor) return std::nullopt;
    return *minor > 9;
}

std::optional<bool> backup_image_buggy(std::string_view version) {
    const auto v = parse(version);
    if (!v) return std::nullopt;
    if (const auto fixed = fixed_release_rule(*v)) return fixed;
    return !(v->major == "17" && v->minor == "9" && v->patch == "7");
}

}  // namespace tessivar
