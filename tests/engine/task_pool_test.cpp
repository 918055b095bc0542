#include "quorvane/engine/task_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace quorvane {
namespace {

using namespace std::chrono_literals;

TEST(TaskPool, StartsInSubmissionOrderAndHandsBackInCompletionOrder) {
    TaskPool<int> pool(1);
    std::promise<void> release_first;
    auto gate = release_first.get_future().share();
    std::vector<int> started;
    std::mutex started_mutex;
    auto task = [&](int n, bool wait) {
        return [&, n, wait] {
            {
                std::lock_guard lock(started_mutex);
                started.push_back(n);
            }
            if (wait) gate.wait();
            return n * 10;
        };
    };
    pool.submit(task(0, true));
    pool.submit(task(1, false));
    pool.submit(task(2, false));
    release_first.set_value();
    std::vector<std::size_t> order;
    while (auto done = pool.next_finished()) {
        EXPECT_EQ(done->take(), static_cast<int>(done->index) * 10);
        order.push_back(done->index);
    }
    EXPECT_EQ(started, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2}));
}

TEST(TaskPool, FasterTaskFinishesFirstAndExceptionsTravelWithTheResult) {
    TaskPool<int> pool(2);
    std::promise<void> release;
    auto gate = release.get_future().share();
    pool.submit([gate] {
        gate.wait();
        return 1;
    });
    pool.submit([]() -> int { throw std::runtime_error("boom"); });
    auto first = pool.next_finished();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->index, 1u);
    EXPECT_THROW(first->take(), std::runtime_error);
    release.set_value();
    auto second = pool.next_finished();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->take(), 1);
    EXPECT_FALSE(pool.next_finished());
}

TEST(TaskPool, ShutdownWithoutWaitingLeavesQueuedTasksRunningAfterThePoolIsGone) {
    std::atomic<int> ran{0};
    std::promise<void> release;
    auto gate = release.get_future().share();
    auto pool = std::make_unique<TaskPool<int>>(1);
    for (int i = 0; i < 3; ++i) {
        pool->submit([&ran, gate] {
            gate.wait();
            return ++ran;
        });
    }
    pool->shutdown(false);
    EXPECT_THROW(pool->submit([] { return 0; }), std::runtime_error);
    TaskPool<int>* raw = pool.get();
    release.set_value();
    EXPECT_TRUE(raw->wait_idle_for(5s));
    pool.reset();
    EXPECT_EQ(ran.load(), 3);
}

// Counts the pool threads whose thread-exit clean-up has finished, the way the crypto
// library frees its per-thread state.
std::atomic<int> threads_marked{0};
std::atomic<int> threads_cleaned_up{0};
struct ThreadExitMark {
    bool marked = false;
    void mark() {
        if (!std::exchange(marked, true)) ++threads_marked;
    }
    ~ThreadExitMark() {
        if (!marked) return;
        std::this_thread::sleep_for(50ms);
        ++threads_cleaned_up;
    }
};
thread_local ThreadExitMark exit_mark;

// A program exits right after a waiting shutdown; per-thread state still being freed then
// is reported as leaked.
TEST(TaskPool, WaitingShutdownReturnsAfterEveryThreadHasExited) {
    TaskPool<int> pool(3);
    for (int i = 0; i < 6; ++i) {
        pool.submit([] {
            exit_mark.mark();
            std::this_thread::sleep_for(5ms);
            return 0;
        });
    }
    while (pool.next_finished()) {
    }
    pool.shutdown(true);
    EXPECT_GT(threads_marked.load(), 0);
    EXPECT_EQ(threads_cleaned_up.load(), threads_marked.load());
}

TEST(TaskPool, NeverRunsMoreThanItsWorkersAndRejectsZero) {
    EXPECT_THROW(TaskPool<int>(0), std::invalid_argument);
    TaskPool<int> pool(3);
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    for (int i = 0; i < 40; ++i) {
        pool.submit([&] {
            const int now = ++running;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(1ms);
            --running;
            return 0;
        });
    }
    int taken = 0;
    while (pool.next_finished()) ++taken;
    EXPECT_EQ(taken, 40);
    EXPECT_LE(peak.load(), 3);
    pool.shutdown(true);
}

// Threads that cannot start: with none running, the task is taken back and the error
// reaches the submitter; with one running, the pool goes on with it. Either way the
// counts stay right and a waiting shutdown returns.
TEST(TaskPool, AThreadThatCannotStartNeitherLosesTasksNorBlocksShutdown) {
    for (const int good_starts : {0, 1}) {
        int starts = 0;
        TaskPool<int> pool(3, [&](std::function<void()> body) {
            if (starts++ >= good_starts) {
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            return std::thread(std::move(body));
        });
        std::promise<void> release;
        auto gate = release.get_future().share();
        std::vector<std::size_t> done;
        if (good_starts == 0) {
            EXPECT_THROW(pool.submit([] { return 1; }), std::system_error);
        } else {
            pool.submit([gate] {
                gate.wait();
                return 1;
            });
            pool.submit([] { return 2; });  // no thread of its own: waits for the first
            release.set_value();
            while (auto finished = pool.next_finished()) done.push_back(finished->index);
        }
        EXPECT_FALSE(pool.next_finished()) << good_starts;
        EXPECT_EQ(done.size(), static_cast<std::size_t>(good_starts * 2));
        pool.shutdown(true);
    }
}

}  // namespace
}  // namespace quorvane
