// flash-check: which QCA APs are exposed to the flash problem, and what to do about each.
// Inventory, poll and analysis in one run; the analyser library is called by this host,
// never by the engine.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/engine_log.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "apps/quorvane-cli/poll_console.hpp"
#include "apps/quorvane-cli/poll_plan.hpp"
#include "apps/quorvane-cli/poll_report.hpp"
#include "apps/quorvane-cli/settings_check.hpp"
#include "apps/quorvane-cli/simulation.hpp"
#include "apps/quorvane-cli/text_table.hpp"
#include "quorvane/quorvane.hpp"
#include "tessivar/recovery.hpp"
#include "tessivar/tessivar.hpp"

namespace quorvane::cli {

namespace fs = std::filesystem;

namespace {

// The outputs the analyser reads.
const std::vector<std::string> kFlashCheckCommands = {
    "show version", "show boot", "show filesystems", "show image integrity", "show flash"};

struct FlashCheckOptions {
    ApSelection selection;
    bool selection_given = false;
    std::optional<std::string> aps_file;
    std::vector<std::string> cmds = kFlashCheckCommands;
    std::optional<std::string> cmds_file;
    bool yes = false;
    bool json = false;

    // What `flash-check --aps FILE` needs besides the file to check the same way again.
    std::string retry_arguments() const {
        return cmds_file ? "--cmds " + shell_quoted(*cmds_file) : "";
    }
};

FlashCheckOptions parse_options(const std::vector<std::string>& args) {
    FlashCheckOptions options;
    options.selection.flash_checker = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (take_selection_option(args, i, options.selection)) {
            options.selection_given = true;
            continue;
        }
        if (args[i] == "--aps") {
            if (i + 1 == args.size()) throw UsageError{"--aps needs a file name"};
            options.aps_file = args[++i];
        } else if (args[i] == "--yes") {
            options.yes = true;
        } else if (args[i] == "--cmds") {
            if (i + 1 == args.size()) throw UsageError{"--cmds needs a file name"};
            options.cmds_file = args[++i];
            options.cmds = read_command_file(*options.cmds_file);
            if (options.cmds.empty()) throw UsageError{"the command file " + args[i] + " is empty"};
        } else if (args[i] == "--json") {
            options.json = true;
        } else {
            throw UsageError{"unknown argument '" + args[i] + "'"};
        }
    }
    if (options.aps_file && options.selection_given) {
        throw UsageError{
            "--aps takes the APs from its file; leave out --section, --site-tag "
            "and --model-group"};
    }
    options.selection.flash_checker = true;
    return options;
}

// While it lives, what is written to the stream is dropped (when `active`).
class DiscardedStream {
  public:
    DiscardedStream(std::ostream& stream, bool active)
        : stream_(stream), kept_(active ? stream.rdbuf(&nowhere_) : nullptr) {}
    ~DiscardedStream() {
        if (kept_) stream_.rdbuf(kept_);
    }
    DiscardedStream(const DiscardedStream&) = delete;
    DiscardedStream& operator=(const DiscardedStream&) = delete;

