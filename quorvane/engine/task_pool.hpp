#pragma once
// A fixed set of worker threads shared by the AP list fetch and the poll run. Tasks start
// in submission order; finished tasks are handed back in the order they finish. A
// shutdown without waiting leaves running and queued tasks alone: the threads hold the
// pool's state, so they may outlive the pool object and drain the queue in the background.
// A shutdown that waits joins the threads, so their thread-exit clean-up (the SSH and
// crypto libraries keep per-thread state) is over before the caller goes on, or exits.
// A thread that cannot start (a process or memory limit) costs the pool that thread only;
// when the pool has no thread at all the task is taken back and the failure reaches the
// submitter, so nothing waits for a task that no thread will ever run.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "quorvane/engine/worker_pool.hpp"

namespace quorvane {

// Starts one thread running `body`; throws std::system_error when it cannot.
using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

inline std::thread start_std_thread(std::function<void()> body) {
    return std::thread(std::move(body));
}

template <class Result>
class TaskPool : public WorkerPool {
  public:
    struct Finished {
        std::size_t index;  // submission number, from 0
        std::variant<Result, std::exception_ptr> outcome;

        // The task's result, or its exception rethrown.
        Result take() {
            if (auto* error = std::get_if<std::exception_ptr>(&outcome)) {
                std::rethrow_exception(*error);
            }
            return std::move(std::get<Result>(outcome));
        }
    };

    // Throws std::invalid_argument for zero workers. Threads start on demand, up to the
    // given number, so a pool sized for 500 APs polling 3 costs 3 threads.
    explicit TaskPool(std::size_t workers, ThreadStarter start_thread = start_std_thread)
        : state_(std::make_shared<State>()), start_thread_(std::move(start_thread)) {
        if (workers == 0) throw std::invalid_argument("a worker pool needs at least one worker");
        if (!start_thread_) start_thread_ = start_std_thread;
        state_->max_threads = workers;
    }
    ~TaskPool() override { shutdown(false); }
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // Queues a task and returns its submission number. Throws std::runtime_error after
    // shutdown, and the thread library's error when no thread can run the task.
    std::size_t submit(std::function<Result()> task) {
        const auto index = try_submit(std::move(task));
        if (!index) throw std::runtime_error("cannot submit a task after shutdown");
        return *index;
    }

    // The same, with no value instead of an error once the pool has been shut down, so a
    // submitter racing a shutdown can tell the stop from a failure.
    std::optional<std::size_t> try_submit(std::function<Result()> task) {
        std::unique_lock lock(state_->mutex);
        if (state_->closed) return std::nullopt;
        const std::size_t index = state_->submitted++;
        state_->queue.push_back({index, std::move(task)});
        ++state_->outstanding;
        const std::size_t idle = state_->threads - state_->busy;
        state_->work_ready.notify_one();
        if (idle >= state_->queue.size() || state_->threads >= state_->max_threads) return index;
        // Counted before it starts so that concurrent submits do not overshoot the limit;
        // started outside the lock, which the new thread needs at once.
        ++state_->threads;
        ++state_->starting;
        lock.unlock();
        std::thread thread;
        std::exception_ptr failure;
        try {
            thread = start_thread_([state = state_] { work(state); });
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        --state_->starting;
        if (!failure) {
            state_->handles.push_back(std::move(thread));
            state_->changed.notify_all();
            return index;
        }
        --state_->threads;
        state_->changed.notify_all();
        // Another thread runs the queue; the pool just has one thread fewer.
        if (state_->threads > 0) return index;
        withdraw(index);
        std::rethrow_exception(failure);
    }

    // Waits for the next finished task not yet taken; no value once every submitted task
    // has been taken.
    std::optional<Finished> next_finished() {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait(lock, [&] { return !state_->finished.empty() || untaken() == 0; });
        if (state_->finished.empty()) return std::nullopt;
        Finished done = std::move(state_->finished.front());
        state_->finished.pop_front();
        ++state_->taken;
        return done;
    }

    // Stops accepting tasks. With wait, returns once every submitted task has ended and
    // every thread has exited.
    void shutdown(bool wait = false) override {
        std::vector<std::thread> ending;
        {
            std::unique_lock lock(state_->mutex);
            state_->closed = true;
            state_->work_ready.notify_all();
            if (!wait) return;
            state_->changed.wait(lock,
                                 [&] { return state_->threads == 0 && state_->starting == 0; });
            ending.swap(state_->handles);
        }
        for (auto& thread : ending) thread.join();
    }

    // Waits at most `timeout` for every submitted task to end; true when they all did.
    template <class Rep, class Period>
    bool wait_idle_for(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, timeout, [&] { return state_->outstanding == 0; });
    }

  private:
    struct Queued {
        std::size_t index;
        std::function<Result()> task;
    };
    struct State {
        std::mutex mutex;
        std::condition_variable work_ready;
        std::condition_variable changed;
        std::deque<Queued> queue;
        std::deque<Finished> finished;
        std::size_t max_threads = 0;
        std::size_t threads = 0;   // started or starting, and not yet ended
        std::size_t starting = 0;  // being started by a submitter
        std::size_t busy = 0;      // running a task
        std::size_t submitted = 0;
        std::size_t taken = 0;
        std::size_t outstanding = 0;  // queued or running
        bool closed = false;
        // Threads nobody joined yet. The last owner of the state may be one of them, so what
        // is left when the state goes is let go rather than joined.
        std::vector<std::thread> handles;

        ~State() {
            for (auto& thread : handles) thread.detach();
        }
    };

    std::size_t untaken() const { return state_->submitted - state_->taken; }

    // Takes a queued task back as if it had never been submitted and taken: no thread is
    // left to run it.
    void withdraw(std::size_t index) {
        auto& queue = state_->queue;
        for (auto it = queue.begin(); it != queue.end(); ++it) {
            if (it->index != index) continue;
            queue.erase(it);
            --state_->outstanding;
            ++state_->taken;
            break;
        }
        state_->changed.notify_all();
    }

    std::shared_ptr<State> state_;
    ThreadStarter start_thread_;

    static void work(std::shared_ptr<State> state) {
        std::unique_lock lock(state->mutex);
        for (;;) {
            state->work_ready.wait(lock, [&] { return !state->queue.empty() || state->closed; });
            if (state->queue.empty()) break;
            Queued next = std::move(state->queue.front());
            state->queue.pop_front();
            ++state->busy;
            lock.unlock();
            Finished done{next.index, std::exception_ptr{}};
            try {
                done.outcome = next.task();
            } catch (...) {
                done.outcome = std::current_exception();
            }
            next.task = nullptr;
            lock.lock();
            --state->busy;
            --state->outstanding;
            state->finished.push_back(std::move(done));
            state->changed.notify_all();
        }
        --state->threads;
        state->changed.notify_all();
    }
};

}  // namespace quorvane
