// aps poll: run a command list on every selected AP in parallel, one log file per AP.

#include <unistd.h>

#include <functional>
#include <iostream>

#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/engine_log.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "apps/quorvane-cli/poll_console.hpp"
#include "apps/quorvane-cli/poll_plan.hpp"
#include "apps/quorvane-cli/poll_report.hpp"
#include "apps/quorvane-cli/settings_check.hpp"
#include "apps/quorvane-cli/simulation.hpp"

namespace quorvane::cli {

namespace {

constexpr const char* kImageDownloadMode = "AP Image Download";
constexpr const char* kCustomMode = "AP Custom Cmd List";

struct PollOptions {
    std::optional<std::string> aps_file;
    ApSelection selection;
    bool selection_given = false;
    std::vector<std::string> cmds;
    bool image_download = false;
    std::string device = "AP";
    bool yes = false;
    bool dry_run = false;
    bool json = false;
    // The options that make the same poll again, quoted for the shell, for the retry hint.
    std::string retry_arguments;
};

PollOptions parse_poll_options(const std::vector<std::string>& args) {
    PollOptions o;
    const auto keep = [&o](const std::string& arg) {
        o.retry_arguments += (o.retry_arguments.empty() ? "" : " ") + shell_quoted(arg);
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](const char* name) {
            if (i + 1 == args.size()) throw UsageError{std::string(name) + " needs a value"};
            return args[++i];
        };
        if (arg == "--aps") {
            o.aps_file = value("--aps");
        } else if (arg == "--cmds") {
            const std::string file = value("--cmds");
            const auto from_file = read_command_file(file);
            o.cmds.insert(o.cmds.end(), from_file.begin(), from_file.end());
            keep(arg);
            keep(file);
        } else if (arg == "--image-download") {
            o.image_download = true;
            keep(arg);
        } else if (arg == "--device") {
            o.device = value("--device");
            if (o.device.empty()) throw UsageError{"--device needs a prefix such as AP"};
            keep(arg);
            keep(o.device);
        } else if (arg == "--yes") {
            o.yes = true;
        } else if (arg == "--dry-run") {
            o.dry_run = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (take_selection_option(args, i, o.selection)) {
            o.selection_given = true;
        } else if (arg.rfind("--", 0) == 0) {
            throw UsageError{"unknown option " + arg + " for aps poll"};
        } else {
            o.cmds.push_back(arg);
            keep(arg);
        }
    }
    if (o.aps_file && o.selection_given) {
        throw UsageError{
            "--aps takes the APs from its file; leave out --section, "
            "--flash-checker, --site-tag and --model-group"};
    }
    return o;
}

}  // namespace

int run_aps_poll(const CommonOptions& common, const std::vector<std::string>& args) {
    const PollOptions o = parse_poll_options(args);
    const bool builds_download = o.image_download && o.cmds.empty();
    std::vector<std::string> changing = device_changing_commands(o.cmds);
    if (builds_download) changing.push_back("copy (the image download built from [FTP])");
    require_confirmation_possible(changing, o.yes || o.dry_run, "quorvane aps poll --help");
    ApRows rows;
    if (o.aps_file) rows = read_ap_rows_file(*o.aps_file);

    EngineOptions options;
    options.ssh_port = start_devices(common);
    EngineLog log(common.verbose);
    PollConsole console(::isatty(STDERR_FILENO) == 1);
    log.show_through([&console](const std::string& line) { console.log(line); });
    Quorvane engine(options, std::ref(log));
    log.write_to(engine.data_dir);
    if (const std::string missing = missing_settings(engine, {.controllers = !o.aps_file,
                                                              .section = o.selection.section,
                                                              .ap_login = !o.dry_run,
                                                              .image_transfer = builds_download});
        !missing.empty()) {
        return report_failure(missing);
    }
    if (!o.aps_file) {
        SelectedAps selected;
        try {
            selected = fetch_selected_aps(engine, log, o.selection);
        } catch (const std::exception& e) {
            return report_failure(e.what());
        }
        if (selected.rows.empty()) {
            return report_failure("no AP selected, nothing polled: " + selected.why_empty);
        }
        rows = std::move(selected.rows);
        if (!o.dry_run) engine.write_filtered_ap_list(rows);
    }
    if (rows.empty()) return report_failure("no AP in " + *o.aps_file + ", nothing polled");

    if (o.dry_run) {
        const SecretMask mask(engine.ini);
        std::vector<std::string> shown;
        for (const auto& cmd : builds_download ? engine._build_image_download_cmd() : o.cmds) {
            shown.push_back(mask.apply(cmd));
        }
        print_plan(engine.data_dir, o.device, rows, shown, o.json);
        return kExitOk;
    }
    if (!changing.empty() && !o.yes && !confirm_device_changes(changing, rows)) {
        return report_failure("not confirmed; no AP was polled");
    }

    const std::string mode = o.image_download ? kImageDownloadMode : kCustomMode;
    PollReport report;
    try {
        report = poll_with_progress(engine, console, rows, o.device, o.cmds, mode,
                                    o.json ? ApLines::json : ApLines::text);
    } catch (const std::exception& e) {
        return report_failure(e.what());
    }

    if (o.json) {
        std::cout << nlohmann::ordered_json{{"summary", poll_summary_json(report, engine.data_dir)}}
                         .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << std::endl;
    } else {
        print_poll_table(report);
        std::cout << report.succeeded << " of " << rows.size() << " APs succeeded in "
                  << duration_text(report.seconds) << "; logs under " << engine.data_dir << "\n";
        if (const std::string failures = failure_summary(report); !failures.empty()) {
            std::cout << failures << "\n";
        }
    }
    std::string command = "quorvane aps poll";
    if (common.ssh_port_given && !common.simulate) {
        command += " --ssh-port " + std::to_string(common.ssh_port);
    }
    print_poll_epilogue(report, command, o.retry_arguments);
    if (report.interrupted) return kExitInterrupted;
    return report.failed > 0 ? kExitFailed : kExitOk;
}

}  // namespace quorvane::cli
