// Reading MACs and timing values out of controller output.

#include <re2/re2.h>

#include <charconv>
#include <limits>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/quoted_list.hpp"

namespace quorvane {

namespace {

const RE2& mac_pattern() {
    static const RE2 pattern(R"((?i)([0-9a-f]{4}\.[0-9a-f]{4}\.[0-9a-f]{4}))");
    return pattern;
}

// Splits at LF, CR LF and CR alike: controllers end lines with CR LF, files with LF.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::vector<std::string> Quorvane::_extract_macs(const std::string& output) {
    std::vector<std::string> macs;
    for (std::string_view line : split_lines(output)) {
        std::string mac;
        if (RE2::PartialMatch(re2::StringPiece(line.data(), line.size()), mac_pattern(), &mac))
            macs.push_back(std::move(mac));
    }
    return macs;
}

long long Quorvane::_extract_value(const std::string& text, const std::string& key) {
    // The key is taken literally, so a key holding pattern characters cannot break the
    // expression.
    const RE2 pattern(RE2::QuoteMeta(key) + R"(\s*:\s*(\d+))");
    std::string digits;
    if (!pattern.ok() || !RE2::PartialMatch(text, pattern, &digits)) return 0;
    long long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) return std::numeric_limits<long long>::max();
    return value;
}

}  // namespace quorvane
