#include <climits>
#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "fleetsim/fleet.hpp"

namespace fleetsim {
namespace {

using nlohmann::json;

constexpr long long kMaxMs = 3600LL * 1000;        // an hour
constexpr long long kMaxUptimeMinutes = 52560000;  // a hundred years

// A text as a JSON string, so that control characters and NULs show in error messages.
std::string json_text(const std::string& text) {
    return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

// Unknown keys are errors: a misspelt fault would otherwise silently do nothing.
class Reader {
  public:
    Reader(const json& object, std::string where) : object_(object), where_(std::move(where)) {
        if (!object_.is_object()) fail("must be an object");
    }

    template <typename T>
    void get(const char* key, T& into) {
        seen_.insert(key);
        auto it = object_.find(key);
        if (it == object_.end() || it->is_null()) return;
        try {
            into = it->get<T>();
        } catch (const json::exception& e) {
            fail(std::string("key \"") + key + "\": " + e.what());
        }
    }

    // Whole numbers only, within the field's range: a float such as 1e10 or a number beyond
    // the range is an error naming the key, never a silent wrap or an undefined conversion.
    void get_int(const char* key, int& into, long long min, long long max) {
        seen_.insert(key);
        auto it = object_.find(key);
        if (it == object_.end() || it->is_null()) return;
        bool ok = false;
        if (it->is_number_unsigned()) {
            auto v = it->get<std::uint64_t>();
            ok = v <= static_cast<std::uint64_t>(max) && static_cast<long long>(v) >= min;
            if (ok) into = static_cast<int>(v);
        } else if (it->is_number_integer()) {
            auto v = it->get<std::int64_t>();
            ok = v >= min && v <= max;
            if (ok) into = static_cast<int>(v);
        }
        if (!ok)
            fail(std::string("key \"") + key + "\" must be a whole number from " +
                 std::to_string(min) + " to " + std::to_string(max));
    }
    void get(const char* key, int& into) = delete;

    const json* child(const char* key) {
        seen_.insert(key);
        auto it = object_.find(key);
        return it == object_.end() || it->is_null() ? nullptr : &*it;
    }

    void finish() const {
        for (auto it = object_.begin(); it != object_.end(); ++it)
            if (!seen_.count(it.key())) fail("unknown key \"" + it.key() + "\"");
    }

    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("fleet file: " + where_ + ": " + why);
    }

  private:
    const json& object_;
    std::string where_;
    std::set<std::string> seen_;
};

Faults read_faults(const json& j, const std::string& where) {
    Faults f;
    Reader r(j, where + " faults");
    r.get("wrong_password", f.wrong_password);
    r.get_int("delay_ms", f.delay_ms, 0, kMaxMs);
    r.get("hang_on", f.hang_on);
    r.get("drop_on", f.drop_on);
    r.get("huge_on", f.huge_on);
    r.get("garbage_on", f.garbage_on);
    r.get("refuse_enable", f.refuse_enable);
    r.get("reject_terminal_length", f.reject_terminal_length);
    r.get("alternate_host_key", f.alternate_host_key);
    r.get("unreachable", f.unreachable);
    r.get("archive_fails", f.archive_fails);
    r.get("close_after_kex", f.close_after_kex);
    r.finish();
    return f;
}

Client read_client(const json& j, const std::string& where) {
    Client c;
    Reader r(j, where);
    r.get("mac", c.mac);
    r.get("ap_name", c.ap_name);
    r.get("state", c.state);
    r.get("policy_state", c.policy_state);
    r.get_int("run_after_seconds", c.run_after_seconds, 0, INT_MAX);
    r.get_int("wlan_id", c.wlan_id, 1, 4096);
    r.get_int("connected_for", c.connected_for, 0, INT_MAX);
    r.get_int("entry_create_time", c.entry_create_time, 0, INT_MAX);
    r.get("ip", c.ip);
    r.get("username", c.username);
    r.finish();
    if (c.mac.empty()) r.fail("client without \"mac\"");
    return c;
}

Device read_device(const json& j, size_t index) {
    std::string where = "device " + std::to_string(index);
    Device d;
    Reader r(j, where);
    std::string kind;
    r.get("kind", kind);
    if (kind == "controller" || kind == "wlc") {
        d.kind = DeviceKind::controller;
    } else if (kind == "ap" || kind == "access_point") {
        d.kind = DeviceKind::access_point;
    } else {
        r.fail("\"kind\" must be \"controller\" or \"ap\"");
    }
    r.get("address", d.address);
    r.get("hostname", d.hostname);
    r.get("username", d.username);
    r.get("password", d.password);
    r.get("enable_secret", d.enable_secret);
    r.get("model", d.model);
    r.get("serial", d.serial);
    r.get("version", d.version);
    r.get("backup_version", d.backup_version);
    r.get("boot_partition", d.boot_partition);
    r.get("model_signature", d.model_signature);
    r.get("site_tag", d.site_tag);
    r.get("policy_tag", d.policy_tag);
    r.get("rf_tag", d.rf_tag);
    r.get("location", d.location);
    r.get("controller", d.controller);
    r.get("extra_controllers", d.extra_controllers);
    r.get("ethernet_mac", d.ethernet_mac);
    r.get_int("tmp_usage_percent", d.tmp_usage_percent, 0, 100);
    r.get("part2_available", d.part2_available);
    r.get("cnssdaemon_log", d.cnssdaemon_log);
    r.get("image_integrity_good", d.image_integrity_good);
    r.get_int("transfer_ms", d.transfer_ms, 0, kMaxMs);
    r.get_int("uptime_minutes", d.uptime_minutes, 0, kMaxUptimeMinutes);
    r.get("banner", d.banner);
    r.get("legacy_ssh_only", d.legacy_ssh_only);
    if (const json* clients = r.child("clients")) {
        if (!clients->is_array()) r.fail("\"clients\" must be an array");
        for (size_t i = 0; i < clients->size(); ++i)
            d.clients.push_back(read_client((*clients)[i], where + " client " + std::to_string(i)));
    }
    if (const json* faults = r.child("faults")) d.faults = read_faults(*faults, where);
    r.finish();
    if (!is_loopback_address(d.address))
        r.fail("address " + json_text(d.address) + " is not a loopback address (127.0.0.0/8)");
    if (d.hostname.empty()) r.fail("missing \"hostname\"");
    return d;
}

json write_faults(const Faults& f) {
    return json{{"wrong_password", f.wrong_password},
                {"delay_ms", f.delay_ms},
                {"hang_on", f.hang_on},
                {"drop_on", f.drop_on},
                {"huge_on", f.huge_on},
                {"garbage_on", f.garbage_on},
                {"refuse_enable", f.refuse_enable},
                {"reject_terminal_length", f.reject_terminal_length},
                {"alternate_host_key", f.alternate_host_key},
                {"unreachable", f.unreachable},
                {"archive_fails", f.archive_fails},
                {"close_after_kex", f.close_after_kex}};
}

json write_device(const Device& d) {
    json j{{"kind", d.kind == DeviceKind::controller ? "controller" : "ap"},
           {"address", d.address},
           {"hostname", d.hostname},
           {"username", d.username},
           {"password", d.password},
           {"enable_secret", d.enable_secret},
           {"model", d.model},
           {"serial", d.serial},
           {"version", d.version},
           {"location", d.location},
           {"uptime_minutes", d.uptime_minutes},
           {"banner", d.banner},
           {"legacy_ssh_only", d.legacy_ssh_only}};
    if (d.kind == DeviceKind::access_point) {
        j["backup_version"] = d.backup_version;
        j["boot_partition"] = d.boot_partition;
        j["model_signature"] = d.model_signature;
        j["site_tag"] = d.site_tag;
        j["policy_tag"] = d.policy_tag;
        j["rf_tag"] = d.rf_tag;
        j["controller"] = d.controller;
        j["extra_controllers"] = d.extra_controllers;
        j["ethernet_mac"] = d.ethernet_mac;
        j["tmp_usage_percent"] = d.tmp_usage_percent;
        j["part2_available"] = d.part2_available;
        j["cnssdaemon_log"] = d.cnssdaemon_log;
        j["image_integrity_good"] = d.image_integrity_good;
        j["transfer_ms"] = d.transfer_ms;
    } else {
        j["transfer_ms"] = d.transfer_ms;
        json clients = json::array();
        for (const Client& c : d.clients)
            clients.push_back(json{{"mac", c.mac},
                                   {"ap_name", c.ap_name},
                                   {"state", c.state},
                                   {"policy_state", c.policy_state},
                                   {"run_after_seconds", c.run_after_seconds},
                                   {"wlan_id", c.wlan_id},
                                   {"connected_for", c.connected_for},
                                   {"entry_create_time", c.entry_create_time},
                                   {"ip", c.ip},
                                   {"username", c.username}});
        j["clients"] = clients;
    }
    j["faults"] = write_faults(d.faults);
    return j;
}

}  // namespace

Fleet parse_fleet(const std::string& json_text) {
    json doc;
    try {
        doc = json::parse(json_text);
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("fleet file: not valid JSON: ") + e.what());
    }
    Reader top(doc, "top level");
    const json* devices = top.child("devices");
    top.finish();
    if (!devices || !devices->is_array()) top.fail("\"devices\" must be an array");
    Fleet fleet;
    std::set<std::string> addresses;
    for (size_t i = 0; i < devices->size(); ++i) {
        Device d = read_device((*devices)[i], i);
        if (!addresses.insert(d.address).second)
            top.fail("address " + d.address + " is used by two devices");
        fleet.devices.push_back(std::move(d));
    }
    return fleet;
}

Fleet load_fleet(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("fleet file: cannot read " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    return parse_fleet(text.str());
}

std::string fleet_to_json(const Fleet& fleet) {
    json devices = json::array();
    for (const Device& d : fleet.devices) devices.push_back(write_device(d));
    return json{{"devices", devices}}.dump(2) + "\n";
}

void save_fleet(const Fleet& fleet, const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + file.string());
    out << fleet_to_json(fleet);
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace fleetsim
