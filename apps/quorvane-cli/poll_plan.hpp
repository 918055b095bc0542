#pragma once
// What a poll's command list does to each AP: which entries change a device (asked for
// before the poll starts) and the plan that --dry-run prints instead of polling.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

// The entries that change a device (reload, delete, erase, format, write, copy, archive,
// upgrade, clear, configure and the transfers), as they are sent: "%reload%" is "reload".
std::vector<std::string> device_changing_commands(const std::vector<std::string>& cmds);

// Before a poll that changes devices: says how many APs on how many controllers get which
// of those commands and asks on the terminal. True to go on. A caller that lacks a
// terminal and --yes has refused already (see require_confirmation_possible).
bool confirm_device_changes(const std::vector<std::string>& changing, const ApRows& rows);

// Throws UsageError when the list changes devices, --yes was not given and standard input
// is not a terminal, so no question can be asked.
void require_confirmation_possible(const std::vector<std::string>& changing, bool yes,
                                   const std::string& command);

// Each entry as the poll treats it after the special forms: pauses, skipped entries,
// confirmed commands, transfers, and the end of the list at a reload.
std::vector<std::string> planned_entries(const std::vector<std::string>& cmds);

// The plan per AP: address, name, controller, entries and log file; text or JSON on
// standard output. `cmds` must already be masked.
void print_plan(const std::string& data_dir, const std::string& device, const ApRows& rows,
                const std::vector<std::string>& cmds, bool json);

}  // namespace quorvane::cli
