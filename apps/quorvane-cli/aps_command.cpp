// aps: the AP inventory. Each verb is one entry of the table below.

#include <functional>
#include <iostream>

#include "apps/quorvane-cli/ap_selection.hpp"
#include "apps/quorvane-cli/cli.hpp"
#include "apps/quorvane-cli/controller_causes.hpp"
#include "apps/quorvane-cli/engine_log.hpp"
#include "apps/quorvane-cli/settings_check.hpp"
#include "apps/quorvane-cli/simulation.hpp"
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
    options.ssh_port = start_devices(common);
    EngineLog log(common.verbose);
    Quorvane engine(options, std::ref(log));
    log.write_to(engine.data_dir);
    if (const std::string missing =
            missing_settings(engine, controller_settings(selection.section));
        !missing.empty()) {
        return report_failure(missing);
    }

    SelectedAps selected;
    try {
        selected = fetch_selected_aps(engine, log, selection);
    } catch (const std::exception& e) {
        print_controller_causes(engine);
        return report_failure(e.what());
    }
    print_controller_causes(engine);
    if (selected.rows.empty()) return report_failure("no AP selected: " + selected.why_empty);
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
    return kExitOk;
}

}  // namespace quorvane::cli
