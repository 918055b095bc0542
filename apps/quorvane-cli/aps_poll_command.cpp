// aps poll: run a command list on every selected AP in parallel, one log file per AP.

#include <unistd.h>

#include <iostream>

#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "apps/quorvane-cli/poll_console.hpp"
#include "apps/quorvane-cli/poll_report.hpp"

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
    bool json = false;
};

PollOptions parse_poll_options(const std::vector<std::string>& args) {
    PollOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](const char* name) {
            if (i + 1 == args.size()) throw UsageError{std::string(name) + " needs a value"};
            return args[++i];
        };
        if (arg == "--aps") {
            o.aps_file = value("--aps");
        } else if (arg == "--cmds") {
            const auto from_file = read_command_file(value("--cmds"));
            o.cmds.insert(o.cmds.end(), from_file.begin(), from_file.end());
        } else if (arg == "--image-download") {
            o.image_download = true;
        } else if (arg == "--device") {
            o.device = value("--device");
            if (o.device.empty()) throw UsageError{"--device needs a prefix such as AP"};
        } else if (arg == "--json") {
            o.json = true;
        } else if (take_selection_option(args, i, o.selection)) {
            o.selection_given = true;
        } else if (arg.rfind("--", 0) == 0) {
            throw UsageError{"unknown option " + arg + " for aps poll"};
        } else {
            o.cmds.push_back(arg);
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
    ApRows rows;
    if (o.aps_file) rows = read_ap_rows_file(*o.aps_file);

    PollConsole console(::isatty(STDERR_FILENO) == 1);
    EngineOptions options;
    options.ssh_port = common.ssh_port;
    Quorvane engine(options, [&console](const std::string& line) { console.log(line); });
    if (!o.aps_file) {
        if (no_controllers_configured(engine)) return kExitFailed;
        try {
            rows = fetch_selected_aps(engine, o.selection).rows;
        } catch (const std::exception& e) {
            std::cerr << "quorvane: " << e.what() << "\n";
            return kExitFailed;
        }
        engine.write_filtered_ap_list(rows);
    }
    if (rows.empty()) {
        std::cerr << "quorvane: no AP selected, nothing to poll\n";
        return kExitFailed;
    }

    const std::string mode = o.image_download ? kImageDownloadMode : kCustomMode;
    PollReport report;
    try {
        report = poll_with_progress(engine, console, rows, o.device, o.cmds, mode,
                                    o.json ? ApLines::json : ApLines::text);
    } catch (const std::exception& e) {
        std::cerr << "quorvane: " << e.what() << "\n";
        return kExitFailed;
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
    print_poll_epilogue(report, "[the same commands]");
    if (report.interrupted) return kExitInterrupted;
    return report.failed > 0 ? kExitFailed : kExitOk;
}

}  // namespace quorvane::cli
