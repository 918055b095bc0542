#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "quorvane/engine/engine.hpp"
#include "quorvane/engine/quoted_list.hpp"

namespace quorvane::testing {
namespace {

using ::testing::ElementsAreArray;

TEST(ExtractMacs, FirstMacOfEachLineInLineOrder) {
    struct Case {
        const char* name;
        std::string output;
        std::vector<std::string> macs;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"no client rows", "Number of Clients: 0\n\nMAC Address    AP Name\n---------\n", {}},
        {"CR LF rows",
         "0011.22aa.bbcc AP-1 Authenticating\r\n0011.22aa.bbcd AP-2 Authenticating\r\n",
         {"0011.22aa.bbcc", "0011.22aa.bbcd"}},
        {"two MACs on one line give the first",
         "0011.22aa.bbcc seen by 0011.22aa.9999\n",
         {"0011.22aa.bbcc"}},
        {"upper case kept", "0011.22AA.BBCC AP-1\n", {"0011.22AA.BBCC"}},
        {"anywhere in the line", "client[0011.22aa.bbcc]\n", {"0011.22aa.bbcc"}},
        {"repeats kept", "0011.22aa.bbcc\n0011.22aa.bbcc\n", {"0011.22aa.bbcc", "0011.22aa.bbcc"}},
        {"bare CR ends a line",
         "0011.22aa.bbcc x 0011.22aa.0000\r0011.22aa.1111",
         {"0011.22aa.bbcc", "0011.22aa.1111"}},
        {"colon form and short groups are no match", "00:11:22:aa:bb:cc\n0011.22a.bbcc\n", {}},
        {"longer hex runs still hold a match", "10011.22aa.bbccd\n", {"0011.22aa.bbcc"}},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(Quorvane::_extract_macs(c.output), ElementsAreArray(c.macs)) << c.name;
    }
}

TEST(ExtractValue, KeyColonDigitsWithAnySpacingElseZero) {
    struct Case {
        const char* name;
        std::string text;
        std::string key;
        long long value;
    };
    const Case cases[] = {
        {"blanks around the colon", "Connected For : 20 seconds", "Connected For", 20},
        {"no blanks", "Connected For:20", "Connected For", 20},
        {"tabs and a line break", "Connected For\t:\n 7", "Connected For", 7},
        {"missing key", "Protocol : 802.11ax", "Connected For", 0},
        {"no digits after the colon", "Connected For : N/A", "Connected For", 0},
        {"first match counts", "Connected For : 5\nConnected For : 9", "Connected For", 5},
        {"key is case-sensitive", "connected for : 5", "Connected For", 0},
        {"pattern characters taken literally", "Rate (Mbps)+: 12", "Rate (Mbps)+", 12},
        {"unbalanced pattern characters do not crash", "a+(b : 3", "a+(b", 3},
        {"a dot in the key matches only a dot", "AxB : 4", "A.B", 0},
        {"huge values saturate", "Entry : 99999999999999999999999", "Entry",
         std::numeric_limits<long long>::max()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Quorvane::_extract_value(c.text, c.key), c.value) << c.name;
    }
}

TEST(RenderMacList, BracketsQuotesAndCommas) {
    EXPECT_EQ(quoted_list({}), "[]");
    EXPECT_EQ(quoted_list({"0011.22aa.bbcc"}), "['0011.22aa.bbcc']");
    EXPECT_EQ(quoted_list({"a", "B"}), "['a', 'B']");
}

}  // namespace
}  // namespace quorvane::testing
