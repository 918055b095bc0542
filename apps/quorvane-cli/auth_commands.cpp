// auth-loop and deauth: clients stuck authenticating, found over the observation window
// and removed on request.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "apps/quorvane-cli/auth_status.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "apps/quorvane-cli/mac_address.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

namespace {

// A demonstration should not take a quarter of an hour per simulated controller.
constexpr int kSimulatedWindowSeconds = 10;
constexpr int kMaxWindowSeconds = 86400;
const std::string kSavedPrefix = "[AUTH] Deleted MACs saved to: ";

struct AuthLoopOptions {
    std::optional<int> window;
    bool deauth = false;
    bool yes = false;
    bool json = false;
};

int parse_window(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const int seconds = digits ? std::stoi(text) : -1;
    if (seconds < 0 || seconds > kMaxWindowSeconds) {
        throw UsageError{"--window needs whole seconds from 0 to " +
                         std::to_string(kMaxWindowSeconds) + ", not '" + text + "'"};
    }
    return seconds;
}

AuthLoopOptions parse_auth_loop(const std::vector<std::string>& args) {
    AuthLoopOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--window") {
            if (i + 1 == args.size()) throw UsageError{"--window needs a number of seconds"};
            options.window = parse_window(args[++i]);
        } else if (arg.rfind("--window=", 0) == 0) {
            options.window = parse_window(arg.substr(9));
        } else if (arg == "--deauth") {
            options.deauth = true;
        } else if (arg == "--yes") {
            options.yes = true;
        } else if (arg == "--json") {
            options.json = true;
        } else {
            throw UsageError{"unexpected argument '" + arg + "' for auth-loop"};
        }
    }
    if (options.yes && !options.deauth) throw UsageError{"--yes only goes with --deauth"};
    return options;
}

bool confirmed_on_terminal(std::size_t count) {
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return true;
    std::cerr << "Deauthenticate " << count << " client(s) on every controller? [y/N] "
              << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes";
}

void print_result(const std::vector<std::string>& delete_list,
                  const std::optional<std::string>& file) {
    if (delete_list.empty()) {
        std::cout << "No stuck clients found.\n";
    } else {
        std::cout << "Stuck clients (" << delete_list.size() << "):\n";
        for (const auto& mac : delete_list) std::cout << "  " << mac << "\n";
    }
    std::cout << "Deleted-clients file: " << file.value_or("(not written)") << "\n" << std::flush;
}

}  // namespace

int run_auth_loop(const CommonOptions& common, const std::vector<std::string>& args) {
    const AuthLoopOptions opts = parse_auth_loop(args);
    EngineOptions options;
    options.ssh_port = common.ssh_port;
    if (opts.window) {
        options.auth_window_seconds = *opts.window;
    } else if (common.simulate) {
        options.auth_window_seconds = kSimulatedWindowSeconds;
        std::cerr << "quorvane: simulated fleet: observation window " << kSimulatedWindowSeconds
                  << " s (--window changes it)\n";
    }

    // With --json standard output holds the result object alone.
    std::ostream& log_out = opts.json ? std::cerr : std::cout;
    AuthLiveLine live(log_out, isatty(STDERR_FILENO) != 0, options.auth_window_seconds);
    std::optional<std::string> file;
    Quorvane engine(options, [&](const std::string& line) {
        if (line.rfind(kSavedPrefix, 0) == 0) file = line.substr(kSavedPrefix.size());
        live.log(line);
    });
    if (no_controllers_configured(engine)) return kExitFailed;

    InterruptHandler interrupt([&engine] { engine.shutdown(); });
    std::vector<std::string> delete_list;
    try {
        delete_list = engine.run_client_auth_workflow();
    } catch (const std::exception& e) {
        live.finish();
        std::cerr << "quorvane: the stuck-client run failed: " << e.what() << "\n";
        return interrupt.interrupted() ? kExitInterrupted : kExitFailed;
    }
    live.finish();

    bool deauthenticated = false;
    std::optional<std::string> deauth_error;
    if (interrupt.interrupted()) {
        std::cerr << "quorvane: stopped"
                  << (file ? "" : " during the observation window; nothing was recorded") << "\n";
    } else if (opts.deauth && !delete_list.empty()) {
        if (opts.yes || confirmed_on_terminal(delete_list.size())) {
            try {
                engine.deauth_clients(delete_list);
                deauthenticated = true;
            } catch (const std::exception& e) {
                deauth_error = e.what();
            }
        } else {
            std::cerr << "quorvane: not deauthenticated\n";
        }
    }

    const bool stopped_in_window = interrupt.interrupted() && !file;
    if (opts.json) {
        const nlohmann::json result = {{"delete_list", delete_list},
                                       {"file", file ? nlohmann::json(*file) : nullptr},
                                       {"deauthenticated", deauthenticated}};
        std::cout << result.dump() << "\n" << std::flush;
    } else if (!stopped_in_window) {
        print_result(delete_list, file);
        if (deauthenticated) {
            std::cout << "Deauthenticated " << delete_list.size()
                      << " client(s) on every controller.\n";
        }
    }
    if (interrupt.interrupted()) return kExitInterrupted;
    if (deauth_error) {
        std::cerr << "quorvane: deauthentication failed: " << *deauth_error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int run_deauth(const CommonOptions& common, const std::vector<std::string>& args) {
    std::vector<std::string> macs;
    for (const auto& arg : args) {
        if (arg.rfind("--", 0) == 0) throw UsageError{"unknown option " + arg};
        const auto mac = normalise_mac(arg);
        if (!mac) {
            throw UsageError{"'" + arg +
                             "' is not a MAC address (use 0011.22aa.bbcc, 00:11:22:aa:bb:cc "
                             "or 00-11-22-aa-bb-cc)"};
        }
        macs.push_back(*mac);
    }
    if (macs.empty()) throw UsageError{"give the MAC addresses of the clients to deauthenticate"};

    EngineOptions options;
    options.ssh_port = common.ssh_port;
    Quorvane engine(options, [](const std::string& line) { print_stdout_line(line); });
    if (no_controllers_configured(engine)) return kExitFailed;
    const std::size_t controllers = engine._get_wlc_sections().size();
    engine.deauth_clients(macs);
    std::cerr << "quorvane: sent " << macs.size() << " deauthentication(s) to each of "
              << controllers << " controller(s)\n";
    return kExitOk;
}

}  // namespace quorvane::cli
