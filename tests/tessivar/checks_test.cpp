#include "tessivar/checks.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "loggen.hpp"
#include "tessivar/log_text.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using test_support::TempFolder;

using namespace tessivar;
using tessivar::loggen::ApPoll;
using tessivar::loggen::render_poll;

class TessivarChecks : public ::testing::Test {
  protected:
    std::filesystem::path write(const std::string& text, const std::string& name = "AP_x.log") {
        const auto path = dir_ / name;
        std::filesystem::remove(path);
        loggen::append_file(path, text);
        return path;
    }
    TempFolder dir_;
};

TEST_F(TessivarChecks, HostNameAndAddressOfTwoPolls) {
    ApPoll first;
    first.hostname = "";
    first.ip = "10.0.0.1";
    ApPoll second;
    second.hostname = "AP-second";
    second.ip = "10.0.0.2";
    second.running_image = "17.13.1.5";
    const auto path = write(render_poll(first) + render_poll(second));
    // The first header has an empty name and is passed over; the address is the first one.
    EXPECT_EQ(ap_hostname_from_run_header(path), "AP-second");
    EXPECT_EQ(ap_ip_from_run_header(path), "10.0.0.1");
    // Every other marker is taken from the first poll.
    EXPECT_EQ(primary_version_check(path), TextCheck("17.9.5.1", false));

    first.hostname = "AP-first";
    const auto named = write(render_poll(first) + render_poll(second));
    EXPECT_EQ(ap_hostname_from_run_header(named), "AP-first");
}

TEST_F(TessivarChecks, HostNameOnlyFromHeaderLines) {
    EXPECT_EQ(ap_hostname_from_run_header(write("x <run hostname='not-a-header'>\n")),
              std::nullopt);
    EXPECT_EQ(ap_hostname_from_run_header(write("<run device='AP' hostname=''>\n")), std::nullopt);
    EXPECT_EQ(ap_hostname_from_run_header(write("<run hostname='a\n'>\n<run hostname='b'>\n")),
              "b");
    EXPECT_EQ(ap_hostname_from_run_header(write("")), std::nullopt);
}

TEST_F(TessivarChecks, AddressFallsBackToGotIp) {
    EXPECT_EQ(ap_ip_from_run_header(write("timestamp='x' ip=''\nip='10.9.9.9'\n")), "10.9.9.9");
    EXPECT_EQ(ap_ip_from_run_header(write("GOT IP[broken\nGOT IP[10.2.2.2] GOT IP[x]\n")),
              "10.2.2.2");
    EXPECT_EQ(ap_ip_from_run_header(write("GOT IP[]\n")), "");
    EXPECT_EQ(ap_ip_from_run_header(write("nothing here\n")), "");
    EXPECT_EQ(ap_ip_from_run_header(dir_ / "missing.log"), "");
}

TEST_F(TessivarChecks, ModelSignature) {
    EXPECT_EQ(ap_model_from_log(write("Cisco AP Software, (ap1g6a), C9120\n")),
              TextCheck("(ap1g6a)", true));
    EXPECT_EQ(ap_model_from_log(write("Cisco AP Software,(ap1g6)\n")), TextCheck("(ap1g6)", true));
    EXPECT_EQ(ap_model_from_log(write("Cisco AP Software, (AP1G6A), x\n")),
              TextCheck("(AP1G6A)", false));
    EXPECT_EQ(ap_model_from_log(write("Cisco AP Software, , x\n")), TextCheck("", false));
    // Only the first banner counts, even when it has no comma.
    EXPECT_EQ(ap_model_from_log(write("Cisco AP Software (ap1g6a)\nCisco AP Software, (ap1g6)\n")),
              TextCheck());
    EXPECT_EQ(ap_model_from_log(write("no banner\n")), TextCheck());
}

