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

    engine.ap_update_cb = [&](int index, const std::string& ip, const std::string& model,
                              const std::string& status, const std::string& name,
                              const std::string& wlc_ip) {
        if (index < 0 || static_cast<std::size_t>(index) >= report.rows.size()) return;
        ApRow& row = report.rows[index];
        row.model = model;
        report.statuses[index] = status;
        const std::string log_path = ap_log_path(engine.data_dir, device, row);
        const bool has_log = std::filesystem::exists(log_path);
        nlohmann::ordered_json result = {
            {"index", index},
            {"ip", ip},
            {"model", model},
            {"status", status},
            {"name", name},
            {"wlc_ip", wlc_ip},
            {"log", has_log ? nlohmann::ordered_json(log_path) : nlohmann::ordered_json()}};
        if (lines == ApLines::json) {
            console.out(json_text(result));
        } else if (lines == ApLines::text) {
            console.out("[" + std::to_string(index) + "] " + ip + " " + name + ": " + status);
        }
        report.results.push_back(std::move(result));
        console.finished(is_success_status(status));
    };

    console.start(rows.size());
    {
        InterruptHandler interrupt([&engine] { engine.shutdown(); });
        try {
            engine.run_ap_poller(rows, device, cmds, mode);
        } catch (const std::exception& e) {
            console.stop();
            engine.ap_update_cb = nullptr;
            throw std::runtime_error(std::string("the poll stopped: ") + e.what());
        }
        report.interrupted = interrupt.interrupted();
    }
    engine.ap_update_cb = nullptr;
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
    const std::vector<std::string> headings = {"#", "Name", "IP", "Model", "Status"};
    std::vector<std::vector<std::string>> cells;
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
        const ApRow& row = report.rows[i];
        cells.push_back({std::to_string(i), row.name, row.ip, row.model,
                         report.statuses[i].value_or("Not polled")});
    }
    print_text_table(headings, cells);
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
