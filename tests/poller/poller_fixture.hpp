#pragma once
// Fakes for AP polls: a scripted AP session and an engine fixture whose session factory
// hands out scripted APs by address.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {

inline const std::string kInventory =
    "NAME: AP9130, DESCR: Cisco Catalyst 9130AX Series Access Point\r\n"
    "PID: C9130AXI-E , VID: 01, SN: FOC1234ABCD\r\n";
inline const std::string kVersion =
    "Cisco AP Software, (ap1g6a), C9130, RELEASE SOFTWARE\r\n"
    "AP Running Image     : 17.9.4.27\r\n"
    "Model Number                    : C9130AXI-E\r\n";

class FakeAp : public DeviceSession {
  public:
    FakeAp() {
        outputs["show inventory"] = kInventory;
        outputs["show version"] = kVersion;
    }

    void enable() override {
        record("enable()");
        if (enable_error) throw std::runtime_error(*enable_error);
    }
    std::string send_command(const std::string& cmd, std::optional<double> read_timeout) override {
        record("send_command(" + cmd + ", " + seconds(read_timeout) + ")");
        before(cmd);
        if (auto it = failing.find(cmd); it != failing.end()) throw std::runtime_error(it->second);
        auto it = outputs.find(cmd);
        return it == outputs.end() ? "output of " + cmd : it->second;
    }
    std::string send_command_timing(const std::string& cmd,
                                    std::optional<double> read_timeout) override {
        record("send_command_timing(" + cmd + ", " + seconds(read_timeout) + ")");
        before(cmd);
        if (auto it = timing_failing.find(cmd); it != timing_failing.end()) {
            throw std::runtime_error(it->second);
        }
        auto it = timing_outputs.find(cmd);
        return it == timing_outputs.end() ? "" : it->second;
    }
    void write_channel(const std::string& text) override {
        record("write_channel(" + text + ")");
        if (closed()) throw std::runtime_error("Socket is closed");
    }
    std::string read_channel() override {
        std::lock_guard lock(mutex_);
        if (channel_.empty()) return "";
        std::string chunk = std::move(channel_.front());
        channel_.pop_front();
        return chunk;
    }
    std::string base_prompt() const override { return prompt; }
    void disconnect() override {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back("disconnect()");
            disconnected_ = true;
        }
        changed_.notify_all();
        if (disconnect_error) throw std::runtime_error(*disconnect_error);
    }
    void close() override { record("close()"); }

    // Chunks read_channel hands out one per call; "" stands for a read that finds nothing.
    void queue_channel(std::vector<std::string> chunks) {
        std::lock_guard lock(mutex_);
        for (auto& c : chunks) channel_.push_back(std::move(c));
    }
    // The command blocks until the session is disconnected, then fails as a closed socket.
    void block_until_disconnected(const std::string& cmd) { blocking_.push_back(cmd); }

    bool closed() const {
        std::lock_guard lock(mutex_);
        return disconnected_;
    }
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
    std::map<std::string, std::string> failing;
    std::map<std::string, std::string> timing_outputs;
    std::map<std::string, std::string> timing_failing;
    std::optional<std::string> enable_error;
    std::optional<std::string> disconnect_error;
    std::string prompt = "AP1";
    // Called before every command is answered, on the polling thread.
    std::function<void(const std::string& cmd)> on_command;

  private:
    static std::string seconds(std::optional<double> t) {
        return t ? std::to_string(static_cast<long>(*t)) : "none";
    }
    void record(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    void before(const std::string& cmd) {
        if (on_command) on_command(cmd);
        for (const auto& b : blocking_) {
            if (b != cmd) continue;
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return disconnected_; });
            throw std::runtime_error("Socket is closed");
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::deque<std::string> channel_;
    std::vector<std::string> blocking_;
    bool disconnected_ = false;
};

inline const std::string kApConfig =
    "[AP]\nap_user = apadmin\nap_pasw = ap-s3cret\nap_enable = en-s3cret\n"
    "[FTP]\nftp_proto = SFTP\nftp_addr = 10.0.0.9\nftp_path = /images/ap-image.tar\n"
    "ftp_user = svc\nftp_pasw = ftp-s3cret\n";

class PollerTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        write_config(kApConfig);
    }

    // The next connection to `ip` succeeds with a new fake AP.
    std::shared_ptr<FakeAp> ap(const std::string& ip) {
        auto session = std::make_shared<FakeAp>();
        std::lock_guard lock(mutex_);
        script_[ip].push_back(session);
        return session;
    }

    std::unique_ptr<Quorvane> make_poller(std::shared_ptr<Clock> engine_clock = nullptr) {
        EngineOptions options;
        options.clock = engine_clock ? engine_clock : clock;
        options.connect = [this](const DeviceParams& params) -> DeviceSessionPtr {
            std::lock_guard lock(mutex_);
            connects.push_back(params.host);
            auto& queue = script_[params.host];
            if (queue.empty()) throw std::runtime_error("connection refused");
            auto next = queue.front();
            queue.pop_front();
            return next;
        };
        options.port_probe = [this](const std::string& ip, int, double) {
            std::lock_guard lock(mutex_);
            return !unreachable.count(ip);
        };
        auto engine = std::make_unique<Quorvane>(
            options,
            [this](const std::string& line) {
                std::lock_guard lock(mutex_);
                logs.push_back(line);
            },
            [this](int pct) { progress.push_back(pct); });
        logs.clear();
        return engine;
    }

    std::vector<std::string> log_lines() {
        std::lock_guard lock(mutex_);
        return logs;
    }

    std::mutex mutex_;
    std::map<std::string, std::deque<std::shared_ptr<FakeAp>>> script_;
    std::vector<std::string> connects;
};

}  // namespace quorvane::testing
