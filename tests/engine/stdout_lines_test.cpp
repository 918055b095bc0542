#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <thread>

#include "quorvane/engine/stdout_lines.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {
namespace {

// Standard output redirected into a file for the life of the object.
class StdoutToFile {
  public:
    explicit StdoutToFile(const std::filesystem::path& path) : path_(path) {
        std::fflush(stdout);
        saved_ = dup(fileno(stdout));
        FILE* f = std::fopen(path.c_str(), "w");
        dup2(fileno(f), fileno(stdout));
        std::fclose(f);
    }
    ~StdoutToFile() { restore(); }
    std::string restore() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, fileno(stdout));
            ::close(saved_);
            saved_ = -1;
        }
        return read_text(path_);
    }

  private:
    std::filesystem::path path_;
    int saved_ = -1;
};

TEST(StdoutLines, ConcurrentEngineLogLinesNeverInterleave) {
    setenv("TZ", "UTC", 1);
    std::filesystem::create_directories(CONFD);
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    StdoutToFile capture(std::filesystem::temp_directory_path() / "stdout.txt");
    {
        Quorvane engine;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&engine, t] {
                const std::string body(200 + t * 37, static_cast<char>('a' + t));
                for (int i = 0; i < kLines; ++i) {
                    engine._log("[AP] worker " + std::to_string(t) + " " + body);
                }
            });
        }
        for (auto& th : threads) th.join();
    }
    std::istringstream lines(capture.restore());
    int ap_lines = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("[AP] worker ", 0) != 0) continue;
        ++ap_lines;
        const int t = line[12] - '0';
        ASSERT_EQ(line, "[AP] worker " + std::to_string(t) + " " +
                            std::string(200 + t * 37, static_cast<char>('a' + t)));
    }
    EXPECT_EQ(ap_lines, kThreads * kLines);
}

}  // namespace
}  // namespace quorvane::testing
