#include <filesystem>

#include <gtest/gtest.h>

#include "quorvane/paths/paths.hpp"
#include "tests/support/temp_folder.hpp"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::TempFolder;

TEST(SafeWriteAppend, CreatesMissingFoldersAndAppendsInOrder) {
    TempFolder root;
    const std::string file = root / "x/y/z.txt";
    _safe_write_append(file, "first\n");
    _safe_write_append(file, "second\n");
    EXPECT_EQ(read_file(file), "first\nsecond\n");
}

TEST(SafeWriteAppend, KeepsTextUnchangedIncludingLineBreaksAndNonAscii) {
    TempFolder root;
    const std::string text = "a\r\nb\nÅsa → — \t\n";
    _safe_write_append(root / "t.txt", text);
    _safe_write_append(root / "t.txt", "");
    EXPECT_EQ(read_file(root / "t.txt"), text);
}

TEST(SafeWriteAppend, DropsBytesThatAreNotUtf8) {
    TempFolder root;
    _safe_write_append(root / "t.txt", std::string("ok\xff|\xe2\x82|\xed\xa0\x80|\xc0\xaf"
                                                   "end"));
    EXPECT_EQ(read_file(root / "t.txt"), "ok|||end");
}

TEST(SafeWriteAppend, OpenFailureRaisesWithThePath) {
    TempFolder root;
    fs::create_directory(root.path() / "dir");
    try {
        _safe_write_append(root / "dir", "x");
        FAIL() << "expected an error";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.path1(), root.path() / "dir");
        EXPECT_EQ(e.code(), std::errc::is_a_directory);
    }
}

TEST(SafeWriteAppend, FileInPlaceOfAFolderRaises) {
    TempFolder root;
    _safe_write_append(root / "plain", "x");
    EXPECT_THROW(_safe_write_append(root / "plain/child.txt", "x"), fs::filesystem_error);
}

}  // namespace
}  // namespace quorvane
