#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace tessivar {

// The analyser's own reports start with this and end in ".log" too.
inline constexpr std::string_view REPORT_PREFIX = "Status_check_results_";

// The AP log files of a folder ("*.log" in any letter case, regular files, not the analyser's
// reports, no subfolders), in the order the folder listing yields them.
std::vector<std::filesystem::path> list_logs(const std::filesystem::path& log_dir);

}  // namespace tessivar