TEST_F(TessivarChecks, ImageVersionLines) {
    const auto path = write(
        "AP Running Image    : 17.9.5.1\n"  // four blanks: not the marker
        "AP Running Image     : 17.13.1.5 \r\n"
        "Backup Boot Image    : 17.9.6.100\n");
    EXPECT_EQ(primary_version_check(path), TextCheck("17.13.1.5", true));
    EXPECT_EQ(backup_version_check(path), TextCheck("17.9.6.100", true));
    EXPECT_EQ(primary_version_check(write("AP Running Image     :   \n")), TextCheck());
    EXPECT_EQ(primary_version_check(write("AP Running Image     : 17.12.4\n")),
              TextCheck("17.12.4", std::nullopt));
    // The version is what follows the first colon of the line.
    EXPECT_EQ(primary_version_check(write("x: AP Running Image     : 17.9.5.1\n")),
              TextCheck("AP Running Image     : 17.9.5.1", true));
}

TEST_F(TessivarChecks, BootPartition) {
    EXPECT_EQ(current_boot_partition(write("BOOT path-list:      part1\n")),
              TextCheck("part1", true));
    EXPECT_EQ(current_boot_partition(write("BOOT path-list: part2\n")), TextCheck("part2", false));
    EXPECT_EQ(current_boot_partition(write("BOOT path-list: PART1\n")), TextCheck("PART1", false));
    EXPECT_EQ(current_boot_partition(write("BOOT path-list:\n")), TextCheck("", false));
    EXPECT_EQ(current_boot_partition(write("boot path-list: part1\n")), TextCheck());
}

TEST_F(TessivarChecks, Part2FreeSpaceUnits) {
    auto free = [&](const std::string& field) {
        return part2_mem_available_mb(write("/dev/ubivol/part2  400M  300M  " + field + " 70%\n"));
    };
    EXPECT_EQ(free("45.5M"), MegabytesCheck(45.5, true));
    EXPECT_EQ(free("1.2G"), MegabytesCheck(1228.8, false));
    EXPECT_EQ(free("512K"), MegabytesCheck(0.5, true));
    EXPECT_EQ(free("80M"), MegabytesCheck(80.0, false));
    EXPECT_EQ(free("79.99"), MegabytesCheck(79.99, true));
    EXPECT_EQ(free("100MB"), MegabytesCheck(100.0, false));
    EXPECT_EQ(free("5."), MegabytesCheck(5.0, true));
    EXPECT_EQ(free("-"), MegabytesCheck());
    EXPECT_EQ(free("M12"), MegabytesCheck());
    EXPECT_EQ(free(std::string(400, '9') + "M"),
              MegabytesCheck(std::numeric_limits<double>::infinity(), false));
    EXPECT_EQ(part2_mem_available_mb(write("/dev/ubivol/part2 400M 300M\n"
                                           "/dev/ubivol/part2 400M 300M 10M\n")),
              MegabytesCheck());
    EXPECT_EQ(part2_mem_available_mb(write("/dev/ubivol/part1 1 2 3M\n")), MegabytesCheck());
}

TEST_F(TessivarChecks, FreeSpaceThatIsNotANumberGivesNoValue) {
    auto free = [&](const std::string& field) {
        return part2_mem_available_mb(write("/dev/ubivol/part2 400M 300M " + field + "\n"));
    };
    EXPECT_EQ(free("1.2.3M"), MegabytesCheck());
    EXPECT_EQ(free("."), MegabytesCheck());
    EXPECT_EQ(free("..K"), MegabytesCheck());
}

std::string integrity_report(const std::string& fifth_status, const std::string& extra = "") {
    return "<cmd string='show image integrity'>\n"
           "\tshow image integrity\n"
           "heading: Bad\n"
           "  rootfs : Good\n"
           "\n"
           "  kernel : Good : checked\n"
           "  dtb    : Good\n" +
           extra +
           "part2 heading without colon\n"
           "  rootfs : Good\n"
           "  kernel : " +
           fifth_status +
           "\n"
           "  dtb    : Good\n";
}

TEST_F(TessivarChecks, ImageIntegrityPositions) {
    // Kept lines 0, 1 and 5 (the command echo and the two headings) are not examined.
    EXPECT_EQ(image_integrity_failed(write(integrity_report("Good"))), false);
    EXPECT_EQ(image_integrity_failed(write(integrity_report("Bad"))), true);
    EXPECT_EQ(image_integrity_failed(write(integrity_report("good"))), true);
    // A status line without a colon makes the report unreadable.
    EXPECT_EQ(image_integrity_failed(write(integrity_report("Good", "  missing colon\n"))),
              std::nullopt);
}

