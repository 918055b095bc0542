#include "ap_cli.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fleetsim {
namespace {

constexpr long kImageBytes = 48234496;

std::string series_of(const std::string& model) {
    // C9130AXI-B -> C9130, AIR-AP2802I-E-K9 -> AP2802
    std::string m = model.rfind("AIR-", 0) == 0 ? model.substr(4) : model;
    size_t i = 0;
    while (i < m.size() && !std::isdigit(static_cast<unsigned char>(m[i]))) ++i;
    while (i < m.size() && std::isdigit(static_cast<unsigned char>(m[i]))) ++i;
    return m.substr(0, i);
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string sizes_for(int percent, double total_mb) {
    char buf[128];
    double used = total_mb * percent / 100.0;
    std::snprintf(buf, sizeof buf, "%8.1fM %8.1fM %8.1fM %3d%%", total_mb, used, total_mb - used,
                  percent);
    return buf;
}

// "45.5M", "1.2G", "512K" in megabytes; 0 when the text holds no figure.
double megabytes(const std::string& text) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !(v >= 0)) return 0;
    char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(*end)));
    if (unit == 'G') return v * 1024;
    if (unit == 'K') return v / 1024;
    return v;
}

}  // namespace

bool ApCli::dispatch(const Words& w) {
    Words rest;
    if (match(w, {"enable"}) && w.size() == 1) {
        enable();
    } else if (match(w, {"disable"}) && w.size() == 1) {
        enabled_ = false;
        show_prompt();
    } else if (match(w, {"terminal", "length"}, &rest)) {
        if (cfg_.faults.reject_terminal_length && upper(w[0]) == "TERMINAL") return false;
        return set_terminal_length(w, 2);
    } else if (match(w, {"terminal", "width"}, &rest) && rest.size() == 1) {
        answer("");
    } else if (match(w, {"show", "inventory"}) && w.size() == 2) {
        answer(show_inventory());
    } else if (match(w, {"show", "version"}) && w.size() == 2) {
        answer(show_version());
    } else if (match(w, {"show", "boot"}) && w.size() == 2) {
        answer(show_boot());
    } else if (match(w, {"show", "filesystems"}) && w.size() == 2) {
        answer(show_filesystems());
    } else if ((match(w, {"show", "flash"}) && w.size() == 2) ||
               (match(w, {"dir"}) && w.size() <= 2)) {
        answer(show_flash());
    } else if (match(w, {"show", "image", "integrity"}) && w.size() == 3) {
        answer(show_image_integrity());
    } else if (match(w, {"show", "clock"}) && w.size() == 2) {
        answer("*10:15:42.123 UTC Tue Dec 8 2026\n");
    } else if ((match(w, {"exit"}) || match(w, {"logout"}) || match(w, {"quit"})) &&
               w.size() == 1) {
        term_.drop(false);
    } else if (!enabled_) {
        return false;
    } else {
        return privileged(w);
    }
    return true;
}

bool ApCli::privileged(const Words& w) {
    Words rest;
    if (match(w, {"delete"}, &rest) && rest.size() == 3 && rest[0] == "/force" &&
        rest[1] == "/recursive" && rest[2].rfind("/tmp", 0) == 0) {
        dev_.with_state([](DeviceState& s) {
            s.tmp_usage_percent = 4;
            return ++s.cleanup_count;
        });
        answer("");
    } else if (match(w, {"reload"}) && w.size() == 1) {
        reload();
    } else if (match(w, {"copy"}, &rest) && rest.size() == 2) {
        copy(rest[0]);
    } else if (match(w, {"archive", "download-sw"}, &rest) && !rest.empty()) {
        archive_download(rest.back());
    } else if (match(w, {"ip", "sftp", "username"}, &rest) && rest.size() == 1) {
        dev_.with_state([&](DeviceState& s) {
            s.sftp_username = rest[0];
            return 0;
        });
        answer("");
    } else if (match(w, {"ip", "sftp", "password"}, &rest) && rest.size() == 1) {
        dev_.with_state([&](DeviceState& s) {
            s.sftp_password = rest[0];
            return 0;
        });
        answer("");
    } else if (match(w, {"clear", "counters"}) && w.size() == 2) {
        confirm("Clear \"show interface\" counters on all interfaces [confirm]",
                [this] { answer("\n"); });
    } else if (match(w, {"clear", "capwap", "private-config"}) && w.size() == 3) {
        confirm("Are you sure you want to clear the CAPWAP private configuration? (y/n) ",
                [this] { answer("\nCAPWAP private configuration cleared.\n"); });
    } else {
        return false;
    }
    return true;
}

