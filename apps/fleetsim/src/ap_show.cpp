#include "fleetsim/ap_show.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "cli.hpp"

namespace fleetsim {
namespace {

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

std::string ap_show_inventory(const Device& ap) {
    std::string series = series_of(ap.model);
    if (!series.empty() && series[0] == 'C') series.erase(0, 1);
    return "NAME: \"" + ap.model + "\"    , DESCR: \"Cisco Catalyst " + series +
           " Series Access Point\"\nPID: " + ap.model + "  , VID: 01, SN: " + ap.serial + "\n\n";
}

std::string ap_show_version(const Device& ap, const DeviceState& state) {
    std::string series = series_of(ap.model);
    std::string sig = ap.model_signature;
    std::string image = upper(sig.size() > 2 ? sig.substr(1, sig.size() - 2) : "ap") + "-K9W8-M";
    return "Cisco AP Software, " + sig + ", " + series + " Software (" + image + "), Version " +
           ap.version +
           ", RELEASE SOFTWARE (fc1)\n"
           "Technical Support: http://www.cisco.com/techsupport\n"
           "Copyright (c) 1986-2024 by Cisco Systems, Inc.\n"
           "Compiled Thu Jan 18 02:11:07 PST 2024\n\n"
           "ROM: Bootstrap program is U-Boot boot loader\n"
           "BOOTLDR: U-Boot boot loader Version 2018.01.0.1\n\n" +
           ap.hostname + " uptime is " + uptime_text(ap.uptime_minutes) +
           "\n"
           "Last reload time   : Tue Dec 1 09:12:44 UTC 2026\n"
           "Last reload reason : " +
           (state.reload_count ? "reload command" : "power-on") +
           "\n\n"
           "cisco " +
           ap.model +
           " ARMv8 Processor rev 4 (v8l) with 1759836/1159608K bytes of memory.\n"
           "Processor board ID " +
           ap.serial +
           "\n"
           "AP Running Image     : " +
           ap.version +
           "\n"
           "Primary Boot Image   : " +
           ap.version +
           "\n"
           "Backup Boot Image    : " +
           ap.backup_version +
           "\n"
           "Primary Boot Image Hash: 5b2e0d31c1a0f8e3e5a9e4a7d6c3b2a1\n"
           "Backup Boot Image Hash: 9f8e7d6c5b4a39281706f5e4d3c2b1a0\n"
           "1 Multi-Gigabit Ethernet interfaces\n"
           "2 802.11 Radios\n\n"
           "Base ethernet MAC Address            : " +
           ap.ethernet_mac +
           "\n"
           "Part Number                          : 0-0000-00\n"
           "PCA Assembly Number                  : 000-00000-00\n"
           "PCA Revision Number                  : \n"
           "PCB Serial Number                    : " +
           ap.serial +
           "\n"
           "Top Assembly Part Number             : 068-00000-00\n"
           "Top Assembly Serial Number           : " +
           ap.serial +
           "\n"
           "Top Revision Number                  : A0\n"
           "Product/Model Number                 : " +
           ap.model + "\n";
}

std::string ap_show_boot(const Device& ap) {
    return "BOOT path-list:      " + ap.boot_partition +
           "\n"
           "Console Baud rate:  9600\n"
           "Enable Break:  no\n"
           "Manual Boot:  no\n"
           "HELPER path-list:\n"
           "NVRAM/Config file\n"
           "      buffer size:   262144\n";
}

std::string ap_show_filesystems(const Device& ap, const DeviceState& state) {
    const int tmp = state.tmp_usage_percent;
    // The used space and fill level follow from the configured free space, as on a device.
    constexpr double kPart2Mb = 118.3;
    double free_mb = std::min(megabytes(ap.part2_available), kPart2Mb);
    char part2[96];
    std::snprintf(part2, sizeof part2, "%8.1fM %8.1fM %8s %3d%%", kPart2Mb, kPart2Mb - free_mb,
                  ap.part2_available.c_str(),
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

std::string ap_show_flash(const Device& ap) {
    std::string out =
        "Directory of /storage/\n\n"
        "drwxr-xr-x    2 root     root             0 Dec  1 09:12 lost+found\n"
        "-rw-r--r--    1 root     root          2310 Dec  1 09:13 private-config\n"
        "-rw-r--r--    1 root     root         14022 Dec  1 09:13 config.flex\n";
    if (ap.cnssdaemon_log)
        out += "-rw-r--r--    1 root     root       4194304 Dec  7 23:58 cnssdaemon.log\n";
    out +=
        "-rw-r--r--    1 root     root           512 Dec  1 09:14 ap_config.txt\n\n"
        "57.5M bytes total (50.6M bytes free)\n";
    return out;
}

std::string ap_show_image_integrity(const Device& ap) {
    std::string bad = ap.image_integrity_good ? "Good" : "Bad";
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

}  // namespace fleetsim
