#include "apps/flash-report/flash_check_result.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <system_error>

namespace flash_report {

using tessivar::RecoveryGroup;

bool is_success_status(std::string_view status) {
    if (status.size() < 7) return false;
    std::string head(status.substr(0, 7));
    for (char& c : head) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return head == "success";
}

bool ApResult::polled_successfully() const {
    return !poll_status || is_success_status(*poll_status);
}

Outcome ApResult::outcome() const {
    if (!polled_successfully()) return Outcome::not_checked;
    // A poll that succeeded but left no log decides nothing either.
    if (!facts || facts->undecided()) return Outcome::undecided;
    return facts->group ? Outcome::susceptible : Outcome::healthy;
}

Counts count(const FlashCheckResult& result) {
    Counts counts;
    counts.selected = result.aps.size();
    for (const ApResult& ap : result.aps) {
        if (ap.poll_status == STOPPED_STATUS) {
            ++counts.stopped;
        } else if (ap.poll_status == NOT_POLLED_STATUS) {
            ++counts.not_polled;
        } else {
            ++counts.polled;
            if (!ap.polled_successfully()) ++counts.failed;
        }
        switch (ap.outcome()) {
            case Outcome::susceptible:
                ++counts.susceptible;
                ++counts.per_group[static_cast<std::size_t>(*ap.facts->group)];
                break;
            case Outcome::healthy:
                ++counts.healthy;
                break;
            case Outcome::undecided:
                ++counts.undecided;
                break;
            case Outcome::not_checked:
                break;
        }
    }
    counts.checked = counts.susceptible + counts.healthy + counts.undecided;
    return counts;
}

std::vector<const ApResult*> susceptible_aps(const FlashCheckResult& result) {
    std::vector<const ApResult*> aps = aps_with(result, Outcome::susceptible);
    std::stable_sort(aps.begin(), aps.end(), [](const ApResult* a, const ApResult* b) {
        if (*a->facts->group != *b->facts->group) return *a->facts->group < *b->facts->group;
        return a->name < b->name;
    });
    return aps;
}

std::vector<const ApResult*> aps_with(const FlashCheckResult& result, Outcome outcome) {
    std::vector<const ApResult*> aps;
    for (const ApResult& ap : result.aps) {
        if (ap.outcome() == outcome) aps.push_back(&ap);
    }
    return aps;
}

std::string_view group_title(RecoveryGroup group) {
    return tessivar::recovery_group_text(group).title;
}

std::string_view next_step(RecoveryGroup group) {
    switch (group) {
        case RecoveryGroup::recovery_option_image_partition_swap:
            return "boot the other image partition, then reload";
        case RecoveryGroup::recovery_option_devshell:
            return "recover the AP from its device shell";
        case RecoveryGroup::recovery_option_simple_archive_download:
            return "download a fixed image archive to replace the backup image";
        case RecoveryGroup::recovery_option_image_integrity_check_failed:
            return "download the image again, then check its integrity";
        case RecoveryGroup::recovery_option_partition_safe_but_clean_up_reccomended:
            return "free flash space before the next upgrade";
    }
    return {};
}

std::string recovery_label(const ApResult& ap) {
    switch (ap.outcome()) {
        case Outcome::susceptible:
            return std::string(group_title(*ap.facts->group));
        case Outcome::healthy:
            return {};
        case Outcome::undecided:
            return "not decided";
        case Outcome::not_checked:
            break;
    }
    return "not checked";
}

std::string failures_text(const ApResult& ap) {
    std::string text;
    if (!ap.facts) return text;
    for (const tessivar::FailureCode code : ap.facts->failures) {
        if (!text.empty()) text += "; ";
        text += tessivar::failure_description(code);
    }
    return text;
}

std::string controller_of_folder(const std::filesystem::path& folder) {
    std::string name = folder.filename().string();
    if (name.empty()) name = folder.parent_path().filename().string();
    if (!name.starts_with("WLC_")) return {};
    std::string address = name.substr(4);
    std::replace(address.begin(), address.end(), '_', '.');
    return address;
}

std::string local_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    return std::string(buf, std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local));
}

void write_whole_file(const std::filesystem::path& path, std::string_view text) {
    std::filesystem::path partial = path;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            const int error = errno ? errno : EIO;
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            throw std::system_error(error, std::generic_category(),
                                    "cannot write " + path.string());
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, path, ec);
    if (ec) throw std::system_error(ec, "cannot write " + path.string());
}

}  // namespace flash_report
