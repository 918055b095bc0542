#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Writes synthetic per-AP log files in the poller's format, for tests and benchmarks.
namespace tessivar::loggen {

// What one poll of one AP collected. An absent value leaves the matching output out.
struct ApPoll {
    std::string device = "AP";
    std::string hostname = "AP-0001";
    std::string ip = "10.1.1.1";
    std::optional<std::string> signature = "(ap1g6a)";
    std::optional<std::string> running_image = "17.9.5.1";
    std::optional<std::string> backup_image = "17.9.7.100";
    std::optional<std::string> boot_partition = "part1";
    std::optional<std::string> part2_free = "120.0M";
    // The cnss daemon log is listed owned by root; false lists it under another owner.
    bool cnss_root_log = true;
    std::optional<std::array<std::string, 6>> integrity =
        std::array<std::string, 6>{"Good", "Good", "Good", "Good", "Good", "Good"};
    // Bytes of unrelated command output, half before and half after the checked outputs.
    std::size_t filler_bytes = 0;
    std::uint32_t seed = 1;
};

// One poll section: the run header and the command blocks.
std::string render_poll(const ApPoll& poll);

// `text` with every line break written as `line_break` (such as "\r\n" or "\r").
std::string with_line_breaks(std::string_view text, std::string_view line_break);

void append_file(const std::filesystem::path& path, std::string_view text);

// An AP that reaches one branch of the flash checks, and the recovery text it must get
// (empty when the AP is not susceptible).
struct BranchCase {
    std::string name;
    ApPoll poll;
    std::string recovery;
    std::string model_text;
};

// One case per failure branch and recovery group, plus healthy and unrelated APs.
std::vector<BranchCase> branch_cases();

// Writes `count` log files of about `bytes_per_file` bytes each into `dir`, cycling through
// the branch cases; every tenth file uses CR LF breaks and every seventh holds two polls.
void write_fleet(const std::filesystem::path& dir, std::size_t count, std::size_t bytes_per_file);

}  // namespace tessivar::loggen
