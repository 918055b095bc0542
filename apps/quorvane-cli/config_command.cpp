// config: look at and change config.ini without a text editor, secrets included.

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iostream>

#include "apps/quorvane-cli/cli.hpp"
#include "quorvane/config/ini_format.hpp"
#include "quorvane/quorvane.hpp"

namespace quorvane::cli {

namespace {

constexpr const char* kMasked = "****";

std::string config_path() { return (std::filesystem::path(CONFD) / "config.ini").string(); }

// Secret values become "****"; an empty one stays empty, so a missing password shows.
IniDocument masked(const IniDocument& document) {
    IniDocument out = document;
    for (const auto& [key, value] : document.defaults()) {
        if (is_secret_key(key) && !value.empty()) out.set("DEFAULT", key, kMasked);
    }
    for (const auto& section : document.all_sections()) {
        for (const auto& [key, value] : section.entries) {
            if (is_secret_key(key) && !value.empty()) out.set(section.name, key, kMasked);
        }
    }
    return out;
}

// Names that config.ini could not read back as the same section and key.
void check_names(const std::string& section, const std::string& key) {
    const auto has_any = [](const std::string& text, const char* chars) {
        return text.find_first_of(chars) != std::string::npos;
    };
    if (section.empty() || has_any(section, "[]\r\n") || section == "DEFAULT") {
        throw UsageError{"'" + section + "' cannot be a section name"};
    }
    if (key.empty() || has_any(key, "=:\r\n") || has_any(key.substr(0, 1), " \t#;[") ||
        key.find_last_not_of(" \t") != key.size() - 1) {
        throw UsageError{"'" + key + "' cannot be a key name"};
    }
}

struct termios saved_terminal;

extern "C" void restore_terminal_and_die(int sig) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
    signal(sig, SIG_DFL);
    raise(sig);
}

// One line typed at the terminal without echo; Ctrl-C leaves the terminal as it was.
std::string read_hidden_line(const std::string& prompt) {
    std::cerr << prompt << std::flush;
    if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) {
        throw std::runtime_error("cannot read the terminal settings");
    }
    struct termios quiet = saved_terminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    struct sigaction restore {
    }, old_int{}, old_term{};
    restore.sa_handler = restore_terminal_and_die;
    sigemptyset(&restore.sa_mask);
    sigaction(SIGINT, &restore, &old_int);
    sigaction(SIGTERM, &restore, &old_term);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal);
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    std::cerr << "\n";
    if (!got) throw UsageError{"no value typed"};
    return line;
}

std::string read_value(const std::string& section, const std::string& key) {
    if (isatty(STDIN_FILENO)) return read_hidden_line("Value for [" + section + "] " + key + ": ");
    std::string line;
    if (!std::getline(std::cin, line)) throw UsageError{"no value on standard input"};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int config_show(const std::vector<std::string>& args) {
    if (!args.empty()) throw UsageError{"config show takes no arguments"};
    const IniStore store(config_path());
    std::cout << write_ini(masked(store.cfg));
    return kExitOk;
}

int config_set(const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3) {
        throw UsageError{"config set needs SECTION KEY [VALUE]"};
    }
    const std::string& section = args[0];
    const std::string& key = args[1];
    check_names(section, key);
    const std::string value = args.size() == 3 ? args[2] : read_value(section, key);
    if (section == kSshSection && key == kLegacyAlgorithmsKey) {
        try {
            parse_legacy_algorithms(value);
        } catch (const EngineError&) {
            throw UsageError{"[SSH] legacy_algorithms takes yes or no, not '" + value + "'"};
        }
    }
    IniStore store(config_path());
    store.set(section, key, value);
    store.save();
    std::cerr << "quorvane: [" << section << "] " << key << " saved"
              << (is_secret_key(key) ? " (scrambled)" : "") << " in " << store.path << "\n";
    return kExitOk;
}

int config_path_verb(const std::vector<std::string>& args) {
    if (!args.empty()) throw UsageError{"config path takes no arguments"};
    std::cout << config_path() << "\n";
    return kExitOk;
}

}  // namespace

int run_config(const CommonOptions&, const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"config needs a verb: show, set or path"};
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "show") return config_show(rest);
    if (args[0] == "set") return config_set(rest);
    if (args[0] == "path") return config_path_verb(rest);
    throw UsageError{"unknown config verb '" + args[0] + "'"};
}

}  // namespace quorvane::cli
