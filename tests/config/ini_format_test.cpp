#include <string>

#include <gtest/gtest.h>

#include "quorvane/config/ini_format.hpp"

namespace quorvane {
namespace {

IniDocument parse(const std::string& text) { return parse_ini(text, "test.ini"); }

TEST(IniRead, KeysFoldToLowerCaseAndSplitAtTheFirstSeparator) {
    const IniDocument doc =
        parse("[Sec]\nWlcIpaddr = 10.1.1.5\na=b:c\nx: y = z\nspaced key   =   v  \n");
    EXPECT_EQ(doc.get("Sec", "wlcipaddr"), "10.1.1.5");
    EXPECT_EQ(doc.get("Sec", "WLCIPADDR"), "10.1.1.5");
    EXPECT_EQ(doc.get("Sec", "a"), "b:c");
    EXPECT_EQ(doc.get("Sec", "x"), "y = z");
    EXPECT_EQ(doc.get("Sec", "spaced key"), "v");
    EXPECT_FALSE(doc.get("sec", "a").has_value());  // section names are case-sensitive
}

TEST(IniRead, CommentsAreWholeLinesOnly) {
    const IniDocument doc =
        parse("# top\n[S]\n; note\n   # indented note\nk = v ; not a comment # nor this\n");
    EXPECT_EQ(doc.get("S", "k"), "v ; not a comment # nor this");
    EXPECT_EQ(doc.all_sections().at(0).entries.size(), 1u);
}

TEST(IniRead, ValuesAreTakenLiterally) {
    const IniDocument doc = parse("[S]\npct = a%b\nempty =\nref = %(pct)s\n");
    EXPECT_EQ(doc.get("S", "pct"), "a%b");
    EXPECT_EQ(doc.get("S", "empty"), "");
    EXPECT_EQ(doc.get("S", "ref"), "%(pct)s");
}

TEST(IniRead, AllThreeLineEndsEndALine) {
    const IniDocument doc = parse("[S]\r\na = 1\rb = 2\nc = 3");
    EXPECT_EQ(doc.get("S", "a"), "1");
    EXPECT_EQ(doc.get("S", "b"), "2");
    EXPECT_EQ(doc.get("S", "c"), "3");
}

TEST(IniRead, DeeperIndentedLinesContinueTheValue) {
    const IniDocument doc = parse(
        "[S]\ncmds = show ap summary\n    show clock\n\n\tshow version\n\nnext = 1\n"
        "[T]\n  indented = a\n    b\n  sibling = c\n");
    EXPECT_EQ(doc.get("S", "cmds"), "show ap summary\nshow clock\n\nshow version");
    EXPECT_EQ(doc.get("S", "next"), "1");
    EXPECT_EQ(doc.get("T", "indented"), "a\nb");
    EXPECT_EQ(doc.get("T", "sibling"), "c");
}

TEST(IniRead, CommentInsideAContinuedValueIsSkipped) {
    const IniDocument doc = parse("[S]\nk = a\n  # aside\n  b\n");
    EXPECT_EQ(doc.get("S", "k"), "a\nb");
}

TEST(IniRead, IndentedKeyLineAfterAKeyIsAContinuation) {
    const IniDocument doc = parse("[S]\na = 1\n  b = 2\n");
    EXPECT_EQ(doc.get("S", "a"), "1\nb = 2");
    EXPECT_FALSE(doc.has_option("S", "b"));
}

TEST(IniRead, IndentedLineAfterAHeaderIsAKey) {
    const IniDocument doc = parse("[S]\n    k = v\n");
    EXPECT_EQ(doc.get("S", "k"), "v");
}

TEST(IniRead, DefaultKeysAreSeenInEverySectionButItIsNoSection) {
    const IniDocument doc = parse("[DEFAULT]\nshared = d\nk = base\n[A]\nk = own\n[B]\n");
    EXPECT_EQ(doc.sections(), (std::vector<std::string>{"A", "B"}));
    EXPECT_FALSE(doc.has_section("DEFAULT"));
    EXPECT_EQ(doc.get("A", "k"), "own");
    EXPECT_EQ(doc.get("B", "k"), "base");
    EXPECT_EQ(doc.get("B", "shared"), "d");
    EXPECT_FALSE(doc.get("Missing", "shared").has_value());
}

void expect_error(const std::string& text, std::size_t line, const std::string& fragment) {
    try {
        parse(text);
        ADD_FAILURE() << "no error for: " << text;
    } catch (const MissingSectionHeaderError&) {
        ADD_FAILURE() << "reported as a legacy file: " << text;
    } catch (const IniParseError& e) {
        EXPECT_EQ(e.file(), "test.ini");
        EXPECT_EQ(e.line(), line) << e.what();
        EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("test.ini, line " + std::to_string(line), 0), 0u);
    }
}

TEST(IniRead, ErrorsNameTheFileTheLineAndTheProblem) {
    expect_error("[S]\n[T]\n[S]\n", 3, "duplicate section [S] (first at line 1)");
    expect_error("[S]\nk = 1\nK = 2\n", 3, "duplicate key 'k' in section [S]");
    expect_error("[DEFAULT]\n[DEFAULT]\n", 2, "duplicate section [DEFAULT]");
    expect_error("[S]\njust words\n", 2, "'just words'");
    expect_error("[S]\n = value\n", 2, "key missing");
    expect_error("[S]\n[]\n", 2, "'[]'");
    expect_error("[S]\nk = \xff\n", 2, "not valid UTF-8");
}

TEST(IniRead, SameKeyInTwoSectionsIsFine) { EXPECT_NO_THROW(parse("[A]\nk = 1\n[B]\nk = 2\n")); }

TEST(IniRead, FirstEntryWithoutHeaderMeansLegacyFormWhateverTheTextAboveIt) {
    for (const char* legacy : {"# comment\n\nWlcIpaddr: 10.1.1.5\n[WLC]\n", "   [WLC]x\n",
                               "# Configuraci\xf3n\nWlcIpaddr: 10.1.1.5\n",
                               "\xEF\xBB\xBF; \xff\nk: v\n", "\xc2\xa0\n\xff\n"}) {
        EXPECT_THROW(parse(legacy), MissingSectionHeaderError) << legacy;
    }
    EXPECT_NO_THROW(parse("   [WLC]\n"));
    EXPECT_NO_THROW(parse(""));
    // Once the file is known to be INI, its comments must be UTF-8 like every other line.
    expect_error("[S]\n# Configuraci\xf3n\n", 2, "not valid UTF-8");
}

TEST(IniRead, ByteOrderMarkIsSkipped) {
    const IniDocument doc = parse("\xEF\xBB\xBF[WLC]\nwlc_ip = 10.1.1.1\n");
    EXPECT_EQ(doc.sections(), std::vector<std::string>{"WLC"});
    EXPECT_EQ(doc.get("WLC", "wlc_ip"), "10.1.1.1");
    expect_error("[S]\n\xEF\xBB\xBF[T]\n", 2, "'\xEF\xBB\xBF[T]'");  // only at the very start
}

TEST(IniRead, UnicodeWhiteSpaceIsTrimmedAndCountsAsIndentation) {
    // U+00A0 no-break space, U+3000 ideographic space, U+2003 em space.
    const IniDocument doc = parse(
        "\u3000[S]\u00a0\n\u00a0Key\u2003=\u00a0value\u3000\n\u00a0\u00a0more\u00a0\n"
        "\u00a0# note\nnext = 1\n");
    EXPECT_EQ(doc.sections(), std::vector<std::string>{"S"});
    EXPECT_EQ(doc.get("S", "key"), "value\nmore");
    EXPECT_EQ(doc.get("S", "next"), "1");
}

TEST(IniRead, KeysOfEveryScriptFoldToLowerCase) {
    const IniDocument doc = parse("[S]\n\u00c4PFEL = 1\n\u03a3\u039f = 2\nWLC_IP = 3\n");
    EXPECT_EQ(doc.get("S", "\u00e4pfel"), "1");
    EXPECT_EQ(doc.get("S", "\u03c3\u03bf"), "2");
    EXPECT_EQ(doc.get("S", "\u00c4pfel"), "1");
    EXPECT_EQ(doc.all_sections()[0].entries[0].first, "\u00e4pfel");
    expect_error("[S]\n\u00e4 = 1\n\u00c4 = 2\n", 3, "duplicate key '\u00e4'");
}

TEST(IniWrite, WrittenFormByteForByte) {
    IniDocument doc;
    doc.add_section("WLC");
    doc.set("WLC", "wlc_ip", "10.1.1.1");
    doc.set("WLC", "wlc_user", "");
    doc.add_section("WLC_CMDS");
    doc.set("WLC_CMDS", "Cmds", "show clock\n\nshow ap summary");
    doc.add_section("EMPTY");
    doc.set("DEFAULT", "shared", "x");
    EXPECT_EQ(write_ini(doc),
              "[DEFAULT]\nshared = x\n\n"
              "[WLC]\nwlc_ip = 10.1.1.1\nwlc_user = \n\n"
              "[WLC_CMDS]\ncmds = show clock\n\t\n\tshow ap summary\n\n"
              "[EMPTY]\n\n");
}

TEST(IniWrite, CarriageReturnsInValuesCannotBreakTheFile) {
    IniDocument doc;
    doc.add_section("S");
    doc.set("S", "k", "a\r\nb\rc\n");
    doc.set("S", "next", "1");
    EXPECT_EQ(write_ini(doc), "[S]\nk = a\n\tb\n\tc\n\t\nnext = 1\n\n");
    const IniDocument again = parse(write_ini(doc));
    EXPECT_EQ(again.get("S", "k"), "a\nb\nc");
    EXPECT_EQ(again.get("S", "next"), "1");
}

TEST(IniWrite, NoDefaultBlockWithoutDefaultKeys) {
    IniDocument doc;
    doc.add_section("A");
    EXPECT_EQ(write_ini(doc), "[A]\n\n");
    EXPECT_EQ(write_ini(IniDocument{}), "");
}

TEST(IniWrite, WrittenFormReadsBackToTheSameDocument) {
    IniDocument doc;
    doc.add_section("S");
    doc.set("S", "multi", "one\ntwo\n\nthree");
    doc.set("S", "pct", "a%b ; # kept");
    doc.set("S", "sep", "x = y: z");
    const IniDocument again = parse(write_ini(doc));
    EXPECT_EQ(again.get("S", "multi"), "one\ntwo\n\nthree");
    EXPECT_EQ(again.get("S", "pct"), "a%b ; # kept");
    EXPECT_EQ(again.get("S", "sep"), "x = y: z");
    EXPECT_EQ(write_ini(again), write_ini(doc));
}

TEST(IniDocumentEdits, ExistingKeysKeepTheirPlaceAndNewOnesAppend) {
    IniDocument doc;
    doc.add_section("S");
    doc.set("S", "a", "1");
    doc.set("S", "b", "2");
    doc.set("S", "A", "3");
    doc.add_section("S");
    ASSERT_EQ(doc.all_sections().size(), 1u);
    const auto& entries = doc.all_sections()[0].entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"a", "3"}));
    EXPECT_TRUE(doc.remove_option("S", "B"));
    EXPECT_FALSE(doc.remove_option("S", "b"));
    EXPECT_THROW(doc.set("Missing", "k", "v"), std::out_of_range);
    doc.remove_section("S");
    EXPECT_FALSE(doc.has_section("S"));
}

}  // namespace
}  // namespace quorvane
