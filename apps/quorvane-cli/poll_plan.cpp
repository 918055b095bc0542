#include "apps/quorvane-cli/poll_plan.hpp"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <set>
#include <string_view>

#include "apps/quorvane-cli/cli.hpp"

namespace quorvane::cli {

namespace {

// The verbs of the device CLI that change what a device holds or runs. A first word that
// abbreviates one of them (the device accepts "wr", "conf t", "del") counts too.
constexpr std::string_view kChangingVerbs[] = {"reload", "delete",   "erase",   "format",
                                               "write",  "copy",     "archive", "upgrade",
                                               "clear",  "configure"};
// The transfer forms the poll drives interactively, wherever they stand in the command.
constexpr std::string_view kTransferMarkers[] = {
    "sftp://",      "scp://",     "tftp://",         "ftp://",
    "copy syslogs", "copy core:", "copy crashinfo:", "copy support-bundle"};
constexpr std::size_t kShortestAbbreviation = 2;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool is_transfer(const std::string& lowered) {
    return std::any_of(
        std::begin(kTransferMarkers), std::end(kTransferMarkers),
        [&](std::string_view marker) { return lowered.find(marker) != std::string::npos; });
}

bool changes_device(const std::string& cmd) {
    const std::string lowered = lower(cmd);
    if (is_transfer(lowered)) return true;
    const std::string first = lowered.substr(0, lowered.find_first_of(" \t"));
    if (first.size() < kShortestAbbreviation) return false;
    return std::any_of(std::begin(kChangingVerbs), std::end(kChangingVerbs),
                       [&](std::string_view verb) { return verb.starts_with(first); });
}

// The command an entry sends, or none for a pause.
std::optional<std::string> sent_command(const std::string& entry) {
    std::string rejected;
    return classify_command(entry, &rejected).actual_cmd;
}

}  // namespace

std::vector<std::string> device_changing_commands(const std::vector<std::string>& cmds) {
    std::vector<std::string> changing;
    for (const auto& entry : cmds) {
        const auto cmd = sent_command(entry);
        if (cmd && changes_device(*cmd) &&
            std::find(changing.begin(), changing.end(), *cmd) == changing.end()) {
            changing.push_back(*cmd);
        }
    }
    return changing;
}

void require_confirmation_possible(const std::vector<std::string>& changing, bool yes,
                                   const std::string& command) {
    if (changing.empty() || yes || ::isatty(STDIN_FILENO) == 1) return;
    std::string list;
    for (const auto& cmd : changing) list += (list.empty() ? "" : ", ") + cmd;
    throw UsageError{"the command list changes the APs (" + list +
                     ") and standard input is not a terminal to ask on: add --yes to go "
                     "ahead, or --dry-run to see the plan (" +
                     command + ")"};
}

bool confirm_device_changes(const std::vector<std::string>& changing, const ApRows& rows) {
    std::set<std::string> controllers;
    for (const auto& row : rows) {
        if (!row->wlc_ip.empty()) controllers.insert(row->wlc_ip);
    }
    std::cerr << "This poll changes devices: " << rows.size() << " AP(s) on " << controllers.size()
              << " controller(s) will get\n";
    for (const auto& cmd : changing) std::cerr << "  " << cmd << "\n";
    std::cerr << "Go ahead? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    answer = lower(answer);
    return answer == "y" || answer == "yes";
}

std::vector<std::string> planned_entries(const std::vector<std::string>& cmds) {
    std::vector<std::string> plan;
    for (const auto& entry : cmds) {
        std::string rejected;
        const SpecialCmdResult check = classify_command(entry, &rejected);
        if (check.is_special && check.sleep_secs > 0) {
            plan.push_back("wait " + std::to_string(check.sleep_secs) + " s");
            continue;
        }
        if (!check.actual_cmd) {
            plan.push_back("skip " + strip_whitespace(entry) +
                           (rejected.empty() ? "" : " (longer than 3600 s)"));
            continue;
        }
        const std::string& cmd = *check.actual_cmd;
        const std::string lowered = lower(cmd);
        std::string note;
        if (check.needs_confirm) note = "confirmation answered with y";
        if (lowered.find("reload") != std::string::npos) {
            plan.push_back(cmd + " (" + (note.empty() ? "" : note + "; ") + "the list ends here)");
            break;
        }
        if (is_transfer(lowered)) note = "transfer, login answered from [FTP]";
        plan.push_back(note.empty() ? cmd : cmd + " (" + note + ")");
    }
    return plan;
}

void print_plan(const std::string& data_dir, const std::string& device, const ApRows& rows,
                const std::vector<std::string>& cmds, bool json) {
    const std::vector<std::string> entries = planned_entries(cmds);
    if (json) {
        nlohmann::ordered_json plan = nlohmann::ordered_json::array();
        for (const auto& row : rows) {
            plan.push_back({{"ip", row->ip},
                            {"name", row->name},
                            {"wlc_ip", row->wlc_ip},
                            {"log", ap_log_path(data_dir, device, *row)},
                            {"entries", entries}});
        }
        std::cout << nlohmann::ordered_json{{"plan", plan}}.dump(
                         -1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << "\n";
        return;
    }
    std::cout << "Plan for " << rows.size() << " AP(s); nothing is polled (--dry-run).\n";
    for (const auto& row : rows) {
        std::cout << "\n"
                  << row->ip << "  " << row->name << "  controller "
                  << (row->wlc_ip.empty() ? "none" : row->wlc_ip) << "\n"
                  << "  log: " << ap_log_path(data_dir, device, *row) << "\n";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::cout << "  " << i + 1 << ". " << entries[i] << "\n";
        }
        if (entries.empty()) std::cout << "  (identified only: no commands)\n";
    }
}

}  // namespace quorvane::cli
