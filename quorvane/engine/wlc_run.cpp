#include <algorithm>
#include <filesystem>
#include <optional>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/iso_time.hpp"
#include "quorvane/engine/secret_mask.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {

namespace {

std::vector<std::string> nonblank_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = strip_whitespace(text.substr(start, end - start));
        if (!line.empty()) lines.push_back(std::move(line));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return lines;
}

std::string controller_folder_name(std::string address) {
    std::replace(address.begin(), address.end(), '.', '_');
    return "WLC_" + address;
}

std::string command_block_header(const std::string& cmd) {
    return "\n<cmd string='" + cmd + "'>\n\t" + cmd + "\n";
}

}  // namespace

std::string Quorvane::run_wlc_cmds(const std::vector<std::string>& wlc_cmds) {
    std::string result;
    for (const auto& section : _get_wlc_sections()) {
        std::string path = run_on_controller(section, wlc_cmds, true);
        if (!path.empty()) result = std::move(path);
    }
    return result;
}

std::string Quorvane::_run_wlc_cmds_for_section(const std::string& section,
                                                const std::vector<std::string>& wlc_cmds) {
    return run_on_controller(section, wlc_cmds, false);
}

// The visit of one controller. A full run logs its choice of list, writes the long
// header and reports where the output went; the single-section form stays quieter.
std::string Quorvane::run_on_controller(const std::string& section,
                                        const std::vector<std::string>& wlc_cmds, bool full_run) {
    _log("[WLC] ===== Starting section [" + section + "] =====");

    const std::string override_name = section + "_CMDS";
    std::optional<std::vector<std::string>> override_cmds;
    if (ini.cfg.has_section(override_name)) {
        override_cmds = nonblank_lines(ini.cfg.get(override_name, "cmds").value_or(""));
    }
    const bool use_override = override_cmds && !override_cmds->empty();
    const std::vector<std::string>& cmds = use_override ? *override_cmds : wlc_cmds;
    if (full_run) {
        const std::string count = "(" + std::to_string(cmds.size()) + " cmds)";
        if (use_override) {
            _log("[WLC] [" + section + "] using per-WLC override " + count);
        } else if (override_cmds) {
            _log("[WLC] [" + section + "] override empty \u2014 using shared cmd list " + count);
        } else {
            _log("[WLC] [" + section + "] using shared cmd list " + count);
        }
    }

    const SecretMask mask(ini);
    DeviceSessionPtr session;
    try {
        session = _wlc_connect(section);
        const std::string address = ini.get(section, "wlc_ip", "");
        const std::filesystem::path folder =
            std::filesystem::path(data_dir) / controller_folder_name(address);
        std::filesystem::create_directories(folder);
        const std::string path = (folder / "wlc_outputs.txt").string();

        const std::string ts = iso_local_timestamp(options.clock->now());
        std::string header = "<run timestamp='" + ts + "' device='eWLC' hostname='" + address + "'";
        if (full_run) header += " model='eWLC-9800' version='None'";
        _safe_write_append(path, header + ">\n");

        const std::string running =
            full_run ? "[WLC] Running: " : "[WLC][" + section + "] Running: ";
        const long long total = static_cast<long long>(cmds.size());
        for (long long i = 1; i <= total; ++i) {
            const SpecialCmdResult check = SpecialCmdCheck(cmds[i - 1]);
            if (check.is_special && check.sleep_secs > 0) {
                sleep_with_progress(check.sleep_secs);
                continue;
            }
            if (check.is_special && !check.actual_cmd) continue;

            const std::string& cmd = *check.actual_cmd;
            _log(mask.apply(running + cmd));
            // The file is data: masked as device output is, so it says what the device did.
            _safe_write_append(path, mask.apply_to_output(command_block_header(cmd)));
            std::string output;
            if (check.needs_confirm) {
                session->write_channel(cmd + "\n");
                sleep_seconds(3);
                session->write_channel("y\n");
                sleep_seconds(2);
                output = session->read_channel();
            } else {
                output = session->send_command(cmd, options.wlc_read_timeout);
            }
            _safe_write_append(path, mask.apply_to_output(output + "\n"));
            _progress(static_cast<int>(i * 100 / total));
        }

        session->disconnect();
        session.reset();
        controller_failures.forget(section);
        if (full_run) _log("[WLC] Done [" + section + "]. Output: " + path);
        return path;
    } catch (const std::exception& e) {
        // The run never uses a failed controller's session again; leave nothing open.
        if (session) end_session(*session);
        _log(mask.apply("[WLC] [" + section + "] failed: " + e.what()));
        controller_failures.record(section, mask.apply(failure_reason(e)));
        return "";
    }
}

}  // namespace quorvane
