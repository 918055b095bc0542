#include "apps/quorvane-cli/ap_selection.hpp"

#include <fstream>
#include <sstream>

#include "apps/quorvane-cli/cli.hpp"

namespace quorvane::cli {

namespace {

// "--name VALUE" or "--name=VALUE" at args[i]; no value when args[i] is another option.
std::optional<std::string> option_value(const std::vector<std::string>& args, std::size_t& i,
                                        const std::string& name) {
    const std::string& arg = args[i];
    if (arg.rfind(name + "=", 0) == 0) return arg.substr(name.size() + 1);
    if (arg != name) return std::nullopt;
    if (i + 1 == args.size()) throw UsageError{name + " needs a value"};
    return args[++i];
}

std::string string_field(const nlohmann::json& entry, const char* key, bool required) {
    const auto found = entry.find(key);
    if (found == entry.end()) {
        if (required) throw std::runtime_error(std::string("an AP has no \"") + key + "\"");
        return "";
    }
    if (!found->is_string()) throw std::runtime_error(std::string("\"") + key + "\" is not text");
    return found->get<std::string>();
}

}  // namespace

bool take_selection_option(const std::vector<std::string>& args, std::size_t& i,
                           ApSelection& selection) {
    if (args[i] == "--flash-checker") {
        selection.flash_checker = true;
        return true;
    }
    if (auto value = option_value(args, i, "--section")) {
        if (value->empty()) throw UsageError{"--section needs a section name such as WLC2"};
        selection.section = std::move(*value);
        return true;
    }
    if (auto value = option_value(args, i, "--site-tag")) {
        if (value->empty()) throw UsageError{"--site-tag needs a site tag name"};
        selection.site_tag = std::move(*value);
        return true;
    }
    if (auto value = option_value(args, i, "--model-group")) {
        selection.model_group = std::move(*value);
        return true;
    }
    return false;
}

SelectedAps fetch_selected_aps(Quorvane& engine, const ApSelection& selection) {
    if (selection.flash_checker) {
        engine.operation = "WLC & AP";
        engine.workflow = "AP Flash Checker";
    }
    SelectedAps selected;
    selected.rows = selection.section ? engine._fetch_ap_list_for_section(*selection.section)
                                      : engine.fetch_full_ap_list();
    if (selection.site_tag) {
        auto [kept, total] = selection.section
                                 ? engine._filter_by_site_tag_section(
                                       *selection.section, selected.rows, *selection.site_tag)
                                 : engine.filter_by_site_tag(selected.rows, *selection.site_tag);
        selected.rows = std::move(kept);
        selected.total = total;
    }
    if (selection.model_group) {
        selected.rows = engine.filter_by_model_group(selected.rows, *selection.model_group);
    }
    return selected;
}

nlohmann::json ap_rows_json(const ApRows& rows) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& row : rows) {
        list.push_back({{"name", row->name},
                        {"model", row->model},
                        {"ip", row->ip},
                        {"site_tag", row->site_tag},
                        {"wlc_ip", row->wlc_ip}});
    }
    return list;
}

ApRows read_ap_rows_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError{"cannot read the AP list " + path};
    std::stringstream text;
    text << in.rdbuf();
    try {
        const nlohmann::json document = nlohmann::json::parse(text.str());
        if (!document.is_object() || !document.contains("aps") || !document["aps"].is_array()) {
            throw std::runtime_error("it has no \"aps\" list");
        }
        ApRows rows;
        for (const auto& entry : document["aps"]) {
            if (!entry.is_object()) throw std::runtime_error("an AP entry is not an object");
            rows.push_back(make_ap_row(
                string_field(entry, "ip", true), string_field(entry, "model", true),
                string_field(entry, "name", true), string_field(entry, "site_tag", false),
                string_field(entry, "wlc_ip", false)));
        }
        return rows;
    } catch (const std::exception& e) {
        throw UsageError{"the AP list " + path +
                         " is not the output of 'quorvane aps fetch --json': " + e.what()};
    }
}

}  // namespace quorvane::cli
