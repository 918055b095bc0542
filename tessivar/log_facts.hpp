#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

// One extractor per fact of an AP log, each working on the decoded text of the whole file.
// The public per-fact checks and the folder analysis both go through these, so the two can
// never disagree.
namespace tessivar {

// A text fact with its verdict; either may hold no value.
using TextCheck = std::pair<std::optional<std::string>, std::optional<bool>>;
// The free space of part2 in megabytes, and whether it is below 80.
using MegabytesCheck = std::pair<std::optional<double>, std::optional<bool>>;

inline constexpr double LOW_MEMORY_MB = 80.0;

std::optional<std::string> hostname_fact(std::string_view text);
std::string ip_fact(std::string_view text);
TextCheck model_fact(std::string_view text);
TextCheck primary_version_fact(std::string_view text);
TextCheck backup_version_fact(std::string_view text);
bool cnssdaemon_fact(std::string_view text);
TextCheck boot_partition_fact(std::string_view text);
std::optional<bool> integrity_failed_fact(std::string_view text);
MegabytesCheck part2_free_fact(std::string_view text);

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
};

LogFacts scan_log(std::string_view text);

}  // namespace tessivar
