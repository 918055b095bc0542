#pragma once
// Test doubles for the engine: a scripted device session, a session factory that hands
// out scripted attempts, and a clock that records waits instead of sleeping.

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "quorvane/engine/clock.hpp"
#include "quorvane/engine/device_session.hpp"

namespace quorvane::testing {

class FakeSession : public DeviceSession {
  public:
    void enable() override { record("enable()"); }

    std::string send_command(const std::string& cmd, std::optional<double> read_timeout) override {
        record("send_command(" + cmd + ", " + timeout_text(read_timeout) + ")");
        if (failing.count(cmd)) throw std::runtime_error(failing.at(cmd));
        auto it = outputs.find(cmd);
        return it == outputs.end() ? "output of " + cmd : it->second;
    }

    std::string send_command_timing(const std::string& cmd,
                                    std::optional<double> read_timeout) override {
        record("send_command_timing(" + cmd + ", " + timeout_text(read_timeout) + ")");
        return "";
    }

    void write_channel(const std::string& text) override { record("write_channel(" + text + ")"); }

    std::string read_channel() override {
        record("read_channel()");
        return std::exchange(pending_channel, "");
    }

    std::string base_prompt() const override { return "WLC1"; }

    void disconnect() override {
        record("disconnect()");
        if (disconnect_error) throw std::runtime_error(*disconnect_error);
    }

    void close() override { record("close()"); }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int count(const std::string& call) const {
        int n = 0;
        for (const auto& c : calls()) n += c == call;
        return n;
    }

    std::map<std::string, std::string> outputs;
    // Commands whose send_command throws the mapped text.
    std::map<std::string, std::string> failing;
    std::string pending_channel;
    std::optional<std::string> disconnect_error;

  private:
    static std::string timeout_text(std::optional<double> t) {
        if (!t) return "none";
        std::string s = std::to_string(*t);
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
        return s;
    }
    void record(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Each connect call takes the next scripted attempt; attempts beyond the script fail.
class FakeFactory {
  public:
    struct Attempt {
        std::shared_ptr<FakeSession> session;  // null: the attempt throws `error`
        std::string error = "Authentication failed";
    };

    std::shared_ptr<FakeSession> succeed_next() {
        auto session = std::make_shared<FakeSession>();
        script_.push_back({session});
        return session;
    }
    void fail_next(std::string error = "Authentication failed") {
        script_.push_back({nullptr, std::move(error)});
    }

    ConnectHandler handler() {
        return [this](const DeviceParams& params) -> DeviceSessionPtr {
            params_.push_back(params);
            if (script_.empty()) throw std::runtime_error("no scripted session");
            Attempt next = script_.front();
            script_.pop_front();
            if (!next.session) throw std::runtime_error(next.error);
            return next.session;
        };
    }

    const std::vector<DeviceParams>& params() const { return params_; }

  private:
    std::deque<Attempt> script_;
    std::vector<DeviceParams> params_;
};

class FakeClock : public Clock {
  public:
    explicit FakeClock(std::chrono::system_clock::time_point start) : now_(start) {}

    std::chrono::system_clock::time_point now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void sleep_for(std::chrono::milliseconds duration) override {
        std::lock_guard lock(mutex_);
        sleeps_.push_back(duration);
        now_ += duration;
    }
    std::vector<std::chrono::milliseconds> sleeps() const {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    std::vector<long> sleep_seconds() const {
        std::vector<long> out;
        for (auto d : sleeps()) out.push_back(static_cast<long>(d.count() / 1000));
        return out;
    }

  private:
    mutable std::mutex mutex_;
    std::chrono::system_clock::time_point now_;
    std::vector<std::chrono::milliseconds> sleeps_;
};

}  // namespace quorvane::testing
