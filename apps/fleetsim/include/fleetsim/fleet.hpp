// The description of a simulated fleet: which devices exist, how they log in, what they
// report and how they misbehave. Plain values, built by default_fleet() or read from JSON.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fleetsim {

enum class DeviceKind { controller, access_point };

// Misbehaviour of one device. Command faults match a received command line whose
// trimmed text begins with the given text; an empty text disables the fault.
struct Faults {
    bool wrong_password = false;          // rejects the configured password (and any other)
    int delay_ms = 0;                     // added before every answer to a command
    std::string hang_on;                  // after this command, no output and no prompt ever again
    std::string drop_on;                  // on this command, the TCP connection is cut at once
    std::string huge_on;                  // this command answers with a 1 MiB line without a break
    std::string garbage_on;               // this command's answer starts with non-text bytes
    bool refuse_enable = false;           // the enable secret is never accepted
    bool reject_terminal_length = false;  // "terminal length 0" is invalid, "term len 0" works
    bool alternate_host_key = false;      // presents a host key of its own instead of the fleet's
    bool unreachable = false;             // listed by its controllers, but nothing listens
    bool archive_fails = false;           // controller: the trace archive ends without its marker
    bool close_after_kex = false;         // hangs up right after the key exchange, before login
};

// A wireless client known to a controller.
struct Client {
    std::string mac;  // dotted form, 0011.22aa.bbcc
    std::string ap_name;
    std::string state;  // "Authenticating", "Run", ...
    // "Policy Manager State" of the detail when it differs from the summary's state.
    std::string policy_state;
    // When positive: this many seconds after the controller first lists the client, the
    // client finishes authenticating and shows "Run" from then on.
    int run_after_seconds = 0;
    int wlan_id = 1;
    int connected_for = 0;      // seconds
    int entry_create_time = 0;  // seconds
    std::string ip;             // client address, may be empty
    std::string username;
};

struct Device {
    DeviceKind kind = DeviceKind::access_point;
    std::string address;  // 127.x.y.z; the only kind of address ever bound
    std::string hostname;
    std::string username = "admin";
    std::string password = "admin";
    std::string enable_secret = "enable";  // APs; controllers log in privileged
    std::string model;                     // AP: product id (C9130AXI-B); controller: C9800-40-K9
    std::string serial;
    std::string version;         // running image (AP) or IOS XE version (controller)
    std::string backup_version;  // AP backup boot image
    std::string boot_partition = "part1";
    std::string model_signature;  // AP banner signature, "(ap1g6a)"
    std::string site_tag;
    std::string policy_tag = "default-policy-tag";
    std::string rf_tag = "default-rf-tag";
    std::string location = "default location";
    std::string controller;                      // AP: address of the controller that lists it
    std::vector<std::string> extra_controllers;  // AP: further controllers that list it too
    std::string ethernet_mac;                    // dotted form
    int tmp_usage_percent = 10;                  // AP /tmp fill level at start
    std::string part2_available = "45.5M";       // AP free space of /dev/ubivol/part2
    bool cnssdaemon_log = false;  // AP flash listing names a root-owned cnssdaemon.log
    bool image_integrity_good = true;
    int transfer_ms = 1000;  // how long a copy or archive download takes
    int uptime_minutes = 30000;
    std::string banner;           // printed once at login, before the first prompt
    // The SSH server offers only older algorithms (SHA-1 key exchanges, an ssh-rsa host
    // key, CBC ciphers, hmac-sha1), as older device firmware does.
    bool legacy_ssh_only = false;
    std::vector<Client> clients;  // controller only
    Faults faults;
};

struct Fleet {
    std::vector<Device> devices;
};

// n_controllers controllers (127.10.0.1 upwards, WLC-HQ-9800-01 ...) and n_aps APs from
// 127.20.0.1 upwards, spread over the controllers in turn, with a mix of models, tags,
// versions, boot partitions, flash states and a few clients stuck authenticating. The third
// AP is listed by a second controller too. Deterministic: the same n gives the same fleet.
Fleet default_fleet(int n_aps, int n_controllers = 2);

// A small hand-made fleet in which every AP stands for one case of the product's jobs: each
// recovery group of the flash check, healthy and non-QCA APs, an unreachable AP, one AP per
// session fault, and stuck, transient and harmless clients on the controllers. Its devices
// are listed in apps/fleetsim/README.md.
Fleet demo_fleet();

// JSON form; the format is described in apps/fleetsim/README.md. Throws
// std::runtime_error with the reason on malformed input or a non-loopback address.
Fleet parse_fleet(const std::string& json_text);
Fleet load_fleet(const std::filesystem::path& file);
std::string fleet_to_json(const Fleet& fleet);
void save_fleet(const Fleet& fleet, const std::filesystem::path& file);

// True when the text is a dotted-quad address inside 127.0.0.0/8.
bool is_loopback_address(const std::string& address);

}  // namespace fleetsim
