#include "tessivar/ap_facts.hpp"

#include <algorithm>

#include "tessivar/log_folder.hpp"
#include "tessivar/log_text.hpp"
#include "tessivar/scan_pool.hpp"

namespace tessivar {
namespace {

// Which outputs a verdict of "healthy" rests on. Every AP needs the version banner, the
// integrity report and the part2 line; an AP of an affected model also needs its images and
// boot partition. The cnss line cannot be told missing from absent, so it is not asked for.
std::vector<std::string> missing_outputs(const LogFacts& facts) {
    std::vector<std::string> missing;
    if (!facts.model.first) missing.emplace_back("software banner (show version)");
    if (!facts.integrity_failed) missing.emplace_back("image integrity report");
    if (!facts.part2.first) missing.emplace_back("part2 free space (show filesystems)");
    if (facts.model.second.value_or(false)) {
        if (!facts.primary.first) missing.emplace_back("running image (show version)");
        if (!facts.backup.first) missing.emplace_back("backup image (show boot)");
        if (!facts.boot.first) missing.emplace_back("boot partition (show boot)");
    }
    return missing;
}

ApFacts from_log_facts(const std::filesystem::path& log_file, const LogFacts& facts) {
    ApFacts ap;
    ap.log_file = log_file;
    ap.name = facts.hostname.value_or(log_file.filename().string());
    ap.ip = facts.ip;
    ap.signature = facts.model.first.value_or("UNKNOWN");
    ap.affected_model = facts.model.second.value_or(false);
    ap.running_image = facts.primary.first;
    ap.running_image_buggy = facts.primary.second;
    ap.backup_image = facts.backup.first;
    ap.backup_image_buggy = facts.backup.second;
    ap.boot_partition = facts.boot.first;
    ap.part2_free_mb = facts.part2.first;
    ap.integrity_failed = facts.integrity_failed;
    ap.integrity_lines = facts.integrity_lines;
    ap.flash_listing_line = facts.cnss_line;
    ap.failures = ap_failures(facts);
    if (!ap.failures.empty()) ap.group = recovery_group_for(ap.failures);
    ap.model_text = entry_model_text(ap.signature, ap.failures);
    ap.missing = missing_outputs(facts);
    return ap;
}

}  // namespace

ApFacts ap_facts_of_log(const std::filesystem::path& log_file) {
    std::string buffer;
    return from_log_facts(log_file, scan_log(read_log_text(log_file, buffer)));
}

std::vector<ApFacts> ap_facts(const std::filesystem::path& log_dir) {
    std::vector<std::filesystem::path> logs = list_logs(log_dir);
    std::sort(logs.begin(), logs.end());
    const std::vector<LogFacts> all = scan_files(logs, default_scan_workers());
    std::vector<ApFacts> result;
    result.reserve(logs.size());
    for (std::size_t i = 0; i < logs.size(); ++i) result.push_back(from_log_facts(logs[i], all[i]));
    return result;
}

}  // namespace tessivar