TEST_F(TessivarChecks, ImageIntegrityReportCutShort) {
    std::string text = integrity_report("Good");
    text.resize(text.rfind("  dtb"));
    EXPECT_EQ(image_integrity_failed(write(text)), std::nullopt);
    // More than 25 lines after the command, only blank lines before the statuses.
    EXPECT_EQ(image_integrity_failed(write("show image integrity\n" + std::string(20, '\n') +
                                           integrity_report("Good"))),
              std::nullopt);
    EXPECT_EQ(image_integrity_failed(write("no report\n")), std::nullopt);
    EXPECT_EQ(image_integrity_failed(dir_ / "missing.log"), std::nullopt);
}

TEST_F(TessivarChecks, CnssDaemonLogOwnedByRoot) {
    EXPECT_TRUE(cnssdaemon_log_present(write("-rw-r--r-- 1 root root 12 cnssdaemon.log\n")));
    EXPECT_FALSE(cnssdaemon_log_present(write("cnssdaemon.log\nroot\n")));
    EXPECT_TRUE(cnssdaemon_log_present(write("cnssdaemon.log admin\nx cnssdaemon.log rooted\n")));
    EXPECT_FALSE(cnssdaemon_log_present(write("")));
}

TEST_F(TessivarChecks, LineBreaksOfEveryKind) {
    const std::string text = render_poll(ApPoll{});
    for (const char* line_break : {"\n", "\r\n", "\r"}) {
        const auto path = write(loggen::with_line_breaks(text, line_break));
        EXPECT_EQ(current_boot_partition(path), TextCheck("part1", true)) << line_break[0];
        EXPECT_EQ(image_integrity_failed(path), false);
        EXPECT_EQ(part2_mem_available_mb(path), MegabytesCheck(120.0, false));
        const auto lines = _read_lines(path);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front().back(), '\n');
        EXPECT_EQ(lines.front().find('\r'), std::string::npos);
    }
}

TEST_F(TessivarChecks, ReadLinesDropsUndecodableBytes) {
    // Overlong, surrogate, truncated and stray continuation bytes go; valid text stays.
    const auto path = write(std::string("a\xC0\xAF"
                                        "b\xED\xA0\x80"
                                        "c\xE2\x82"
                                        "d\x80"
                                        "\xC3\xA9\r") +
                            std::string("\xFF\n\0z", 4));
    EXPECT_EQ(_read_lines(path),
              (std::vector<std::string>{"abcd\xC3\xA9\n", std::string("\0z", 2)}));
    // A CR and an LF that only dropped bytes separate are still one line break.
    EXPECT_EQ(_read_lines(write("x\r\xFE\ny\n")), (std::vector<std::string>{"x\n", "y\n"}));
    EXPECT_THROW(_read_lines(dir_ / "missing.log"), std::system_error);
    EXPECT_THROW(ap_hostname_from_run_header(dir_.path()), std::system_error);
}

TEST(TessivarDecode, MatchesATextModeReader) {
    // Expected values as a UTF-8 text-mode reader with universal newlines, dropping undecodable
    // bytes, returns them.
    const std::pair<std::string, std::string> vectors[] = {
        {"a\r\r\nb\xE2\x82\xAC\r\xFF\nc\xF0\x9F\x98", "a\n\nb\xE2\x82\xAC\nc"},
        {"\xF4\x90\x80\x80x\xE0\x80\xAFy\xEF\xBF\xBF\r", "xy\xEF\xBF\xBF\n"},
        {std::string(20, 'x') + "\r\n" + std::string(9, 'y') + "\xC3\xA9\xC3\xA9\xC3\xA9\r",
         std::string(20, 'x') + "\n" + std::string(9, 'y') + "\xC3\xA9\xC3\xA9\xC3\xA9\n"},
    };
    for (const auto& [raw, decoded] : vectors) {
        std::string text = raw;
        decode_log_text(text);
        EXPECT_EQ(text, decoded);
    }
}

}  // namespace
