#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "quorvane/engine/ssh/known_hosts.hpp"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

const HostKey kKeyA{"ssh-ed25519", "AAAAC3NzaC1lZDI1NTE5AAAAIA"};
const HostKey kKeyB{"ssh-ed25519", "AAAAC3NzaC1lZDI1NTE5AAAAIB"};

std::string read_text(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path fresh_file(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / "known_hosts_test";
    fs::create_directories(dir);
    fs::remove(dir / name);
    return dir / name;
}

TEST(KnownHostsName, BracketsNonStandardPorts) {
    EXPECT_EQ(known_hosts_name("10.1.1.5", 22), "10.1.1.5");
    EXPECT_EQ(known_hosts_name("127.0.0.2", 2222), "[127.0.0.2]:2222");
}

TEST(KnownHostsParse, MatchesHostListsAndSkipsCommentsHashesAndMarkers) {
    const std::string text =
        "# comment\n"
        "\n"
        "10.0.0.1,10.0.0.2 ssh-ed25519 KEY1\n"
        "|1|c2FsdA==|aGFzaA== ssh-ed25519 HASHED\n"
        "@revoked 10.0.0.2 ssh-ed25519 REVOKED\n"
        "[10.0.0.2]:2222 ssh-rsa KEY2 comment here\r\n"
        "10.0.0.20 ssh-ed25519 OTHER\n"
        "10.0.0.2 ecdsa-sha2-nistp256 KEY3";
    EXPECT_EQ(known_keys_for(text, "10.0.0.2"),
              (std::vector<HostKey>{{"ssh-ed25519", "KEY1"}, {"ecdsa-sha2-nistp256", "KEY3"}}));
    EXPECT_EQ(known_keys_for(text, "[10.0.0.2]:2222"), (std::vector<HostKey>{{"ssh-rsa", "KEY2"}}));
    EXPECT_TRUE(known_keys_for(text, "10.0.0.3").empty());
    EXPECT_TRUE(known_keys_for("10.0.0.3 ssh-ed25519\n", "10.0.0.3").empty());
}

TEST(KnownHostsCheck, RecordsFirstUseThenAcceptsAndRefusesAChange) {
    const fs::path file = fresh_file("sub/dir/known_hosts");
    EXPECT_EQ(check_and_record_host_key(file, "127.0.0.9", 2222, kKeyA), HostKeyCheck::recorded);
    EXPECT_EQ(read_text(file), "[127.0.0.9]:2222 " + kKeyA.type + " " + kKeyA.base64 + "\n");
    EXPECT_EQ(check_and_record_host_key(file, "127.0.0.9", 2222, kKeyA), HostKeyCheck::known);
    EXPECT_EQ(check_and_record_host_key(file, "127.0.0.9", 2222, kKeyB), HostKeyCheck::changed);
    // Same address on another port is another device.
    EXPECT_EQ(check_and_record_host_key(file, "127.0.0.9", 22, kKeyB), HostKeyCheck::recorded);
}

TEST(KnownHostsCheck, AppendsOnANewLineToAFileWithoutFinalBreak) {
    const fs::path file = fresh_file("known_hosts_no_break");
    std::ofstream(file) << "10.0.0.1 ssh-ed25519 KEY1";
    EXPECT_EQ(check_and_record_host_key(file, "10.0.0.2", 22, kKeyA), HostKeyCheck::recorded);
    EXPECT_EQ(read_text(file),
              "10.0.0.1 ssh-ed25519 KEY1\n10.0.0.2 " + kKeyA.type + " " + kKeyA.base64 + "\n");
}

TEST(KnownHostsCheck, ConcurrentFirstUsesWriteOneWholeLineEach) {
    const fs::path file = fresh_file("known_hosts_concurrent");
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            // Every thread records its own device and races another on a shared one.
            check_and_record_host_key(file, "127.0.1." + std::to_string(i), 22, kKeyA);
            check_and_record_host_key(file, "127.0.2.1", 22, kKeyB);
        });
    }
    for (auto& t : threads) t.join();
    const std::string text = read_text(file);
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(known_keys_for(text, "127.0.1." + std::to_string(i)),
                  std::vector<HostKey>{kKeyA});
    }
    EXPECT_EQ(known_keys_for(text, "127.0.2.1"), std::vector<HostKey>{kKeyB});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kThreads + 1);
}

}  // namespace
}  // namespace quorvane
