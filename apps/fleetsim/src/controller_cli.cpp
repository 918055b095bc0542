#include "controller_cli.hpp"

#include <algorithm>
#include <cstdio>

namespace fleetsim {
namespace {

std::string radio_mac(const std::string& ethernet) {
    // A real AP's radio MAC sits a little above its Ethernet MAC; close enough for tables.
    std::string r = ethernet;
    if (!r.empty()) r.back() = r.back() == 'f' ? '0' : 'f';
    return r;
}

const char* wlan_name(int id) {
    switch (id) {
        case 1:
            return "CORP-DOT1X";
        case 2:
            return "GUEST-PSK";
        default:
            return "IOT-DEVICES";
    }
}

}  // namespace

bool ControllerCli::dispatch(const Words& w) {
    Words rest;
    if (match(w, {"terminal", "length"}, &rest)) return set_terminal_length(w, 2);
    if (match(w, {"terminal", "width"}, &rest) && rest.size() == 1) {
        answer("");
        return true;
    }
    if (match(w, {"enable"}) && w.size() == 1) {
        show_prompt();  // the login is privileged already
    } else if (match(w, {"show", "version"}) && w.size() == 2) {
        answer(show_version());
    } else if (match(w, {"show", "clock"}) && w.size() == 2) {
        answer("*10:15:42.123 UTC Tue Dec 8 2026\n");
    } else if (match(w, {"show", "ap", "summary"}) && w.size() == 3) {
        answer(show_ap_summary());
    } else if (match(w, {"show", "ap", "tag", "summary"}) && w.size() == 4) {
        answer(show_ap_tag_summary());
    } else if (match(w, {"show", "wireless", "client", "summary"}) && w.size() == 4) {
        answer(show_client_summary());
    } else if ((match(w, {"show", "wireless", "client", "mac-address"}, &rest) ||
                match(w, {"show", "wireless", "client", "mac"}, &rest)) &&
               rest.size() == 2 && match({rest[1]}, {"detail"})) {
        answer(client_detail(rest[0]));
    } else if (match(w, {"wireless", "client", "mac-address"}, &rest) && rest.size() == 2 &&
               match({rest[1]}, {"deauthenticate"})) {
        deauthenticate(rest[0]);
    } else if (match(w, {"request", "platform", "software", "trace", "archive", "last"}, &rest) &&
               rest.size() == 4 && match({rest[1]}, {"hour"}) && match({rest[2]}, {"target"})) {
        trace_archive(rest[3]);
    } else if (match(w, {"request", "platform", "software", "process", "core"}, &rest) &&
               rest.size() == 5 && rest[0] == "wncd") {
        wncd_core();
    } else if (match(w, {"clear", "counters"}) && w.size() == 2) {
        confirm("Clear \"show interface\" counters on all interfaces [confirm]",
                [this] { answer("\n"); });
    } else if ((match(w, {"exit"}) || match(w, {"logout"}) || match(w, {"quit"})) &&
               w.size() == 1) {
        term_.drop(false);
    } else {
        return false;
    }
    return true;
}

std::string ControllerCli::show_version() const {
    std::string v = cfg_.version;
    return "Cisco IOS XE Software, Version " + v +
           "\nCisco IOS Software [Cupertino], C9800 Software "
           "(X86_64_LINUX_IOSD-UNIVERSALK9_WLC-M), "
           "Version " +
           v +
           ", RELEASE SOFTWARE (fc3)\n"
           "Technical Support: http://www.cisco.com/techsupport\n"
           "Copyright (c) 1986-2023 by Cisco Systems, Inc.\n"
           "Compiled Fri 20-Oct-23 10:44 by mcpre\n\n"
           "ROM: IOS-XE ROMMON\n\n" +
           cfg_.hostname + " uptime is " + uptime_text(cfg_.uptime_minutes) +
           "\nUptime for this control processor is " + uptime_text(cfg_.uptime_minutes + 2LL) +
           "\nSystem returned to ROM by Reload Command\n"
           "System image file is \"bootflash:packages.conf\"\n"
           "Last reload reason: Reload Command\n\n"
           "cisco " +
           cfg_.model +
           " (KVM) processor with 5926444K/6147K bytes of memory.\n"
           "Processor board ID " +
           cfg_.serial +
           "\n"
           "4 Virtual Ethernet interfaces\n"
           "32768K bytes of non-volatile configuration memory.\n"
           "16009252K bytes of physical memory.\n\n"
           "Configuration register is 0x2102\n";
}

bool ControllerCli::lists(const Device& ap) const {
    return ap.controller == cfg_.address ||
           std::find(ap.extra_controllers.begin(), ap.extra_controllers.end(), cfg_.address) !=
               ap.extra_controllers.end();
}

std::vector<Client> ControllerCli::current_clients() const {
    auto now = std::chrono::steady_clock::now();
    return dev_.with_state([&](DeviceState& s) {
        for (Client& c : s.clients) {
            if (c.run_after_seconds <= 0 || c.state == "Run") continue;
            auto [it, first] = dev_.first_listed.emplace(c.mac, now);
            if (!first && now - it->second >= std::chrono::seconds(c.run_after_seconds)) {
                c.state = "Run";
                c.policy_state.clear();
            }
        }
        return s.clients;
    });
}

std::string ControllerCli::show_ap_summary() const {
    std::string rows;
    int n = 0;
    for (const Device* ap : aps_) {
        if (!lists(*ap)) continue;
        ++n;
        bool three_radios = ap->model.find("9136") != std::string::npos ||
                            ap->model.find("9166") != std::string::npos;
        rows += pad(ap->hostname, 33) + pad(three_radios ? "3" : "2", 6) + pad(ap->model, 21) +
                pad(ap->ethernet_mac, 15) + pad(radio_mac(ap->ethernet_mac), 15) +
                pad(ap->location, 33) + pad("US", 8) + pad(ap->address, 42) + "Registered\n";
    }
    std::string head = "Number of APs: " + std::to_string(n) + "\n\n" + pad("AP Name", 33) +
                       pad("Slots", 6) + pad("AP Model", 21) + pad("Ethernet MAC", 15) +
                       pad("Radio MAC", 15) + pad("Location", 33) + pad("Country", 8) +
                       pad("IP Address", 42) + "State\n" + std::string(184, '-') + "\n";
    return head + rows;
}

std::string ControllerCli::show_ap_tag_summary() const {
    std::string rows;
    int n = 0;
    for (const Device* ap : aps_) {
        if (!lists(*ap)) continue;
        ++n;
        rows += pad(ap->hostname, 34) + pad(ap->ethernet_mac, 17) + pad(ap->site_tag, 33) +
                pad(ap->policy_tag, 33) + pad(ap->rf_tag, 33) + pad("No", 17) + "Static\n";
    }
    return "Number of APs: " + std::to_string(n) + "\n\n" + pad("AP Name", 34) + pad("AP Mac", 17) +
           pad("Site Tag Name", 33) + pad("Policy Tag Name", 33) + pad("RF Tag Name", 33) +
           pad("Misconfigured", 17) + "Tag Source\n" + std::string(177, '-') + "\n" + rows;
}

std::string ControllerCli::show_client_summary() const {
    std::vector<Client> clients = current_clients();
    std::string out = "Number of Clients: " + std::to_string(clients.size()) + "\n\n" +
                      pad("MAC Address", 15) + pad("AP Name", 47) + pad("Type ID", 10) +
                      pad("State", 18) + pad("Protocol", 9) + pad("Method", 11) + "Role\n" +
                      std::string(121, '-') + "\n";
    for (const Client& c : clients)
        out += pad(c.mac, 15) + pad(c.ap_name, 47) + pad("WLAN " + std::to_string(c.wlan_id), 10) +
               pad(c.state, 18) + pad("11ax(5)", 9) + pad(c.wlan_id == 2 ? "PSK" : "Dot1x", 11) +
               "Local\n";
    return out;
}

std::string ControllerCli::client_detail(const std::string& mac) const {
    std::vector<Client> clients = current_clients();
    const Client* c = nullptr;
    for (const Client& x : clients)
        if (x.mac == mac) c = &x;
    if (!c) return "% Client " + mac + " not found\n";
    std::string ap_mac;
    for (const Device* ap : aps_)
        if (ap->hostname == c->ap_name) ap_mac = ap->ethernet_mac;
    const std::string& pm_state = c->policy_state.empty() ? c->state : c->policy_state;
    bool run = pm_state == "Run";
    std::string ssid = wlan_name(c->wlan_id);
    return "Client MAC Address : " + c->mac +
           "\n"
           "Client MAC Type : Universally Administered Address\n"
           "Client DUID: NA\n"
           "Client IPv4 Address : " +
           (c->ip.empty() ? std::string("0.0.0.0") : c->ip) +
           "\n"
           "Client Username : " +
           (c->username.empty() ? std::string("N/A") : c->username) +
           "\n"
           "AP MAC Address : " +
           ap_mac +
           "\n"
           "AP Name: " +
           c->ap_name +
           "\n"
           "AP slot : 1\n"
           "Client State : Associated\n"
           "Policy Profile : default-policy-profile\n"
           "Flex Profile : N/A\n"
           "Wireless LAN Id: " +
           std::to_string(c->wlan_id) +
           "\n"
           "WLAN Profile Name: " +
           ssid +
           "\n"
           "Wireless LAN Network Name (SSID): " +
           ssid +
           "\n"
           "BSSID : " +
           radio_mac(ap_mac) +
           "\n"
           "Connected For : " +
           std::to_string(c->connected_for) +
           " seconds \n"
           "Protocol : 802.11ax - 5 GHz\n"
           "Channel : 36\n"
           "Client IIF-ID : 0xa0000003\n"
           "Association Id : 1\n"
           "Authentication Algorithm : Open System\n"
           "Status Code : 0\n"
           "Session Timeout : 1800 sec (Remaining time: 1780 sec)\n"
           "Supported Rates : 9.0,18.0,36.0,48.0,54.0\n"
           "Policy Manager State: " +
           pm_state +
           "\n"
           "Last Policy Manager State : " +
           (run ? "IP Learn Complete" : "Dot1x Authenticating") +
           "\n"
           "Client Entry Create Time : " +
           std::to_string(c->entry_create_time) +
           " seconds \n"
           "Policy Type : WPA2\n"
           "Encryption Cipher : CCMP (AES)\n"
           "Authentication Key Management : 802.1x\n"
           "VLAN : 100\n"
           "Multicast VLAN : 0\n";
}

void ControllerCli::deauthenticate(const std::string& mac) {
    dev_.with_state([&](DeviceState& s) {
        for (auto it = s.clients.begin(); it != s.clients.end(); ++it) {
            if (it->mac == mac) {
                s.clients.erase(it);
                s.deauthenticated.push_back(mac);
                break;
            }
        }
        return 0;
    });
    answer("");
}

void ControllerCli::trace_archive(const std::string& target) {
    int ms = cfg_.transfer_ms;
    term_.say("Waiting for file creation...\n", ms / 4);
    term_.say("Creating archive file [" + target + "] ...\n", ms / 2);
    if (cfg_.faults.archive_fails) {
        term_.then([this] { answer("Unable to create archive file: No space left on device\n"); },
                   ms - ms / 4 - ms / 2);
        return;
    }
    term_.then(
        [this, target] {
            dev_.with_state([](DeviceState& s) { return ++s.archive_count; });
            answer("Done with creation of the archive file: [" + target + "]\n");
        },
        ms - ms / 4 - ms / 2);
}

void ControllerCli::wncd_core() {
    term_.then(
        [this] {
            dev_.with_state([](DeviceState& s) { return ++s.core_count; });
            answer("SUCCESS: Core file generated.\n");
        },
        cfg_.transfer_ms);
}

}  // namespace fleetsim
