#pragma once
// The result of a flash check, one record per AP selected, that the terminal tables, the
// JSON, the CSV and the page all read. A poll fills the poll-only fields; an offline analysis
// of log folders leaves them out.

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessivar/ap_facts.hpp"

namespace flash_report {

// Poll statuses of APs that never finished: running when the stop came, or never started.
inline constexpr std::string_view STOPPED_STATUS = "stopped";
inline constexpr std::string_view NOT_POLLED_STATUS = "not polled";

enum class Outcome { susceptible, healthy, undecided, not_checked };

struct ApResult {
    std::string name;
    std::string address;
    std::string model;       // product model from the inventory; the signature offline
    std::string controller;  // controller address; empty when unknown
    std::optional<std::string> poll_status;  // none for an offline analysis
    std::string reason;                      // why the poll did not succeed, when known
    std::optional<tessivar::ApFacts> facts;  // when the AP's log was analysed

    Outcome outcome() const;
    bool polled_successfully() const;
};

struct RunInfo {
    std::string time;  // local, "%Y-%m-%d %H:%M:%S"
    bool polled = false;
    bool interrupted = false;
    std::vector<std::string> controllers;
    std::string section;  // filters; empty when not used
    std::string site_tag;
    std::string model_group;
    std::vector<std::string> commands;
    std::vector<std::string> folders;  // the log folders analysed
};

struct FlashCheckResult {
    RunInfo run;
    std::vector<ApResult> aps;  // one per AP selected, in list order
    std::vector<std::string> reports;
};

struct Counts {
    std::size_t selected = 0;
    std::size_t polled = 0;  // finished, successfully or not
    std::size_t failed = 0;
    std::size_t stopped = 0;
    std::size_t not_polled = 0;
    std::size_t checked = 0;  // analysed: susceptible, healthy or undecided
    std::size_t susceptible = 0;
    std::size_t healthy = 0;
    std::size_t undecided = 0;
    std::array<std::size_t, tessivar::RECOVERY_GROUP_COUNT> per_group{};
};

Counts count(const FlashCheckResult& result);

// The susceptible APs in recovery-group order, by name within a group, so that two runs over
// one fleet read the same.
std::vector<const ApResult*> susceptible_aps(const FlashCheckResult& result);
// The APs of one outcome other than susceptible, in list order.
std::vector<const ApResult*> aps_with(const FlashCheckResult& result, Outcome outcome);

std::string_view group_title(tessivar::RecoveryGroup group);
// What to do about an AP of the group, in one short sentence.
std::string_view next_step(tessivar::RecoveryGroup group);
// The group title; "" when healthy, "not checked" when not polled, "not decided" when the log
// lacks what the checks need.
std::string recovery_label(const ApResult& ap);
// The failure descriptions joined with "; "; empty when none.
std::string failures_text(const ApResult& ap);

bool is_success_status(std::string_view status);

// The controller address a log folder is named after ("WLC_10_0_0_1" gives "10.0.0.1"); empty
// for any other folder.
std::string controller_of_folder(const std::filesystem::path& folder);

// Local time now as "%Y-%m-%d %H:%M:%S".
std::string local_time_now();

// Replaces the file with `text` through a temporary file beside it, so a reader never sees
// half a file. Throws std::system_error naming the file.
void write_whole_file(const std::filesystem::path& path, std::string_view text);

}  // namespace flash_report
