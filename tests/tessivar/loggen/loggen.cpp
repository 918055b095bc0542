#include "loggen.hpp"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace tessivar::loggen {
namespace {

void command_block(std::string& out, std::string_view cmd) {
    out += "\n<cmd string='";
    out += cmd;
    out += "'>\n\t";
    out += cmd;
    out += "\n";
}

// Syslog-like lines that mention none of the checked markers.
void filler(std::string& out, std::size_t bytes, std::uint32_t& state) {
    if (bytes == 0) return;
    command_block(out, "show logging");
    static constexpr std::string_view kEvents[] = {"wlan0: station associated",
                                                   "wlan1: station disassociated, reason 8",
                                                   "capwap: keepalive sent",
                                                   "dot11: channel changed to 36",
                                                   "dhcp: lease renewed",
                                                   "radius: accounting update sent",
                                                   "kernel: eth0 link up 1000Mbps full duplex"};
    const std::size_t target = out.size() + bytes;
    char line[160];
    while (out.size() < target) {
        state = state * 1664525u + 1013904223u;
        const unsigned v = state >> 8;
        const int n = std::snprintf(
            line, sizeof line, "Dec  8 %02u:%02u:%02u.%03u %s mac %02x:%02x:%02x:%02x rssi -%u\n",
            v % 24, v % 60, (v / 60) % 60, v % 1000, kEvents[v % 7].data(), v & 0xff,
            (v >> 3) & 0xff, (v >> 5) & 0xff, (v >> 7) & 0xff, 40 + v % 50);
        out.append(line, static_cast<std::size_t>(n));
    }
}

}  // namespace

std::string render_poll(const ApPoll& p) {
    std::string out;
    out += "<run timestamp='2026-03-01T14:05:09.123456' device='" + p.device + "' hostname='" +
           p.hostname + "' model='C9130AXI-B' version='" + p.running_image.value_or("UNKNOWN") +
           "' Ip='" + p.ip + "' SN='FOC2222X0AB'>\n";
    std::uint32_t state = p.seed;
    filler(out, p.filler_bytes / 2, state);

    command_block(out, "show version");
    if (p.signature) {
        out += "Cisco AP Software, " + *p.signature + ", C9130AX, RELEASE SOFTWARE (fc1)\n";
    }
    out += "Technical Support: support desk\nCopyright (c) 1986-2026\n";
    if (p.running_image) out += "AP Running Image     : " + *p.running_image + "\n";
    if (p.running_image) out += "Primary Boot Image   : " + *p.running_image + "\n";
    if (p.backup_image) out += "Backup Boot Image    : " + *p.backup_image + "\n";
    out += "AP uptime is 10 days, 2 hours, 5 minutes\n\n";

    command_block(out, "show boot");
    if (p.boot_partition) out += "BOOT path-list:      " + *p.boot_partition + "\n";
    out += "Config file:         /storage/config\n\n";

    command_block(out, "show filesystems");
    out += "Filesystem                Size      Used Available Use% Mounted on\n";
    if (p.part2_free) {
        out += "/dev/ubivol/part2       400.0M    280.0M " + *p.part2_free + "  70% /part2\n";
    }
    out += "tmpfs                   100.0M     12.0M     88.0M  12% /tmp\n\n";
    out += "[TMP] /tmp usage detected: 12%\n";

    command_block(out, "show flash");
    out += "Directory of /storage/\n";
    out += p.cnss_root_log
               ? "-rw-r--r--    1 root     root          2345 Dec  8 04:00 cnssdaemon.log\n"
               : "-rw-r--r--    1 support  support       2345 Dec  8 04:00 cnssdaemon.log\n";
    out += "-rw-r--r--    1 support  support        120 Dec  8 04:00 config\n\n";

    if (p.integrity) {
        const auto& s = *p.integrity;
        command_block(out, "show image integrity");
        out += "Image integrity check:\n";
        out += "  part1 rootfs      : " + s[0] + "\n";
        out += "  part1 kernel      : " + s[1] + "\n";
        out += "  part1 dtb         : " + s[2] + "\n\n";
        out += "Part2:\n";
        out += "  part2 rootfs      : " + s[3] + "\n";
        out += "  part2 kernel      : " + s[4] + "\n";
        out += "  part2 dtb         : " + s[5] + "\n\n";
    }
    filler(out, p.filler_bytes - p.filler_bytes / 2, state);
    return out;
}

std::string with_line_breaks(std::string_view text, std::string_view line_break) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            out += line_break;
        } else {
            out += c;
        }
    }
    return out;
}

