#include "tessivar/log_facts.hpp"

#include <array>
#include <charconv>
#include <limits>

#include "tessivar/marker_index.hpp"
#include "tessivar/text_scan.hpp"
#include "tessivar/version_rules.hpp"

namespace tessivar {
namespace {

using detail::end_of_line;
using detail::find;
using detail::line_at;
using detail::trim;
constexpr auto npos = std::string_view::npos;

constexpr std::array<std::string_view, 3> kFlashAllowedModels = {"(ap1g6)", "(ap1g6a)", "(ap1g6b)"};

// Text after the first ":" of a line, trimmed.
std::string_view after_first_colon(std::string_view line) {
    const std::size_t colon = line.find(':');
    return colon == npos ? std::string_view{} : trim(line.substr(colon + 1));
}

// The first quoted value in `line` that follows `key` and is not empty.
std::optional<std::string> quoted_value(std::string_view line, std::string_view key) {
    for (std::size_t at = find(line, key); at != npos; at = find(line, key, at + 1)) {
        const std::size_t begin = at + key.size();
        const std::size_t close = line.find('\'', begin);
        if (close == npos) return std::nullopt;
        if (close > begin) return std::string(line.substr(begin, close - begin));
    }
    return std::nullopt;
}

TextCheck version_fact(const MarkerIndex& log, Marker marker,
                       std::optional<bool> (*buggy)(std::string_view)) {
    const std::string_view line = log.first_line(marker);
    if (line.empty()) return {};
    const std::string_view version = after_first_colon(line);
    if (version.empty()) return {};
    return {std::string(version), buggy(version)};
}

// Reads a figure of digits and full stops as a real number, without regard to the locale.
// Figures such as "1.2.3" or "." are no number at all.
std::optional<double> to_real(std::string_view digits) {
    if (digits.find_first_of("0123456789") == npos) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                           std::chars_format::fixed);
    if (end != digits.data() + digits.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        const bool has_whole_part = digits.find_first_of("123456789") < digits.find('.');
        return has_whole_part ? std::numeric_limits<double>::infinity() : 0.0;
    }
    if (ec != std::errc{}) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::string> hostname_fact(const MarkerIndex& log) {
    const std::string_view text = log.text();
    for (std::size_t at = find(text, "<run "); at != npos; at = find(text, "<run ", at + 1)) {
        if (at > 0 && text[at - 1] != '\n') continue;
        const std::size_t end = end_of_line(text, at);
        const std::string_view line = text.substr(at, end - at);
        if (find(line, "hostname=") != npos) {
            if (auto name = quoted_value(line, "hostname='")) return name;
        }
        at = end - 1;
    }
    return std::nullopt;
}

std::string ip_fact(const MarkerIndex& log) {
    const std::string_view text = log.text();
    for (std::size_t at = find(text, "p='"); at != npos; at = find(text, "p='", at + 1)) {
        if (at == 0 || (text[at - 1] != 'I' && text[at - 1] != 'i')) continue;
        const std::size_t begin = at + 3;
        const std::size_t close = text.find('\'', begin);
        if (close == npos) break;
        if (close > begin) return std::string(text.substr(begin, close - begin));
    }
    constexpr std::string_view kGotIp = "GOT IP[";
    for (std::size_t at = find(text, kGotIp); at != npos; at = find(text, kGotIp, at + 1)) {
        const std::size_t begin = at + kGotIp.size();
        const std::size_t stop = text.find_first_of("]\n", begin);
        if (stop == npos) break;
        if (text[stop] == ']') return std::string(text.substr(begin, stop - begin));
        at = stop;
    }
    return {};
}

TextCheck model_fact(const MarkerIndex& log) {
    const std::string_view line = log.first_line(Marker::software_banner);
    const std::size_t comma = line.find(',');
    if (comma == npos) return {};
    const std::size_t next = line.find(',', comma + 1);
    const std::string_view signature =
        trim(line.substr(comma + 1, next == npos ? npos : next - comma - 1));
    bool allowed = false;
    for (std::string_view model : kFlashAllowedModels) allowed = allowed || signature == model;
    return {std::string(signature), allowed};
}

TextCheck primary_version_fact(const MarkerIndex& log) {
    return version_fact(log, Marker::running_image, running_image_buggy);
}

TextCheck backup_version_fact(const MarkerIndex& log) {
    return version_fact(log, Marker::backup_image, backup_image_buggy);
}

std::string_view cnss_log_line(const MarkerIndex& log) {
    const std::string_view text = log.text();
    const std::string_view marker = marker_text(Marker::cnss_log);
    for (std::size_t at = log.first(Marker::cnss_log); at != npos; at = find(text, marker, at)) {
        const std::string_view line = line_at(text, at);
        if (find(line, "root") != npos) return trim(line);
        at = static_cast<std::size_t>(line.data() - text.data()) + line.size();
    }
    return {};
}

bool cnssdaemon_fact(const MarkerIndex& log) { return !cnss_log_line(log).empty(); }

TextCheck boot_partition_fact(const MarkerIndex& log) {
    const std::string_view line = log.first_line(Marker::boot_path_list);
    if (line.empty()) return {};
    const std::string_view partition = after_first_colon(line);
    return {std::string(partition), partition == "part1"};
}

std::optional<IntegrityReport> integrity_report(const MarkerIndex& log) {
    const std::string_view text = log.text();
    const std::string_view command = log.first_line(Marker::image_integrity);
    if (command.empty()) return std::nullopt;
    constexpr int kFollowingLines = 25;
    IntegrityReport kept;
    std::size_t kept_count = 0;
    std::size_t pos = static_cast<std::size_t>(command.data() - text.data()) + command.size();
    for (int i = 0; i < kFollowingLines && pos < text.size() && kept_count < kept.size(); ++i) {
        const std::size_t end = end_of_line(text, pos);
        const std::string_view line = text.substr(pos, end - pos);
        if (!trim(line).empty()) kept[kept_count++] = line;
        pos = end;
    }
    if (kept_count < kept.size()) return std::nullopt;
    return kept;
}

std::optional<bool> integrity_failed_fact(const MarkerIndex& log) {
    const auto report = integrity_report(log);
    if (!report) return std::nullopt;
    bool failed = false;
    for (std::size_t index : {2, 3, 4, 6, 7, 8}) {
        const std::string_view line = (*report)[index];
        const std::size_t first = line.find(':');
        if (first == npos) return std::nullopt;
        const std::size_t second = line.find(':', first + 1);
        const std::string_view status =
            trim(line.substr(first + 1, second == npos ? npos : second - first - 1));
        failed = failed || status != "Good";
    }
    return failed;
}

MegabytesCheck part2_free_fact(const MarkerIndex& log) {
    const std::string_view line = log.first_line(Marker::part2_device);
    if (line.empty()) return {};
    std::string_view field;
    std::size_t pos = 0;
    for (int n = 0; n < 4; ++n) {
        while (pos < line.size() && detail::is_space(line[pos])) ++pos;
        if (pos == line.size()) return {};
        const std::size_t begin = pos;
        while (pos < line.size() && !detail::is_space(line[pos])) ++pos;
        field = line.substr(begin, pos - begin);
    }
    const std::size_t digits = field.find_first_not_of("0123456789.");
    const std::string_view figure = field.substr(0, digits);
    if (figure.empty()) return {};
    const auto value = to_real(figure);
    if (!value) return {};
    double megabytes = *value;
    const char unit = digits == npos ? '\0' : field[digits];
    if (unit == 'g' || unit == 'G') megabytes *= 1024;
    if (unit == 'k' || unit == 'K') megabytes *= 0.0009765625;
    return {megabytes, megabytes < LOW_MEMORY_MB};
}

LogFacts scan_log(std::string_view text) {
    const MarkerIndex log(text);
    LogFacts facts{hostname_fact(log),       ip_fact(log),
                   model_fact(log),          primary_version_fact(log),
                   backup_version_fact(log), cnssdaemon_fact(log),
                   boot_partition_fact(log), integrity_failed_fact(log),
                   part2_free_fact(log),     std::string(cnss_log_line(log)),
                   {}};
    if (const auto report = integrity_report(log)) {
        // The partition headings and their statuses; the command echo is left out.
        for (std::size_t i = 1; i < report->size(); ++i) {
            facts.integrity_lines.emplace_back(trim((*report)[i]));
        }
    }
    return facts;
}

}  // namespace tessivar
