#include "apps/quorvane-cli/flash_check_output.hpp"

#include <cmath>
#include <iostream>
#include <set>

#include "apps/quorvane-cli/text_table.hpp"

namespace quorvane::cli {

namespace {

using flash_report::ApResult;
using flash_report::Outcome;

std::string plural(std::size_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void print_susceptible(const std::vector<const ApResult*>& aps, std::size_t width) {
    std::cout << "Susceptible APs, by recovery:\n";
    const std::vector<std::string> headings = {"AP NAME", "MODEL", "SIGNATURE", "ADDRESS",
                                               "RECOVERY"};
    std::vector<std::vector<std::string>> lines{headings};
    for (const ApResult* ap : aps) {
        lines.push_back({ap->name, ap->model, ap->facts->signature, ap->address,
                         std::string(flash_report::group_title(*ap->facts->group))});
    }
    const std::vector<std::size_t> widths = column_widths(lines, width);
    std::cout << table_line(lines[0], widths) << "\n";
    for (std::size_t i = 0; i < aps.size(); ++i) {
        std::cout << table_line(lines[i + 1], widths) << "\n";
        // Several failures get a line of their own rather than a column that widens every row.
        if (aps[i]->facts->failures.size() > 1) {
            std::cout << table_line({"  failures: " + flash_report::failures_text(*aps[i])},
                                    {width == 0 ? std::string::npos : width})
                      << "\n";
        }
    }
    std::set<tessivar::RecoveryGroup> groups;
    for (const ApResult* ap : aps) groups.insert(*ap->facts->group);
    std::cout << "\nNext steps:\n";
    std::vector<std::vector<std::string>> steps;
    for (const auto group : groups) {
        steps.push_back({"  " + std::string(flash_report::group_title(group)) + ":",
                         std::string(flash_report::next_step(group))});
    }
    const std::vector<std::size_t> step_widths = column_widths(steps, width);
    for (const auto& step : steps) std::cout << table_line(step, step_widths) << "\n";
}

void print_not_checked(const std::vector<const ApResult*>& aps, std::size_t width) {
    std::cout << "\nNOT CHECKED: these APs could not be polled, so nothing is known about "
                 "their flash:\n";
    std::vector<std::vector<std::string>> lines{{"AP NAME", "MODEL", "ADDRESS", "STATUS"}};
    for (const ApResult* ap : aps) {
        lines.push_back({ap->name, ap->model, ap->address, ap->poll_status.value_or("")});
    }
    const std::vector<std::size_t> widths = column_widths(lines, width);
    std::cout << table_line(lines[0], widths) << "\n";
    for (std::size_t i = 0; i < aps.size(); ++i) {
        std::cout << table_line(lines[i + 1], widths) << "\n";
        // The cause is what the user acts on: a line of its own, so a narrow terminal never
        // cuts it behind a long status.
        if (!aps[i]->reason.empty()) {
            std::cout << table_line({"  reason: " + aps[i]->reason},
                                    {width == 0 ? std::string::npos : width})
                      << "\n";
        }
    }
}

void print_undecided(const std::vector<const ApResult*>& aps, std::size_t width) {
    std::cout << "\nNOT DECIDED: the logs of these APs lack the outputs the checks need, so "
                 "nothing could be decided for them:\n";
    std::vector<std::vector<std::string>> cells;
    for (const ApResult* ap : aps) {
        std::string missing = "the poll left no log";
        if (ap->facts) {
            missing.clear();
            for (const auto& m : ap->facts->missing) missing += (missing.empty() ? "" : ", ") + m;
        }
        cells.push_back({ap->name, ap->model, ap->address, missing});
    }
    print_text_table({"AP NAME", "MODEL", "ADDRESS", "MISSING FROM THE LOG"}, cells, width);
}

nlohmann::ordered_json optional_text(const std::optional<std::string>& text) {
    return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json();
}

}  // namespace

void print_flash_check_text(const flash_report::FlashCheckResult& result, const ReportFiles& files,
                            std::size_t width) {
    const flash_report::Counts counts = flash_report::count(result);
    const auto susceptible = flash_report::susceptible_aps(result);
    std::cout << "\n";
    if (!susceptible.empty()) {
        print_susceptible(susceptible, width);
    } else if (counts.checked > counts.undecided) {
        std::cout << "None of the " << plural(counts.checked - counts.undecided, "AP")
                  << " checked is exposed to the flash problem.\n";
    }
    const auto not_checked = flash_report::aps_with(result, Outcome::not_checked);
    if (!not_checked.empty()) print_not_checked(not_checked, width);
    const auto undecided = flash_report::aps_with(result, Outcome::undecided);
    if (!undecided.empty()) print_undecided(undecided, width);

    std::cout << "\n";
    for (const std::string& report : result.reports) std::cout << "Report: " << report << "\n";
    if (!files.html.empty()) std::cout << "Page:   " << files.html << "\n";
    if (!files.csv.empty()) std::cout << "CSV:    " << files.csv << "\n";
    if (result.run.interrupted) {
        std::cout << "Stopped by Ctrl-C: this result covers only the "
                  << plural(counts.checked, "AP") << " that finished (" << counts.stopped
                  << " stopped while running, " << counts.not_polled << " not polled).\n";
    }
    if (counts.checked == 0) {
        std::cout << "No AP was checked: nothing is known about the flash of the "
                  << plural(counts.selected, "selected AP") << ".\n";
        return;
    }
    std::cout << plural(counts.selected, "AP") << " selected, " << counts.polled << " polled, "
              << counts.failed << " failed; " << counts.checked
              << " checked: " << counts.susceptible << " susceptible, " << counts.healthy
              << " healthy";
    if (counts.undecided > 0) std::cout << ", " << counts.undecided << " not decided";
    std::cout << "\n";
}

nlohmann::ordered_json flash_check_json(const flash_report::FlashCheckResult& result,
                                        const ReportFiles& files, const std::string& run_dir,
                                        double seconds) {
    const flash_report::Counts counts = flash_report::count(result);
    nlohmann::ordered_json aps = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < result.aps.size(); ++i) {
        const ApResult& ap = result.aps[i];
        const bool success = ap.polled_successfully();
        aps.push_back({{"index", i},
                       {"ip", ap.address},
                       {"model", ap.model},
                       {"status", optional_text(ap.poll_status)},
                       // A cause only where the poll failed and named one.
                       {"reason", success || ap.reason.empty() ? nlohmann::ordered_json()
                                                               : nlohmann::ordered_json(ap.reason)},
                       {"name", ap.name},
                       {"wlc_ip", ap.controller},
                       {"log", ap.facts ? nlohmann::ordered_json(ap.facts->log_file.string())
                                        : nlohmann::ordered_json()},
                       {"recovery_group", flash_report::recovery_label(ap)},
                       {"failures", flash_report::failures_text(ap)}});
    }
    nlohmann::ordered_json susceptible = nlohmann::ordered_json::array();
    for (const ApResult* ap : flash_report::susceptible_aps(result)) {
        susceptible.push_back(
            {{"ap_name", ap->name},
             {"ap_model", ap->facts->model_text},
             {"ap_ip", ap->address},
             {"recovery", tessivar::recovery_group_text(*ap->facts->group).recovery},
             {"next_step", flash_report::next_step(*ap->facts->group)}});
    }
    nlohmann::ordered_json undecided = nlohmann::ordered_json::array();
    for (const ApResult* ap : flash_report::aps_with(result, Outcome::undecided)) {
        undecided.push_back({{"ap_name", ap->name},
                             {"ap_ip", ap->address},
                             {"missing", ap->facts ? nlohmann::ordered_json(ap->facts->missing)
                                                   : nlohmann::ordered_json::array()}});
    }
    return {
        {"polled",
         {{"success", counts.polled - counts.failed},
          {"failed", counts.selected - (counts.polled - counts.failed)},
          {"seconds", std::round(seconds * 10) / 10},
          {"run_dir", run_dir},
          {"interrupted", result.run.interrupted}}},
        {"interrupted", result.run.interrupted},
        {"counts",
         {{"selected", counts.selected},
          {"polled", counts.polled},
          {"failed", counts.failed},
          {"stopped", counts.stopped},
          {"not_polled", counts.not_polled},
          {"checked", counts.checked},
          {"susceptible", counts.susceptible},
          {"healthy", counts.healthy},
          {"undecided", counts.undecided}}},
        {"aps", aps},
        {"susceptible", susceptible},
        {"undecided", undecided},
        {"reports", result.reports},
        {"html",
         files.html.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(files.html)},
        {"csv", files.csv.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(files.csv)}};
}

}  // namespace quorvane::cli
