// A fleet started in-process for one test: the default fleet plus devices with faults.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "fleetsim/simulator.hpp"
#include "ssh_test_client.hpp"

namespace fleetsim_test {

constexpr const char* kWlc = "127.10.0.1";
constexpr const char* kWlcPrompt = "WLC-HQ-9800-01#";
constexpr const char* kAp = "127.20.0.1";  // AP-HQ-001, C9130AXI-B, /tmp at 76 %

inline fleetsim::Device fault_ap(const std::string& address, const std::string& name) {
    fleetsim::Device d = fleetsim::default_fleet(1).devices.back();
    d.address = address;
    d.hostname = name;
    return d;
}

class FleetsimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fleetsim::Fleet fleet = fleetsim::default_fleet(120);
        add_devices(fleet);
        sim_ = std::make_unique<fleetsim::Simulator>(fleet);
        sim_->start();
    }
    virtual void add_devices(fleetsim::Fleet&) {}

    std::unique_ptr<SshTestClient> wlc() {
        auto c = std::make_unique<SshTestClient>(kWlc, sim_->port(), "admin", "admin");
        c->read_until(kWlcPrompt);
        return c;
    }
    std::unique_ptr<SshTestClient> ap(const std::string& address = kAp,
                                      const std::string& name = "AP-HQ-001") {
        auto c = std::make_unique<SshTestClient>(address, sim_->port(), "apadmin", "appass");
        c->read_until(name + ">");
        return c;
    }
    std::unique_ptr<SshTestClient> enabled_ap(const std::string& address = kAp,
                                              const std::string& name = "AP-HQ-001") {
        auto c = ap(address, name);
        c->command("enable", "Password: ");
        c->command("apenable", name + "#");
        return c;
    }

    std::unique_ptr<fleetsim::Simulator> sim_;
};

}  // namespace fleetsim_test
