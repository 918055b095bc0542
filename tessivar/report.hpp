#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tessivar/log_facts.hpp"
#include "tessivar/recovery.hpp"

// The status table and the text blocks of the analysis report.
namespace tessivar {

inline constexpr std::size_t STATUS_COLUMN_COUNT = 10;
using StatusRow = std::array<std::string, STATUS_COLUMN_COUNT>;

const StatusRow& status_headings();

StatusRow status_row(const LogFacts& facts, std::string_view file_name);

// The status table, the "no issues" note and the recovery summary; `run_time` is the local
// time of the run as "%Y-%m-%d %H:%M:%S".
std::string status_report_block(std::string_view run_time, const std::vector<StatusRow>& rows,
                                const RecoveryGroups& groups);

// The susceptibility count and the quick recovery summary.
std::string susceptibility_block(std::size_t susceptible_count, std::string_view quick_summary);

// One line per entry of every group that has quick-summary lines, joined without a final break.
std::string quick_summary(const RecoveryGroups& groups);

bool any_susceptible(const RecoveryGroups& groups);

// Appends `text` to the file in one write, creating the file when missing.
void append_text(const std::filesystem::path& path, std::string_view text);

}  // namespace tessivar
