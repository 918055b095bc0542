// flash-check: which QCA APs are exposed to the flash problem, and what to do about each.
// Inventory, poll and analysis in one run; the analyser library is called by this host,
// never by the engine.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "apps/flash-report/csv_report.hpp"
#include "apps/flash-report/flash_check_result.hpp"
#include "apps/flash-report/html_report.hpp"
#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/engine_log.hpp"
#include "apps/quorvane-cli/flash_check_output.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "apps/quorvane-cli/poll_console.hpp"
#include "apps/quorvane-cli/poll_plan.hpp"
#include "apps/quorvane-cli/poll_report.hpp"
#include "apps/quorvane-cli/settings_check.hpp"
#include "apps/quorvane-cli/simulation.hpp"
#include "apps/quorvane-cli/text_table.hpp"
#include "quorvane/paths/utf8.hpp"
#include "quorvane/quorvane.hpp"
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
    std::optional<std::string> html_path;  // default: in the run folder
    std::optional<std::string> csv_path;
    bool write_report_files = true;

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
        } else if (args[i] == "--html" || args[i] == "--csv") {
            if (i + 1 == args.size()) throw UsageError{args[i] + " needs a file name"};
            (args[i] == "--html" ? options.html_path : options.csv_path) = args[i + 1];
            ++i;
        } else if (args[i] == "--no-report") {
            options.write_report_files = false;
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
    if (!options.write_report_files && (options.html_path || options.csv_path)) {
        throw UsageError{"--no-report cannot be combined with --html or --csv"};
    }
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

// Which APs a poll has started, read from the single-AP poll's "Connecting" log line: after
// a stop, an AP that started and never reported was stopped while running; one that never
// started was not polled at all.
class StartedAps {
  public:
    void note(const std::string& line) {
        constexpr std::string_view kPrefix = "[AP] (";
        if (!line.starts_with(kPrefix)) return;
        const std::size_t close = line.find(") Connecting ", kPrefix.size());
        if (close == std::string::npos) return;
        const std::string number = line.substr(kPrefix.size(), close - kPrefix.size());
        // A log callback must never throw: anything but a small decimal number is ignored.
        if (number.empty() || number.size() > 9 ||
            number.find_first_not_of("0123456789") != std::string::npos) {
            return;
        }
        std::lock_guard lock(mutex_);
        started_.insert(std::stoul(number) - 1);
    }
    bool started(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return started_.count(index) > 0;
    }

  private:
    mutable std::mutex mutex_;
    std::set<std::size_t> started_;
};

// Runs the analyser on every log folder: its report files, and the facts of each log by path.
std::map<fs::path, tessivar::ApFacts> analyse(const std::vector<fs::path>& folders,
                                              std::vector<std::string>& reports) {
    std::map<fs::path, tessivar::ApFacts> facts;
    for (const fs::path& folder : folders) {
        const std::string report = tessivar::analyze_logs(folder).second;
        if (!report.empty()) reports.push_back(report);
        for (tessivar::ApFacts& ap : tessivar::ap_facts(folder)) {
            facts.emplace(ap.log_file, std::move(ap));
        }
    }
    return facts;
}

flash_report::FlashCheckResult build_result(const FlashCheckOptions& options,
                                            const PollReport& poll, const StartedAps& started,
                                            const std::string& data_dir) {
    flash_report::FlashCheckResult result;
    flash_report::RunInfo& run = result.run;
    run.time = flash_report::local_time_now();
    run.polled = true;
    run.interrupted = poll.interrupted;
    run.section = options.selection.section.value_or("");
    run.site_tag = options.selection.site_tag.value_or("");
    run.model_group = options.selection.model_group.value_or("");
    run.commands = options.cmds;
    const std::vector<fs::path> folders = log_folders(poll, data_dir);
    for (const fs::path& folder : folders) run.folders.push_back(folder.string());
    auto facts = analyse(folders, result.reports);

    std::set<std::string> controllers;
    for (std::size_t i = 0; i < poll.rows.size(); ++i) {
        const ApRow& row = poll.rows[i];
        if (!row.wlc_ip.empty() && controllers.insert(row.wlc_ip).second) {
            run.controllers.push_back(row.wlc_ip);
        }
        flash_report::ApResult ap{drop_invalid_utf8(row.name),
                                  row.ip,
                                  drop_invalid_utf8(row.model),
                                  row.wlc_ip,
                                  {},
                                  {},
                                  {}};
        if (poll.statuses[i]) {
            ap.poll_status = drop_invalid_utf8(*poll.statuses[i]);
        } else {
            ap.poll_status = std::string(started.started(i) ? flash_report::STOPPED_STATUS
                                                            : flash_report::NOT_POLLED_STATUS);
        }
        if (i < poll.reasons.size() && !poll.reasons[i].empty()) {
            ap.reason = drop_invalid_utf8(poll.reasons[i]);
        }
        // Only a finished poll is analysed: a stopped AP's log is cut short.
        if (ap.polled_successfully()) {
            const auto found = facts.find(ap_log_path(data_dir, "AP", row));
            if (found != facts.end()) ap.facts = found->second;
        }
        result.aps.push_back(std::move(ap));
    }
    return result;
}

// Writes the page and the spreadsheet; a failure to write is reported, not fatal: the
// terminal result stands on its own.
ReportFiles write_report_files(const FlashCheckOptions& options,
                               const flash_report::FlashCheckResult& result,
                               const std::string& run_dir) {
    ReportFiles files;
    if (!options.write_report_files) return files;
    const std::string html =
        options.html_path.value_or((fs::path(run_dir) / "flash_check_report.html").string());
    const std::string csv =
        options.csv_path.value_or((fs::path(run_dir) / "flash_check.csv").string());
    try {
        flash_report::write_whole_file(html, flash_report::html_page(result, html));
        files.html = html;
    } catch (const std::exception& e) {
        std::cerr << "quorvane: " << e.what() << "\n";
    }
    try {
        flash_report::write_whole_file(csv, flash_report::csv_text(result));
        files.csv = csv;
    } catch (const std::exception& e) {
        std::cerr << "quorvane: " << e.what() << "\n";
    }
    return files;
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
    StartedAps started;
    log.watch([&started](const std::string& line) { started.note(line); });
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
    flash_report::FlashCheckResult result;
    try {
        // The analyser's DEBUG lines are diagnostics like the engine's: shown with -v only.
        const DiscardedStream quiet(std::cerr, !common.verbose);
        result = build_result(options, poll, started, engine.data_dir);
    } catch (const std::exception& e) {
        return report_failure(std::string("the analysis failed: ") + e.what());
    }
    const ReportFiles files = write_report_files(options, result, engine.data_dir);
    if (options.json) {
        std::cout << flash_check_json(result, files, engine.data_dir, poll.seconds)
                         .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << "\n";
    } else {
        print_flash_check_text(result, files, terminal_width());
    }
    print_poll_epilogue(poll, command, options.retry_arguments());
    if (poll.interrupted) return kExitInterrupted;
    return poll.succeeded == 0 ? kExitFailed : kExitOk;
}

}  // namespace quorvane::cli
