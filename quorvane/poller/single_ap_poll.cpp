// One AP from connection to disconnection: connect with retries, identify, write the
// header, run the list entry by entry, and turn every failure into a status.

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "quorvane/engine/engine.hpp"
#include "quorvane/paths/utf8.hpp"
#include "quorvane/poller/ap_identity.hpp"
#include "quorvane/poller/ap_log_file.hpp"
#include "quorvane/poller/ap_poll_state.hpp"

namespace quorvane {

namespace {

constexpr int kConnectAttempts = 3;
constexpr double kConnectRetrySeconds = 3;
constexpr const char* kStoppedReason = "the run was stopped";

constexpr std::array<std::string_view, 6> kTransferMarkers = {
    "sftp://", "scp://", "copy syslogs", "copy core:", "copy crashinfo:", "copy support-bundle"};

bool contains(const std::string& text, std::string_view needle) {
    return text.find(needle) != std::string::npos;
}

// The last non-empty line, prompt lines included.
std::string last_line(const std::string& output) {
    const std::string text = strip_whitespace(output);
    std::size_t end = text.size();
    while (end > 0) {
        const std::size_t start = text.find_last_of("\r\n", end - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        std::string line = strip_whitespace(text.substr(from, end - from));
        if (!line.empty()) return line;
        if (start == std::string::npos) break;
        end = start;
    }
    return "";
}

void run_transfer(ApPollState& poll, const std::string& cmd) {
    poll.announce(cmd);
    const std::string user = poll.engine.ini.get("FTP", "ftp_user", "");
    const std::string pass = poll.engine.ini.get("FTP", "ftp_pasw", "");
    const std::string output = poll.engine.run_command_interactive(poll.session, cmd, user, pass);
    poll.append("\n[IMAGE DOWNLOAD] Result: " + last_line(output) + "\n");
}

void run_plain(ApPollState& poll, const std::string& cmd, bool needs_confirm) {
    poll.announce(cmd);
    std::string output;
    if (needs_confirm) {
        poll.session.write_channel(cmd + "\n");
        poll.engine.sleep_seconds(3);
        poll.session.write_channel("y\n");
        poll.engine.sleep_seconds(2);
        output = poll.session.read_channel();
    } else {
        output = Quorvane::_ap_send_command(poll.session, cmd,
                                            static_cast<int>(poll.engine.ap_wait(180)));
    }
    poll.append(output + "\n");
}

// Runs one entry; false when the list ends here.
bool run_entry(ApPollState& poll, const std::string& cmd, bool needs_confirm) {
    const std::string folded = ascii_lower(cmd);
    if (contains(folded, "show filesystems")) {
        run_tmp_usage(poll, cmd);
    } else if (contains(folded, "delete /force /recursive /tmp")) {
        run_tmp_cleanup(poll, cmd);
    } else if (contains(folded, "reload")) {
        run_reload(poll, cmd);
        return false;
    } else if (std::any_of(kTransferMarkers.begin(), kTransferMarkers.end(),
                           [&](std::string_view marker) { return contains(folded, marker); })) {
        run_transfer(poll, cmd);
    } else {
        run_plain(poll, cmd, needs_confirm);
    }
    return true;
}

}  // namespace

void ApPollState::log(const std::string& line) const { engine._log(mask.apply(line)); }

void ApPollState::append(const std::string& text) const {
    _safe_write_append(log_path, mask.apply_to_output(text));
}

void ApPollState::announce(const std::string& cmd) const {
    log(ap_command_log_line(engine.options.clock->now(), ap, cmd));
    append(ap_command_block(cmd));
}

PollResult Quorvane::_poll_one_ap(int idx, const ApRowPtr& shared_row, const std::string& device,
                                  const std::vector<std::string>& cmds) {
    if (!shared_row) {
        return PollResult{idx, "", "", "Failed: no AP row at position " + std::to_string(idx + 1),
                          "",  "", ""};
    }
    // The poll works on its own copy: the host may read the shared row at any time, so
    // only the run's own thread writes it, from `model_number` of the result.
    const auto ap = std::make_shared<ApRow>(*shared_row);
    std::string model_number;
    const auto ends = [&](std::string model, std::string status, std::string reason = {}) {
        PollResult result{idx,      ap->ip,     std::move(model), std::move(status),
                          ap->name, ap->wlc_ip, std::move(reason)};
        result.model_number = model_number;
        return result;
    };
    const auto cancelled = [&] { return ends(ap->model, "Cancelled", kStoppedReason); };
    // A task that starts after a stop must not log in to its AP at all.
    if (stop_requested()) return cancelled();

    const SecretMask mask(ini);
    DeviceSessionPtr session;
    try {
        _log(mask.apply("[AP] (" + std::to_string(idx + 1) + ") Connecting " + ap->ip + " (" +
                        ap->name + ") " + ap->model + " ..."));
        if (!probe_port(ap->ip, 5)) {
            _log(mask.apply("[AP] " + ap->ip + " SSH check slow, trying anyway..."));
        }
        const DeviceParams params = _ap_connect_params(ap->ip, ap->model);
        std::string last_reason;
        for (int attempt = 1; attempt <= kConnectAttempts && !session; ++attempt) {
            if (stop_requested()) return cancelled();
            try {
                session = connect_device(params);
            } catch (const std::exception& e) {
                last_reason = mask.apply(failure_reason(e));
                _log("[AP] " + ap->ip + " attempt " + std::to_string(attempt) + "/" +
                     std::to_string(kConnectAttempts) + " failed: " + last_reason);
                // Another attempt would meet the same key.
                if (dynamic_cast<const HostKeyChangedError*>(&e) != nullptr) throw;
                sleep_seconds(kConnectRetrySeconds);
            }
        }
        if (!session) return ends(ap->model, "Fail: Connection retries exhausted", last_reason);
        // Registered after shutdown swept the registry: it has just been ended.
        if (!register_session(session)) return cancelled();
        session->enable();

        const int paging_timeout = static_cast<int>(ap_wait(30));
        try {
            _ap_send_command(*session, "terminal length 0", paging_timeout);
        } catch (const std::exception&) {
            try {
                _ap_send_command(*session, "term len 0", paging_timeout);
            } catch (const std::exception&) {
            }
        }
        const int identify_timeout = static_cast<int>(ap_wait(120));
        const std::string inventory =
            _ap_send_command(*session, "show inventory", identify_timeout);
        const std::string version = _ap_send_command(*session, "show version", identify_timeout);
        const ApIdentity identity = identify_ap(inventory, version);
        const std::string identified_model = identity.product_id.value_or(ap->model);
        if (identity.model_number) ap->model = model_number = *identity.model_number;

        const std::string folder = ap_log_folder(data_dir, *ap);
        std::filesystem::create_directories(folder);
        ApPollState poll{*this, *session, *ap, ap_log_path(data_dir, device, *ap), mask};
        poll.append(
            ap_run_header(options.clock->now(), device, *ap, identity.image, identity.serial));

        for (const auto& entry : cmds) {
            if (stop_requested()) return cancelled();
            const SpecialCmdResult check = SpecialCmdCheck(entry);
            if (check.is_special && check.sleep_secs > 0) {
                if (!sleep_with_progress(check.sleep_secs, true)) return cancelled();
                continue;
            }
            if (!check.actual_cmd) continue;
            if (!run_entry(poll, *check.actual_cmd, check.needs_confirm)) break;
        }

        session->disconnect();
        return ends(identified_model, "Success");
    } catch (const std::exception& e) {
        // Nothing uses this session again: release it now, not at shutdown.
        if (session) end_session(*session);
        return ends(ap->model, mask.apply("Failed: " + std::string(e.what())),
                    mask.apply(failure_reason(e)));
    }
}

}  // namespace quorvane
