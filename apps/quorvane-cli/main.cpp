// quorvane: the command-line host of the engine library.

#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/simulation.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

namespace {

const Subcommand kSubcommands[] = {
    {"flash-check", "find the QCA APs exposed to the flash problem and their recovery",
     "  quorvane flash-check [options] [--section S] [--site-tag T] [--model-group LABEL]\n"
     "                       [--aps FILE] [--cmds FILE] [--yes] [--json] [--html PATH]\n"
     "                       [--csv PATH] [--no-report]\n"
     "    --section S          fetch only from the controller of config section S\n"
     "    --site-tag T         check only the APs of site tag T\n"
     "    --model-group LABEL  check only the models holding a 4-digit number of LABEL\n"
     "    --aps FILE           check the APs of FILE (aps fetch --json output, or a run's\n"
     "                         failed_aps.json) instead of fetching them\n"
     "    --cmds FILE          poll these commands instead of show version, show boot,\n"
     "                         show filesystems, show image integrity and show flash\n"
     "    --yes                do not ask before commands of FILE that change the APs\n"
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
     "  quorvane wlc-run [options] [--cmds FILE] [--quiet] [COMMAND...]\n"
     "    COMMAND...    commands to send, each one argument (quote commands with blanks)\n"
     "    --cmds FILE   read the commands from FILE, one per line (blank lines skipped)\n"
     "    --quiet       print only the path of each controller's output file\n"
     "  Special forms: sleep_N or pause(N) waits N seconds (at most 3600);\n"
     "  %cmd% sends cmd and answers its confirmation prompt with y.\n"
     "  Prints each controller's output as it completes; it is also kept in\n"
     "  <run folder>/WLC_<address>/wlc_outputs.txt.\n"
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
     "    --site-tag T         keep the APs whose site tag is exactly T\n"
     "    --model-group LABEL  keep the models holding a 4-digit number of LABEL\n"
     "                         (\"C9130/C9136 Series\"); \"All AP Models\" keeps all\n"
     "    --json               print one JSON object: aps, total, list_file, run_dir\n"
     "  Writes <base>/confd/ap_ip_list.txt (only when an AP is selected) and a copy in the\n"
     "  run folder; every fetched row is appended to <base>/confd/ap_ip_list_all.txt.\n"
     "  Exit status 0 with at least one AP, 1 when none is left or a controller failed\n"
     "  to answer the site-tag query.\n"
     "  Example: quorvane aps fetch --site-tag ST-A --model-group \"C9130 Series\" --json\n"
     "  Try it:  quorvane aps fetch --simulate --flash-checker\n"
     "\n"
     "  quorvane aps poll [options] [--aps FILE] [--section S] [--flash-checker]\n"
     "                    [--site-tag T] [--model-group LABEL] [--cmds FILE]\n"
     "                    [--image-download] [--device PREFIX] [--yes] [--dry-run]\n"
     "                    [--json] [COMMAND...]\n"
     "    --aps FILE           poll the APs of FILE (what aps fetch --json printed, or a\n"
     "                         run's failed_aps.json); otherwise fetch them as aps fetch does\n"
     "    COMMAND... / --cmds FILE  the list run on every AP after it is identified\n"
     "                         (sleep_N, %cmd%, show filesystems, delete /force /recursive\n"
     "                         /tmp/*, reload and copy commands have their own handling)\n"
     "    --image-download     mode AP Image Download; without commands the list is built\n"
     "                         from [FTP]\n"
     "    --device PREFIX      log file prefix and header device (default AP)\n"
     "    --yes                do not ask before commands that change the APs (reload,\n"
     "                         delete, erase, format, write, copy, archive, upgrade, clear,\n"
     "                         configure, transfers); without a terminal --yes is required\n"
     "    --dry-run            print what each AP would get and its log file; logs in to\n"
     "                         no AP (with --aps it contacts nothing at all)\n"
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
     "  quorvane config set [--force] SECTION KEY [VALUE]\n"
     "                                         set one key; without VALUE it is asked for\n"
     "                                         (secrets without echo) or read as one line\n"
     "                                         of standard input; secrets are stored\n"
     "                                         scrambled. Keys nothing reads, sections in\n"
     "                                         the wrong case and addresses that are not\n"
     "                                         IPv4 are refused; --force stores them anyway\n"
     "  quorvane config path                   where config.ini is\n"
     "  Keys: [WLC] [WLC2]... wlc_ip wlc_user wlc_pasw; [AP] ap_user ap_pasw ap_enable;\n"
     "  [FTP] ftp_proto ftp_addr ftp_path ftp_user ftp_pasw scp_port;\n"
     "  [SSH] legacy_algorithms; [CRONJOB] collect_archive_wnccore_count; [WLC_CMDS] cmds.\n"
     "  Example: quorvane config set WLC wlc_ip 192.0.2.10; quorvane config set WLC wlc_pasw\n"
     "  Try it:  quorvane config show --simulate\n",
     run_config},
    {"auth-loop", "find clients stuck authenticating; optionally deauthenticate them",
     "  quorvane auth-loop [options] [--window SECONDS] [--collect] [--deauth [--yes]]\n"
     "                     [--json]\n"
     "    --window S    seconds each controller is watched between its two looks\n"
     "                  (default 900; 10 with --simulate)\n"
     "    --collect     when clients are stuck, also have every controller write a trace\n"
     "                  archive and a wncd core dump (at most two runs; reset with\n"
     "                  quorvane config set CRONJOB collect_archive_wnccore_count 0)\n"
     "    --deauth      then deauthenticate the stuck clients on every controller; it\n"
     "                  lists them and asks first, before anything changes on a controller\n"
     "    --yes         do not ask; required with --deauth when standard input is not a\n"
     "                  terminal\n"
     "    --json        print only {\"delete_list\":[..],\"file\":PATH|null,\n"
     "                  \"deauthenticated\":true|false} on standard output\n"
     "  A client is stuck when it is authenticating at both looks and its client detail\n"
     "  confirms it. The list goes to <run folder>/deleted_clients_<stamp>.txt. Without\n"
     "  --collect nothing is changed on a controller unless you confirm --deauth.\n"
     "  Ctrl-C during the window stops with status 130.\n"
     "  Exit status 0 when the run completed, 1 when it failed.\n"
     "  Example: quorvane auth-loop --window 300 --deauth\n"
     "  Try it:  quorvane auth-loop --simulate --window 5 --deauth --yes\n",
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
    "Options of every command (before or after the command):\n"
    "  --ssh-port N   TCP port of the devices' SSH servers (default 22)\n"
    "  --simulate     start the simulator's demo fleet (2 controllers, 15 APs) on\n"
    "                 loopback, write a matching config.ini into a fresh base\n"
    "                 directory, run against it and print where the output went\n"
    "  -v, --verbose  show the engine's log lines on a terminal too (they always go to\n"
    "                 quorvane.log in the run folder)\n"
    "  -h, --help     show this help\n";

bool json_output = false;

void print_commands(std::ostream& out) {
    out << "Usage: quorvane COMMAND [options] [arguments]\n"
           "\n"
           "Commands:\n";
    for (const auto& sub : kSubcommands) {
        out << "  " << sub.name << std::string(13 - std::strlen(sub.name), ' ') << sub.summary
            << "\n";
    }
    out << "\nRun 'quorvane COMMAND --help' for a command's options and an example.\n";
}

void print_help(std::ostream& out) {
    out << "quorvane - run commands on wireless LAN controllers and access points over SSH\n"
           "\n";
    print_commands(out);
    out << "\n"
        << kCommonOptions
        << "  --version      print the version\n"
           "\n"
           "Files: the configuration is <base>/confd/config.ini and each run writes below\n"
           "<base>/data/YYYY/MM/DD/RUN<n>/. The base directory is $QUORVANE_BASE_DIR, or else\n"
           "the folder of the engine library (now "
        << BASE_DIR
        << ").\n"
           "\n"
           "Examples:\n"
           "  quorvane flash-check --simulate\n"
           "  quorvane --simulate wlc-run \"show version\" \"show ap summary\"\n"
           "  quorvane aps fetch --simulate --json | jq .\n";
}

const Subcommand* find_subcommand(const std::string& name) {
    for (const auto& sub : kSubcommands) {
        if (name == sub.name) return &sub;
    }
    return nullptr;
}

// The command line split into the common options, the command and its own arguments.
struct CommandLine {
    CommonOptions common;
    std::optional<std::string> command;
    std::vector<std::string> rest;
    bool help = false;
    bool version = false;
};

CommandLine split_command_line(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            line.rest.insert(line.rest.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (arg == "-h" || arg == "--help" || (arg == "help" && !line.command)) {
            line.help = true;
        } else if (arg == "--version" && !line.command) {
            line.version = true;
        } else if (arg == "-v" || arg == "--verbose") {
            line.common.verbose = true;
        } else if (arg == "--simulate") {
            line.common.simulate = true;
        } else if (arg == "--ssh-port") {
            if (i + 1 == args.size()) throw UsageError{"--ssh-port needs a port number"};
            line.common.ssh_port = parse_port(arg, args[++i]);
            line.common.ssh_port_given = true;
        } else if (arg.rfind("--ssh-port=", 0) == 0) {
            line.common.ssh_port = parse_port("--ssh-port", arg.substr(11));
            line.common.ssh_port_given = true;
        } else if (line.command) {
            line.rest.push_back(arg);
        } else if (arg.rfind("-", 0) == 0) {
            throw UsageError{"unknown option " + arg + " (command options come after the command)"};
        } else {
            line.command = arg;
        }
    }
    return line;
}

bool asks_for_json(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--json") return true;
    }
    return false;
}

int run_command_line(const std::vector<std::string>& args) {
    const CommandLine line = split_command_line(args);
    if (line.version) {
        std::cout << "quorvane " << QUORVANE_VERSION << "\n";
        return kExitOk;
    }
    if (!line.command) {
        if (line.help) {
            print_help(std::cout);
            return kExitOk;
        }
        print_commands(std::cerr);
        return kExitUsage;
    }
    const Subcommand* sub = find_subcommand(*line.command);
    if (!sub) throw UsageError{"unknown command '" + *line.command + "'"};
    if (line.help) {
        std::cout << "Usage:\n" << sub->usage << "\n" << kCommonOptions;
        return kExitOk;
    }
    set_json_output(asks_for_json(line.rest));
    try {
        const int status = sub->run(line.common, line.rest);
        stop_simulation();
        return status;
    } catch (const UsageError& e) {
        stop_simulation();
        std::cerr << "quorvane " << sub->name << ": " << e.message << "\nRun 'quorvane "
                  << sub->name << " --help' for its options.\n";
        if (json_output) report_failure(e.message);
        return kExitUsage;
    } catch (...) {
        stop_simulation();
        throw;
    }
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

void set_json_output(bool json) { json_output = json; }

int report_failure(const std::string& message) {
    std::cerr << "quorvane: " << message << "\n" << std::flush;
    if (json_output) {
        std::cout << nlohmann::json{{"error", message}}.dump(
                         -1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << "\n"
                  << std::flush;
    }
    return kExitFailed;
}

std::string shell_quoted(const std::string& text) {
    const bool plain = !text.empty() && text.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789@%+=:,./-_") == std::string::npos;
    if (plain) return text;
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace quorvane::cli

int main(int argc, char** argv) {
    // A poll holds a few descriptors per AP at once; desktops often start at 1024.
    quorvane::raise_open_files_limit();
    try {
        return quorvane::cli::run_command_line({argv + 1, argv + argc});
    } catch (const quorvane::cli::UsageError& e) {
        std::cerr << "quorvane: " << e.message << "\n\n";
        quorvane::cli::print_commands(std::cerr);
        return quorvane::cli::kExitUsage;
    } catch (const std::exception& e) {
        return quorvane::cli::report_failure(std::string("error: ") + e.what());
    }
}
