// config: look at and change config.ini without a text editor, secrets included.

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/simulation.hpp"
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

// The keys some part of quorvane reads, by section. A controller section is WLC or WLC
// followed by digits; its command override section adds "_CMDS".
struct KnownSection {
    const char* name;  // "WLC#" stands for WLC, WLC2, WLC3, ...
    std::vector<std::string> keys;
};

const KnownSection kKnownSections[] = {
    {"WLC#", {"wlc_ip", "wlc_user", "wlc_pasw", "wlcipaddr"}},
    {"WLC#_CMDS", {"cmds"}},
    {"AP", {"ap_user", "ap_pasw", "ap_enable"}},
    {"FTP", {"ftp_proto", "ftp_addr", "ftp_path", "ftp_user", "ftp_pasw", "scp_port"}},
    {"SSH", {"legacy_algorithms"}},
    {"CRONJOB", {"collect_archive_wnccore_count"}},
};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "WLC12_CMDS" matches "WLC#_CMDS"; the digits may be left out ("WLC").
bool matches_section(const std::string& section, const std::string& pattern) {
    const auto hash = pattern.find('#');
    if (hash == std::string::npos) return section == pattern;
    const std::string head = pattern.substr(0, hash);
    const std::string tail = pattern.substr(hash + 1);
    if (section.size() < head.size() + tail.size() || section.rfind(head, 0) != 0 ||
        section.compare(section.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    const std::string digits =
        section.substr(head.size(), section.size() - head.size() - tail.size());
    return digits.find_first_not_of("0123456789") == std::string::npos;
}

const KnownSection* known_section(const std::string& section) {
    for (const auto& known : kKnownSections) {
        if (matches_section(section, known.name)) return &known;
    }
    return nullptr;
}

// Why nothing would come of storing this key, or "" when quorvane reads it.
std::string name_problem(const std::string& section, const std::string& key) {
    const KnownSection* known = known_section(section);
    if (!known) {
        if (known_section(upper(section))) {
            return "section names are case-sensitive: quorvane reads [" + upper(section) +
                   "], not [" + section + "]";
        }
        return "no part of quorvane reads section [" + section + "]";
    }
    const std::string name = lower(key);
    if (std::find(known->keys.begin(), known->keys.end(), name) == known->keys.end()) {
        std::string keys;
        for (const auto& k : known->keys) keys += (keys.empty() ? "" : ", ") + k;
        return "no part of quorvane reads [" + section + "] " + key + " (it reads " + keys + ")";
    }
    return "";
}

// Why the value would not work for this key, or "" when it can.
std::string value_problem(const std::string& key, const std::string& value) {
    const std::string name = lower(key);
    if ((name == "wlc_ip" || name == "ftp_addr") && !_is_ipv4(value)) {
        return name + " must be an IPv4 address such as 192.0.2.10, not '" + value + "'";
    }
    if (name == kLegacyAlgorithmsKey) {
        try {
            parse_legacy_algorithms(value);
        } catch (const EngineError&) {
            return "[SSH] legacy_algorithms takes yes or no, not '" + value + "'";
        }
    }
    return "";
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
    const std::string prompt = "Value for [" + section + "] " + key + ": ";
    if (isatty(STDIN_FILENO) && is_secret_key(key)) return read_hidden_line(prompt);
    if (isatty(STDIN_FILENO)) std::cerr << prompt << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) throw UsageError{"no value on standard input"};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Reads config.ini without writing it: a missing file is not created, defaults are not
// filled in. Only a file in the older flat form goes through the store, which converts it.
int config_show(const CommonOptions& common, const std::vector<std::string>& args) {
    if (!args.empty()) throw UsageError{"config show takes no arguments"};
    start_devices(common);
    const std::string path = config_path();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "quorvane: there is no " << path
                  << " yet; 'quorvane config set SECTION KEY' creates it\n";
        return kExitOk;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    IniDocument document;
    try {
        document = parse_ini(text, path);
    } catch (const MissingSectionHeaderError&) {
        document = IniStore(path).cfg;
    }
    std::cout << write_ini(masked(document));
    return kExitOk;
}

int config_set(const CommonOptions& common, std::vector<std::string> args) {
    const auto force_at = std::find(args.begin(), args.end(), "--force");
    const bool force = force_at != args.end();
    if (force) args.erase(force_at);
    if (args.size() < 2 || args.size() > 3) {
        throw UsageError{"config set needs SECTION KEY [VALUE]"};
    }
    const std::string& section = args[0];
    const std::string& key = args[1];
    check_names(section, key);
    const auto refuse_if = [force](const std::string& problem) {
        if (!force && !problem.empty()) {
            throw UsageError{problem + "; not stored (--force stores it anyway)"};
        }
    };
    refuse_if(name_problem(section, key));
    if (args.size() == 3) refuse_if(value_problem(key, args[2]));
    start_devices(common);
    const std::string value = args.size() == 3 ? args[2] : read_value(section, key);
    refuse_if(value_problem(key, value));
    // The store writes as it loads when it fills in defaults, so both steps are covered.
    const auto saved = [&] {
        try {
            IniStore store(config_path());
            // Read afresh under the lock every writer takes: a running engine may have saved
            // since.
            store.update([&](IniStore& fresh) { fresh.set(section, key, value); });
            return store.path;
        } catch (const std::filesystem::filesystem_error& e) {
            throw std::runtime_error(std::string(e.what()) +
                                     " (a shared install: set QUORVANE_BASE_DIR to a folder of "
                                     "your own)");
        }
    };
    const std::string path = saved();
    std::cerr << "quorvane: [" << section << "] " << key << " saved"
              << (is_secret_key(key) ? " (scrambled)" : "") << " in " << path << "\n";
    return kExitOk;
}

int config_path_verb(const CommonOptions& common, const std::vector<std::string>& args) {
    if (!args.empty()) throw UsageError{"config path takes no arguments"};
    start_devices(common);
    std::cout << config_path() << "\n";
    return kExitOk;
}

}  // namespace

int run_config(const CommonOptions& common, const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"config needs a verb: show, set or path"};
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "show") return config_show(common, rest);
    if (args[0] == "set") return config_set(common, rest);
    if (args[0] == "path") return config_path_verb(common, rest);
    throw UsageError{"unknown config verb '" + args[0] + "'"};
}

}  // namespace quorvane::cli
