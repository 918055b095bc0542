#pragma once
// Engines over written config files with scripted controller sessions, plus builders for
// the controller output the stuck-client workflow reads.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {

inline const std::string kSummaryCmd = "show wireless client summary | include Authenticating";
inline const std::string kOneController = "[WLC]\nwlc_ip = 10.9.9.1\nwlc_user = admin\n";
inline const std::string kTwoControllers =
    "[WLC]\nwlc_ip = 10.9.9.1\nwlc_user = admin\n[WLC2]\nwlc_ip = 10.9.9.2\nwlc_user = admin\n";

// One row of the client summary per MAC.
inline std::string summary_rows(const std::vector<std::string>& macs) {
    std::string out;
    for (const auto& mac : macs) {
        out += mac + "   AP-1   WLAN 1   Authenticating   11ax(5)  Dot1x   Local\r\n";
    }
    return out;
}

// A client detail; a value left out omits its line.
inline std::string client_detail(const std::string& state, std::optional<int> connected,
                                 std::optional<int> entry) {
    std::string out = "Client MAC Address : 0011.22aa.bbcc\n";
    if (connected) out += "Connected For : " + std::to_string(*connected) + " seconds\n";
    out += "Policy Manager State: " + state + "\n";
    if (entry) out += "Client Entry Create Time : " + std::to_string(*entry) + " seconds\n";
    return out;
}

inline std::string detail_cmd(const std::string& mac) {
    return "show wireless client mac " + mac + " detail";
}

// Calls `hook` with the number of sleeps so far after every sleep.
class HookClock : public FakeClock {
  public:
    using FakeClock::FakeClock;
    void sleep_for(std::chrono::milliseconds duration) override {
        FakeClock::sleep_for(duration);
        if (hook) hook(static_cast<int>(sleeps().size()));
    }
    std::function<void(int)> hook;
};

class ClientAuthTest : public EngineTest {
  protected:
    std::shared_ptr<FakeSession> controller_with(const std::vector<std::string>& authenticating) {
        auto session = factory.succeed_next();
        session->outputs[kSummaryCmd] = summary_rows(authenticating);
        return session;
    }

    std::unique_ptr<Quorvane> engine_with_window(int seconds) {
        auto engine = make_engine();
        engine->options.auth_window_seconds = seconds;
        return engine;
    }

    static std::vector<std::filesystem::path> deleted_client_files(const Quorvane& engine) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(engine.data_dir)) {
            if (entry.path().filename().string().rfind("deleted_clients_", 0) == 0) {
                files.push_back(entry.path());
            }
        }
        return files;
    }

    std::vector<std::string> commands_of(const FakeSession& session) const {
        std::vector<std::string> out;
        for (const auto& call : session.calls()) {
            if (call.rfind("send_command(term len 0", 0) != 0) out.push_back(call);
        }
        return out;
    }
};

}  // namespace quorvane::testing
