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
    {"flash-check", "find the QCA APs exposed to the flash problem and their recovery",
     "  quorvane flash-check [options] [--section S] [--site-tag T] [--model-group LABEL]\n"
     "                       [--cmds FILE] [--json] [--html PATH] [--csv PATH] [--no-report]\n"
     "    --section S          fetch only from the controller of config section S\n"
     "    --site-tag T         check only the APs of site tag T\n"
     "    --model-group LABEL  check only the models holding a 4-digit number of LABEL\n"
     "    --cmds FILE          poll these commands instead of show version, show boot,\n"
     "                         show filesystems, show image integrity and show flash\n"
     "    --json               print one JSON object: polled, counts, aps, susceptible, reports\n"
     "    --html PATH          write the page elsewhere than <run folder>/flash_check_report.html\n"
     "    --csv PATH           write the CSV elsewhere than <run folder>/flash_check.csv\n"
     "    --no-report          write neither the page nor the CSV\n"
     "  Fetches the QCA-based APs of every controller, polls them as aps poll does (one log\n"
     "  per AP, failed_aps.json for retries, Ctrl-C stops the run), analyses the logs and\n"
     "  prints each susceptible AP with its recovery; APs that could not be polled are\n"
     "  listed apart as not checked. The analyser's reports are appended to\n"
     "  <run folder>/WLC_<address>/Status_check_results_WLC_<address>.log.\n"
     "  Exit status 0 when the check ran, 1 when no AP could be polled, 130 after Ctrl-C.\n"
     "  Example: quorvane flash-check --simulate\n",
     run_flash_check},
    {"wlc-run", "run CLI commands on every configured controller",
     "  quorvane wlc-run [options] [--cmds FILE] [COMMAND...]\n"
     "    COMMAND...    commands to send, each one argument (quote commands with blanks)\n"
     "    --cmds FILE   read the commands from FILE, one per line (blank lines skipped)\n"
     "  Special forms: sleep_N or pause(N) waits N seconds (at most 3600);\n"
     "  %cmd% sends cmd and answers its confirmation prompt with y.\n"
     "  Output: <run folder>/WLC_<address>/wlc_outputs.txt per controller.\n"
     "  Exit status 0 when at least one controller completed, 1 otherwise.\n"
     "  Example: quorvane wlc-run \"show version\" \"show ap summary\"\n"
     "  Try it:  quorvane wlc-run --simulate \"show version\"\n",
     run_wlc_run},
    {"aps", "the APs: fetch them from the controllers, poll them in parallel",
     "  quorvane aps fetch [options] [--section S] [--flash-checker] [--site-tag T]\n"
     "                     [--model-group LABEL] [--json]\n"
     "    --section S          ask only the controller of config section S (e.g. WLC2);\n"
     "                         otherwise up to 5 controllers at once, repeats dropped\n"
     "    --flash-checker      keep only QCA-based models (the flash-check workflow)\n"
     "    --site-tag T         keep the APs whose tag summary line contains T\n"
     "    --model-group LABEL  keep the models holding a 4-digit number of LABEL\n"
     "                         (\"C9130/C9136 Series\"); \"All AP Models\" keeps all\n"
     "    --json               print one JSON object: aps, total, list_file, run_dir\n"
     "  Writes <base>/confd/ap_ip_list.txt and a copy in the run folder; every fetched\n"
     "  row is appended to <base>/confd/ap_ip_list_all.txt.\n"
     "  Exit status 0 with at least one AP, 1 when none is left or the site tag is unknown.\n"
     "  Example: quorvane aps fetch --site-tag ST-A --model-group \"C9130 Series\" --json\n"
     "  Try it:  quorvane aps fetch --simulate --flash-checker\n"
     "\n"
     "  quorvane aps poll [options] [--aps FILE] [--section S] [--flash-checker]\n"
     "                    [--site-tag T] [--model-group LABEL] [--cmds FILE]\n"
     "                    [--image-download] [--device PREFIX] [--json] [COMMAND...]\n"
     "    --aps FILE           poll the APs of FILE (what aps fetch --json printed, or a\n"
     "                         run's failed_aps.json); otherwise fetch them as aps fetch does\n"
     "    COMMAND... / --cmds FILE  the list run on every AP after it is identified\n"
     "                         (sleep_N, %cmd%, show filesystems, delete /force /recursive\n"
     "                         /tmp/*, reload and copy commands have their own handling)\n"
     "    --image-download     mode AP Image Download; without commands the list is built\n"
     "                         from [FTP]\n"
     "    --device PREFIX      log file prefix and header device (default AP)\n"
     "    --json               one JSON line per finished AP, then a summary line\n"
     "  Each AP's log: <run>/WLC_<controller>/<PREFIX>_<name>.log; the APs that did not\n"
     "  succeed are listed in <run>/failed_aps.json. Ctrl-C stops (running APs end, queued\n"
     "  ones are not touched) and exits with 130; a second Ctrl-C quits at once.\n"
     "  Exit status 0 when every AP succeeded, 1 otherwise.\n"
     "  Example: quorvane aps poll --site-tag ST-A \"show version\" \"show boot\"\n"
     "  Try it:  quorvane aps poll --simulate --json \"show clock\"\n",
     run_aps},
    {"config", "show or change config.ini",
     "  quorvane config show                   the settings, every secret shown as ****\n"
     "  quorvane config set SECTION KEY [VALUE]\n"
     "                                         set one key; without VALUE it is read from\n"
     "                                         the terminal without echo (or one line of\n"
     "                                         standard input); secrets are stored scrambled\n"
     "  quorvane config path                   where config.ini is\n"
     "  Example: quorvane config set WLC wlc_ip 192.0.2.10; quorvane config set WLC wlc_pasw\n"
     "  Try it:  quorvane config show --simulate\n",
     run_config},
    {"auth-loop", "find clients stuck authenticating; optionally deauthenticate them",
     "  quorvane auth-loop [options] [--window SECONDS] [--deauth [--yes]] [--json]\n"
     "    --window S    seconds each controller is watched between its two looks\n"
     "                  (default 900; 10 with --simulate)\n"
     "    --deauth      then deauthenticate the stuck clients on every controller; on a\n"
     "                  terminal it asks first\n"
     "    --yes         do not ask before deauthenticating\n"
     "    --json        print only {\"delete_list\":[..],\"file\":PATH|null,\n"
     "                  \"deauthenticated\":true|false} on standard output\n"
     "  A client is stuck when it is authenticating at both looks and its client detail\n"
     "  confirms it. The list goes to <run folder>/deleted_clients_<stamp>.txt. The first\n"
     "  two runs that find stuck clients also collect a trace archive and a wncd core on\n"
     "  every controller; reset with: quorvane config set CRONJOB\n"
     "  collect_archive_wnccore_count 0. Ctrl-C during the window stops with status 130.\n"
     "  Exit status 0 when the run completed, 1 when it failed.\n"
     "  Example: quorvane auth-loop --simulate --window 5 --deauth --yes\n",
     run_auth_loop},
    {"deauth", "deauthenticate clients by MAC on every controller",
     "  quorvane deauth [options] MAC...\n"
     "    MAC...        client MACs as 0011.22aa.bbcc, 00:11:22:aa:bb:cc or\n"
     "                  00-11-22-aa-bb-cc; a malformed one stops everything before sending\n"
     "  Each MAC is sent to every configured controller.\n"
     "  Example: quorvane deauth 0011.22aa.bbcc 00:11:22:aa:bb:cd\n"
     "  Try it:  quorvane deauth --simulate 0011.22aa.bbcc\n",
     run_deauth},
};

