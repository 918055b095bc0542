#include "quorvane/inventory/wlc_parse.hpp"

#include <re2/re2.h>

#include <algorithm>
#include <climits>
#include <string_view>
#include <unordered_set>

#include "quorvane/inventory/text_lines.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace {

// Not stripped first: a count line indented by the controller is a table row, not a count.
bool is_count_line(std::string_view line) {
    constexpr std::string_view prefix = "number of aps";
    if (line.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool is_dash_line(std::string_view stripped) {
    return !stripped.empty() &&
           std::all_of(stripped.begin(), stripped.end(), [](char c) { return c == '-'; });
}

// Blank lines, count lines and dashed rules carry no AP in either table.
bool is_table_noise(std::string_view line) {
    const std::string_view stripped = strip_text(line);
    return stripped.empty() || is_count_line(line) || is_dash_line(stripped);
}

int saturated_int(std::string_view digits) {
    long long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

}  // namespace

std::string WlcParse::wlc_hostname_from_uptime(const std::string& output) {
    for (std::string_view line : split_text_lines(output)) {
        if (line.find(" uptime is ") == std::string_view::npos) continue;
        return std::string(split_tokens(line).front());
    }
    return "eWLC-9800";
}

ApRows WlcParse::parse_ap_summary(const std::string& output) {
    ApRows rows;
    for (std::string_view line : split_text_lines(output)) {
        if (is_table_noise(line)) continue;
        const std::vector<std::string_view> tokens = split_tokens(line);
        if (tokens.size() < 4) continue;
        const auto address = std::find_if(tokens.begin(), tokens.end(), [](std::string_view t) {
            return _is_ipv4(std::string(t));
        });
        if (address == tokens.end()) continue;
        rows.push_back(
            make_ap_row(std::string(*address), std::string(tokens[2]), std::string(tokens[0])));
    }
    return rows;
}

std::optional<int> WlcParse::parse_total_ap_cnt_from_tag_summary(const std::string& output) {
    static const RE2 digits("([0-9]+)");
    for (std::string_view line : split_text_lines(output)) {
        if (!is_count_line(line)) continue;
        std::string number;
        if (RE2::PartialMatch(line, digits, &number)) return saturated_int(number);
    }
    return std::nullopt;
}

std::vector<std::string> WlcParse::parse_ap_names_from_tag_summary(const std::string& output,
                                                                   const std::string& site_tag) {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (std::string_view line : split_text_lines(output)) {
        if (is_table_noise(line) || line.find(site_tag) == std::string_view::npos) continue;
        std::string name(split_tokens(line).front());
        if (seen.insert(name).second) names.push_back(std::move(name));
    }
    return names;
}

}  // namespace quorvane