void ApCli::enable() {
    if (enabled_) {
        show_prompt();
        return;
    }
    term_.say("Password: ");
    term_.ask_line(false, [this](const std::string& secret) {
        if (!cfg_.faults.refuse_enable && secret == cfg_.enable_secret) {
            enabled_ = true;
        } else {
            term_.say("% Bad secrets\n\n");
        }
        show_prompt();
    });
}

std::string ApCli::show_inventory() const {
    std::string series = series_of(cfg_.model);
    if (!series.empty() && series[0] == 'C') series.erase(0, 1);
    return "NAME: \"" + cfg_.model + "\"    , DESCR: \"Cisco Catalyst " + series +
           " Series Access Point\"\nPID: " + cfg_.model + "  , VID: 01, SN: " + cfg_.serial +
           "\n\n";
}

std::string ApCli::show_version() const {
    std::string series = series_of(cfg_.model);
    std::string sig = cfg_.model_signature;
    std::string image = upper(sig.size() > 2 ? sig.substr(1, sig.size() - 2) : "ap") + "-K9W8-M";
    return "Cisco AP Software, " + sig + ", " + series + " Software (" + image + "), Version " +
           cfg_.version +
           ", RELEASE SOFTWARE (fc1)\n"
           "Technical Support: http://www.cisco.com/techsupport\n"
           "Copyright (c) 1986-2024 by Cisco Systems, Inc.\n"
           "Compiled Thu Jan 18 02:11:07 PST 2024\n\n"
           "ROM: Bootstrap program is U-Boot boot loader\n"
           "BOOTLDR: U-Boot boot loader Version 2018.01.0.1\n\n" +
           cfg_.hostname + " uptime is " + uptime_text(cfg_.uptime_minutes) +
           "\n"
           "Last reload time   : Tue Dec 1 09:12:44 UTC 2026\n"
           "Last reload reason : " +
           (dev_.with_state([](DeviceState& s) { return s.reload_count; }) ? "reload command"
                                                                           : "power-on") +
           "\n\n"
           "cisco " +
           cfg_.model +
           " ARMv8 Processor rev 4 (v8l) with 1759836/1159608K bytes of memory.\n"
           "Processor board ID " +
           cfg_.serial +
           "\n"
           "AP Running Image     : " +
           cfg_.version +
           "\n"
           "Primary Boot Image   : " +
           cfg_.version +
           "\n"
           "Backup Boot Image    : " +
           cfg_.backup_version +
           "\n"
           "Primary Boot Image Hash: 5b2e0d31c1a0f8e3e5a9e4a7d6c3b2a1\n"
           "Backup Boot Image Hash: 9f8e7d6c5b4a39281706f5e4d3c2b1a0\n"
           "1 Multi-Gigabit Ethernet interfaces\n"
           "2 802.11 Radios\n\n"
           "Base ethernet MAC Address            : " +
           cfg_.ethernet_mac +
           "\n"
           "Part Number                          : 0-0000-00\n"
           "PCA Assembly Number                  : 000-00000-00\n"
           "PCA Revision Number                  : \n"
           "PCB Serial Number                    : " +
           cfg_.serial +
           "\n"
           "Top Assembly Part Number             : 068-00000-00\n"
           "Top Assembly Serial Number           : " +
           cfg_.serial +
           "\n"
           "Top Revision Number                  : A0\n"
           "Product/Model Number                 : " +
           cfg_.model + "\n";
}

std::string ApCli::show_boot() const {
    return "BOOT path-list:      " + cfg_.boot_partition +
           "\n"
           "Console Baud rate:  9600\n"
           "Enable Break:  no\n"
           "Manual Boot:  no\n"
           "HELPER path-list:\n"
           "NVRAM/Config file\n"
           "      buffer size:   262144\n";
}

std::string ApCli::show_filesystems() const {
    int tmp = dev_.with_state([](DeviceState& s) { return s.tmp_usage_percent; });
    // The used space and fill level follow from the configured free space, as on a device.
    constexpr double kPart2Mb = 118.3;
    double free_mb = std::min(megabytes(cfg_.part2_available), kPart2Mb);
    char part2[96];
    std::snprintf(part2, sizeof part2, "%8.1fM %8.1fM %8s %3d%%", kPart2Mb, kPart2Mb - free_mb,
                  cfg_.part2_available.c_str(),
                  static_cast<int>((kPart2Mb - free_mb) * 100 / kPart2Mb + 0.5));
    return "Filesystem                Size     Used Available Use% Mounted on\n"
           "/dev/ubivol/part1    " +
           sizes_for(48, 118.3) +
           " /part1\n"
           "/dev/ubivol/part2    " +
           std::string(part2) +
           " /part2\n"
           "/dev/ubivol/storage  " +
           sizes_for(12, 57.5) +
           " /storage\n"
           "tmpfs                " +
           sizes_for(tmp, 60.0) +
           " /tmp\n"
           "none                 " +
           sizes_for(1, 1.0) + " /dev\n";
}

