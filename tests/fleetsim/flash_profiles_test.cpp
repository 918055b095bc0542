// Each demo-fleet AP's answers to the five flash commands, written as a poll writes its
// per-AP log, lead the analyser to the recovery group the AP stands for.
#include <gmock/gmock.h>

#include <fstream>
#include <map>

#include "fleetsim/simulator.hpp"
#include "ssh_test_client.hpp"
#include "tessivar/tessivar.hpp"
#include "tests/support/temp_folder.hpp"

namespace fleetsim_test {
namespace {

constexpr const char* kFlashCommands[] = {"show version", "show boot", "show filesystems",
                                          "show image integrity", "show flash"};

// What the session layer hands back for a command: the device's answer without the echoed
// command line and without the final prompt.
std::string output_of(const std::string& received, const std::string& prompt) {
    std::string out = received.substr(received.find("\r\n") + 2);
    out.resize(out.size() - prompt.size());
    if (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0) out.resize(out.size() - 2);
    return out;
}

// The AP's log file as a poll with the five flash commands writes it.
void write_poll_log(const fleetsim::Device& ap, int port, const std::filesystem::path& dir) {
    SshTestClient c(ap.address, port, ap.username, ap.password);
    const std::string prompt = ap.hostname + "#";
    c.read_until(ap.hostname + ">");
    c.command("enable", "Password: ");
    c.command(ap.enable_secret, prompt);
    c.command("terminal length 0", prompt);
    std::string log = "<run timestamp='2026-12-08T10:15:42.123456' device='AP' hostname='" +
                      ap.hostname + "' model='" + ap.model + "' version='" + ap.version + "' Ip='" +
                      ap.address + "' SN='" + ap.serial + "'>\n";
    for (const char* cmd : kFlashCommands) {
        log += std::string("\n<cmd string='") + cmd + "'>\n\t" + cmd + "\n";
        log += output_of(c.command(cmd, prompt, 15000), prompt) + "\n";
    }
    std::ofstream(dir / ("AP_" + ap.hostname + ".log"), std::ios::binary) << log;
}

TEST(FleetsimFlashProfiles, EachDemoApLandsInItsRecoveryGroup) {
    const std::string swap = "Recover with image partition swap";
    const std::string devshell = "Recover with devshell";
    const std::string archive = "Safe state but AP has buggy image in the backup partition";
    const std::string integrity = "Image integrity check has failed for these APs";
    const std::string low_flash = "Partition is safe but the flash storage is low";
    struct Expected {
        std::string recovery;  // empty: healthy
        std::string model_text;
    };
    // APs that cannot be polled (unreachable, enable refused, dropped) are left out.
    const std::map<std::string, Expected> expected = {
        {"AP-HQ-LOBBY-01", {}},
        {"AP-HQ-FLOOR2-02", {}},
        {"AP-HQ-FLOOR3-SWAP", {swap, "(ap1g6a)"}},
        {"AP-HQ-FLOOR4-LOWMEM", {devshell, "(ap1g8)"}},
        {"AP-HQ-FLOOR5-MULTI",
         {devshell,
          "(ap1g6b) [MULTI: Image integrity failed, Very low memory (<20MB), Partition swap "
          "required]"}},
        {"AP-BR1-ARCHIVE", {archive, "(ap1g6a)"}},
        {"AP-BR1-INTEGRITY", {integrity, "(ap1g6)"}},
        {"AP-BR10-LOWFLASH", {low_flash, "(ap1g6a)"}},
        {"AP-BR10-LEGACY", {}},
        {"AP-WH-DOCK-C9120", {}},
        {"AP-LAB-HUGE", {}},
        {"AP-LAB-GARBAGE", {}},
    };

    fleetsim::Simulator sim(fleetsim::demo_fleet());
    sim.start();
    test_support::TempFolder logs;
    std::map<std::string, std::string> address_of;
    for (const fleetsim::Device& d : sim.fleet().devices) {
        if (!expected.count(d.hostname)) continue;
        SCOPED_TRACE(d.hostname);
        write_poll_log(d, sim.port(), logs.path());
        address_of[d.hostname] = d.address;
    }
    ASSERT_EQ(address_of.size(), expected.size());

    auto [susceptible, report] = tessivar::analyze_logs(logs.path());
    EXPECT_FALSE(report.empty());
    std::map<std::string, tessivar::SusceptibleAp> found;
    for (const auto& s : susceptible) found[s.ap_name] = s;
    for (const auto& [name, want] : expected) {
        SCOPED_TRACE(name);
        auto it = found.find(name);
        if (want.recovery.empty()) {
            EXPECT_EQ(it, found.end()) << it->second.recovery;
            continue;
        }
        ASSERT_NE(it, found.end());
        EXPECT_EQ(it->second.recovery, want.recovery);
        EXPECT_EQ(it->second.ap_model, want.model_text);
        EXPECT_EQ(it->second.ap_ip, address_of[name]);
    }
}

}  // namespace
}  // namespace fleetsim_test
