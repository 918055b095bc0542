#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class WlcSectionsTest : public EngineTest {};

TEST_F(WlcSectionsTest, KeepsAddressedControllerSectionsInNumericOrder) {
    write_config(
        "[FTP]\nftp_addr = 10.0.0.9\n[WLC10]\nwlc_ip = 10.0.0.10\n[AP]\n"
        "[WLC2]\nwlc_ip = 10.0.0.2\n[WLC]\nwlc_ip = 10.0.0.1\n[WLC3]\nwlc_user = x\n");
    auto engine = make_engine();
    EXPECT_THAT(engine->_get_wlc_sections(), ElementsAre("WLC", "WLC2", "WLC10"));
    EXPECT_EQ(engine->_get_wlc_sections_list(), engine->_get_wlc_sections());
}

TEST_F(WlcSectionsTest, NameRuleIsExactAndEqualKeysKeepFileOrder) {
    write_config(
        "[WLC02]\nwlc_ip = a\n[wlc2]\nwlc_ip = b\n[WLC_2]\nwlc_ip = c\n[WLC2_CMDS]\n"
        "wlc_ip = d\n[WLCX]\nwlc_ip = e\n[WLC0]\nwlc_ip = f\n[WLC2]\nwlc_ip = g\n"
        "[WLC9]\nwlc_ip = h\n[WLC]\nwlc_ip = i\n"
        "[WLC100000000000000000000]\nwlc_ip = j\n[WLC99999999999999999999]\nwlc_ip = k\n");
    auto engine = make_engine();
    EXPECT_THAT(engine->_get_wlc_sections(),
                ElementsAre("WLC0", "WLC", "WLC02", "WLC2", "WLC9", "WLC99999999999999999999",
                            "WLC100000000000000000000"));
}

TEST_F(WlcSectionsTest, NoControllerSectionGivesAnEmptyList) {
    write_config("[WLC]\nwlc_ip =\n[AP]\n");
    auto engine = make_engine();
    EXPECT_THAT(engine->_get_wlc_sections(), IsEmpty());
}

class WlcConnectTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        write_config(
            "[WLC]\nwlc_ip = 10.9.9.1\nwlc_user = admin\nwlc_pasw = secret\n"
            "[WLC2]\nwlc_user = admin\n");
    }

    std::string connect_error(Quorvane& engine, const std::string& section) {
        try {
            engine._wlc_connect(section);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no error";
    }
};

TEST_F(WlcConnectTest, MissingAddressFailsSilently) {
    auto engine = make_engine();
    EXPECT_EQ(connect_error(*engine, "WLC2"), "Missing WLC IP in config.ini ([WLC2] wlc_ip)");
    EXPECT_THAT(logs, IsEmpty());
    EXPECT_THAT(probes, IsEmpty());
}

TEST_F(WlcConnectTest, ClosedPortFailsAfterTheCheckLine) {
    unreachable.insert("10.9.9.1");
    auto engine = make_engine();
    EXPECT_EQ(connect_error(*engine, "WLC"), "WLC 10.9.9.1 (WLC) unreachable on port 22");
    EXPECT_THAT(logs, ElementsAre("[WLC] Checking SSH port on 10.9.9.1 (WLC)..."));
    EXPECT_THAT(probes, ElementsAre("10.9.9.1:22/5"));
    EXPECT_THAT(factory.params(), IsEmpty());
}

TEST_F(WlcConnectTest, ErrorTextNamesAConfiguredNonDefaultPort) {
    unreachable.insert("10.9.9.1");
    EngineOptions options;
    options.port_probe = [](const std::string&, int port, double) { return port != 2222; };
    options.ssh_port = 2222;
    Quorvane engine(options, [](const std::string&) {});
    EXPECT_EQ(connect_error(engine, "WLC"), "WLC 10.9.9.1 (WLC) unreachable on port 2222");
}

