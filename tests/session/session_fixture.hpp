// A small simulated fleet for the session tests: healthy controllers and APs plus APs
// that misbehave in one way each.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fleetsim/simulator.hpp"
#include "quorvane/engine/device_session.hpp"

namespace quorvane::session_test {

constexpr const char* kWlc = "127.10.0.1";
constexpr const char* kWlcName = "WLC-HQ-9800-01";
constexpr const char* kAp = "127.20.0.1";
constexpr const char* kApName = "AP-HQ-001";
constexpr const char* kHangingAp = "127.21.0.1";
constexpr const char* kDroppingAp = "127.21.0.2";
constexpr const char* kHugeAp = "127.21.0.3";
constexpr const char* kLockedAp = "127.21.0.4";
constexpr const char* kRefusingAp = "127.21.0.5";
constexpr const char* kSlowAp = "127.21.0.6";
constexpr const char* kOlderAp = "127.21.0.7";
constexpr int kSlowApDelayMs = 20;

inline fleetsim::Fleet session_fleet(int n_aps) {
    fleetsim::Fleet fleet = fleetsim::default_fleet(n_aps);
    const fleetsim::Device base = fleet.devices.back();
    const auto add = [&](const char* address, const char* name, auto adjust) {
        fleetsim::Device d = base;
        d.address = address;
        d.hostname = name;
        adjust(d.faults);
        fleet.devices.push_back(d);
    };
    add(kHangingAp, "AP-HANG", [](fleetsim::Faults& f) { f.hang_on = "show hang"; });
    add(kDroppingAp, "AP-DROP", [](fleetsim::Faults& f) { f.drop_on = "show drop"; });
    add(kHugeAp, "AP-HUGE", [](fleetsim::Faults& f) { f.huge_on = "show huge"; });
    add(kLockedAp, "AP-LOCKED", [](fleetsim::Faults& f) { f.wrong_password = true; });
    add(kRefusingAp, "AP-NOENABLE", [](fleetsim::Faults& f) { f.refuse_enable = true; });
    add(kSlowAp, "AP-SLOW", [](fleetsim::Faults& f) { f.delay_ms = kSlowApDelayMs; });
    add(kOlderAp, "AP-OLDER", [](fleetsim::Faults&) {});
    fleet.devices.back().legacy_ssh_only = true;
    return fleet;
}

class SessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        fleetsim::Options options;
        options.state_dir = std::filesystem::temp_directory_path() / "session-sim";
        options.max_seconds = 600;
        sim_ = new fleetsim::Simulator(session_fleet(20), options);
        sim_->start();
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }

    static DeviceParams wlc_params() {
        DeviceParams p;
        p.host = kWlc;
        p.port = sim_->port();
        p.username = "admin";
        p.password = "admin";
        p.conn_timeout = p.banner_timeout = p.auth_timeout = 10;
        return p;
    }
    static DeviceParams ap_params(const std::string& address = kAp) {
        DeviceParams p = wlc_params();
        p.host = address;
        p.username = "apadmin";
        p.password = "appass";
        p.secret = "apenable";
        p.fast_cli = false;
        return p;
    }

    static inline fleetsim::Simulator* sim_ = nullptr;
};

}  // namespace quorvane::session_test
