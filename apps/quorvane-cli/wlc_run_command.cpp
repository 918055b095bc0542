// wlc-run: the shared command list on every configured controller.

#include <filesystem>
#include <fstream>
#include <iostream>

#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/controller_causes.hpp"
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
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--cmds") {
            if (i + 1 == args.size()) throw UsageError{"--cmds needs a file name"};
            const auto from_file = read_command_file(args[++i]);
            cmds.insert(cmds.end(), from_file.begin(), from_file.end());
        } else if (args[i].rfind("--", 0) == 0) {
            throw UsageError{"unknown option " + args[i]};
        } else {
            cmds.push_back(args[i]);
        }
    }
    if (cmds.empty()) throw UsageError{"give the commands as arguments or with --cmds FILE"};

    int completed = 0;
    int failed = 0;
    EngineOptions options;
    options.ssh_port = common.ssh_port;
    Quorvane engine(options, [&](const std::string& line) {
        print_stdout_line(line);
        if (line.rfind("[WLC] Done [", 0) == 0) ++completed;
        if (line.rfind("[WLC] [", 0) == 0 && line.find("] failed: ") != std::string::npos) {
            ++failed;
        }
    });

    if (no_controllers_configured(engine)) return kExitFailed;
    const std::string last_output = engine.run_wlc_cmds(cmds);
    print_controller_causes(engine);

    std::cerr << "quorvane: " << completed << " of " << completed + failed
              << " controller(s) completed; output in " << engine.data_dir << "\n";
    if (last_output.empty()) {
        std::cerr << "quorvane: no controller completed (see the [WLC] lines above)\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quorvane::cli
