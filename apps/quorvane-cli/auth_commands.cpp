// auth-loop and deauth: clients stuck authenticating, found over the observation window
// and removed on request.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "apps/quorvane-cli/auth_status.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/engine_log.hpp"
#include "apps/quorvane-cli/interrupt.hpp"
#include "apps/quorvane-cli/mac_address.hpp"
#include "apps/quorvane-cli/settings_check.hpp"
#include "apps/quorvane-cli/simulation.hpp"
#include "quorvane/clientauth/deleted_clients_file.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

namespace {

// A demonstration should not take a quarter of an hour per simulated controller.
constexpr int kSimulatedWindowSeconds = 10;
constexpr int kMaxWindowSeconds = 86400;
const std::string kSavedPrefix = "[AUTH] Deleted MACs saved to: ";

struct AuthLoopOptions {
    std::optional<int> window;
    bool collect = false;
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
        } else if (arg == "--collect") {
            options.collect = true;
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
    if (options.deauth && !options.yes && !isatty(STDIN_FILENO)) {
        throw UsageError{
            "--deauth asks before it deauthenticates, and standard input is not a terminal to "
            "ask on: add --yes to deauthenticate the stuck clients without asking"};
    }
    return options;
}

// Which controllers confirmed each stuck client, read from the workflow's log lines.
class StuckClientOrigins {
  public:
    void observe(const std::string& line) {
        static const std::string controller = "[AUTH] ===== WLC: ";
        static const std::string marked = "[AUTH][MARKED] ";
        if (line.rfind(controller, 0) == 0) {
            section_ = line.substr(controller.size(),
                                   line.find(" =====", controller.size()) - controller.size());
        } else if (line.rfind(marked, 0) == 0) {
            const std::string mac =
                line.substr(marked.size(), line.find(' ', marked.size()) - marked.size());
            found_on_[mac].push_back(section_);
        }
    }
    std::string sections_of(const std::string& mac) const {
        const auto found = found_on_.find(mac);
        std::string text;
        if (found == found_on_.end()) return text;
        for (const auto& section : found->second) text += (text.empty() ? "" : ", ") + section;
        return text;
    }

  private:
    std::string section_;
    std::map<std::string, std::vector<std::string>> found_on_;
};

std::vector<std::string> distinct(const std::vector<std::string>& macs) {
    std::vector<std::string> once;
    for (const auto& mac : macs) {
        if (std::find(once.begin(), once.end(), mac) == once.end()) once.push_back(mac);
    }
    return once;
}

// Lists what will be deauthenticated, one line per client, then asks. Only called with a
// terminal on standard input.
bool confirmed_on_terminal(const std::vector<std::string>& macs, const StuckClientOrigins& origins,
                           std::size_t controllers) {
    std::cerr << "Stuck clients to deauthenticate on every controller:\n";
    for (const auto& mac : macs) {
        std::cerr << "  " << mac << "  stuck on " << origins.sections_of(mac) << "\n";
    }
    std::cerr << "Deauthenticate these " << macs.size() << " client(s) on all " << controllers
              << " controller(s)? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes";
}

// The stamp of the deleted-clients file names the archive too; a run whose file could not
// be written stamps it now.
std::string collection_stamp(const std::optional<std::string>& file) {
    static const std::string prefix = "deleted_clients_";
    if (file) {
        const std::string name = std::filesystem::path(*file).stem().string();
        if (name.rfind(prefix, 0) == 0) return name.substr(prefix.size());
    }
    return file_name_stamp(std::chrono::system_clock::now());
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
    options.ssh_port = start_devices(common);
    // The program collects after its question, if at all.
    options.auth_debug_collection = false;
    if (opts.window) {
        options.auth_window_seconds = *opts.window;
    } else if (common.simulate) {
        options.auth_window_seconds = kSimulatedWindowSeconds;
        std::cerr << "quorvane: simulated fleet: observation window " << kSimulatedWindowSeconds
                  << " s (--window changes it)\n";
    }

    EngineLog log(common.verbose);
    AuthLiveLine live(std::cerr, isatty(STDERR_FILENO) != 0, options.auth_window_seconds);
    std::optional<std::string> file;
    StuckClientOrigins origins;
    log.watch([&](const std::string& line) {
        if (line.rfind(kSavedPrefix, 0) == 0) file = line.substr(kSavedPrefix.size());
        origins.observe(line);
        live.observe(line);
    });
    log.show_through([&live](const std::string& line) { live.print(line); });
    Quorvane engine(options, std::ref(log));
    log.write_to(engine.data_dir);
    if (const std::string missing = missing_settings(engine, controller_settings());
        !missing.empty()) {
        live.finish();
        return report_failure(missing);
    }

    InterruptHandler interrupt([&engine] { engine.shutdown(); });
    std::vector<std::string> delete_list;
    try {
        delete_list = engine.run_client_auth_workflow();
    } catch (const std::exception& e) {
        live.finish();
        report_failure(std::string("the stuck-client run failed: ") + e.what());
        return interrupt.interrupted() ? kExitInterrupted : kExitFailed;
    }
    live.finish();

    const std::vector<std::string> sections = engine._get_wlc_sections();
    const std::vector<std::string> stuck = distinct(delete_list);
    bool deauthenticated = false;
    std::optional<std::string> deauth_error;
    if (interrupt.interrupted()) {
        std::cerr << "quorvane: stopped"
                  << (file ? "" : " during the observation window; nothing was recorded") << "\n";
    } else if (!stuck.empty()) {
        const bool go =
            opts.deauth && (opts.yes || confirmed_on_terminal(stuck, origins, sections.size()));
        if (opts.collect) {
            engine.collect_auth_debugs(sections, collection_stamp(file));
        } else {
            std::cerr << "quorvane: no trace archive or core dump was collected (--collect "
                         "collects them)\n";
        }
        if (go) {
            try {
                engine.deauth_clients(stuck);
                deauthenticated = true;
            } catch (const std::exception& e) {
                deauth_error = e.what();
            }
        } else if (opts.deauth) {
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
            std::cout << "Deauthenticated " << stuck.size() << " client(s) on every controller.\n";
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
    options.ssh_port = start_devices(common);
    EngineLog log(common.verbose);
    Quorvane engine(options, std::ref(log));
    log.write_to(engine.data_dir);
    if (const std::string missing = missing_settings(engine, controller_settings());
        !missing.empty()) {
        return report_failure(missing);
    }
    const std::size_t controllers = engine._get_wlc_sections().size();
    engine.deauth_clients(macs);
    std::cerr << "quorvane: sent " << macs.size() << " deauthentication(s) to each of "
              << controllers << " controller(s)\n";
    return kExitOk;
}

}  // namespace quorvane::cli
