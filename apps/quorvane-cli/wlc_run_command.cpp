// wlc-run: the shared command list on every configured controller.

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>

#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/controller_causes.hpp"
#include "apps/quorvane-cli/engine_log.hpp"
#include "apps/quorvane-cli/settings_check.hpp"
#include "apps/quorvane-cli/simulation.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

std::vector<std::string> read_command_file(const std::string& file) {
    std::ifstream in(file);
    if (!in) throw UsageError{"cannot read the command file " + file};
    std::vector<std::string> cmds;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos) cmds.push_back(line);
    }
    return cmds;
}

int run_wlc_run(const CommonOptions& common, const std::vector<std::string>& args) {
    std::vector<std::string> cmds;
    bool quiet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--cmds") {
            if (i + 1 == args.size()) throw UsageError{"--cmds needs a file name"};
            const auto from_file = read_command_file(args[++i]);
            cmds.insert(cmds.end(), from_file.begin(), from_file.end());
        } else if (args[i] == "--quiet") {
            quiet = true;
        } else if (args[i].rfind("--", 0) == 0) {
            throw UsageError{"unknown option " + args[i]};
        } else {
            cmds.push_back(args[i]);
        }
    }
    if (cmds.empty()) throw UsageError{"give the commands as arguments or with --cmds FILE"};

    EngineOptions options;
    options.ssh_port = start_devices(common);
    EngineLog log(common.verbose);
    Quorvane engine(options, std::ref(log));
    log.write_to(engine.data_dir);
    if (const std::string missing = missing_settings(engine, controller_settings());
        !missing.empty()) {
        return report_failure(missing);
    }

    // Each controller's output is printed as soon as its run is done; the runs go one
    // controller after another on this thread.
    static const std::string done_prefix = "[WLC] Done [";
    static const std::string output_marker = "]. Output: ";
    int completed = 0;
    log.watch([&](const std::string& line) {
        if (line.rfind(done_prefix, 0) == 0 && line.find(output_marker) != std::string::npos) {
            ++completed;
            const auto marker = line.find(output_marker);
            const std::string section =
                line.substr(done_prefix.size(), marker - done_prefix.size());
            const std::string path = line.substr(marker + output_marker.size());
            if (quiet) {
                std::cout << path << "\n" << std::flush;
            } else {
                std::ifstream file(path, std::ios::binary);
                std::cout << "===== [" << section << "] " << engine.ini.get(section, "wlc_ip", "")
                          << " =====\n"
                          << file.rdbuf() << "\n"
                          << std::flush;
            }
        }
    });
    if (!log.shown()) {
        std::cerr << "quorvane: running " << cmds.size() << " command(s) on "
                  << engine._get_wlc_sections().size() << " controller(s)...\n";
    }
    engine.run_wlc_cmds(cmds);

    print_controller_causes(engine);
    const std::size_t failed = engine.controller_failures.snapshot().size();
    if (completed == 0) return report_failure("no controller completed");
    std::cerr << "quorvane: " << completed << " of " << completed + failed
              << " controller(s) completed; output in " << engine.data_dir << "\n";
    return kExitOk;
}

}  // namespace quorvane::cli