TEST_F(WlcConnectTest, ThreeRejectedLoginsWaitThreeSecondsEachAndLogEachCause) {
    factory.fail_next("Connection reset");
    factory.fail_next();
    factory.fail_next();
    auto engine = make_engine();
    try {
        engine->_wlc_connect("WLC");
        ADD_FAILURE() << "connected";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "WLC 10.9.9.1 connection failed after retries");
        EXPECT_EQ(failure_reason(e), "Authentication failed");
    }
    EXPECT_EQ(factory.params().size(), 3u);
    EXPECT_THAT(clock->sleep_seconds(), ElementsAre(3, 3, 3));
    EXPECT_THAT(logs, ElementsAre("[WLC] Checking SSH port on 10.9.9.1 (WLC)...",
                                  "[WLC] Connecting to 10.9.9.1 (WLC) ...",
                                  "[WLC] 10.9.9.1 (WLC) attempt 1/3 failed: Connection reset",
                                  "[WLC] 10.9.9.1 (WLC) attempt 2/3 failed: Authentication failed",
                                  "[WLC] 10.9.9.1 (WLC) attempt 3/3 failed: Authentication failed",
                                  "[WLC] Connection failed to 10.9.9.1: WLC 10.9.9.1 connection "
                                  "failed after retries"));
}

TEST_F(WlcConnectTest, ChangedHostKeyIsNotRetriedAndKeepsItsText) {
    EngineOptions options;
    options.port_probe = [](const std::string&, int, double) { return true; };
    options.clock = clock;
    int attempts = 0;
    options.connect = [&attempts](const DeviceParams&) -> DeviceSessionPtr {
        ++attempts;
        throw HostKeyChangedError("Host key of 10.9.9.1 has changed");
    };
    Quorvane engine(options, [this](const std::string& line) { logs.push_back(line); });
    logs.clear();
    EXPECT_EQ(connect_error(engine, "WLC"), "Host key of 10.9.9.1 has changed");
    EXPECT_EQ(attempts, 1);
    EXPECT_THAT(clock->sleep_seconds(), IsEmpty());
    EXPECT_EQ(logs.back(), "[WLC] Connection failed to 10.9.9.1: Host key of 10.9.9.1 has changed");
}

TEST_F(WlcConnectTest, SecondAttemptSucceedsAfterOneWaitAndPagingGoesOff) {
    factory.fail_next();
    auto session = factory.succeed_next();
    auto engine = make_engine();
    auto opened = engine->_wlc_connect();
    EXPECT_EQ(opened, session);
    EXPECT_THAT(clock->sleep_seconds(), ElementsAre(3));
    EXPECT_THAT(session->calls(), ElementsAre("send_command(term len 0, none)"));
    EXPECT_EQ(logs.size(), 3u);
    EXPECT_EQ(engine->_open_sessions.size(), 0u);

    const DeviceParams& p = factory.params().back();
    EXPECT_EQ(p.device_type, "cisco_ios");
    EXPECT_EQ(p.host, "10.9.9.1");
    EXPECT_EQ(p.port, 22);
    EXPECT_EQ(p.username, "admin");
    EXPECT_EQ(p.password, "secret");
    EXPECT_EQ(p.timeout, 60);
    EXPECT_EQ(p.conn_timeout, 30);
    EXPECT_EQ(p.banner_timeout, 30);
    EXPECT_EQ(p.auth_timeout, 30);
    EXPECT_EQ(p.secret, "");
    EXPECT_EQ(p.known_hosts_path, CONFD + "/known_hosts");
}

TEST_F(WlcConnectTest, FailedPagingCommandIsLoggedAndTheSessionEnded) {
    auto session = factory.succeed_next();
    session->failing["term len 0"] = "Socket is closed";
    auto engine = make_engine();
    EXPECT_EQ(connect_error(*engine, "WLC"), "Socket is closed");
    EXPECT_EQ(logs.back(), "[WLC] Connection failed to 10.9.9.1: Socket is closed");
    EXPECT_EQ(session->count("disconnect()"), 1);
    EXPECT_THAT(clock->sleeps(), IsEmpty());
}

}  // namespace
}  // namespace quorvane::testing
