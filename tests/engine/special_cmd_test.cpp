#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {
namespace {

SpecialCmdResult plain(const std::string& text) { return {false, text, false, 0}; }
SpecialCmdResult pause(int secs) { return {true, std::nullopt, false, secs}; }
SpecialCmdResult confirm(const std::string& text) { return {true, text, true, 0}; }

TEST(ClassifyCommand, RecognisesEveryPauseSpelling) {
    EXPECT_EQ(classify_command("  sleep_5 ", nullptr), pause(5));
    EXPECT_EQ(classify_command("SLEEP_5", nullptr), pause(5));
    EXPECT_EQ(classify_command("pause_10", nullptr), pause(10));
    EXPECT_EQ(classify_command("sleep(5)", nullptr), pause(5));
    EXPECT_EQ(classify_command("Pause(3600)", nullptr), pause(3600));
    EXPECT_EQ(classify_command("sleep(5", nullptr), pause(5));
    EXPECT_EQ(classify_command("sleep_5)", nullptr), pause(5));
    EXPECT_EQ(classify_command("sleep_0", nullptr), pause(0));
    EXPECT_EQ(classify_command("sleep_0007", nullptr), pause(7));
}

TEST(ClassifyCommand, NearMissesArePlainCommands) {
    EXPECT_EQ(classify_command("sleep5", nullptr), plain("sleep5"));
    EXPECT_EQ(classify_command("sleep_5s", nullptr), plain("sleep_5s"));
    EXPECT_EQ(classify_command("sleep_", nullptr), plain("sleep_"));
    EXPECT_EQ(classify_command("sleep_-5", nullptr), plain("sleep_-5"));
    EXPECT_EQ(classify_command("xsleep_5", nullptr), plain("xsleep_5"));
    EXPECT_EQ(classify_command("show version", nullptr), plain("show version"));
    EXPECT_EQ(classify_command("  show clock\t\r\n", nullptr), plain("show clock"));
    EXPECT_EQ(classify_command("", nullptr), plain(""));
}

TEST(ClassifyCommand, ConfirmationFormNeedsFiveCharacters) {
    EXPECT_EQ(classify_command("%reload%", nullptr), confirm("reload"));
    EXPECT_EQ(classify_command("% clear counters %", nullptr), confirm("clear counters"));
    EXPECT_EQ(classify_command(" %abc% ", nullptr), confirm("abc"));
    EXPECT_EQ(classify_command("%ab%", nullptr), plain("%ab%"));
    EXPECT_EQ(classify_command("%reload", nullptr), plain("%reload"));
    // Characters, not bytes: "é" is two bytes but one character.
    EXPECT_EQ(classify_command("%éé%", nullptr), plain("%éé%"));
    EXPECT_EQ(classify_command("%   %", nullptr), confirm(""));
}

TEST(ClassifyCommand, SurroundingUnicodeWhiteSpaceIsRemoved) {
    // U+00A0 no-break space, U+3000 ideographic space, U+2003 em space, U+0085 next line.
    EXPECT_EQ(classify_command("sleep_5\u00a0", nullptr), pause(5));
    EXPECT_EQ(classify_command("\u3000Pause(7)\u2003", nullptr), pause(7));
    EXPECT_EQ(classify_command("\u00a0show version\u0085", nullptr), plain("show version"));
    EXPECT_EQ(classify_command("%\u00a0reload\u3000%", nullptr), confirm("reload"));
    EXPECT_EQ(classify_command("sleep_\u00a05", nullptr), plain("sleep_\u00a05"));
    EXPECT_EQ(classify_command("\xa0show\xa0", nullptr), plain("\xa0show\xa0"));  // not UTF-8
}

TEST(ClassifyCommand, OverlongPauseIsRejectedWithItsValue) {
    std::string rejected;
    EXPECT_EQ(classify_command("sleep_3601", &rejected), pause(0));
    EXPECT_EQ(rejected, "3601");
    rejected.clear();
    EXPECT_EQ(classify_command("sleep_99999999999999999999999", &rejected), pause(0));
    EXPECT_EQ(rejected, "99999999999999999999999");
    rejected.clear();
    EXPECT_EQ(classify_command("sleep_003600", &rejected), pause(3600));
    EXPECT_EQ(rejected, "");
}

class SpecialCmdCheckTest : public EngineTest {};

TEST_F(SpecialCmdCheckTest, LogsOnlyRejectedPauses) {
    write_config("[WLC]\n");
    auto engine = make_engine();
    EXPECT_EQ(engine->SpecialCmdCheck("sleep_0"), pause(0));
    EXPECT_EQ(engine->SpecialCmdCheck("sleep_5"), pause(5));
    EXPECT_TRUE(logs.empty());
    EXPECT_EQ(engine->SpecialCmdCheck("sleep_3601"), pause(0));
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0],
              "[SLEEP] *** Invalid sleep value: 3601s. Maximum allowed is 3600s (1 hour). "
              "Command skipped.");
}

}  // namespace
}  // namespace quorvane::testing
