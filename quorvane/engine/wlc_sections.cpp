#include <algorithm>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/errors.hpp"
#include "quorvane/engine/secret_mask.hpp"
#include "quorvane/engine/ssh_settings.hpp"

namespace quorvane {

namespace {

constexpr int kConnectAttempts = 3;

// "WLC" itself, or "WLC" followed by digits only.
bool is_controller_section_name(const std::string& name) {
    if (name.rfind("WLC", 0) != 0) return false;
    return std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number after "WLC" compared as an unbounded integer: leading zeros dropped, then
// shorter digit strings are smaller.
struct SectionNumber {
    std::string digits;
    bool operator<(const SectionNumber& other) const {
        if (digits.size() != other.digits.size()) return digits.size() < other.digits.size();
        return digits < other.digits;
    }
};

SectionNumber section_number(const std::string& name) {
    std::string digits = name.substr(3);
    const auto first = digits.find_first_not_of('0');
    return {first == std::string::npos ? "" : digits.substr(first)};
}

}  // namespace

std::vector<std::string> Quorvane::_get_wlc_sections() const {
    std::vector<std::string> sections;
    for (const auto& name : ini.cfg.sections()) {
        if (is_controller_section_name(name) && !ini.get(name, "wlc_ip", "").empty()) {
            sections.push_back(name);
        }
    }
    std::stable_sort(sections.begin(), sections.end(), [](const auto& a, const auto& b) {
        return section_number(a) < section_number(b);
    });
    return sections;
}

std::vector<std::string> Quorvane::_get_wlc_sections_list() const { return _get_wlc_sections(); }

DeviceSessionPtr Quorvane::_wlc_connect(const std::string& section) {
    const std::string ip = ini.get(section, "wlc_ip", "");
    if (ip.empty()) {
        throw EngineError("Missing WLC IP in config.ini ([" + section + "] wlc_ip)");
    }
    _log("[WLC] Checking SSH port on " + ip + " (" + section + ")...");
    if (!probe_port(ip, 5)) {
        throw DeviceError(
            "WLC " + ip + " (" + section + ") unreachable on " + port_text(),
            "no SSH service on " + port_text() + " (refused or no answer within 5 s)");
    }

    DeviceParams params;
    params.device_type = "cisco_ios";
    params.host = ip;
    params.port = options.ssh_port;
    params.username = ini.get(section, "wlc_user", "");
    params.password = ini.get(section, "wlc_pasw", "");
    params.timeout = 60;
    params.conn_timeout = 30;
    params.banner_timeout = 30;
    params.auth_timeout = 30;
    params.known_hosts_path = CONFD + "/known_hosts";
    params.legacy_algorithms = legacy_algorithms_setting(ini);
    _log("[WLC] Connecting to " + ip + " (" + section + ") ...");

    const SecretMask mask(ini);
    DeviceSessionPtr session;
    try {
        std::string last_reason;
        for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
            try {
                session = connect_device(params);
            } catch (const std::exception& e) {
                last_reason = mask.apply(failure_reason(e));
                _log("[WLC] " + ip + " (" + section + ") attempt " + std::to_string(attempt) + "/" +
                     std::to_string(kConnectAttempts) + " failed: " + last_reason);
                // Another attempt would meet the same key.
                if (dynamic_cast<const HostKeyChangedError*>(&e) != nullptr) throw;
            }
            if (session) break;
            sleep_seconds(3);
        }
        if (!session) {
            throw DeviceError("WLC " + ip + " connection failed after retries", last_reason);
        }
        session->send_command("term len 0");
    } catch (const std::exception& e) {
        if (session) end_session(*session);
        _log("[WLC] Connection failed to " + ip + ": " + e.what());
        throw;
    }
    return session;
}

}  // namespace quorvane
