#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gmock/gmock.h>

#include "tests/support/temp_folder.hpp"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::TempFolder;
using test_support::write_file;
using ::testing::HasSubstr;
using ::testing::Not;

struct Outcome {
    int exit_code = -1;
    std::string out;
    std::string err;
};

Outcome run_host(const TempFolder& folder, const std::string& base_dir) {
    const std::string err_file = folder / "stderr.txt";
    // The load line and the engine's DEBUG lines go to standard error, leaving the host's own.
    const std::string command = "QUORVANE_DIAGNOSTICS=stderr QUORVANE_BASE_DIR='" + base_dir +
                                "' " + LOAD_FAILURE_HOST + " " + QUORVANE_LIBRARY + " " +
                                LOAD_FAILURE_PLUGIN + " 2>'" + err_file + "'";
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        outcome.out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.err = read_file(err_file);
    return outcome;
}

TEST(LibraryLoad, UnwritableBaseDirectoryFailsEveryEngineButNeverTheHost) {
    TempFolder folder;
    write_file(folder / "plain_file", "");
    const std::string base_dir = folder / "plain_file/base";  // under a file: cannot exist
    const Outcome outcome = run_host(folder, base_dir);
    EXPECT_EQ(outcome.exit_code, 0) << outcome.out << outcome.err;
    const std::string reason = "Quorvane cannot be loaded: cannot create the folder " + base_dir +
                               "/confd: Not a directory" +
                               " (set QUORVANE_BASE_DIR to a writable folder)";
    EXPECT_THAT(outcome.err, HasSubstr(reason + "\n"));
    EXPECT_EQ(outcome.out, "loaded\nengine: " + reason + "\nengine: " + reason + "\n");
}

TEST(LibraryLoad, WritableBaseDirectoryLoadsQuietly) {
    TempFolder folder;
    const Outcome outcome = run_host(folder, folder / "base");
    EXPECT_EQ(outcome.exit_code, 0) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.out, "loaded\nengine: constructed\nengine: constructed\n");
    EXPECT_THAT(outcome.err, Not(HasSubstr("cannot be loaded")));
    EXPECT_TRUE(fs::is_directory(folder / "base/confd"));
}

}  // namespace
