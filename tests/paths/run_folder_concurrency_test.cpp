#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quorvane/paths/paths.hpp"

namespace quorvane {
namespace {

// Engines constructed at the same moment on several threads: each gets a folder of its own.
TEST(RunFolderConcurrency, ThreadsStartedTogetherNeverShareARunFolder) {
    constexpr int kThreads = 8;
    constexpr int kRunsEach = 60;
    std::latch start(kThreads);
    std::vector<std::vector<std::string>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kRunsEach; ++i) ids[t].push_back(allocate_run_folder().data_dir);
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<std::string> distinct;
    for (const auto& list : ids) distinct.insert(list.begin(), list.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kRunsEach));
}

}  // namespace
}  // namespace quorvane
