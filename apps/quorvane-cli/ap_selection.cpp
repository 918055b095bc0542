#include "apps/quorvane-cli/ap_selection.hpp"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
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

namespace {

// What the fetch's log lines tell about each controller.
struct ControllerOutcomes {
    int answered = 0;
    long long listed = 0;
    std::vector<std::string> failures;  // "WLC2: error"
};

void watch_fetch(EngineLog& log, const std::shared_ptr<ControllerOutcomes>& outcomes) {
    static const std::string completed = "[WLC] Completed ";
    static const std::string failed = "[WLC ERROR] ";
    log.watch([outcomes](const std::string& line) {
        if (line.rfind(completed, 0) == 0) {
            ++outcomes->answered;
            const auto open = line.rfind(" (");
            if (open != std::string::npos) outcomes->listed += std::atoll(line.c_str() + open + 2);
        } else if (line.rfind(failed, 0) == 0) {
            outcomes->failures.push_back(line.substr(failed.size()));
        }
    });
}

bool is_dotted_mac(const std::string& text) {
    if (text.size() != 14 || text[4] != '.' || text[9] != '.') return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 4 && i != 9 && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : separator) + item;
    return text;
}

std::string why_nothing_fetched(const ControllerOutcomes& outcomes, bool qca_only) {
    if (outcomes.answered == 0 && !outcomes.failures.empty()) {
        return "no controller answered the AP list request (" + joined(outcomes.failures, "; ") +
               ")";
    }
    if (outcomes.listed == 0) return "the controllers list no AP";
    std::string text = qca_only ? "none of the " + std::to_string(outcomes.listed) +
                                      " APs the controllers list is QCA-based"
                                : "the controllers list no AP";
    if (!outcomes.failures.empty()) text += "; failed: " + joined(outcomes.failures, "; ");
    return text;
}

// Keeps the rows whose site-tag column is exactly `site_tag` on their own controller.
// A controller that cannot be asked stops the selection: without its answer the rows
// it manages could only be kept all or dropped all, and neither is what was asked.
ApRows select_site_tag(Quorvane& engine, const ApSelection& selection, const ApRows& rows,
                       SelectedAps& selected) {
    const std::string& tag = *selection.site_tag;
    const std::vector<std::string> sections = selection.section
                                                  ? std::vector<std::string>{*selection.section}
                                                  : engine._get_wlc_sections();
    std::set<std::pair<std::string, std::string>> tagged;   // controller address, AP name
    std::map<std::string, std::set<std::string>> left_out;  // other tag holding the text: APs
    std::set<std::string> known_tags;
    int total = 0;
    for (const auto& section : sections) {
        const SiteTagAnswer answer = engine.query_site_tag(section, tag);
        const std::string address = engine.ini.get(section, "wlc_ip", "");
        if (!answer.error.empty()) {
            throw SiteTagQueryFailed("controller " + section + " (" + address +
                                     ") could not be asked which APs carry site tag '" + tag +
                                     "': " + answer.error +
                                     ". Nothing was selected, so no AP was touched");
        }
        _safe_write_append((std::filesystem::path(engine.data_dir) / "aplist_tag.txt").string(),
                           answer.tagged + "\n");
        total += answer.total.value_or(0);
        for (const auto& [name, site_tag] : site_tag_rows(answer.summary)) {
            known_tags.insert(site_tag);
            if (site_tag == tag) {
                tagged.emplace(address, name);
            } else if ((name + " " + site_tag).find(tag) != std::string::npos) {
                left_out[site_tag].insert(name);
            }
        }
    }
    selected.total = total > 0 ? total : static_cast<int>(rows.size());
    for (const auto& [other, names] : left_out) {
        std::cerr << "quorvane: left out " << names.size() << " APs of site tag " << other
                  << " (--site-tag " << tag << " selects that tag exactly)\n";
    }
    ApRows kept;
    for (const auto& row : rows) {
        if (!tagged.count({row->wlc_ip, row->name})) continue;
        row->site_tag = tag;
        kept.push_back(row);
    }
    if (kept.empty()) {
        if (!known_tags.count(tag)) {
            selected.why_empty =
                "the filter matched nothing: no controller has site tag '" + tag + "'" +
                (known_tags.empty() ? std::string("; they report no site tags")
                                    : "; the site tags they have: " +
                                          joined({known_tags.begin(), known_tags.end()}, ", "));
        } else {
            selected.why_empty =
                "the filter matched nothing: the " + std::to_string(tagged.size()) +
                " APs of site tag '" + tag + "' are not among the " + std::to_string(rows.size()) +
                (selection.flash_checker ? " QCA-based" : "") + " APs the controllers list";
        }
    }
    return kept;
}

}  // namespace

SelectedAps fetch_selected_aps(Quorvane& engine, EngineLog& log, const ApSelection& selection) {
    if (selection.flash_checker) {
        engine.operation = "WLC & AP";
        engine.workflow = "AP Flash Checker";
    }
    const auto outcomes = std::make_shared<ControllerOutcomes>();
    watch_fetch(log, outcomes);
    // With the log lines off the terminal, the wait for the controllers needs a word.
    if (!log.shown()) {
        std::cerr << "quorvane: asking "
                  << (selection.section ? "controller " + *selection.section : "the controllers")
                  << " for their APs...\n";
    }
    SelectedAps selected;
    selected.rows = selection.section ? engine._fetch_ap_list_for_section(*selection.section)
                                      : engine.fetch_full_ap_list();
    if (selected.rows.empty()) {
        selected.why_empty = why_nothing_fetched(*outcomes, engine.workflow == "AP Flash Checker");
        return selected;
    }
    if (selection.site_tag) {
        selected.rows = select_site_tag(engine, selection, selected.rows, selected);
        if (selected.rows.empty()) return selected;
    }
    if (selection.model_group) {
        const std::size_t before = selected.rows.size();
        selected.rows = engine.filter_by_model_group(selected.rows, *selection.model_group);
        if (selected.rows.empty()) {
            selected.why_empty = "the filter matched nothing: --model-group '" +
                                 *selection.model_group + "' names none of the models of the " +
                                 std::to_string(before) + " selected APs";
        }
    }
    return selected;
}

std::vector<std::pair<std::string, std::string>> site_tag_rows(const std::string& output) {
    std::vector<std::pair<std::string, std::string>> rows;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string name, mac, site_tag;
        if (words >> name >> mac >> site_tag && is_dotted_mac(mac)) {
            rows.emplace_back(std::move(name), std::move(site_tag));
        }
    }
    return rows;
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
