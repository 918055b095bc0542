#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tessivar {

// One AP that needs a recovery.
struct SusceptibleAp {
    std::string ap_name;
    std::string ap_model;  // the model text, with the failures listed when there are several
    std::string ap_ip;
    std::string recovery;
};

// The susceptible APs, and the path of the report (empty when no report was written).
using AnalysisResult = std::pair<std::vector<SusceptibleAp>, std::string>;

// Checks every ".log" file of `log_dir` (not its subfolders, not its own reports), classifies
// each AP into one recovery group, appends the report to "Status_check_results_{folder}.log" in
// that folder and returns the susceptible APs. Files are taken in name order. Throws
// std::filesystem::filesystem_error or std::system_error when the folder cannot be listed, a
// log cannot be read or the report cannot be written.
AnalysisResult analyze_logs(const std::filesystem::path& log_dir);

}  // namespace tessivar
