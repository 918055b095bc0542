#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tessivar/marker_index.hpp"

// One extractor per fact of an AP log, each working on the decoded text of the whole file and
// its marker index. The public per-fact checks and the folder analysis both go through these, so
// the two can never disagree.
namespace tessivar {

// A text fact with its verdict; either may hold no value.
using TextCheck = std::pair<std::optional<std::string>, std::optional<bool>>;
// The free space of part2 in megabytes, and whether it is below 80.
using MegabytesCheck = std::pair<std::optional<double>, std::optional<bool>>;

inline constexpr double LOW_MEMORY_MB = 80.0;

std::optional<std::string> hostname_fact(const MarkerIndex& log);
std::string ip_fact(const MarkerIndex& log);
TextCheck model_fact(const MarkerIndex& log);
TextCheck primary_version_fact(const MarkerIndex& log);
TextCheck backup_version_fact(const MarkerIndex& log);
// The root-owned cnss daemon log line of the flash listing, trimmed; empty when none.
std::string_view cnss_log_line(const MarkerIndex& log);
bool cnssdaemon_fact(const MarkerIndex& log);
TextCheck boot_partition_fact(const MarkerIndex& log);
// The nine non-blank lines that follow the integrity command's first mention: its echo, then
// a heading and three statuses per image partition. None when the report is cut short.
using IntegrityReport = std::array<std::string_view, 9>;
std::optional<IntegrityReport> integrity_report(const MarkerIndex& log);
std::optional<bool> integrity_failed_fact(const MarkerIndex& log);
MegabytesCheck part2_free_fact(const MarkerIndex& log);

struct LogFacts {
    std::optional<std::string> hostname;
    std::string ip;
    TextCheck model;
    TextCheck primary;
    TextCheck backup;
    bool cnss = false;
    TextCheck boot;
    std::optional<bool> integrity_failed;
    MegabytesCheck part2;
    // Evidence for a reader: the lines the cnss and integrity facts were read from.
    std::string cnss_line;
    std::vector<std::string> integrity_lines;
};

// All facts of one log, from a single marker index.
LogFacts scan_log(std::string_view text);

}  // namespace tessivar
