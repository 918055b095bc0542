#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quorvane/paths/paths.hpp"

namespace quorvane {
namespace {

// Several processes allocate at the same moment: each gets a folder of its own.
TEST(RunFolders, ProcessesStartedTogetherNeverShareARunFolder) {
    constexpr int kProcesses = 6;
    constexpr int kRunsEach = 40;
    int start[2], results[2];
    ASSERT_EQ(::pipe(start), 0);
    ASSERT_EQ(::pipe(results), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(start[1]);
            char go;
            if (::read(start[0], &go, 1) != 1) _exit(1);
            for (int run = 0; run < kRunsEach; ++run) {
                std::string line = allocate_run_folder().run_id;
                line.resize(32, ' ');
                if (::write(results[1], line.data(), line.size()) != 32) _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    ::close(start[0]);
    ::close(results[1]);
    const std::string go(kProcesses, 'g');
    ASSERT_EQ(::write(start[1], go.data(), go.size()), kProcesses);
    ::close(start[1]);
    std::set<std::string> run_ids;
    char line[32];
    while (::read(results[0], line, sizeof line) == static_cast<ssize_t>(sizeof line)) {
        run_ids.insert(std::string(line, sizeof line));
    }
    ::close(results[0]);
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(run_ids.size(), static_cast<std::size_t>(kProcesses * kRunsEach));
}

}  // namespace
}  // namespace quorvane
