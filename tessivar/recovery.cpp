#include "tessivar/recovery.hpp"

namespace tessivar {
namespace {

bool is_true(const std::optional<bool>& flag) { return flag.value_or(false); }

// The low-flash test for an affected AP running a buggy image from a partition other than
// part1: its part2 is below the low-memory line. The caller has checked the rest.
bool low_flash(const MegabytesCheck& part2) { return is_true(part2.second); }

void add_backup_failure(const LogFacts& facts, std::vector<FailureCode>& failures) {
    if (!is_true(facts.backup.second)) return;
    failures.push_back(is_true(facts.part2.second) ? FailureCode::BUGGY_BACKUP_LOW_MEM
                                                   : FailureCode::BUGGY_BACKUP);
}

}  // namespace

std::string_view failure_description(FailureCode code) {
    switch (code) {
        case FailureCode::IMAGE_INTEGRITY:
            return "Image integrity failed";
        case FailureCode::LOW_MEMORY_CRITICAL:
            return "Very low memory (<20MB)";
        case FailureCode::PARTITION_SWAP:
            return "Partition swap required";
        case FailureCode::LOW_FLASH:
            return "Low flash cleanup needed";
        case FailureCode::BUGGY_BACKUP_LOW_MEM:
            return "Backup buggy + low flash";
        case FailureCode::BUGGY_BACKUP:
            return "Backup image is buggy";
    }
    return {};
}

std::vector<FailureCode> ap_failures(const LogFacts& facts) {
    constexpr double kCriticalMb = 20.0;
    std::vector<FailureCode> failures;
    if (is_true(facts.integrity_failed)) failures.push_back(FailureCode::IMAGE_INTEGRITY);
    if (facts.part2.first && *facts.part2.first < kCriticalMb) {
        failures.push_back(FailureCode::LOW_MEMORY_CRITICAL);
    }
    if (!(is_true(facts.model.second) && facts.cnss)) return failures;
    const bool primary_buggy = is_true(facts.primary.second);
    const bool on_part1 = is_true(facts.boot.second);
    if (primary_buggy && on_part1) {
        if (is_true(facts.part2.second)) failures.push_back(FailureCode::PARTITION_SWAP);
    } else if (primary_buggy) {
        if (low_flash(facts.part2)) {
            failures.push_back(FailureCode::LOW_FLASH);
        } else {
            add_backup_failure(facts, failures);
        }
    } else {
        add_backup_failure(facts, failures);
    }
    return failures;
}

const RecoveryGroupText& recovery_group_text(RecoveryGroup group) {
    static constexpr RecoveryGroupText kTexts[RECOVERY_GROUP_COUNT] = {
        {"Recover with image partition swap", "Recover with image partition swap",
         "]-> IMAGE PARTITION SWAP"},
        {"Recover with devshell", "Recover with devshell", "] -> DEV SHELL RECOVERY"},
        {"Safe state but buggy backup image",
         "Safe state but AP has buggy image in the backup partition",
         "] -> SIMPLE ARCHIVE DOWNLOAD"},
        {"Image integrity failed", "Image integrity check has failed for these APs",
         "] -> IMAGE INTEGRITY FAILED"},
        {"Partition safe but low flash", "Partition is safe but the flash storage is low", ""},
    };
    return kTexts[static_cast<std::size_t>(group)];
}

RecoveryGroup recovery_group_for(const std::vector<FailureCode>& failures) {
    if (failures.size() >= 2) return RecoveryGroup::recovery_option_devshell;
    switch (failures.front()) {
        case FailureCode::PARTITION_SWAP:
            return RecoveryGroup::recovery_option_image_partition_swap;
        case FailureCode::LOW_MEMORY_CRITICAL:
            return RecoveryGroup::recovery_option_devshell;
        case FailureCode::BUGGY_BACKUP:
            return RecoveryGroup::recovery_option_simple_archive_download;
        case FailureCode::IMAGE_INTEGRITY:
            return RecoveryGroup::recovery_option_image_integrity_check_failed;
        case FailureCode::LOW_FLASH:
        case FailureCode::BUGGY_BACKUP_LOW_MEM:
            break;
    }
    return RecoveryGroup::recovery_option_partition_safe_but_clean_up_reccomended;
}

std::string entry_model_text(std::string_view signature, const std::vector<FailureCode>& failures) {
    std::string text(signature);
    if (failures.size() < 2) return text;
    text += " [MULTI: ";
    for (std::size_t i = 0; i < failures.size(); ++i) {
        if (i > 0) text += ", ";
        text += failure_description(failures[i]);
    }
    text += "]";
    return text;
}

}  // namespace tessivar
