#include <string>

#include <gtest/gtest.h>

#include "quorvane/paths/paths.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {
namespace {

TEST(SafeFilename, ReplacesEachOtherCharacterByOneUnderscore) {
    EXPECT_EQ(_safe_filename("AP-01 (floor 2)"), "AP-01__floor_2_");
    EXPECT_EQ(_safe_filename("a/b\\c"), "a_b_c");
    EXPECT_EQ(_safe_filename("ap 1."), "ap_1");
    EXPECT_EQ(_safe_filename("tab\there"), "tab_here");
}

TEST(SafeFilename, KeepsLettersAndDigitsOfEveryScript) {
    EXPECT_EQ(_safe_filename("Åsa_AP.1"), "Åsa_AP.1");
    EXPECT_EQ(_safe_filename("Зал-٣"), "Зал-٣");        // Cyrillic letters, Arabic-Indic digit
    EXPECT_EQ(_safe_filename("東京ⅫAP²"), "東京ⅫAP²");  // letter numbers and superscripts
}

TEST(SafeFilename, SymbolsMarksAndNonAsciiBlanksAreReplacedPerCharacter) {
    EXPECT_EQ(_safe_filename("a→b"), "a_b");
    EXPECT_EQ(_safe_filename("e\u0301"), "e_");  // a combining mark is not a word character
    EXPECT_EQ(_safe_filename("a\u00a0b"), "a_b");
}

TEST(SafeFilename, EmptyOrDotsOnlyGivesUnknown) {
    EXPECT_EQ(_safe_filename(""), "UNKNOWN");
    EXPECT_EQ(_safe_filename(".."), "UNKNOWN");
    EXPECT_EQ(_safe_filename("..."), "UNKNOWN");
    EXPECT_EQ(_safe_filename(".hidden"), ".hidden");
}

TEST(SafeFilename, CutsAt120CharactersNotBytes) {
    EXPECT_EQ(_safe_filename(std::string(200, 'x')), std::string(120, 'x'));
    std::string umlauts;
    for (int i = 0; i < 130; ++i) umlauts += "ü";
    const std::string cut = _safe_filename(umlauts);
    EXPECT_EQ(utf8_length(cut), 120u);
    EXPECT_EQ(cut.size(), 240u);
}

TEST(SafeFilename, CutHappensAfterTrailingDotsAreRemoved) {
    const std::string name = std::string(119, 'a') + ".b...";
    EXPECT_EQ(_safe_filename(name), std::string(119, 'a') + ".");
}

TEST(SafeFilename, InvalidUtf8BytesAreDropped) {
    EXPECT_EQ(_safe_filename(std::string("ap\xff"
                                         "1")),
              "ap1");
    EXPECT_EQ(_safe_filename(std::string("\xff\xfe")), "UNKNOWN");
}

TEST(Utf8, MaximalInvalidSubpartIsDroppedAsOneUnit) {
    // A truncated three-byte character followed by a valid one keeps the valid one.
    EXPECT_EQ(drop_invalid_utf8("\xe2\x82"
                                "A"),
              "A");
    EXPECT_EQ(drop_invalid_utf8("\xf0\x9f\x98"
                                "\xc3\xa9"),
              "\xc3\xa9");
    EXPECT_EQ(drop_invalid_utf8("\xf4\x90\x80\x80"), "");  // above U+10FFFF
    EXPECT_EQ(drop_invalid_utf8("\xf0\x9f\x98\x80"), "\xf0\x9f\x98\x80");
    EXPECT_FALSE(is_valid_utf8("\xed\xa0\x80"));  // surrogate
    EXPECT_FALSE(is_valid_utf8("\xc1\xbf"));      // overlong
    EXPECT_TRUE(is_valid_utf8(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace quorvane
