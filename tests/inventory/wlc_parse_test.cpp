#include "quorvane/inventory/wlc_parse.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

#include "tests/inventory/inventory_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(WlcParse, EmptyOutputYieldsNothing) {
    EXPECT_THAT(WlcParse::parse_ap_summary(""), IsEmpty());
    EXPECT_EQ(WlcParse::parse_total_ap_cnt_from_tag_summary(""), std::nullopt);
    EXPECT_THAT(WlcParse::parse_ap_names_from_tag_summary("", "ST-A"), IsEmpty());
    EXPECT_EQ(WlcParse::wlc_hostname_from_uptime(""), "eWLC-9800");
}

TEST(WlcParse, EveryLineBreakKindEndsARow) {
    const char* breaks[] = {"\n",   "\r\n", "\r",       "\v",           "\f",          "\x1c",
                            "\x1d", "\x1e", "\xc2\x85", "\xe2\x80\xa8", "\xe2\x80\xa9"};
    for (const char* br : breaks) {
        const std::string output = std::string("AP1 2 C9130AXI-B 10.0.0.1 Registered") + br +
                                   "AP2 2 C9136I-B 10.0.0.2 Registered" + br;
        EXPECT_THAT(fields(WlcParse::parse_ap_summary(output)),
                    ElementsAre(ElementsAre("10.0.0.1", "C9130AXI-B", "AP1", "", ""),
                                ElementsAre("10.0.0.2", "C9136I-B", "AP2", "", "")))
            << "break bytes " << ::testing::PrintToString(std::string(br));
    }
}

TEST(WlcParse, MultiByteCharactersAreNeitherBreaksNorBlanks) {
    // U+0145 ends in the byte 0x85, U+20A8 holds 0xE2 0x82 0xA8: neither is a break.
    // No-break space, ideographic space and the unit separator are blanks inside a line.
    const std::string output =
        "AP-\xc5\x85-1 2 C9130AXI-B 10.0.0.1\n"
        "AP-\xe2\x82\xa8\xc2\xa0"
        "2\xe3\x80\x80"
        "C9136I-B\x1f"
        "10.0.0.2\n";
    EXPECT_THAT(fields(WlcParse::parse_ap_summary(output)),
                ElementsAre(ElementsAre("10.0.0.1", "C9130AXI-B", "AP-\xc5\x85-1", "", ""),
                            ElementsAre("10.0.0.2", "C9136I-B", "AP-\xe2\x82\xa8", "", "")));
}

TEST(WlcParse, ApSummaryIsColumnBlind) {
    const std::string output =
        ap_summary({{"AP-LOBBY", "C9130AXI-B", "10.0.0.1", "Building 1 Floor 2 East"},
                    {"AP-WITH-A-NAME-LONGER-THAN-THE-COLUMN", "AIR-AP3802I-B-K9-EXTRA-LONG",
                     "10.0.0.2"}}) +
        "AP-SHORT 10.0.0.3 C9120AXI-B\n"           // three tokens: skipped
        "AP-V6 2 C9130AXI-B fe80::1 Registered\n"  // no IPv4 token: skipped
        "AP-FAR 2 C9120AXI-B a b c d e f g h 10.0.0.4\n"
        "  Number of APs: 3 here 10.0.0.5\n";  // indented, so it is a row
    EXPECT_THAT(fields(WlcParse::parse_ap_summary(output)),
                ElementsAre(ElementsAre("10.0.0.1", "C9130AXI-B", "AP-LOBBY", "", ""),
                            ElementsAre("10.0.0.2", "AIR-AP3802I-B-K9-EXTRA-LONG",
                                        "AP-WITH-A-NAME-LONGER-THAN-THE-COLUMN", "", ""),
                            ElementsAre("10.0.0.4", "C9120AXI-B", "AP-FAR", "", ""),
                            ElementsAre("10.0.0.5", "APs:", "Number", "", "")));
}

TEST(WlcParse, ApSummaryKeepsRepeatsAndTakesTheFirstAddress) {
    const std::string output =
        "AP1 2 C9130AXI-B 10.0.0.1 10.0.0.9\nAP1 2 C9130AXI-B 10.0.0.1 10.0.0.9\n";
    EXPECT_THAT(fields(WlcParse::parse_ap_summary(output)),
                ElementsAre(ElementsAre("10.0.0.1", "C9130AXI-B", "AP1", "", ""),
                            ElementsAre("10.0.0.1", "C9130AXI-B", "AP1", "", "")));
}

TEST(WlcParse, CountLineRules) {
    struct Case {
        std::string output;
        std::optional<int> count;
    };
    const Case cases[] = {
        {"Number of APs: 0\n", 0},
        {"Number of APs:\nAP1 ST-A 5\nNumber of APs: 17\n", 17},
        {"NUMBER OF APS 12 (of 40)\n", 12},
        {"  Number of APs: 5\n", std::nullopt},
        {"The Number of APs: 5\n", std::nullopt},
        {"Number of APs: 99999999999999999999\n", INT_MAX},
        {"Number of APs:\r\n\r\nAP Name  Site Tag\r\n", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WlcParse::parse_total_ap_cnt_from_tag_summary(c.output), c.count) << c.output;
    }
}

TEST(WlcParse, TagNamesMatchTheTagAsASubstringAnywhere) {
    const std::string output =
        "Number of APs: 5 ST-A\n\n"
        "AP Name   AP Mac          Site Tag Name   Policy Tag\n"
        "-----------------------------------------------\n"
        "AP-1      687d.b400.0010  ST-A            PT\n"
        "AP-2      687d.b400.0020  ST-A1           PT\n"
        "AP-3      687d.b400.0030  ST-B            PT-ST-A\n"
        "AP-4      687d.b400.0040  ST-B            PT\n"
        "AP-1      687d.b400.0010  ST-A            PT\n";
    struct Case {
        std::string tag;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"ST-A", {"AP-1", "AP-2", "AP-3"}},
        {"ST-A1", {"AP-2"}},
        {"st-a", {}},
        {"", {"AP", "AP-1", "AP-2", "AP-3", "AP-4"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WlcParse::parse_ap_names_from_tag_summary(output, c.tag), c.names) << c.tag;
    }
}

TEST(WlcParse, HostNameFromTheUptimeLine) {
    struct Case {
        std::string output;
        std::string host;
    };
    const Case cases[] = {
        {"Cisco IOS XE Software\nWLC-A uptime is 3 weeks, 2 days\n", "WLC-A"},
        {"  WLC-B   uptime is 1 day\nWLC-C uptime is 2 days\n", "WLC-B"},
        {"uptime is 3 weeks\n", "eWLC-9800"},
        {"WLC-D uptime is\n", "eWLC-9800"},
        {"x\xe2\x80\xa9WLC-E uptime is 5 minutes", "WLC-E"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WlcParse::wlc_hostname_from_uptime(c.output), c.host) << c.output;
    }
}

}  // namespace
}  // namespace quorvane::testing
