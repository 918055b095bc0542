// The configuration that "quorvane <command> --simulate" writes for its simulated fleet:
// the two controllers, the AP login and an SFTP transfer the simulated APs accept, with
// every secret stored scrambled.
#include <gmock/gmock.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using Ini = std::map<std::string, std::map<std::string, std::string>>;

Ini parse_ini(const std::string& text) {
    Ini ini;
    std::istringstream in(text);
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 2 && line.front() == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        size_t eq = line.find(" = ");
        if (eq != std::string::npos) ini[section][line.substr(0, eq)] = line.substr(eq + 3);
    }
    return ini;
}

TEST(SimulateConfig, HoldsControllersApLoginAndSftpTransferWithSecretsScrambled) {
    std::string output;
    FILE* pipe = popen("'" QUORVANE_CLI_PATH "' wlc-run --simulate 'show clock' 2>&1", "r");
    ASSERT_NE(pipe, nullptr);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) output.append(buf, n);
    int raw = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << output;
    const std::string marker = "configuration and output are under ";
    size_t at = output.find(marker);
    ASSERT_NE(at, std::string::npos) << output;
    std::string base = output.substr(at + marker.size());
    base = base.substr(0, base.find('\n'));
    std::ifstream in(base + "/confd/config.ini");
    std::stringstream text;
    text << in.rdbuf();
    Ini ini = parse_ini(text.str());

    struct Want {
        const char* section;
        const char* key;
        const char* value;  // nullptr: a scrambled secret
    };
    const Want wanted[] = {
        {"WLC", "wlc_ip", "127.10.0.1"},
        {"WLC", "wlc_user", "admin"},
        {"WLC", "wlc_pasw", nullptr},
        {"WLC2", "wlc_ip", "127.10.0.2"},
        {"WLC2", "wlc_pasw", nullptr},
        {"AP", "ap_user", "apadmin"},
        {"AP", "ap_pasw", nullptr},
        {"AP", "ap_enable", nullptr},
        {"FTP", "ftp_proto", "SFTP"},
        {"FTP", "ftp_addr", "127.0.0.1"},
        {"FTP", "ftp_path", "/images/ap-image.tar"},
        {"FTP", "ftp_user", "ftpuser"},
        {"FTP", "ftp_pasw", nullptr},
    };
    for (const Want& w : wanted) {
        SCOPED_TRACE(std::string(w.section) + " " + w.key);
        const std::string& got = ini[w.section][w.key];
        if (w.value) {
            EXPECT_EQ(got, w.value);
        } else {
            EXPECT_EQ(got.rfind("ENC::", 0), 0u) << got;
        }
    }
    for (const char* secret : {"appass", "apenable", "ftppass"}) {
        EXPECT_EQ(text.str().find(secret), std::string::npos) << secret;
        EXPECT_EQ(output.find(secret), std::string::npos) << secret;
    }
}

}  // namespace
