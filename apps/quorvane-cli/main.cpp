// quorvane: the command-line host of the engine library.

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/simulation.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

namespace {

const Subcommand kSubcommands[] = {
    {"wlc-run", "run CLI commands on every configured controller",
     "  quorvane wlc-run [options] [--cmds FILE] [COMMAND...]\n"
     "    COMMAND...    commands to send, each one argument (quote commands with blanks)\n"
     "    --cmds FILE   read the commands from FILE, one per line (blank lines skipped)\n"
     "  Special forms: sleep_N or pause(N) waits N seconds (at most 3600);\n"
     "  %cmd% sends cmd and answers its confirmation prompt with y.\n"
     "  Output: <run folder>/WLC_<address>/wlc_outputs.txt per controller.\n"
     "  Exit status 0 when at least one controller completed, 1 otherwise.\n",
     run_wlc_run},
};

void print_usage(std::ostream& out) {
    out << "quorvane - run commands on wireless LAN controllers and access points over SSH\n"
           "\n"
           "Usage:\n"
           "  quorvane <command> [options] [arguments]\n"
           "  quorvane <command> --help\n"
           "\n"
           "Commands:\n";
    for (const auto& sub : kSubcommands) {
        out << "  " << sub.name << std::string(12 - std::strlen(sub.name), ' ') << sub.summary
            << "\n";
    }
    out << "\n"
           "Options of every command:\n"
           "  --ssh-port N   TCP port of the devices' SSH servers (default 22)\n"
           "  --simulate     start a simulated fleet (2 controllers, 8 APs) on loopback, write\n"
           "                 a matching config.ini into a fresh base directory, run against it\n"
           "                 and print where the output went\n"
           "  -h, --help     show this help\n"
           "\n"
           "Files: the configuration is <base>/confd/config.ini and each run writes below\n"
           "<base>/data/YYYY/MM/DD/RUN<n>/. The base directory is $QUORVANE_BASE_DIR, or else\n"
           "the folder of the engine library (now "
        << BASE_DIR
        << ").\n"
           "\n"
           "Example:\n"
           "  quorvane wlc-run --simulate \"show version\" \"show ap summary\"\n";
    for (const auto& sub : kSubcommands) out << "\n" << sub.usage;
}

const Subcommand* find_subcommand(const std::string& name) {
    for (const auto& sub : kSubcommands) {
        if (name == sub.name) return &sub;
    }
    return nullptr;
}

}  // namespace

int parse_port(const std::string& option, const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const int port = digits ? std::stoi(text) : 0;
    if (port < 1 || port > 65535) {
        throw UsageError{option + " needs a port from 1 to 65535, not '" + text + "'"};
    }
    return port;
}

int main_with_args(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        print_usage(std::cerr);
        return kExitUsage;
    }
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        print_usage(std::cout);
        return kExitOk;
    }
    const Subcommand* sub = find_subcommand(args[0]);
    if (!sub) throw UsageError{"unknown command '" + args[0] + "'"};

    CommonOptions common;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << "Usage:\n" << sub->usage;
            return kExitOk;
        } else if (arg == "--simulate") {
            common.simulate = true;
        } else if (arg == "--ssh-port") {
            if (i + 1 == args.size()) throw UsageError{"--ssh-port needs a port number"};
            common.ssh_port = parse_port(arg, args[++i]);
            common.ssh_port_given = true;
        } else if (arg.rfind("--ssh-port=", 0) == 0) {
            common.ssh_port = parse_port("--ssh-port", arg.substr(11));
            common.ssh_port_given = true;
        } else if (arg == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else {
            rest.push_back(arg);
        }
    }
    if (common.simulate) return run_simulated(argv, common, *sub, rest);
    return sub->run(common, rest);
}

}  // namespace quorvane::cli

int main(int argc, char** argv) {
    // A poll holds a few descriptors per AP at once; desktops often start at 1024.
    quorvane::raise_open_files_limit();
    try {
        return quorvane::cli::main_with_args(argc, argv);
    } catch (const quorvane::cli::UsageError& e) {
        std::cerr << "quorvane: " << e.message << "\nRun 'quorvane --help' for usage.\n";
        return quorvane::cli::kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "quorvane: error: " << e.what() << "\n";
        return quorvane::cli::kExitFailed;
    }
}
