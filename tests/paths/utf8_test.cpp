#include <string>

#include <gtest/gtest.h>

#include "quorvane/paths/utf8.hpp"

namespace quorvane {
namespace {

TEST(Utf8Text, TrimsUnicodeWhiteSpaceButNeverIntoBrokenBytes) {
    const struct {
        const char* text;
        const char* trimmed;
        std::size_t leading;
    } cases[] = {
        {" \t\u00a0a b\u3000\u2028\u0085", "a b", 3},
        {"\u200b a \u200b", "\u200b a \u200b", 0},  // zero-width space is not white space
        {"\u00a0\xa0x\xc2", "\xa0x\xc2", 1},        // lone bytes stay, however they look
        {"\u2000\u200a\u202f\u205f\u1680", "", 5},
        {"", "", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trim_unicode_space(c.text), c.trimmed) << c.text;
        EXPECT_EQ(leading_space_count(c.text), c.leading) << c.text;
    }
}

TEST(Utf8Text, LowerCasesLettersOfEveryScript) {
    EXPECT_EQ(lower_case_utf8("WLC_IP \u00c4\u00d6\u00dc \u03a3 \u0416 \u0130 \u212a"),
              "wlc_ip \u00e4\u00f6\u00fc \u03c3 \u0436 i k");
    EXPECT_EQ(lower_case_utf8("\u00df \u00d7 1 \u4e2d"), "\u00df \u00d7 1 \u4e2d");
    EXPECT_EQ(lower_case_utf8("A\xff\xc3"), "a\xff\xc3");
}

}  // namespace
}  // namespace quorvane
