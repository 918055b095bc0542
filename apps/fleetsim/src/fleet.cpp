#include "fleetsim/fleet.hpp"

#include <arpa/inet.h>

#include <array>
#include <cstdio>

namespace fleetsim {
namespace {

struct ApModel {
    const char* pid;
    const char* signature;
};

// QCA-based and older models side by side, so that model filters have work to do.
constexpr std::array<ApModel, 8> kModels = {{
    {"C9130AXI-B", "(ap1g6a)"},
    {"C9120AXI-B", "(ap1g7)"},
    {"C9136I-B", "(ap1g6b)"},
    {"C9166I-B", "(ap1g8)"},
    {"AIR-AP3802I-B-K9", "(ap3g3)"},
    {"C9115AXI-B", "(ap1g7)"},
    {"C9117AXI-B", "(ap1g6)"},
    {"C9130AXE-B", "(ap1g6a)"},
}};

constexpr std::array<const char*, 6> kVersions = {
    "17.9.4.27", "17.12.4.213", "17.12.4.200", "17.9.5.47", "17.13.1.5", "17.12.3.50",
};
constexpr std::array<const char*, 4> kBackupVersions = {
    "17.9.7.10",
    "17.9.6.100",
    "17.12.5.209",
    "17.3.1.1",
};
// ST-BRANCH-1 is a prefix of ST-BRANCH-10, as tag names often are.
constexpr std::array<const char*, 4> kSiteTags = {"ST-HQ-CAMPUS", "ST-BRANCH-1", "ST-BRANCH-10",
                                                  "ST-WAREHOUSE"};
constexpr std::array<const char*, 5> kLocations = {"Building 1 Floor 2", "HQ East Wing Room 214",
                                                   "default location", "Warehouse Dock 3",
                                                   "Branch 10 Lobby"};

std::string dotted_mac(unsigned prefix, unsigned n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04x.%04x.%04x", prefix & 0xffff, (n >> 16) & 0xffff,
                  n & 0xffff);
    return buf;
}

std::string serial_for(const char* prefix, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%04d%c%c%02d", prefix, 2300 + n % 500, 'A' + n % 26,
                  'A' + (n / 26) % 26, n % 100);
    return buf;
}

Device make_controller(int n) {
    Device d;
    d.kind = DeviceKind::controller;
    d.address = "127.10." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
    char name[32];
    std::snprintf(name, sizeof name, "WLC-HQ-9800-%02d", n + 1);
    d.hostname = name;
    d.model = "C9800-40-K9";
    d.serial = serial_for("TTM", n);
    d.version = "17.09.04a";
    d.location = "Data Center Row 4";
    d.uptime_minutes = 41 * 24 * 60 + 97 + n * 7;
    return d;
}

Device make_ap(int i, const std::string& controller) {
    const ApModel& m = kModels[i % kModels.size()];
    Device d;
    d.kind = DeviceKind::access_point;
    d.address = "127.20." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    char name[32];
    std::snprintf(name, sizeof name, "AP-%s-%03d", i % 3 == 0 ? "HQ" : "BR", i + 1);
    d.hostname = name;
    // Now and then a name longer than the controller's column, as sites like to do.
    if (i % 17 == 16) d.hostname += "-LOBBY-MAIN-ENTRANCE-CEILING";
    d.username = "apadmin";
    d.password = "appass";
    d.enable_secret = "apenable";
    d.model = m.pid;
    d.model_signature = m.signature;
    d.serial = serial_for("FOC", i);
    d.version = kVersions[i % kVersions.size()];
    d.backup_version = kBackupVersions[(i / 2) % kBackupVersions.size()];
    d.boot_partition = i % 4 == 1 ? "part2" : "part1";
    d.site_tag = kSiteTags[(i / 3) % kSiteTags.size()];
    d.policy_tag = i % 2 ? "PT-CORP-DOT1X" : "default-policy-tag";
    d.rf_tag = i % 5 == 0 ? "RT-HIGH-DENSITY" : "default-rf-tag";
    d.location = kLocations[i % kLocations.size()];
    d.controller = controller;
    d.ethernet_mac = dotted_mac(0x687d, 0xb4000000u + static_cast<unsigned>(i) * 16);
    d.tmp_usage_percent = i % 3 == 0 ? 76 : (i % 3 == 1 ? 60 : 22);
    d.part2_available = i % 6 == 2 ? "45.5M" : (i % 6 == 5 ? "512K" : "118.2M");
    d.cnssdaemon_log = i % 7 == 3;
    d.image_integrity_good = i % 11 != 4;
    d.uptime_minutes = 3 * 24 * 60 + i * 13;
    return d;
}

void add_clients(Device& wlc, const std::vector<Device>& aps, int controller_index) {
    int n = 0;
    for (const Device& ap : aps) {
        if (ap.controller != wlc.address) continue;
        if (n >= 8) break;
        Client c;
        c.mac = dotted_mac(0x0011 + controller_index, 0x22aa0000u + n * 0x111);
        c.ap_name = ap.hostname;
        // Stuck ones: entry older than the association; one is Authenticating but young.
        bool stuck = n % 2 == 0;
        c.state = (stuck || n == 5 || n == 7) ? "Authenticating" : "Run";
        // Listed as authenticating, but the detail tells otherwise.
        if (n == 7) c.policy_state = "Webauth Pending";
        c.wlan_id = 1 + n % 3;
        c.connected_for = stuck || n == 7 ? 20 + n : 3600 + n;
        c.entry_create_time = stuck || n == 7 ? 600 + n * 10 : (n == 5 ? 30 : 3600 + n);
        if (c.state == "Run")
            c.ip = "10.99." + std::to_string(controller_index) + "." + std::to_string(n + 10);
        c.username = c.state == "Run" ? "user" + std::to_string(n) : "";
        wlc.clients.push_back(c);
        ++n;
    }
}

}  // namespace

Fleet default_fleet(int n_aps, int n_controllers) {
    Fleet fleet;
    std::vector<Device> wlcs;
    for (int n = 0; n < n_controllers; ++n) wlcs.push_back(make_controller(n));
    std::vector<Device> aps;
    for (int i = 0; i < n_aps && !wlcs.empty(); ++i) {
        const size_t home = static_cast<size_t>(i) % wlcs.size();
        aps.push_back(make_ap(i, wlcs[home].address));
        // One AP that two controllers both report, as after a half-finished migration.
        if (i == 2 && wlcs.size() > 1)
            aps.back().extra_controllers.push_back(wlcs[(home + 1) % wlcs.size()].address);
    }
    for (size_t n = 0; n < wlcs.size(); ++n) {
        add_clients(wlcs[n], aps, static_cast<int>(n));
        fleet.devices.push_back(std::move(wlcs[n]));
    }
    for (Device& ap : aps) fleet.devices.push_back(std::move(ap));
    return fleet;
}

bool is_loopback_address(const std::string& address) {
    // inet_pton reads up to the first NUL; what follows it must not slip through.
    if (address.find('\0') != std::string::npos) return false;
    in_addr a{};
    if (inet_pton(AF_INET, address.c_str(), &a) != 1) return false;
    return (ntohl(a.s_addr) >> 24) == 127;
}

}  // namespace fleetsim
