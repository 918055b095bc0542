#pragma once
// The command-line host: options every subcommand shares, and the subcommand table.

#include <string>
#include <vector>

namespace quorvane {
class Quorvane;
}

namespace quorvane::cli {

// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Options every command takes, before or after the command's name.
struct CommonOptions {
    int ssh_port = 22;
    bool ssh_port_given = false;
    bool simulate = false;
    bool verbose = false;
};

// Thrown for a command line that cannot be understood; main prints it with a pointer to
// the help.
struct UsageError {
    std::string message;
};

struct Subcommand {
    const char* name;
    const char* summary;
    const char* usage;  // arguments and options of its own, one per line
    int (*run)(const CommonOptions& common, const std::vector<std::string>& args);
};

int run_wlc_run(const CommonOptions& common, const std::vector<std::string>& args);
// aps VERB ...: the AP inventory; each verb is its own function.
int run_aps(const CommonOptions& common, const std::vector<std::string>& args);
int run_aps_fetch(const CommonOptions& common, const std::vector<std::string>& args);
int run_aps_poll(const CommonOptions& common, const std::vector<std::string>& args);
int run_flash_check(const CommonOptions& common, const std::vector<std::string>& args);
int run_config(const CommonOptions& common, const std::vector<std::string>& args);
int run_auth_loop(const CommonOptions& common, const std::vector<std::string>& args);
int run_deauth(const CommonOptions& common, const std::vector<std::string>& args);

// The non-blank lines of a command file; throws UsageError when it cannot be read.
std::vector<std::string> read_command_file(const std::string& file);

// Parses a decimal TCP port; throws UsageError naming the option otherwise.
int parse_port(const std::string& option, const std::string& text);

// Says on standard error what stopped the command and, when the command line asked for
// --json, prints {"error": message} as one JSON object on standard output, so that a
// script reading the JSON learns why there is no result. Returns the failure status.
int report_failure(const std::string& message);
// Set by main when the command's own arguments hold --json.
void set_json_output(bool json);

// The text as one shell word that a POSIX shell reads back unchanged.
std::string shell_quoted(const std::string& text);

}  // namespace quorvane::cli
