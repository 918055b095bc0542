#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "tessivar/log_facts.hpp"

// Turning the facts of one AP into failures, and the failures into one recovery group.
namespace tessivar {

enum class FailureCode {
    IMAGE_INTEGRITY,
    LOW_MEMORY_CRITICAL,
    PARTITION_SWAP,
    LOW_FLASH,
    BUGGY_BACKUP_LOW_MEM,
    BUGGY_BACKUP,
};

std::string_view failure_description(FailureCode code);

// The AP's failures, in the order they are tested.
std::vector<FailureCode> ap_failures(const LogFacts& facts);

// In report order.
enum class RecoveryGroup {
    recovery_option_image_partition_swap,
    recovery_option_devshell,
    recovery_option_simple_archive_download,
    recovery_option_image_integrity_check_failed,
    recovery_option_partition_safe_but_clean_up_reccomended,
};
inline constexpr std::size_t RECOVERY_GROUP_COUNT = 5;

struct RecoveryGroupText {
    std::string_view title;
    std::string_view recovery;
    std::string_view quick_summary_ending;  // empty: the group has no quick-summary lines
};

const RecoveryGroupText& recovery_group_text(RecoveryGroup group);

// Where an AP with these (non-empty) failures belongs.
RecoveryGroup recovery_group_for(const std::vector<FailureCode>& failures);

// The model text of a group entry: the signature, followed by all failure descriptions when
// there are several.
std::string entry_model_text(std::string_view signature, const std::vector<FailureCode>& failures);

struct ApEntry {
    std::string name;
    std::string model;
    std::string ip;
};

using RecoveryGroups = std::array<std::vector<ApEntry>, RECOVERY_GROUP_COUNT>;

}  // namespace tessivar
