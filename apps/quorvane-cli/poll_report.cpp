#include "apps/quorvane-cli/poll_report.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "apps/quorvane-cli/simulation.hpp"
#include "apps/quorvane-cli/text_table.hpp"

namespace quorvane::cli {

namespace {

std::string json_text(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void write_failed_file(PollReport& report, const std::string& run_dir) {
    ApRows failed_rows;
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
        if (!report.statuses[i] || !is_success_status(*report.statuses[i])) {
            failed_rows.push_back(std::make_shared<ApRow>(report.rows[i]));
        }
    }
    report.failed = static_cast<int>(failed_rows.size());
    report.failed_file = (std::filesystem::path(run_dir) / "failed_aps.json").string();
    _safe_write_append(report.failed_file,
                       nlohmann::json({{"aps", ap_rows_json(failed_rows)},
                                       {"total", nullptr},
                                       {"list_file", nullptr},
                                       {"run_dir", run_dir}})
                               .dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
                           "\n");
}

}  // namespace

bool is_success_status(const std::string& status) {
    std::string head = status.substr(0, 7);
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return head == "success";
}

PollReport poll_with_progress(Quorvane& engine, PollConsole& console, const ApRows& rows,
                              const std::string& device, const std::vector<std::string>& cmds,
                              const std::string& mode, ApLines lines) {
    if (const std::string problem =
            check_descriptor_budget(compute_max_workers(static_cast<long long>(rows.size())));
        !problem.empty()) {
        throw std::runtime_error(problem);
    }
    PollReport report;
    for (const auto& row : rows) report.rows.push_back(*row);
    report.statuses.resize(rows.size());
    report.reasons.resize(rows.size());

    // A callback the caller installed still hears every result.
    const auto callers_callback = engine.options.on_poll_result;
    engine.options.on_poll_result = [&](const PollResult& polled) {
        if (callers_callback) callers_callback(polled);
        const int index = polled.idx;
        if (index < 0 || static_cast<std::size_t>(index) >= report.rows.size()) return;
        ApRow& row = report.rows[index];
        row.model = polled.model;
        report.statuses[index] = polled.status;
        const bool success = is_success_status(polled.status);
        if (!success) report.reasons[index] = polled.reason;
        const std::string log_path = ap_log_path(engine.data_dir, device, row);
        const bool has_log = std::filesystem::exists(log_path);
        nlohmann::ordered_json result = {
            {"index", index},
            {"ip", polled.ip},
            {"model", polled.model},
            {"status", polled.status},
            {"name", polled.name},
            {"wlc_ip", polled.wlc_ip},
            {"log", has_log ? nlohmann::ordered_json(log_path) : nlohmann::ordered_json()},
            {"reason", success ? nlohmann::ordered_json() : nlohmann::ordered_json(polled.reason)}};
        if (lines == ApLines::json) {
            console.out(json_text(result));
        } else if (lines == ApLines::text) {
            // A "Failed: " status holds its error already; the others gain their cause.
            const bool add_reason =
                !success && !polled.reason.empty() && polled.status.rfind("Failed: ", 0) != 0;
            console.out("[" + std::to_string(index) + "] " + polled.ip + " " + polled.name + ": " +
                        polled.status + (add_reason ? " (" + polled.reason + ")" : ""));
        }
        report.results.push_back(std::move(result));
        console.finished(success);
    };

    console.start(rows.size());
    {
        InterruptHandler interrupt([&engine] { engine.shutdown(); });
        try {
            engine.run_ap_poller(rows, device, cmds, mode);
        } catch (const std::exception& e) {
            console.stop();
            engine.options.on_poll_result = callers_callback;
            throw std::runtime_error(std::string("the poll stopped: ") + e.what());
        }
        report.interrupted = interrupt.interrupted();
    }
    engine.options.on_poll_result = callers_callback;
    report.done = console.done();
    report.seconds = console.seconds();
    console.stop();

    for (const auto& status : report.statuses) {
        if (status && is_success_status(*status)) ++report.succeeded;
    }
    write_failed_file(report, engine.data_dir);
    return report;
}

nlohmann::ordered_json poll_summary_json(const PollReport& report, const std::string& run_dir) {
    return {{"success", report.succeeded},
            {"failed", report.failed},
            {"seconds", std::round(report.seconds * 10) / 10},
            {"run_dir", run_dir}};
}

void print_poll_table(const PollReport& report) {
    const std::vector<std::string> headings = {"#", "Name", "IP", "Model", "Status", "Reason"};
    std::vector<std::vector<std::string>> cells;
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
        const ApRow& row = report.rows[i];
        cells.push_back({std::to_string(i), row.name, row.ip, row.model,
                         report.statuses[i].value_or("Not polled"), report.reasons[i]});
    }
    print_text_table(headings, cells);
}

std::string failure_summary(const PollReport& report) {
    std::vector<std::pair<std::string, int>> groups;  // in order of first appearance
    int failed = 0;
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
        if (report.statuses[i] && is_success_status(*report.statuses[i])) continue;
        std::string cause = !report.statuses[i]         ? "not polled"
                            : report.reasons[i].empty() ? *report.statuses[i]
                                                        : report.reasons[i];
        cause = cause.substr(0, cause.find(" ("));
        const auto group = std::find_if(groups.begin(), groups.end(),
                                        [&](const auto& g) { return g.first == cause; });
        if (group == groups.end()) {
            groups.emplace_back(cause, 1);
        } else {
            ++group->second;
        }
        ++failed;
    }
    if (failed == 0) return "";
    std::stable_sort(groups.begin(), groups.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::string text = std::to_string(failed) + " failed: ";
    for (std::size_t i = 0; i < groups.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(groups[i].second) + " " + groups[i].first;
    }
    return text;
}

void print_poll_epilogue(const PollReport& report, const std::string& command,
                         const std::string& arguments) {
    if (report.failed > 0 && simulating()) {
        std::cerr << "quorvane: " << report.failed << " AP(s) did not succeed; they are listed in "
                  << report.failed_file
                  << ". The simulated fleet ends with this run, so there is nothing to retry "
                     "them on.\n";
    } else if (report.failed > 0) {
        std::cerr << "quorvane: " << report.failed
                  << " AP(s) did not succeed; retry exactly those with:\n  " << command << " --aps "
                  << shell_quoted(report.failed_file) << (arguments.empty() ? "" : " " + arguments)
                  << "\n";
    }
    if (report.interrupted) {
        std::cerr << "quorvane: stopped by Ctrl-C after " << report.done << " of "
                  << report.rows.size() << " APs\n";
    }
}

}  // namespace quorvane::cli
