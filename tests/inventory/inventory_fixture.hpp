#pragma once
// Engines over fake controllers that may be asked from several threads at once: each
// controller address has one scripted session, and a hook can hold or observe a command
// while it runs.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "quorvane/engine/engine.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {

struct ApLine {
    std::string name;
    std::string model;
    std::string ip;
    std::string location = "default location";
};

// "show ap summary" as a controller prints it: count line, blank line, headings, rule.
inline std::string ap_summary(const std::vector<ApLine>& aps) {
    auto pad = [](std::string s, std::size_t width) {
        s.resize(std::max(width, s.size() + 1), ' ');
        return s;
    };
    std::string out = "Number of APs: " + std::to_string(aps.size()) + "\n\n" + pad("AP Name", 33) +
                      pad("Slots", 6) + pad("AP Model", 21) + pad("Ethernet MAC", 15) +
                      pad("Location", 33) + pad("IP Address", 17) + "State\n" +
                      std::string(130, '-') + "\n";
    for (const auto& ap : aps) {
        out += pad(ap.name, 33) + pad("2", 6) + pad(ap.model, 21) + pad("687d.b400.0010", 15) +
               pad(ap.location, 33) + pad(ap.ip, 17) + "Registered\n";
    }
    return out;
}

class HookedSession : public FakeSession {
  public:
    std::string send_command(const std::string& cmd, std::optional<double> read_timeout) override {
        if (hook) hook(cmd);
        return FakeSession::send_command(cmd, read_timeout);
    }
    std::function<void(const std::string& cmd)> hook;
};

class InventoryTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        std::filesystem::remove(all_list_path());
    }

    // Sections WLC, WLC2, ... with the given addresses.
    void configure_controllers(const std::vector<std::string>& addresses,
                               const std::string& password = "secret") {
        std::string text;
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            text += "[WLC" + (i ? std::to_string(i + 1) : std::string()) +
                    "]\nwlc_ip = " + addresses[i] + "\nwlc_user = admin\nwlc_pasw = " + password +
                    "\n";
        }
        write_config(text);
    }

    // The session the controller at `address` hands to every connection.
    std::shared_ptr<HookedSession> controller(const std::string& address) {
        auto& session = sessions[address];
        if (!session) session = std::make_shared<HookedSession>();
        return session;
    }

    std::unique_ptr<Quorvane> make_inventory_engine() {
        EngineOptions options;
        options.clock = clock;
        options.connect = [this](const DeviceParams& params) -> DeviceSessionPtr {
            const auto found = sessions.find(params.host);
            if (found == sessions.end()) throw std::runtime_error("Authentication failed");
            return found->second;
        };
        options.port_probe = [this](const std::string& ip, int, double) {
            return !unreachable.count(ip);
        };
        auto engine = std::make_unique<Quorvane>(options, [this](const std::string& line) {
            std::lock_guard lock(log_mutex);
            logs.push_back(line);
            log_added.notify_all();
        });
        std::lock_guard lock(log_mutex);
        logs.clear();
        return engine;
    }

    // Waits (at most 60 s, room for a loaded machine) until a line equal to `line` was
    // logged.
    bool wait_for_log(const std::string& line) {
        std::unique_lock lock(log_mutex);
        return log_added.wait_for(lock, std::chrono::seconds(60), [&] {
            return std::find(logs.begin(), logs.end(), line) != logs.end();
        });
    }

    std::vector<std::string> logged() {
        std::lock_guard lock(log_mutex);
        return logs;
    }

    static std::filesystem::path all_list_path() {
        return std::filesystem::path(CONFD) / "ap_ip_list_all.txt";
    }

    std::map<std::string, std::shared_ptr<HookedSession>> sessions;
    std::mutex log_mutex;
    std::condition_variable log_added;
};

// (ip, model, name, site_tag, wlc_ip) of each row, for whole-list comparisons.
inline std::vector<std::vector<std::string>> fields(const ApRows& rows) {
    std::vector<std::vector<std::string>> out;
    for (const auto& r : rows) out.push_back({r->ip, r->model, r->name, r->site_tag, r->wlc_ip});
    return out;
}

}  // namespace quorvane::testing
