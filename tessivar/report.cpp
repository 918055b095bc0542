#include "tessivar/report.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>

#include "tessivar/text_scan.hpp"

namespace tessivar {
namespace {

constexpr std::size_t kColumnWidth = 22;
constexpr std::string_view kNoRecovery = "No recovery actions required.";

std::string flag_text(const std::optional<bool>& flag) {
    if (!flag) return "None";
    return *flag ? "True" : "False";
}

std::string two_decimals(double value) {
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    return ec == std::errc{} ? std::string(buf, end) : std::string();
}

void append_padded(std::string& out, std::string_view cell) {
    out += cell;
    const std::size_t width = detail::utf8_length(cell);
    if (width < kColumnWidth) out.append(kColumnWidth - width, ' ');
}

void append_row(std::string& out, const StatusRow& row) {
    for (const std::string& cell : row) append_padded(out, cell);
    out += '\n';
}

}  // namespace

const StatusRow& status_headings() {
    static const StatusRow kHeadings = {
        "AP Name",      "Model",          "Primary Image",          "Primary Buggy", "Backup Image",
        "Backup Buggy", "Boot Partition", "Image Integrity Failed", "Part2 Free MB", "Low Memory",
    };
    return kHeadings;
}

StatusRow status_row(const LogFacts& facts, std::string_view file_name) {
    return {
        facts.hostname.value_or(std::string(file_name)),
        facts.model.first.value_or("UNKNOWN"),
        facts.primary.first.value_or(""),
        flag_text(facts.primary.second),
        facts.backup.first.value_or(""),
        flag_text(facts.backup.second),
        facts.boot.first.value_or(""),
        flag_text(facts.integrity_failed),
        facts.part2.first ? two_decimals(*facts.part2.first) : std::string(),
        flag_text(facts.part2.second),
    };
}

bool any_susceptible(const RecoveryGroups& groups) {
    for (const auto& group : groups) {
        if (!group.empty()) return true;
    }
    return false;
}

std::string status_report_block(std::string_view run_time, const std::vector<StatusRow>& rows,
                                const RecoveryGroups& groups) {
    const std::string rule(60, '=');
    const bool susceptible = any_susceptible(groups);
    std::string out;
    out += "\n" + rule + "\n";
    out += "Flash Checker Run: ";
    out += run_time;
    out += "\n" + rule + "\n\n";
    out += "=========== AP FLASH CHECK STATUS SUMMARY ===========\n\n";
    append_row(out, status_headings());
    out.append(kColumnWidth * STATUS_COLUMN_COUNT, '-');
    out += '\n';
    for (const StatusRow& row : rows) append_row(out, row);
    if (!susceptible) out += "\nNo AP flash issues detected.\n";
    out += "\n\n=========== RECOVERY SUMMARY ===========\n\n";
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].empty()) continue;
        out += recovery_group_text(static_cast<RecoveryGroup>(g)).title;
        out += '\n';
        for (const ApEntry& entry : groups[g]) {
            out += "  - " + entry.name + " (" + entry.model + ") [" + entry.ip + "]\n";
        }
        out += '\n';
    }
    if (!susceptible) {
        out += kNoRecovery;
        out += '\n';
    }
    return out;
}

std::string quick_summary(const RecoveryGroups& groups) {
    std::vector<std::string> lines;
    if (!any_susceptible(groups)) lines.emplace_back(kNoRecovery);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::string_view ending =
            recovery_group_text(static_cast<RecoveryGroup>(g)).quick_summary_ending;
        if (ending.empty()) continue;
        for (const ApEntry& entry : groups[g]) {
            lines.push_back(entry.name + " (" + entry.model + ") [" + entry.ip +
                            std::string(ending));
        }
    }
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) joined += '\n';
        joined += lines[i];
    }
    return joined;
}

std::string susceptibility_block(std::size_t susceptible_count, std::string_view quick_summary) {
    std::string out = "\n=========== SUSCEPTIBILITY SUMMARY ===========\n\n";
    out += "Total Susceptible APs: " + std::to_string(susceptible_count) + "\n";
    out += "\n\n=========== QUICK RECOVERY SUMMARY ===========\n\n";
    out += quick_summary;
    return out;
}

void append_text(const std::filesystem::path& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            throw std::system_error(err, std::generic_category(), "cannot write " + path.string());
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot write " + path.string());
    }
}

}  // namespace tessivar
