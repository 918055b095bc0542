#pragma once
// A fixed set of worker threads shared by the AP list fetch and the poll run. Tasks start
// in submission order; finished tasks are handed back in the order they finish. A
// shutdown without waiting leaves running and queued tasks alone: the threads hold the
// pool's state, so they may outlive the pool object and drain the queue in the background.
// A shutdown that waits joins the threads, so their thread-exit clean-up (the SSH and
// crypto libraries keep per-thread state) is over before the caller goes on, or exits.

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
    explicit TaskPool(std::size_t workers) : state_(std::make_shared<State>()) {
        if (workers == 0) throw std::invalid_argument("a worker pool needs at least one worker");
        state_->max_threads = workers;
    }
    ~TaskPool() override { shutdown(false); }
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // Queues a task and returns its submission number. Throws std::runtime_error after
    // shutdown.
    std::size_t submit(std::function<Result()> task) {
        std::lock_guard lock(state_->mutex);
        if (state_->closed) throw std::runtime_error("cannot submit a task after shutdown");
        const std::size_t index = state_->submitted++;
        state_->queue.push_back({index, std::move(task)});
        ++state_->outstanding;
        const std::size_t idle = state_->threads - state_->busy;
        if (idle < state_->queue.size() && state_->threads < state_->max_threads) {
            ++state_->threads;
            state_->handles.emplace_back(&TaskPool::work, state_);
        }
        state_->work_ready.notify_one();
        return index;
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
            state_->changed.wait(lock, [&] { return state_->threads == 0; });
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
        std::size_t threads = 0;  // started and not yet ended
        std::size_t busy = 0;     // running a task
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

    std::shared_ptr<State> state_;

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
