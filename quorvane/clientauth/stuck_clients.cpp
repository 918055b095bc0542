// Stuck clients: MACs seen authenticating before and after a long window, confirmed in
// the client detail, recorded in the run folder, and the capped debug collection.

#include <algorithm>
#include <unordered_set>

#include "quorvane/clientauth/deleted_clients_file.hpp"
#include "quorvane/clientauth/scoped_session.hpp"
#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/quoted_list.hpp"

namespace quorvane {

namespace {

constexpr const char* kSummaryCommand = "show wireless client summary | include Authenticating";
constexpr const char* kAuthenticatingState = "Policy Manager State: Authenticating";
constexpr int kWaitStepSeconds = 30;
constexpr int kCollectionCap = 2;

// The MACs of `first` that `second` also holds, each once, in the order of `first`.
std::vector<std::string> present_in_both(const std::vector<std::string>& first,
                                         const std::vector<std::string>& second) {
    std::unordered_set<std::string> later(second.begin(), second.end());
    std::vector<std::string> both;
    for (const auto& mac : first) {
        if (later.erase(mac) > 0) both.push_back(mac);
    }
    return both;
}

std::string fetch_summary(Quorvane& engine, ScopedSession& session) {
    engine._log(std::string("[AUTH][CMD] ") + kSummaryCommand);
    return session->send_command(kSummaryCommand);
}

// The window between the two looks. False when shutdown ended it. A stop wakes the sleep
// at once, so the run ends well before the step would.
bool wait_out_window(Quorvane& engine, int window) {
    int elapsed = 0;
    while (elapsed < window) {
        if (engine._shutdown_event.load()) return false;
        const int step = std::min(kWaitStepSeconds, window - elapsed);
        if (!engine.sleep_unless_stopped(step)) return false;
        elapsed += step;
        if (elapsed < window) {
            engine._log("[AUTH] Still waiting... " + std::to_string(elapsed) + "s / " +
                        std::to_string(window) + "s");
        }
    }
    return true;
}

// The second look and the detail checks on one controller; returns the MACs it confirms.
std::vector<std::string> confirm_on_controller(Quorvane& engine, const std::string& section,
                                               const std::vector<std::string>& f1) {
    engine._log("[AUTH] Reconnecting after wait...");
    ScopedSession session(engine._wlc_connect(section));
    const std::string raw = fetch_summary(engine, session);
    engine._progress(65);
    engine._log("[AUTH][RAW F2]\n" + raw);
    const std::vector<std::string> f2 = Quorvane::_extract_macs(raw);
    engine._log("[AUTH] F2 MACs: " + quoted_list(f2));

    const std::vector<std::string> persistent = present_in_both(f1, f2);
    engine._progress(75);
    engine._log("[AUTH] Persistent clients: " + quoted_list(persistent));

    std::vector<std::string> confirmed;
    for (const auto& mac : persistent) {
        const std::string cmd = "show wireless client mac " + mac + " detail";
        engine._log("[AUTH][CMD] " + cmd);
        const std::string detail = session->send_command(cmd);
        engine._log("[AUTH][DETAIL]\n" + detail);
        const long long connected = Quorvane::_extract_value(detail, "Connected For");
        const long long entry = Quorvane::_extract_value(detail, "Client Entry Create Time");
        engine._log("[AUTH] " + mac + " \u2192 Connected: " + std::to_string(connected) +
                    ", Entry: " + std::to_string(entry));
        if (detail.find(kAuthenticatingState) == std::string::npos) {
            engine._log("[AUTH][SKIP] " + mac + " not in Authenticating state");
            continue;
        }
        if (entry <= connected) {
            engine._log("[AUTH][SKIP] " + mac + " timing condition failed");
            continue;
        }
        engine._log("[AUTH][MARKED] " + mac + " added to delete list");
        confirmed.push_back(mac);
    }
    session.disconnect();
    return confirmed;
}

// The confirmed clients' details from every controller, kept in the log before anything
// removes them. A controller that fails here only loses its own record.
void record_pre_deletion_details(Quorvane& engine, const std::vector<std::string>& sections,
                                 const std::vector<std::string>& macs) {
    engine._log("\n[AUTH] ===== CLIENT DETAIL (PRE-DELETION) =====");
    for (const auto& section : sections) {
        try {
            ScopedSession session(engine._wlc_connect(section));
            for (const auto& mac : macs) {
                const std::string cmd = "show wireless client mac-address " + mac + " detail";
                engine._log("[AUTH][PRE-DELETE CMD] " + cmd);
                const std::string detail = session->send_command(cmd);
                engine._log("[AUTH][PRE-DELETE DETAIL]\n" + detail);
            }
            session.disconnect();
        } catch (const std::exception& e) {
            engine._log("[AUTH] Pre-delete detail fetch failed (" + section + "): " + e.what());
        }
    }
    engine._log("[AUTH] ===== END OF PRE-DELETE DETAILS =====\n");
}

}  // namespace

std::vector<std::string> Quorvane::run_client_auth_workflow() {
    std::vector<std::string> delete_list;
    _progress(5);
    const std::vector<std::string> sections = _get_wlc_sections();
    const int window = std::max(0, options.auth_window_seconds);

    for (const auto& section : sections) {
        _log("[AUTH] ===== WLC: " + section + " =====");
        std::vector<std::string> f1;
        {
            ScopedSession session(_wlc_connect(section));
            const std::string raw = fetch_summary(*this, session);
            _progress(20);
            _log("[AUTH][RAW F1]\n" + raw);
            f1 = _extract_macs(raw);
            _log("[AUTH] F1 MACs: " + quoted_list(f1));
            _log("[AUTH] Waiting 15 minutes...");
            session.disconnect();
        }
        if (!wait_out_window(*this, window)) return {};
        const auto confirmed = confirm_on_controller(*this, section, f1);
        delete_list.insert(delete_list.end(), confirmed.begin(), confirmed.end());
    }

    if (!delete_list.empty()) record_pre_deletion_details(*this, sections, delete_list);
    _log("[AUTH] FINAL DELETE LIST: " + quoted_list(delete_list));

    const auto now = options.clock->now();
    const std::string ts = file_name_stamp(now);
    try {
        const std::string path = write_deleted_clients_file(data_dir, ts, now, delete_list);
        _log("[AUTH] Deleted MACs saved to: " + path);
    } catch (const std::exception& e) {
        _log("[AUTH] Failed to save MAC file: " + std::string(e.what()));
    }

    if (!delete_list.empty() && options.auth_debug_collection) collect_auth_debugs(sections, ts);

    _progress(100);
    return delete_list;
}

void Quorvane::collect_auth_debugs(const std::vector<std::string>& wlc_sections,
                                   const std::string& ts) {
    const int count = _get_collect_counter();
    _log("[DEBUG] collect_archive_wnccore_count = " + std::to_string(count));
    if (count < kCollectionCap) {
        _increment_collect_counter();
        _log("[DEBUG] Proceeding with archive + core collection (run " + std::to_string(count + 1) +
             "/2)");
        _run_auth_debug_collection(wlc_sections, ts);
    } else {
        _log(
            "[DEBUG] Skipping archive + core collection \u2014 already collected 2 times "
            "(count=" +
            std::to_string(count) + "). Use 'Collect again' checkbox in Step7 to reset.");
    }
}

}  // namespace quorvane
