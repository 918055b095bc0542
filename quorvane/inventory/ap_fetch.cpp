#include <algorithm>
#include <map>
#include <unordered_set>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/errors.hpp"
#include "quorvane/engine/secret_mask.hpp"
#include "quorvane/engine/task_pool.hpp"
#include "quorvane/inventory/ap_filters.hpp"
#include "quorvane/inventory/ap_list_files.hpp"
#include "quorvane/inventory/wlc_parse.hpp"

namespace quorvane {

namespace {

constexpr std::size_t kMaxParallelControllers = 5;
constexpr double kApSummaryTimeout = 180;

// The workers hold the engine; whatever way the merge loop ends, none may outlive it.
struct WaitForWorkers {
    TaskPool<ApRows>& pool;
    ~WaitForWorkers() { pool.shutdown(true); }
};

}  // namespace

ApRows Quorvane::_process_single_wlc(const std::string& section) {
    ApRows rows;
    DeviceSessionPtr session;
    try {
        _log("[WLC] Connecting to " + section);
        session = _wlc_connect(section);
        const std::string output = session->send_command("show ap summary", kApSummaryTimeout);
        session->disconnect();
        session.reset();
        rows = WlcParse::parse_ap_summary(output);
        controller_failures.forget(section);
        for (const auto& row : rows) row->wlc_ip = ini.get(section, "wlc_ip", "");
        _log("[WLC] Completed " + section + " (" + std::to_string(rows.size()) + " APs)");
    } catch (const std::exception& e) {
        if (session) end_session(*session);
        _log("[WLC ERROR] " + section + ": " + e.what());
        controller_failures.record(section, SecretMask(ini).apply(failure_reason(e)));
        return {};
    }
    try {
        append_all_aps_list(rows);
    } catch (const std::exception& e) {
        _log(std::string("[ENGINE] ap_ip_list_all write failed: ") + e.what());
    }
    return rows;
}

ApRows Quorvane::fetch_full_ap_list() {
    _log("[WLC] Parallel fetch_full_ap_list() starting...");
    const std::vector<std::string> sections = _get_wlc_sections();
    if (sections.empty()) {
        throw EngineError("No WLC section with a wlc_ip in config.ini: nothing to fetch from");
    }

    ApRows merged;
    {
        TaskPool<ApRows> pool(std::min(sections.size(), kMaxParallelControllers));
        WaitForWorkers wait_for_workers{pool};
        std::map<std::size_t, std::string> section_of;
        for (const auto& section : sections) {
            section_of[pool.submit([this, section] { return _process_single_wlc(section); })] =
                section;
        }

        std::unordered_set<std::string> seen_ips;
        while (auto done = pool.next_finished()) {
            const std::string& section = section_of.at(done->index);
            try {
                const ApRows rows = done->take();
                for (const auto& row : rows) {
                    if (seen_ips.insert(row->ip).second) merged.push_back(row);
                }
                _log("[WLC] [" + section + "] merged " + std::to_string(rows.size()) + " APs");
            } catch (const std::exception& e) {
                _log("[WLC ERROR] " + section + ": " + e.what());
            }
        }
    }
    _log("[WLC] Total APs across all WLCs: " + std::to_string(merged.size()));

    if (operation == "WLC & AP" && workflow == "AP Flash Checker") {
        return keep_qca_models_logged(merged, [this](const std::string& msg) { _log(msg); });
    }
    return merged;
}

ApRows Quorvane::_fetch_ap_list_for_section(const std::string& section) {
    try {
        ApRows rows = _process_single_wlc(section);
        if (workflow != "AP Flash Checker") return rows;
        ApRows kept = keep_qca_models(rows);
        _log("[FILTER] " + section + ": " + std::to_string(kept.size()) + "/" +
             std::to_string(rows.size()) + " APs after QCA filter");
        return kept;
    } catch (const std::exception& e) {
        _log("[WLC] _fetch_ap_list_for_section [" + section + "] error: " + e.what());
        return {};
    }
}

}  // namespace quorvane
