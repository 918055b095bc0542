#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "quorvane/paths/paths.hpp"
#include "tests/support/temp_folder.hpp"

namespace quorvane {
namespace {

using test_support::read_file;
using test_support::TempFolder;

// Each append is one line of a length that differs per thread, long enough that a split
// write would show up as a mixed or broken line.
TEST(SafeWriteAppendConcurrency, AppendsFromManyThreadsNeverTear) {
    TempFolder root;
    const std::string file = root / "shared.log";
    constexpr int kThreads = 8;
    constexpr int kAppends = 200;

    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            const std::string line = std::to_string(t) + ":" +
                                     std::string(1000 + 517 * t, static_cast<char>('a' + t)) + "\n";
            for (int i = 0; i < kAppends; ++i) _safe_write_append(file, line);
        });
    }
    for (std::thread& writer : writers) writer.join();

    std::map<int, int> lines_per_thread;
    std::istringstream content(read_file(file));
    for (std::string line; std::getline(content, line);) {
        const std::size_t colon = line.find(':');
        ASSERT_NE(colon, std::string::npos);
        const int t = std::stoi(line.substr(0, colon));
        ASSERT_EQ(line.substr(colon + 1), std::string(1000 + 517 * t, static_cast<char>('a' + t)));
        ++lines_per_thread[t];
    }
    ASSERT_EQ(lines_per_thread.size(), static_cast<std::size_t>(kThreads));
    for (const auto& [t, count] : lines_per_thread) EXPECT_EQ(count, kAppends) << "thread " << t;
}

}  // namespace
}  // namespace quorvane
