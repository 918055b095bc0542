#pragma once
// A simulated fleet of APs for poll runs over real SSH, and a clock whose time stamps are
// fixed by the test while its waits pass ten times faster than written.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fleetsim/simulator.hpp"
#include "quorvane/engine/ssh/ssh_connect.hpp"
#include "quorvane/poller/ap_log_file.hpp"
#include "quorvane/poller/poll_run.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {

class TenfoldClock : public Clock {
  public:
    std::chrono::system_clock::time_point now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void sleep_for(std::chrono::milliseconds d) override {
        std::this_thread::sleep_for(d / 10);
        advance(d);
    }
    bool sleep_unless_stopped(std::chrono::milliseconds d, const StopSignal& stop) override {
        const bool stopped = stop.wait_for(d / 10);
        advance(d);
        return !stopped;
    }

  private:
    void advance(std::chrono::milliseconds d) {
        std::lock_guard lock(mutex_);
        now_ += d;
    }
    std::mutex mutex_;
    std::chrono::system_clock::time_point now_ = test_start_time();
};

inline fleetsim::Device sim_ap(const std::string& address, const std::string& hostname) {
    fleetsim::Device d;
    d.kind = fleetsim::DeviceKind::access_point;
    d.address = address;
    d.hostname = hostname;
    d.username = "apadmin";
    d.password = "ap-s3cret";
    d.enable_secret = "en-s3cret";
    d.model = "C9130AXI-B";
    d.serial = "FOC2611X0AB";
    d.version = "17.9.4.27";
    d.backup_version = "17.9.7.10";
    d.model_signature = "(ap1g6a)";
    d.controller = "127.10.0.1";
    d.ethernet_mac = "4c42.1e00.0001";
    d.transfer_ms = 500;
    return d;
}

inline fleetsim::Fleet sim_fleet(std::vector<fleetsim::Device> aps) {
    fleetsim::Fleet fleet;
    fleetsim::Device wlc;
    wlc.kind = fleetsim::DeviceKind::controller;
    wlc.address = "127.10.0.1";
    wlc.hostname = "WLC-SIM";
    wlc.model = "C9800-40-K9";
    wlc.version = "17.9.4";
    fleet.devices.push_back(wlc);
    for (auto& ap : aps) fleet.devices.push_back(std::move(ap));
    return fleet;
}

inline const std::string kSimApConfig =
    "[AP]\nap_user = apadmin\nap_pasw = ap-s3cret\nap_enable = en-s3cret\n"
    "[FTP]\nftp_proto = SFTP\nftp_addr = 127.0.0.1\nftp_path = /images/ap-image.tar\n"
    "ftp_user = svc\nftp_pasw = ftp-s3cret\n";

class SimPollTest : public EngineTest {
  protected:
    void start(fleetsim::Fleet fleet, int threads = 0) {
        write_config(kSimApConfig);
        fleetsim::Options options;
        options.max_seconds = 300;
        options.threads = threads;
        options.state_dir = std::filesystem::temp_directory_path() / "fleetsim";
        sim = std::make_unique<fleetsim::Simulator>(std::move(fleet), options);
        sim->start();
    }

    std::unique_ptr<Quorvane> engine(double read_timeout_cap = 20) {
        EngineOptions options;
        options.ssh_port = sim->port();
        options.clock = std::make_shared<TenfoldClock>();
        options.ap_read_timeout_cap = read_timeout_cap;
        auto e = std::make_unique<Quorvane>(options, [this](const std::string& line) {
            std::lock_guard lock(mutex);
            logs.push_back(line);
        });
        e->ap_update_cb = [this](int idx, const std::string&, const std::string&,
                                 const std::string& status, const std::string&,
                                 const std::string&) {
            std::lock_guard lock(mutex);
            statuses[idx] = status;
        };
        return e;
    }

    ApRows rows_of(const fleetsim::Fleet& fleet) {
        ApRows rows;
        for (const auto& d : fleet.devices) {
            if (d.kind != fleetsim::DeviceKind::access_point) continue;
            rows.push_back(make_ap_row(d.address, d.model, d.hostname, "", d.controller));
        }
        return rows;
    }

    // The simulator sees a closed connection a moment after the client closed it.
    bool no_connection_left(std::chrono::seconds within = std::chrono::seconds(60)) {
        const auto until = std::chrono::steady_clock::now() + within;
        while (sim->open_connections() > 0) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    std::unique_ptr<fleetsim::Simulator> sim;
    std::mutex mutex;
    std::map<int, std::string> statuses;
};

}  // namespace quorvane::testing
