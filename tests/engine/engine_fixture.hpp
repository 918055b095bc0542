#pragma once
// A fixture that builds engines over a written config.ini with every outside dependency
// faked, and records what they log and report.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "quorvane/engine/engine.hpp"
#include "quorvane/paths/paths.hpp"
#include "tests/engine/fakes.hpp"

namespace quorvane::testing {

inline std::chrono::system_clock::time_point test_start_time() {
    using namespace std::chrono;
    return sys_days{year{2026} / 3 / 1} + hours{14} + minutes{5} + seconds{9} +
           microseconds{123456};
}

inline std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    void write_config(const std::string& text) {
        std::filesystem::create_directories(CONFD);
        std::ofstream(std::filesystem::path(CONFD) / "config.ini", std::ios::trunc) << text;
    }

    std::unique_ptr<Quorvane> make_engine() {
        EngineOptions options;
        options.connect = factory.handler();
        options.clock = clock;
        options.port_probe = [this](const std::string& ip, int port, double timeout) {
            probes.push_back(ip + ":" + std::to_string(port) + "/" +
                             std::to_string(static_cast<int>(timeout)));
            return !unreachable.count(ip);
        };
        auto engine = std::make_unique<Quorvane>(
            options, [this](const std::string& line) { logs.push_back(line); },
            [this](int pct) { progress.push_back(pct); });
        logs.clear();
        return engine;
    }

    std::vector<std::string> logs_starting(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& l : logs) {
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        }
        return out;
    }

    FakeFactory factory;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(test_start_time());
    std::set<std::string> unreachable;
    std::vector<std::string> probes;
    std::vector<std::string> logs;
    std::vector<int> progress;
};

}  // namespace quorvane::testing
