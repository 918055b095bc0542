#include "quorvane/inventory/ap_filters.hpp"

#include <re2/re2.h>

#include <climits>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/errors.hpp"
#include "quorvane/inventory/qca.hpp"
#include "quorvane/inventory/wlc_parse.hpp"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

// The rows named in `names`, in that order, each tagged with `site_tag`. Every row that
// holds a name is kept (two APs may share one), and each address at most once (two
// controllers may list the same AP), so no AP is listed or polled twice.
ApRows rows_named(const ApRows& full_rows, const std::vector<std::string>& names,
                  const std::string& site_tag) {
    std::unordered_map<std::string, std::vector<ApRowPtr>> by_name;
    for (const auto& row : full_rows) {
        if (row) by_name[row->name].push_back(row);
    }
    std::unordered_set<std::string> kept_addresses;
    ApRows kept;
    for (const auto& name : names) {
        const auto found = by_name.find(name);
        if (found == by_name.end()) continue;
        for (const auto& row : found->second) {
            if (!kept_addresses.insert(row->ip).second) continue;
            row->site_tag = site_tag;
            kept.push_back(row);
        }
    }
    return kept;
}

int saturated_sum(int a, int b) { return b > INT_MAX - a ? INT_MAX : a + b; }

constexpr double kTagSummaryTimeout = 180;
constexpr double kTagFilterTimeout = 120;

}  // namespace

ApRows keep_qca_models(const ApRows& rows) {
    ApRows kept;
    for (const auto& row : rows) {
        if (is_qca_model(row->model)) kept.push_back(row);
    }
    return kept;
}

ApRows keep_qca_models_logged(const ApRows& rows,
                              const std::function<void(const std::string&)>& log) {
    log("[FILTER] Applying QCA model filter...");
    ApRows kept;
    for (const auto& row : rows) {
        if (is_qca_model(row->model)) {
            kept.push_back(row);
        } else {
            log("[FILTER REMOVED] " + row->name + " (" + row->model + ")");
        }
    }
    log("[FILTER RESULT] " + std::to_string(kept.size()) + " APs after filtering");
    return kept;
}

std::pair<ApRows, int> Quorvane::filter_by_site_tag(const ApRows& full_rows,
                                                    const std::string& site_tag) {
    _log("[WLC] filter_by_site_tag('" + site_tag + "') starting...");
    int total = 0;
    std::vector<std::string> names;
    const std::string tag_file = (fs::path(data_dir) / "aplist_tag.txt").string();
    for (const auto& section : _get_wlc_sections()) {
        DeviceSessionPtr session;
        try {
            session = _wlc_connect(section);
            const std::string summary =
                session->send_command("show ap tag summary", kTagSummaryTimeout);
            total = saturated_sum(
                total, WlcParse::parse_total_ap_cnt_from_tag_summary(summary).value_or(0));
            const std::string tagged =
                session->send_command("show ap tag summary | inc " + site_tag, kTagFilterTimeout);
            session->disconnect();
            session.reset();
            _safe_write_append(tag_file, tagged + "\n");
            const auto found = WlcParse::parse_ap_names_from_tag_summary(tagged, site_tag);
            names.insert(names.end(), found.begin(), found.end());
        } catch (const std::exception& e) {
            if (session) end_session(*session);
            _log("[WLC] [" + section + "] filter_by_site_tag failed: " + e.what());
        }
    }
    if (total == 0) total = static_cast<int>(full_rows.size());
    if (names.empty()) {
        if (full_rows.empty()) {
            throw EngineError("WLC has no APs (show ap summary returned 0 rows).");
        }
        throw EngineError("'" + site_tag + "' Site Tag Name Does not exist");
    }
    return {rows_named(full_rows, names, site_tag), total};
}

SiteTagAnswer Quorvane::query_site_tag(const std::string& section, const std::string& site_tag) {
    SiteTagAnswer answer;
    answer.section = section;
    DeviceSessionPtr session;
    try {
        session = _wlc_connect(section);
        answer.summary = session->send_command("show ap tag summary", kTagSummaryTimeout);
        answer.total = WlcParse::parse_total_ap_cnt_from_tag_summary(answer.summary);
        answer.tagged =
            session->send_command("show ap tag summary | inc " + site_tag, kTagFilterTimeout);
        session->disconnect();
    } catch (const std::exception& e) {
        if (session) end_session(*session);
        answer.error = e.what();
    }
    return answer;
}

std::pair<ApRows, int> Quorvane::_filter_by_site_tag_section(const std::string& section,
                                                             const ApRows& full_rows,
                                                             const std::string& site_tag) {
    const SiteTagAnswer answer = query_site_tag(section, site_tag);
    if (!answer.error.empty()) {
        _log("[WLC] site tag filter [" + section + "] failed: " + answer.error);
        return {full_rows, static_cast<int>(full_rows.size())};
    }
    int total = answer.total.value_or(0);
    if (total == 0) total = static_cast<int>(full_rows.size());
    const auto names = WlcParse::parse_ap_names_from_tag_summary(answer.tagged, site_tag);
    if (names.empty()) return {ApRows{}, total};
    return {rows_named(full_rows, names, site_tag), total};
}

ApRows Quorvane::filter_by_model_group(const ApRows& full_rows,
                                       const std::string& model_group_label) {
    if (model_group_label == "All AP Models") return full_rows;
    static const RE2 four_digits("([0-9]{4})");
    std::vector<std::string> numbers;
    re2::StringPiece rest(model_group_label);
    for (std::string number; RE2::FindAndConsume(&rest, four_digits, &number);) {
        numbers.push_back(number);
    }
    if (numbers.empty()) return full_rows;
    ApRows kept;
    for (const auto& row : full_rows) {
        for (const auto& number : numbers) {
            if (row->model.find(number) != std::string::npos) {
                kept.push_back(row);
                break;
            }
        }
    }
    return kept;
}

}  // namespace quorvane
