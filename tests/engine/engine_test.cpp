#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class EngineObjectTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        write_config("[WLC]\n");
    }
};

TEST_F(EngineObjectTest, WithoutCallbackTheDataDirectoryLineGoesToStdout) {
    ::testing::internal::CaptureStdout();
    Quorvane engine;
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "[ENGINE] Using data directory: " + engine.data_dir + "\n" + "DEBUG DATA DIR: " +
                       engine.data_dir + "\n" + "DEBUG BASE DIR: " + BASE_DIR + "\n");
}

TEST_F(EngineObjectTest, WithCallbackOnlyTheDebugLinesArePrinted) {
    std::vector<std::string> lines;
    ::testing::internal::CaptureStdout();
    Quorvane engine([&](const std::string& l) { lines.push_back(l); });
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(lines, ElementsAre("[ENGINE] Using data directory: " + engine.data_dir));
    EXPECT_THAT(out, Not(HasSubstr("[ENGINE]")));
    EXPECT_THAT(out, HasSubstr("DEBUG DATA DIR: " + engine.data_dir + "\n"));
    EXPECT_THAT(out, HasSubstr("DEBUG BASE DIR: " + BASE_DIR + "\n"));
}

TEST_F(EngineObjectTest, InitialFieldsAndConsecutiveRunFolders) {
    Quorvane first([](const std::string&) {});
    Quorvane second([](const std::string&) {});
    const int n = std::stoi(first.run_id.substr(3));
    EXPECT_EQ(second.run_id, "RUN" + std::to_string(n + 1));
    EXPECT_TRUE(std::filesystem::is_directory(second.data_dir));
    EXPECT_EQ(std::filesystem::path(second.data_dir).filename(), second.run_id);
    EXPECT_EQ(first.ini.path, (std::filesystem::path(CONFD) / "config.ini").string());
    EXPECT_EQ(first._collect_counter_key,
              std::make_pair(std::string("CRONJOB"), std::string("collect_archive_wnccore_count")));
    EXPECT_EQ(first.operation, "WLC & AP");
    EXPECT_EQ(first.workflow, "");
    EXPECT_EQ(first.success, 0);
    EXPECT_EQ(first.failed, 0);
    EXPECT_FALSE(first.stop_requested());
    EXPECT_FALSE(first.executor);
    EXPECT_EQ(first._open_sessions.size(), 0u);
}

TEST_F(EngineObjectTest, ProgressTruncatesTowardZeroAndIsOptional) {
    auto engine = make_engine();
    engine->_progress(42.7);
    engine->_progress(-3.9);
    engine->_progress(100);
    EXPECT_THAT(progress, ElementsAre(42, -3, 100));
    EXPECT_THROW(engine->_progress(std::nan("")), std::invalid_argument);

    engine->progress_cb = nullptr;
    engine->_progress(50);
    EXPECT_EQ(progress.size(), 3u);
}

class RecordingPool : public WorkerPool {
  public:
    void shutdown(bool wait) override { (wait ? waited : nowait)++; }
    std::atomic<int> waited{0}, nowait{0};
};

TEST_F(EngineObjectTest, ShutdownOnFreshEngineIsHarmlessAndRepeatable) {
    auto engine = make_engine();
    engine->shutdown();
    engine->shutdown();
    EXPECT_TRUE(engine->stop_requested());
}

TEST_F(EngineObjectTest, ShutdownStopsPoolWithoutWaitingAndEndsEverySession) {
    auto engine = make_engine();
    auto pool = std::make_shared<RecordingPool>();
    engine->executor.set(pool);
    auto good = std::make_shared<FakeSession>();
    auto stubborn = std::make_shared<FakeSession>();
    stubborn->disconnect_error = "socket is closed";
    auto last = std::make_shared<FakeSession>();
    engine->register_session(good);
    engine->register_session(stubborn);
    engine->register_session(last);

    engine->shutdown();

    EXPECT_TRUE(engine->stop_requested());
    EXPECT_EQ(pool->nowait.load(), 1);
    EXPECT_EQ(pool->waited.load(), 0);
    EXPECT_THAT(good->calls(), ElementsAre("disconnect()"));
    EXPECT_THAT(stubborn->calls(), ElementsAre("disconnect()", "close()"));
    EXPECT_THAT(last->calls(), ElementsAre("disconnect()"));
    EXPECT_EQ(engine->_open_sessions.size(), 3u);

    engine->shutdown();
    EXPECT_EQ(good->count("disconnect()"), 2);
}

TEST_F(EngineObjectTest, ShutdownSurvivesAFailingPool) {
    struct ThrowingPool : WorkerPool {
        void shutdown(bool) override { throw std::runtime_error("pool broken"); }
    };
    auto engine = make_engine();
    engine->executor.set(std::make_shared<ThrowingPool>());
    auto session = std::make_shared<FakeSession>();
    engine->register_session(session);
    EXPECT_NO_THROW(engine->shutdown());
    EXPECT_EQ(session->count("disconnect()"), 1);
    engine->executor.reset();
}

TEST_F(EngineObjectTest, DestructorWaitsForThePool) {
    auto pool = std::make_shared<RecordingPool>();
    {
        auto engine = make_engine();
        engine->executor.set(pool);
    }
    EXPECT_EQ(pool->nowait.load(), 1);
    EXPECT_EQ(pool->waited.load(), 1);
}

}  // namespace
}  // namespace quorvane::testing
