#include <ctime>
#include <filesystem>

#include <gtest/gtest.h>

#include "quorvane/paths/paths.hpp"
#include "tests/support/temp_folder.hpp"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test_support::TempFolder;
using test_support::write_file;

TEST(NextRunNumber, EmptyFolderStartsAtOne) {
    TempFolder dated;
    EXPECT_EQ(next_run_number(dated.path().string()), 1);
}

TEST(NextRunNumber, CountsFoldersOnlyAndSkipsUnreadableNames) {
    TempFolder dated;
    for (const char* name : {"RUN1", "RUN2", "RUN10", "RUNx", "RUN", "RUNold"}) {
        fs::create_directory(dated.path() / name);
    }
    write_file(dated / "RUN11", "a file, not a run");
    EXPECT_EQ(next_run_number(dated.path().string()), 11);
}

TEST(NextRunNumber, PrefixIsCaseSensitive) {
    TempFolder dated;
    fs::create_directory(dated.path() / "run5");
    fs::create_directory(dated.path() / "Run6");
    EXPECT_EQ(next_run_number(dated.path().string()), 1);
}

TEST(NextRunNumber, EveryRunTagIsRemovedBeforeReading) {
    TempFolder dated;
    fs::create_directory(dated.path() / "RUN1RUN2");  // reads as 12
    fs::create_directory(dated.path() / "RUN3");
    EXPECT_EQ(next_run_number(dated.path().string()), 13);
}

TEST(NextRunNumber, NumbersReadLikeALenientIntegerConversion) {
    TempFolder dated;
    fs::create_directory(dated.path() / "RUN 7 ");
    fs::create_directory(dated.path() / "RUN+8");
    fs::create_directory(dated.path() / "RUN009");
    fs::create_directory(dated.path() / "RUN1_0");          // not decimal here
    fs::create_directory(dated.path() / "RUN99999999999");  // beyond any run we make
    fs::create_directory(dated.path() / "RUN3a");
    EXPECT_EQ(next_run_number(dated.path().string()), 10);
}

TEST(NextRunNumber, MissingFolderIsAnError) {
    TempFolder parent;
    EXPECT_THROW(next_run_number(parent / "absent"), fs::filesystem_error);
}

std::string expected_dated_folder() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char parts[16];
    std::strftime(parts, sizeof parts, "%Y/%m/%d", &local);
    return (fs::path(DATA_ROOT) / parts).string();
}

TEST(RunFolders, TodayDataDirIsCreatedUnderDataRoot) {
    const std::string today = today_data_dir();
    EXPECT_EQ(today, expected_dated_folder());  // could differ only across midnight
    EXPECT_TRUE(fs::is_directory(today));
}

TEST(RunFolders, AllocationNumbersOnFromTheExistingRuns) {
    const RunFolder first = allocate_run_folder();
    EXPECT_EQ(fs::path(first.data_dir).filename(), first.run_id);
    EXPECT_TRUE(fs::is_directory(first.data_dir));
    EXPECT_EQ(fs::path(first.data_dir).parent_path().string(), expected_dated_folder());

    const RunFolder second = allocate_run_folder();
    const int first_number = std::stoi(first.run_id.substr(3));
    EXPECT_EQ(second.run_id, "RUN" + std::to_string(first_number + 1));
}

TEST(EnsureDir, CreatesParentsAndReturnsThePathUnchanged) {
    TempFolder root;
    const std::string deep = root / "a/b/c";
    EXPECT_EQ(ensure_dir(deep), deep);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(ensure_dir(deep), deep);
}

TEST(EnsureDir, FileInTheWayIsAnError) {
    TempFolder root;
    write_file(root / "f", "");
    EXPECT_THROW(ensure_dir(root / "f/sub"), fs::filesystem_error);
}

}  // namespace
}  // namespace quorvane
