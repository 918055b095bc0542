#include "tessivar/analyze.hpp"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string_view>

#include "tessivar/log_folder.hpp"
#include "tessivar/recovery.hpp"
#include "tessivar/report.hpp"
#include "tessivar/scan_pool.hpp"

namespace tessivar {
namespace {

// The two DEBUG lines go to standard output unless TESSIVAR_DIAGNOSTICS=stderr, so that a
// host printing JSON on standard output can keep it clean.
std::ostream& diagnostic_stream() {
    const char* where = std::getenv("TESSIVAR_DIAGNOSTICS");
    return where && std::string_view(where) == "stderr" ? std::cerr : std::cout;
}

std::filesystem::path report_path_for(const std::filesystem::path& log_dir) {
    std::filesystem::path folder = std::filesystem::absolute(log_dir).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();
    const std::string name = std::string(REPORT_PREFIX) + folder.filename().string() + ".log";
    return log_dir / name;
}

std::string local_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(buf, n);
}

}  // namespace

AnalysisResult analyze_logs(const std::filesystem::path& log_dir) {
    const std::vector<std::filesystem::path> logs = list_logs(log_dir);
    const std::vector<LogFacts> all_facts = scan_files(logs, default_scan_workers());

    RecoveryGroups groups;
    std::vector<StatusRow> rows;
    rows.reserve(logs.size());
    for (std::size_t i = 0; i < logs.size(); ++i) {
        const LogFacts& facts = all_facts[i];
        const std::string file_name = logs[i].filename().string();
        rows.push_back(status_row(facts, file_name));
        const std::vector<FailureCode> failures = ap_failures(facts);
        if (failures.empty()) continue;
        const std::string signature = facts.model.first.value_or("UNKNOWN");
        groups[static_cast<std::size_t>(recovery_group_for(failures))].push_back(ApEntry{
            facts.hostname.value_or(file_name), entry_model_text(signature, failures), facts.ip});
    }

    std::filesystem::path report;
    if (!rows.empty()) {
        report = report_path_for(log_dir);
        append_text(report, status_report_block(local_time_now(), rows, groups));
    }

    std::vector<SusceptibleAp> records;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::string_view recovery =
            recovery_group_text(static_cast<RecoveryGroup>(g)).recovery;
        for (const ApEntry& entry : groups[g]) {
            records.push_back({entry.name, entry.model, entry.ip, std::string(recovery)});
        }
    }

    diagnostic_stream() << "DEBUG: analyze_logs running on: " << log_dir.string() << std::endl;
    if (rows.empty()) return {};
    append_text(report, susceptibility_block(records.size(), quick_summary(groups)));
    diagnostic_stream() << "DEBUG summary_filename: " << report.string() << std::endl;
    return {std::move(records), report.string()};
}

}  // namespace tessivar