void append_file(const std::filesystem::path& path, std::string_view text) {
    std::ofstream file(path, std::ios::binary | std::ios::app);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

std::vector<BranchCase> branch_cases() {
    const std::array<std::string, 6> good{"Good", "Good", "Good", "Good", "Good", "Good"};
    std::array<std::string, 6> bad = good;
    bad[4] = "Bad";
    const std::string swap = "Recover with image partition swap";
    const std::string devshell = "Recover with devshell";
    const std::string archive = "Safe state but AP has buggy image in the backup partition";
    const std::string integrity = "Image integrity check has failed for these APs";
    const std::string low_flash = "Partition is safe but the flash storage is low";

    std::vector<BranchCase> cases;
    auto add = [&](std::string name, auto tweak, std::string recovery, std::string model = "") {
        ApPoll p;
        p.hostname = name;
        tweak(p);
        if (model.empty() && !recovery.empty()) model = p.signature.value_or("UNKNOWN");
        cases.push_back({std::move(name), std::move(p), std::move(recovery), std::move(model)});
    };
    add(
        "healthy", [](ApPoll&) {}, "");
    add(
        "swap",
        [](ApPoll& p) {
            p.running_image = "17.13.1.5";
            p.part2_free = "50M";
        },
        swap);
    add(
        "part1-roomy",
        [](ApPoll& p) {
            p.running_image = "17.13.1.5";
            p.backup_image = "16.1.1.1";
            p.part2_free = "100M";
        },
        "");
    add(
        "critical",
        [](ApPoll& p) {
            p.signature = "(ap3g3)";
            p.part2_free = "10.0M";
        },
        devshell);
    add(
        "multi",
        [&](ApPoll& p) {
            p.integrity = bad;
            p.part2_free = "10240K";
        },
        devshell, "(ap1g6a) [MULTI: Image integrity failed, Very low memory (<20MB)]");
    add(
        "critical-low-flash",
        [](ApPoll& p) {
            p.running_image = "17.15.2.1";
            p.boot_partition = "part2";
            p.part2_free = "12M";
        },
        devshell, "(ap1g6a) [MULTI: Very low memory (<20MB), Low flash cleanup needed]");
    add(
        "backup", [](ApPoll& p) { p.backup_image = "17.9.6.100"; }, archive);
    add(
        "buggy-part2-roomy",
        [](ApPoll& p) {
            p.running_image = "17.12.4.212";
            p.boot_partition = "part2";
            p.backup_image = "17.3.1.1";
            p.part2_free = "1.2G";
        },
        archive);
    add(
        "integrity", [&](ApPoll& p) { p.integrity = bad; }, integrity);
    add(
        "low-flash",
        [](ApPoll& p) {
            p.signature = "(ap1g6b)";
            p.running_image = "17.18.1.100";
            p.boot_partition = "part2";
            p.part2_free = "45.5M";
        },
        low_flash);
    add(
        "backup-low-mem",
        [](ApPoll& p) {
            p.signature = "(ap1g6)";
            p.backup_image = "17.15.3.1";
            p.part2_free = "79.9M";
        },
        low_flash);
    add(
        "no-cnss",
        [](ApPoll& p) {
            p.cnss_root_log = false;
            p.running_image = "17.13.1.5";
            p.part2_free = "50M";
        },
        "");
    add(
        "other-model",
        [](ApPoll& p) {
            p.signature = "(ap3g3)";
            p.running_image = "17.13.1.5";
            p.part2_free = "50M";
        },
        "");
    add(
        "bare",
        [](ApPoll& p) {
            p.signature.reset();
            p.running_image.reset();
            p.backup_image.reset();
            p.boot_partition.reset();
            p.part2_free.reset();
            p.cnss_root_log = false;
            p.integrity.reset();
        },
        "");
    return cases;
}

void write_fleet(const std::filesystem::path& dir, std::size_t count, std::size_t bytes_per_file) {
    std::filesystem::create_directories(dir);
    const std::vector<BranchCase> cases = branch_cases();
    char name[32];
    for (std::size_t i = 0; i < count; ++i) {
        ApPoll poll = cases[i % cases.size()].poll;
        std::snprintf(name, sizeof name, "AP-%05zu", i);
        poll.hostname = name;
        poll.ip = "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) +
                  "." + std::to_string(i % 256);
        poll.seed = static_cast<std::uint32_t>(i + 1);
        const bool two_polls = i % 7 == 3;
        poll.filler_bytes = two_polls ? bytes_per_file / 2 : bytes_per_file;
        std::string text = render_poll(poll);
        if (two_polls) text += render_poll(poll);
        if (i % 10 == 9) text = with_line_breaks(text, "\r\n");
        append_file(dir / ("AP_" + std::string(name) + ".log"), text);
    }
}

}  // namespace tessivar::loggen