std::string ApCli::show_flash() const {
    std::string out =
        "Directory of /storage/\n\n"
        "drwxr-xr-x    2 root     root             0 Dec  1 09:12 lost+found\n"
        "-rw-r--r--    1 root     root          2310 Dec  1 09:13 private-config\n"
        "-rw-r--r--    1 root     root         14022 Dec  1 09:13 config.flex\n";
    if (cfg_.cnssdaemon_log)
        out += "-rw-r--r--    1 root     root       4194304 Dec  7 23:58 cnssdaemon.log\n";
    out +=
        "-rw-r--r--    1 root     root           512 Dec  1 09:14 ap_config.txt\n\n"
        "57.5M bytes total (50.6M bytes free)\n";
    return out;
}

std::string ApCli::show_image_integrity() const {
    std::string bad = cfg_.image_integrity_good ? "Good" : "Bad";
    return "/part1 (Primary)\n"
           "    AP image             : Good\n"
           "    Radio image          : " +
           bad +
           "\n"
           "    IOX image            : Good\n"
           "/part2 (Backup)\n"
           "    AP image             : Good\n"
           "    Radio image          : Good\n"
           "    IOX image            : Good\n\n";
}

void ApCli::reload() {
    confirm("Proceed with reload? [confirm]", [this] {
        dev_.with_state([](DeviceState& s) {
            s.tmp_usage_percent = 3;
            return ++s.reload_count;
        });
        term_.say("\n\nWriting reload reason: reload command\nReloading AP...\n");
        term_.drop(false);
    });
}

void ApCli::copy(const std::string& source) {
    bool sftp = source.rfind("sftp://", 0) == 0 || source.rfind("scp://", 0) == 0;
    bool tftp = source.rfind("tftp://", 0) == 0;
    if (!sftp && !tftp) {
        term_.say("%Error opening " + source + " (Invalid argument)\n");
        show_prompt();
        return;
    }
    if (!sftp) {
        run_copy(source, true);
        return;
    }
    term_.say("Username: ");
    term_.ask_line(true, [this, source](const std::string& user) {
        term_.say("Password: ");
        term_.ask_line(false, [this, source, user](const std::string& password) {
            run_copy(source, !trim(user).empty() && !password.empty());
        });
    });
}

void ApCli::run_copy(const std::string& source, bool ok) {
    // A URL without a host or file cannot be fetched, as on a real AP.
    size_t scheme = source.find("://");
    std::string path = source.substr(scheme + 3);
    if (!ok) {
        term_.say("%Error opening " + source + " (Permission denied)\n", 300);
        show_prompt();
        return;
    }
    if (path.empty() || path[0] == '/' || path.find('/') == std::string::npos ||
        path.back() == '/') {
        term_.say("%Error opening " + source + " (No such file or directory)\n", 200);
        show_prompt();
        return;
    }
    int ms = cfg_.transfer_ms;
    term_.say("Accessing " + source + "...\n");
    for (int i = 0; i < 5; ++i) term_.say("!!!!!!!!!!", ms / 5);
    term_.then([this, ms] {
        dev_.with_state([](DeviceState& s) { return ++s.transfer_count; });
        char line[160];
        double secs = ms / 1000.0 > 0 ? ms / 1000.0 : 0.001;
        std::snprintf(line, sizeof line,
                      "\n[OK - %ld bytes]\n\n%ld bytes copied in %.3f secs (%ld bytes/sec)\n",
                      kImageBytes, kImageBytes, secs, static_cast<long>(kImageBytes / secs));
        term_.say(line);
        show_prompt();
    });
}

void ApCli::archive_download(const std::string& source) {
    int ms = cfg_.transfer_ms;
    term_.say("Starting download of " + source + " ...\n");
    for (int i = 0; i < 8; ++i) term_.say(i % 3 == 2 ? "....." : "!!!!!!!!!!", ms / 8);
    term_.then([this] {
        dev_.with_state([](DeviceState& s) { return ++s.transfer_count; });
        term_.say("\nImage transfer complete.\nArchive done.\n");
        show_prompt();
    });
}

}  // namespace fleetsim
