#include <cstdio>
#include <stdexcept>

#include "fleetsim/fleet.hpp"

namespace fleetsim {
namespace {

constexpr const char* kWlc1 = "127.10.0.1";
constexpr const char* kWlc2 = "127.10.0.2";

// What an AP shows for the flash checks: the versions, the boot partition, free space of
// part2, the cnss daemon log and the integrity report.
struct FlashState {
    const char* version;
    const char* backup_version;
    const char* boot_partition;
    const char* part2_available;
    bool cnssdaemon_log;
    bool image_integrity_good;
};

// Safe images, plenty of flash, no daemon log.
constexpr FlashState kHealthy = {"17.12.4.213", "17.9.7.10", "part1", "118.2M", false, true};

struct DemoAp {
    const char* name;
    const char* model;
    const char* signature;
    const char* controller;
    const char* site_tag;
    const char* location;
    FlashState flash;
};

// One line per case, in address order from 127.20.0.1. The comment names the outcome of a
// flash check over the five flash commands.
const DemoAp kAps[] = {
    // Healthy although buggy-looking: the cnss daemon log is there, but the images are safe.
    {"AP-HQ-LOBBY-01",
     "C9130AXI-B",
     "(ap1g6a)",
     kWlc1,
     "ST-HQ-CAMPUS",
     "HQ Lobby Main Entrance",
     {"17.12.4.213", "17.9.7.10", "part1", "118.2M", true, true}},
    // Healthy: buggy images, but no cnss daemon log.
    {"AP-HQ-FLOOR2-02",
     "C9136I-B",
     "(ap1g6b)",
     kWlc1,
     "ST-HQ-CAMPUS",
     "HQ Floor 2 East Wing",
     {"17.13.1.5", "17.9.6.100", "part1", "118.2M", false, true}},
    // Image partition swap: buggy running image booted from part1, part2 below 80 MB.
    {"AP-HQ-FLOOR3-SWAP",
     "C9130AXI-B",
     "(ap1g6a)",
     kWlc1,
     "ST-HQ-CAMPUS",
     "HQ Floor 3 Room 301",
     {"17.12.4.200", "17.9.7.10", "part1", "45.5M", true, true}},
    // Devshell: part2 below 20 MB on a model outside the affected families.
    {"AP-HQ-FLOOR4-LOWMEM",
     "C9166I-B",
     "(ap1g8)",
     kWlc1,
     "ST-HQ-CAMPUS",
     "HQ Floor 4 Kitchen",
     {"17.12.4.213", "17.9.7.10", "part1", "12.0M", false, true}},
    // Devshell with three failures: integrity, part2 below 20 MB, partition swap.
    {"AP-HQ-FLOOR5-MULTI",
     "C9136I-B",
     "(ap1g6b)",
     kWlc1,
     "ST-HQ-CAMPUS",
     "HQ Floor 5 Board Room",
     {"17.12.4.200", "17.9.7.10", "part1", "8.5M", true, false}},
    // Simple archive download: safe running image, buggy backup, enough flash.
    {"AP-BR1-ARCHIVE",
     "C9130AXE-B",
     "(ap1g6a)",
     kWlc1,
     "ST-BRANCH-1",
     "Branch 1 Sales Floor",
     {"17.12.4.213", "17.9.6.100", "part1", "118.2M", true, true}},
    // Image integrity failed, nothing else.
    {"AP-BR1-INTEGRITY",
     "C9117AXI-B",
     "(ap1g6)",
     kWlc1,
     "ST-BRANCH-1",
     "Branch 1 Back Office",
     {"17.12.4.213", "17.9.7.10", "part1", "118.2M", false, false}},
    // Partition safe but low flash: buggy running image booted from part2, part2 low.
    {"AP-BR10-LOWFLASH",
     "C9130AXI-B",
     "(ap1g6a)",
     kWlc1,
     "ST-BRANCH-10",
     "Branch 10 Lobby",
     {"17.13.1.5", "17.9.7.10", "part2", "45.5M", true, true}},
    // Not QCA based: a flash check's fetch drops these two.
    {"AP-BR10-LEGACY", "AIR-AP3802I-B-K9", "(ap3g3)", kWlc2, "ST-BRANCH-10", "Branch 10 Storage",
     kHealthy},
    {"AP-WH-DOCK-C9120", "C9120AXI-B", "(ap1g7)", kWlc2, "ST-WAREHOUSE", "Warehouse Dock 3",
     kHealthy},
    // Listed by its controller, but nothing answers at its address.
    {"AP-WH-OFFLINE", "C9130AXI-B", "(ap1g6a)", kWlc2, "ST-WAREHOUSE", "Warehouse Mezzanine",
     kHealthy},
    // One session fault each, otherwise healthy.
    {"AP-LAB-NOENABLE", "C9130AXI-B", "(ap1g6a)", kWlc2, "ST-LAB", "Lab Rack 1", kHealthy},
    {"AP-LAB-DROP", "C9130AXI-B", "(ap1g6a)", kWlc2, "ST-LAB", "Lab Rack 2", kHealthy},
    {"AP-LAB-HUGE", "C9136I-B", "(ap1g6b)", kWlc2, "ST-LAB", "Lab Rack 3", kHealthy},
    {"AP-LAB-GARBAGE", "C9130AXI-B", "(ap1g6a)", kWlc2, "ST-LAB", "Lab Rack 4", kHealthy},
};

Device demo_controller(const char* address, const char* name, const char* model) {
    Device d;
    d.kind = DeviceKind::controller;
    d.address = address;
    d.hostname = name;
    d.model = model;
    d.serial = std::string("TTM23") + name[4] + name[5] + "01X";
    d.version = "17.09.04a";
    d.location = "Data Center Row 4";
    d.uptime_minutes = 41 * 24 * 60 + 97;
    return d;
}

Client client(const char* mac, const char* ap, const char* state, int connected, int entry) {
    Client c;
    c.mac = mac;
    c.ap_name = ap;
    c.state = state;
    c.connected_for = connected;
    c.entry_create_time = entry;
    return c;
}

Client running_client(const char* mac, const char* ap, const char* ip, const char* user) {
    Client c = client(mac, ap, "Run", 5400, 5400);
    c.ip = ip;
    c.username = user;
    return c;
}

}  // namespace

Fleet demo_fleet() {
    Device wlc1 = demo_controller(kWlc1, "WLC-HQ-9800-01", "C9800-40-K9");
    Device wlc2 = demo_controller(kWlc2, "WLC-BR-9800-02", "C9800-L-F-K9");
    // The branch controller answers slowly, so a parallel fetch hears the HQ one first.
    wlc2.faults.delay_ms = 150;

    Client transient = client("0011.22aa.0003", "AP-HQ-LOBBY-01", "Authenticating", 15, 400);
    transient.run_after_seconds = 3;
    Client other_state = client("0011.22aa.0004", "AP-HQ-FLOOR2-02", "Authenticating", 30, 700);
    other_state.policy_state = "Webauth Pending";
    wlc1.clients = {
        client("0011.22aa.0001", "AP-HQ-LOBBY-01", "Authenticating", 20, 600),
        client("0011.22aa.0002", "AP-HQ-FLOOR2-02", "Authenticating", 45, 900),
        transient,
        other_state,
        client("0011.22aa.0005", "AP-HQ-FLOOR3-SWAP", "Authenticating", 300, 300),
        running_client("0011.22aa.0006", "AP-HQ-LOBBY-01", "10.99.0.16", "alice"),
    };
    Client transient2 = client("0022.33bb.0002", "AP-WH-DOCK-C9120", "Authenticating", 10, 250);
    transient2.run_after_seconds = 3;
    wlc2.clients = {
        client("0022.33bb.0001", "AP-BR10-LEGACY", "Authenticating", 25, 1200),
        transient2,
        running_client("0022.33bb.0003", "AP-WH-DOCK-C9120", "10.99.1.12", "bob"),
    };

    Fleet fleet;
    fleet.devices.push_back(wlc1);
    fleet.devices.push_back(wlc2);
    int n = 0;
    for (const DemoAp& a : kAps) {
        ++n;
        Device d;
        d.kind = DeviceKind::access_point;
        d.address = "127.20.0." + std::to_string(n);
        d.hostname = a.name;
        d.username = "apadmin";
        d.password = "appass";
        d.enable_secret = "apenable";
        d.model = a.model;
        d.model_signature = a.signature;
        d.serial = "FOC2419" + std::to_string(1000 + n) + "Q";
        d.controller = a.controller;
        d.site_tag = a.site_tag;
        d.policy_tag = "PT-CORP-DOT1X";
        d.location = a.location;
        char mac[16];
        std::snprintf(mac, sizeof mac, "687d.b400.%04x", n * 16);
        d.ethernet_mac = mac;
        d.version = a.flash.version;
        d.backup_version = a.flash.backup_version;
        d.boot_partition = a.flash.boot_partition;
        d.part2_available = a.flash.part2_available;
        d.cnssdaemon_log = a.flash.cnssdaemon_log;
        d.image_integrity_good = a.flash.image_integrity_good;
        d.tmp_usage_percent = n % 3 == 0 ? 76 : 22;
        d.uptime_minutes = 3 * 24 * 60 + n * 13;
        fleet.devices.push_back(d);
    }
    auto ap = [&fleet](const char* name) -> Device& {
        for (Device& d : fleet.devices)
            if (d.hostname == name) return d;
        throw std::logic_error(name);
    };
    ap("AP-HQ-LOBBY-01").extra_controllers = {kWlc2};
    ap("AP-WH-OFFLINE").faults.unreachable = true;
    ap("AP-LAB-NOENABLE").faults.refuse_enable = true;
    ap("AP-LAB-DROP").faults.drop_on = "show version";
    ap("AP-LAB-HUGE").faults.huge_on = "show inventory";
    ap("AP-LAB-GARBAGE").faults.garbage_on = "show version";
    return fleet;
}

}  // namespace fleetsim
