#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tessivar/recovery.hpp"

// What the analysis saw in each AP's log and what it decided, for hosts that show the evidence
// behind a verdict. Read with the same checks as the folder analysis, so the two agree.
namespace tessivar {

struct ApFacts {
    std::filesystem::path log_file;
    std::string name;       // host name from the run header, or the file name
    std::string ip;         // empty when the log names none
    std::string signature;  // model signature; "UNKNOWN" when the log shows none
    bool affected_model = false;
    std::optional<std::string> running_image;
    std::optional<bool> running_image_buggy;
    std::optional<std::string> backup_image;
    std::optional<bool> backup_image_buggy;
    std::optional<std::string> boot_partition;
    std::optional<double> part2_free_mb;
    std::optional<bool> integrity_failed;
    // The integrity report's partition headings and statuses; empty without a whole report.
    std::vector<std::string> integrity_lines;
    // The root-owned cnss daemon log line of the flash listing; empty when none is listed.
    std::string flash_listing_line;

    std::vector<FailureCode> failures;   // in the order they are tested
    std::optional<RecoveryGroup> group;  // none when the AP needs no recovery
    std::string model_text;              // as the recovery lists show it (MULTI when several)
    // The outputs the checks needed but the log lacks. An AP without failures and with
    // something missing could not be decided: it is not known to be healthy.
    std::vector<std::string> missing;

    bool undecided() const { return failures.empty() && !missing.empty(); }
};

ApFacts ap_facts_of_log(const std::filesystem::path& log_file);

// The facts of every log `analyze_logs` reads in `log_dir`, in file-name order. Writes
// nothing. Throws like `analyze_logs` when the folder or a log cannot be read.
std::vector<ApFacts> ap_facts(const std::filesystem::path& log_dir);

}  // namespace tessivar