constexpr const char* kCommonOptions =
    "Options of every command:\n"
    "  --ssh-port N   TCP port of the devices' SSH servers (default 22)\n"
    "  --simulate     start the simulator's demo fleet (2 controllers, 15 APs) on\n"
    "                 loopback, write a matching config.ini into a fresh base\n"
    "                 directory, run against it and print where the output went\n"
    "  -h, --help     show this help\n";

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
        << kCommonOptions
        << "\n"
           "Files: the configuration is <base>/confd/config.ini and each run writes below\n"
           "<base>/data/YYYY/MM/DD/RUN<n>/. The base directory is $QUORVANE_BASE_DIR, or else\n"
           "the folder of the engine library (now "
        << BASE_DIR
        << ").\n"
           "\n"
           "Example:\n"
           "  quorvane wlc-run --simulate \"show version\" \"show ap summary\"\n"
           "  quorvane aps fetch --simulate --json | jq .\n"
           "  quorvane flash-check --simulate\n";
    for (const auto& sub : kSubcommands) out << "\n" << sub.usage;
}

const Subcommand* find_subcommand(const std::string& name) {
    for (const auto& sub : kSubcommands) {
        if (name == sub.name) return &sub;
    }
    return nullptr;
}

}  // namespace

bool no_controllers_configured(const Quorvane& engine) {
    if (!engine._get_wlc_sections().empty()) return false;
    std::cerr << "quorvane: no controller configured: set one with 'quorvane config set WLC "
                 "wlc_ip ADDRESS' (and wlc_user, wlc_pasw), or edit "
              << engine.ini.path << "\n";
    return true;
}

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
            std::cout << "Usage:\n" << sub->usage << "\n" << kCommonOptions;
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