  private:
    struct Nowhere : std::streambuf {
        int overflow(int c) override { return traits_type::not_eof(c); }
    };
    std::ostream& stream_;
    Nowhere nowhere_;
    std::streambuf* kept_;
};

// Every folder of the run that holds per-AP logs: one per controller, and the run folder
// itself for APs without a controller address.
std::vector<fs::path> log_folders(const PollReport& poll, const std::string& data_dir) {
    std::set<fs::path> seen;
    std::vector<fs::path> folders;
    for (const ApRow& row : poll.rows) {
        const fs::path folder = fs::path(ap_log_path(data_dir, "AP", row)).parent_path();
        std::error_code ec;
        if (fs::is_directory(folder, ec) && seen.insert(folder).second) folders.push_back(folder);
    }
    return folders;
}

struct Analysis {
    std::vector<tessivar::SusceptibleAp> susceptible;  // in group order over all folders
    std::vector<std::string> reports;
};

Analysis analyse(const std::vector<fs::path>& folders) {
    Analysis analysis;
    std::vector<tessivar::SusceptibleAp> all;
    for (const fs::path& folder : folders) {
        auto [aps, report] = tessivar::analyze_logs(folder);
        if (!report.empty()) analysis.reports.push_back(report);
        all.insert(all.end(), aps.begin(), aps.end());
    }
    // Each folder's APs come in the analyser's group order; so do those of the whole run.
    for (std::size_t g = 0; g < tessivar::RECOVERY_GROUP_COUNT; ++g) {
        const std::string_view recovery =
            tessivar::recovery_group_text(static_cast<tessivar::RecoveryGroup>(g)).recovery;
        const auto group_start = analysis.susceptible.size();
        for (const auto& ap : all) {
            if (ap.recovery == recovery) analysis.susceptible.push_back(ap);
        }
        // Shown by name within a group, so that two runs over one fleet read the same.
        std::stable_sort(analysis.susceptible.begin() + static_cast<long>(group_start),
                         analysis.susceptible.end(),
                         [](const auto& a, const auto& b) { return a.ap_name < b.ap_name; });
    }
    return analysis;
}

void print_text(const PollReport& poll, const Analysis& analysis) {
    std::cout << "\n";
    if (analysis.susceptible.empty()) {
        std::cout << "No polled AP is exposed to the flash problem.\n";
    } else {
        std::vector<std::vector<std::string>> cells;
        for (const auto& ap : analysis.susceptible) {
            cells.push_back({ap.ap_name, ap.ap_model, ap.ap_ip, ap.recovery});
        }
        std::cout << "Susceptible APs, by recovery:\n";
        print_text_table({"AP NAME", "MODEL", "ADDRESS", "RECOVERY"}, cells);
    }
    std::vector<std::vector<std::string>> unchecked;
    for (std::size_t i = 0; i < poll.rows.size(); ++i) {
        const ApRow& row = poll.rows[i];
        if (!poll.statuses[i]) {
            unchecked.push_back({row.name, row.model, row.ip, "Not polled (the run was stopped)"});
        } else if (!is_success_status(*poll.statuses[i])) {
            unchecked.push_back({row.name, row.model, row.ip, *poll.statuses[i]});
        }
    }
    if (!unchecked.empty()) {
        std::cout << "\nNOT CHECKED: these APs could not be polled, so nothing is known about "
                     "their flash:\n";
        print_text_table({"AP NAME", "MODEL", "ADDRESS", "STATUS"}, unchecked);
    }
    std::cout << "\n";
    for (const std::string& report : analysis.reports) std::cout << "Report: " << report << "\n";
    std::cout << poll.succeeded + poll.failed << " APs polled, " << poll.failed << " failed, "
              << analysis.susceptible.size() << " susceptible\n";
}

void print_json(const PollReport& poll, const Analysis& analysis, const std::string& run_dir) {
    nlohmann::ordered_json susceptible = nlohmann::ordered_json::array();
    for (const auto& ap : analysis.susceptible) {
        susceptible.push_back({{"ap_name", ap.ap_name},
                               {"ap_model", ap.ap_model},
                               {"ap_ip", ap.ap_ip},
                               {"recovery", ap.recovery}});
    }
    const nlohmann::ordered_json out = {{"polled", poll_summary_json(poll, run_dir)},
                                        {"aps", poll.results},
                                        {"susceptible", susceptible},
                                        {"reports", analysis.reports}};
    std::cout << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace

int run_flash_check(const CommonOptions& common, const std::vector<std::string>& args) {
    const FlashCheckOptions options = parse_options(args);
    // The analyser's DEBUG lines belong with the other diagnostics on standard error.
    setenv("TESSIVAR_DIAGNOSTICS", "stderr", 1);

    const std::vector<std::string> changing = device_changing_commands(options.cmds);
    require_confirmation_possible(changing, options.yes, "quorvane flash-check --help");
    ApRows rows;
    if (options.aps_file) rows = read_ap_rows_file(*options.aps_file);

    EngineOptions engine_options;
    engine_options.ssh_port = start_devices(common);
    EngineLog log(common.verbose);
    PollConsole console(::isatty(STDERR_FILENO) == 1);
    log.show_through([&console](const std::string& line) { console.log(line); });
    Quorvane engine(engine_options, std::ref(log));
    log.write_to(engine.data_dir);
    engine.operation = "WLC & AP";
    engine.workflow = "AP Flash Checker";

    if (const std::string missing = missing_settings(engine, {.controllers = !options.aps_file,
                                                              .section = options.selection.section,
                                                              .ap_login = true,
                                                              .image_transfer = false});
        !missing.empty()) {
        return report_failure(missing);
    }
    if (!options.aps_file) {
        SelectedAps selected;
        try {
            selected = fetch_selected_aps(engine, log, options.selection);
        } catch (const std::exception& e) {
            return report_failure(e.what());
        }
        if (selected.rows.empty()) {
            return report_failure("no AP checked: " + selected.why_empty);
        }
        rows = std::move(selected.rows);
        engine.write_filtered_ap_list(rows);
    }
    if (rows.empty()) return report_failure("no AP in " + *options.aps_file + ", none checked");
    if (!changing.empty() && !options.yes && !confirm_device_changes(changing, rows)) {
        return report_failure("not confirmed; no AP was polled");
    }

    PollReport poll;
    try {
        poll = poll_with_progress(engine, console, rows, "AP", options.cmds, "AP Custom Cmd List",
                                  options.json ? ApLines::none : ApLines::text);
    } catch (const std::exception& e) {
        return report_failure(e.what());
    }
    std::string command = "quorvane flash-check";
    if (common.ssh_port_given && !common.simulate) {
        command += " --ssh-port " + std::to_string(common.ssh_port);
    }
    if (poll.interrupted) {
        print_poll_epilogue(poll, command, options.retry_arguments());
        std::cerr << "quorvane: nothing was analysed\n";
        return kExitInterrupted;
    }
    const Analysis analysis = [&] {
        // The analyser's DEBUG lines are diagnostics like the engine's: shown with -v only.
        const DiscardedStream quiet(std::cerr, !common.verbose);
        return analyse(log_folders(poll, engine.data_dir));
    }();
    if (options.json) {
        print_json(poll, analysis, engine.data_dir);
    } else {
        print_text(poll, analysis);
    }
    print_poll_epilogue(poll, command, options.retry_arguments());
    return poll.succeeded == 0 ? kExitFailed : kExitOk;
}

}  // namespace quorvane::cli
