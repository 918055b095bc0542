#include <ctime>
#include <filesystem>
#include <vector>

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
    EXPECT_EQ(next_run_number(dated.path().string()), "1");
}

TEST(NextRunNumber, CountsFoldersOnlyAndSkipsUnreadableNames) {
    TempFolder dated;
    for (const char* name : {"RUN1", "RUN2", "RUN10", "RUNx", "RUN", "RUNold"}) {
        fs::create_directory(dated.path() / name);
    }
    write_file(dated / "RUN11", "a file, not a run");
    EXPECT_EQ(next_run_number(dated.path().string()), "11");
}

TEST(NextRunNumber, PrefixIsCaseSensitive) {
    TempFolder dated;
    fs::create_directory(dated.path() / "run5");
    fs::create_directory(dated.path() / "Run6");
    EXPECT_EQ(next_run_number(dated.path().string()), "1");
}

TEST(NextRunNumber, EveryRunTagIsRemovedBeforeReading) {
    TempFolder dated;
    fs::create_directory(dated.path() / "RUN1RUN2");  // reads as 12
    fs::create_directory(dated.path() / "RUN3");
    EXPECT_EQ(next_run_number(dated.path().string()), "13");
}

TEST(NextRunNumber, OnlyDecimalDigitsCountAndNoNumberWraps) {
    struct Case {
        std::vector<const char*> folders;
        const char* next;
    };
    const Case cases[] = {
        {{"RUN 7 ", "RUN+8", "RUN-5", "RUN1_0", "RUN3a", "RUN\u0663", "RUN009"}, "10"},
        {{"RUN-5"}, "1"},
        {{"RUN0"}, "1"},
        {{"RUN2147483647", "RUN12"}, "2147483648"},
        {{"RUN9223372036854775807"}, "9223372036854775808"},
        {{"RUN99999999999999999999999", "RUN123"}, "100000000000000000000000"},
        {{"RUN0000000000000000000000000042"}, "43"},
    };
    for (const Case& c : cases) {
        TempFolder dated;
        for (const char* name : c.folders) fs::create_directory(dated.path() / name);
        EXPECT_EQ(next_run_number(dated.path().string()), c.next) << c.folders.front();
    }
}

TEST(CreateRunFolder, TakenNamesAreSkippedNeverShared) {
    TempFolder dated;
    for (const char* name : {"RUN1", "RUN2", "RUN10"}) fs::create_directory(dated.path() / name);
    write_file(dated / "RUN11", "a file, not a run");
    const RunFolder run = create_run_folder(dated.path().string());
    EXPECT_EQ(run.run_id, "RUN12");
    EXPECT_EQ(run.data_dir, (dated / "RUN12").string());
    EXPECT_TRUE(fs::is_directory(run.data_dir));
    EXPECT_EQ(create_run_folder(dated.path().string()).run_id, "RUN13");

    fs::create_directory(dated.path() / "RUN2147483647");
    EXPECT_EQ(create_run_folder(dated.path().string()).run_id, "RUN2147483648");
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
    const long long first_number = std::stoll(first.run_id.substr(3));
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
