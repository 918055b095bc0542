// aps: the AP inventory. Each verb is one entry of the table below.

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <mutex>

#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/controller_causes.hpp"
#include "apps/quorvane-cli/text_table.hpp"

namespace quorvane::cli {

namespace {

struct ApsVerb {
    const char* name;
    int (*run)(const CommonOptions& common, const std::vector<std::string>& args);
};

const ApsVerb kApsVerbs[] = {
    {"fetch", run_aps_fetch},
    {"poll", run_aps_poll},
};

// Workers log from several threads; each line is written whole.
void print_stderr_line(const std::string& line) {
    static std::mutex mutex;
    const std::string text = line + "\n";
    std::lock_guard lock(mutex);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void print_table(const ApRows& rows) {
    std::vector<std::vector<std::string>> cells;
    for (const auto& row : rows) {
        cells.push_back({row->name, row->model, row->ip, row->site_tag, row->wlc_ip});
    }
    print_text_table({"Name", "Model", "IP", "Site tag", "WLC"}, cells);
}

}  // namespace

int run_aps(const CommonOptions& common, const std::vector<std::string>& args) {
    std::string verbs;
    for (const auto& verb : kApsVerbs) {
        if (!args.empty() && args[0] == verb.name) {
            return verb.run(common, {args.begin() + 1, args.end()});
        }
        verbs += (verbs.empty() ? "" : ", ") + std::string(verb.name);
    }
    if (args.empty()) throw UsageError{"aps needs a verb: " + verbs};
    throw UsageError{"unknown aps verb '" + args[0] + "' (verbs: " + verbs + ")"};
}

int run_aps_fetch(const CommonOptions& common, const std::vector<std::string>& args) {
    ApSelection selection;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (!take_selection_option(args, i, selection)) {
            throw UsageError{"unknown argument '" + args[i] + "' for aps fetch"};
        }
    }

    EngineOptions options;
    options.ssh_port = common.ssh_port;
    Quorvane engine(options, json ? print_stderr_line : print_stdout_line);
    if (no_controllers_configured(engine)) return kExitFailed;

    SelectedAps selected;
    try {
        selected = fetch_selected_aps(engine, selection);
    } catch (const std::exception& e) {
        print_controller_causes(engine);
        std::cerr << "quorvane: " << e.what() << "\n";
        return kExitFailed;
    }
    print_controller_causes(engine);
    const std::string list_file = engine.write_filtered_ap_list(selected.rows);

    if (json) {
        const nlohmann::json result = {
            {"aps", ap_rows_json(selected.rows)},
            {"total", selected.total ? nlohmann::json(*selected.total) : nlohmann::json()},
            {"list_file", list_file},
            {"run_dir", engine.data_dir}};
        std::cout << result.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        print_table(selected.rows);
        std::cout << selected.rows.size() << " APs";
        if (selected.total) std::cout << " (controllers report " << *selected.total << ")";
        std::cout << "; list: " << list_file << "\n";
    }
    if (selected.rows.empty()) {
        std::cerr << "quorvane: no AP selected (see the [WLC] lines for controllers that "
                     "failed)\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace quorvane::cli
