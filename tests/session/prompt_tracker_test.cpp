#include <gtest/gtest.h>

#include <string>

#include "quorvane/engine/ssh/ssh_prompt.hpp"

namespace quorvane {
namespace {

TEST(PromptTracker, FindsThePromptOnlyAtTheStartOfTheLastLine) {
    PromptTracker t("AP1");
    t.append("show clock\r\n");
    EXPECT_FALSE(t.at_prompt());
    t.append("*12:00:00.000 UTC Mon Mar 1 2026\r\nAP1");
    EXPECT_FALSE(t.at_prompt());
    t.append("#");
    EXPECT_TRUE(t.at_prompt());
    EXPECT_EQ(t.last_line(), "AP1#");
    EXPECT_EQ(t.text().substr(t.last_line_start()), "AP1#");

    t.append(" more");
    EXPECT_FALSE(t.at_prompt());
}

TEST(PromptTracker, PromptTextInsideALineIsNotAPrompt) {
    PromptTracker t("AP1");
    t.append("interface AP1>");
    EXPECT_FALSE(t.at_prompt());
    t.append("\rAP1>");
    EXPECT_TRUE(t.at_prompt());
}

TEST(PromptTracker, AcceptsAModeBetweenNameAndMarkButNotALongLine) {
    PromptTracker t("WLC1");
    t.append("\r\nWLC1(config)#");
    EXPECT_TRUE(t.at_prompt());
    t.clear();
    t.append("\r\nWLC1" + std::string(PromptTracker::kMaxModeLength + 1, 'x') + "#");
    EXPECT_FALSE(t.at_prompt());
}

TEST(PromptTracker, LineBreakSplitAcrossChunks) {
    PromptTracker t("AP1");
    t.append("line\r");
    t.append("\nAP1>");
    EXPECT_TRUE(t.at_prompt());
    EXPECT_EQ(t.last_line_start(), 6u);
}

TEST(PromptTracker, DiscoversAnUnknownPrompt) {
    PromptTracker t;
    t.append("Welcome to the AP\r\n\r\n");
    EXPECT_FALSE(t.at_prompt());
    t.append("AP-Lobby>");
    EXPECT_TRUE(t.at_prompt());
    EXPECT_EQ(t.last_line(), "AP-Lobby>");

    PromptTracker indented;
    indented.append("   >");
    EXPECT_FALSE(indented.at_prompt());
}

TEST(PromptTracker, ManyChunksOfOneHugeLineStayLinear) {
    PromptTracker t("AP1");
    const std::string chunk(64 * 1024, 'x');
    for (int i = 0; i < 256; ++i) t.append(chunk);  // 16 MiB, no line break
    EXPECT_FALSE(t.at_prompt());
    t.append("\r\nAP1#");
    EXPECT_TRUE(t.at_prompt());
    EXPECT_EQ(t.size(), 256u * chunk.size() + 6);
}

TEST(InputLine, TrailingBlanksAndBreaksBecomeOneNewline) {
    EXPECT_EQ(as_input_line("show version"), "show version\n");
    EXPECT_EQ(as_input_line("show version \r\n\n "), "show version\n");
    EXPECT_EQ(as_input_line("\n"), "\n");
    EXPECT_EQ(as_input_line(""), "\n");
    EXPECT_EQ(as_input_line("  show  clock"), "  show  clock\n");
}

TEST(CommandOutput, StripsEchoAndPromptKeepingDeviceLineBreaks) {
    const std::string raw = "show clock\r\nline 1\r\nline 2\r\nAP1#";
    EXPECT_EQ(command_output(raw, "show clock", raw.size() - 4), "line 1\r\nline 2");
}

TEST(CommandOutput, EmptyOutputAndEmptyCommand) {
    const std::string raw = "term len 0\r\nAP1#";
    EXPECT_EQ(command_output(raw, "term len 0\n", raw.size() - 4), "");
    const std::string blank = "\r\nAP1#";
    EXPECT_EQ(command_output(blank, "\n", blank.size() - 4), "");
}

TEST(CommandOutput, KeepsAFirstLineThatIsNotTheEcho) {
    const std::string raw = "Proceed with reload? [confirm]";
    EXPECT_EQ(command_output(raw, "reload"), raw);
    EXPECT_EQ(command_output("reload\r\nProceed with reload? [confirm]", "reload"),
              "Proceed with reload? [confirm]");
}

TEST(CommandOutput, EchoAfterARedrawnPromptIsStripped) {
    const std::string raw = "AP1#show clock\r\n12:00\r\nAP1#";
    EXPECT_EQ(command_output(raw, "show clock", raw.size() - 4), "12:00");
}

TEST(PasswordPrompt, RecognisedInAnyCaseAtTheEndOfTheLine) {
    EXPECT_TRUE(asks_for_password("Password: "));
    EXPECT_TRUE(asks_for_password("PASSWORD:"));
    EXPECT_FALSE(asks_for_password("Password: wrong"));
    EXPECT_FALSE(asks_for_password("AP1>"));
}

}  // namespace
}  // namespace quorvane
