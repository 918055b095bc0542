// The fleet description: the built-in generator, the JSON form and the loopback rule.
#include <gmock/gmock.h>

#include <map>

#include "fleetsim/fleet.hpp"
#include "fleetsim/simulator.hpp"

namespace {

using ::testing::HasSubstr;

TEST(FleetsimFleet, DefaultFleetMixesModelsAndStates) {
    fleetsim::Fleet f = fleetsim::default_fleet(200);
    ASSERT_EQ(f.devices.size(), 202u);
    EXPECT_EQ(f.devices[0].kind, fleetsim::DeviceKind::controller);
    EXPECT_EQ(f.devices[1].kind, fleetsim::DeviceKind::controller);
    std::map<std::string, int> models, boots;
    int stuck = 0;
    for (const auto& d : f.devices) {
        EXPECT_TRUE(fleetsim::is_loopback_address(d.address)) << d.address;
        if (d.kind == fleetsim::DeviceKind::access_point) {
            ++models[d.model];
            ++boots[d.boot_partition];
        }
        for (const auto& c : d.clients) stuck += c.state == "Authenticating";
    }
    for (const char* m :
         {"C9130AXI-B", "C9120AXI-B", "C9136I-B", "C9166I-B", "AIR-AP3802I-B-K9", "C9115AXI-B"})
        EXPECT_GT(models[m], 0) << m;
    EXPECT_GT(boots["part1"], 0);
    EXPECT_GT(boots["part2"], 0);
    EXPECT_GT(stuck, 0);
    EXPECT_EQ(f.devices.back().address, "127.20.0.200");
}

TEST(FleetsimFleet, ControllersTakeTheApsInTurn) {
    fleetsim::Fleet f = fleetsim::default_fleet(9, 7);
    ASSERT_EQ(f.devices.size(), 16u);
    EXPECT_EQ(f.devices[6].address, "127.10.0.7");
    EXPECT_EQ(f.devices[6].hostname, "WLC-HQ-9800-07");
    EXPECT_EQ(f.devices[7].controller, "127.10.0.1");
    EXPECT_EQ(f.devices[14].controller, "127.10.0.1");  // the eighth AP
    // The third AP is reported by its own controller and the next one.
    EXPECT_EQ(f.devices[9].controller, "127.10.0.3");
    EXPECT_EQ(f.devices[9].extra_controllers, std::vector<std::string>{"127.10.0.4"});
    EXPECT_EQ(fleetsim::default_fleet(3, 1).devices[3].extra_controllers.size(), 0u);
}

TEST(FleetsimFleet, JsonRoundTripKeepsEverything) {
    for (fleetsim::Fleet f : {fleetsim::default_fleet(3), fleetsim::demo_fleet()}) {
        f.devices[2].faults.delay_ms = 250;
        f.devices[2].faults.hang_on = "show tech";
        fleetsim::Fleet back = fleetsim::parse_fleet(fleetsim::fleet_to_json(f));
        ASSERT_EQ(back.devices.size(), f.devices.size());
        EXPECT_EQ(fleetsim::fleet_to_json(back), fleetsim::fleet_to_json(f));
        EXPECT_EQ(back.devices[2].faults.hang_on, "show tech");
        EXPECT_EQ(back.devices[0].clients.size(), f.devices[0].clients.size());
    }
    fleetsim::Fleet demo = fleetsim::parse_fleet(fleetsim::fleet_to_json(fleetsim::demo_fleet()));
    EXPECT_EQ(demo.devices[2].extra_controllers, std::vector<std::string>{"127.10.0.2"});
    EXPECT_EQ(demo.devices[0].clients[2].run_after_seconds, 3);
    EXPECT_EQ(demo.devices[0].clients[3].policy_state, "Webauth Pending");
    int unreachable = 0;
    for (const auto& d : demo.devices) unreachable += d.faults.unreachable;
    EXPECT_EQ(unreachable, 1);
}

TEST(FleetsimFleet, MinimalDeviceTakesDefaults) {
    fleetsim::Fleet f = fleetsim::parse_fleet(
        R"({"devices":[{"kind":"ap","address":"127.1.2.3","hostname":"AP1"}]})");
    ASSERT_EQ(f.devices.size(), 1u);
    EXPECT_EQ(f.devices[0].username, "admin");
    EXPECT_EQ(f.devices[0].boot_partition, "part1");
}

TEST(FleetsimFleet, BadFilesAreRejectedWithTheReason) {
    auto error_of = [](const std::string& text) {
        try {
            fleetsim::parse_fleet(text);
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_THAT(error_of(R"({"devices":[{"kind":"ap","address":"10.1.1.5","hostname":"A"}]})"),
                HasSubstr("not a loopback address"));
    EXPECT_THAT(error_of(R"({"devices":[{"kind":"ap","address":"127.0.0.5","hostname":"A",
                "faults":{"delay":5}}]})"),
                HasSubstr("unknown key \"delay\""));
    EXPECT_THAT(error_of(R"({"devices":[{"kind":"router","address":"127.0.0.5","hostname":"A"}]})"),
                HasSubstr("\"kind\""));
    EXPECT_THAT(error_of(R"({"devices":[{"kind":"ap","address":"127.0.0.5","hostname":"A"},
                {"kind":"ap","address":"127.0.0.5","hostname":"B"}]})"),
                HasSubstr("used by two devices"));
    EXPECT_THAT(error_of("{"), HasSubstr("not valid JSON"));
}

TEST(FleetsimFleet, IntegerFieldsAndAddressesAreRangeChecked) {
    auto ap_with = [](const std::string& keys) {
        return R"({"devices":[{"kind":"ap","address":"127.0.0.5","hostname":"A",)" + keys + "}]}";
    };
    auto wlc_client_with = [](const std::string& keys) {
        return R"({"devices":[{"kind":"controller","address":"127.0.0.5","hostname":"W",
                   "clients":[{"mac":"0011.22aa.bbcc",)" +
               keys + "}]}]}";
    };
    struct Case {
        std::string json;
        std::string error;  // empty: accepted
    };
    const Case cases[] = {
        {ap_with(R"("tmp_usage_percent":1e10)"), "\"tmp_usage_percent\" must be a whole number"},
        {ap_with(R"("tmp_usage_percent":101)"), "\"tmp_usage_percent\" must be a whole number"},
        {ap_with(R"("tmp_usage_percent":100)"), ""},
        {ap_with(R"("uptime_minutes":3000000000)"), "\"uptime_minutes\""},
        {ap_with(R"("uptime_minutes":-1)"), "\"uptime_minutes\""},
        {ap_with(R"("uptime_minutes":52560000)"), ""},
        {ap_with(R"("transfer_ms":18446744073709551615)"), "\"transfer_ms\""},
        {ap_with(R"("transfer_ms":1e400)"), "not valid JSON"},
        {ap_with(R"("transfer_ms":2.5)"), "\"transfer_ms\" must be a whole number"},
        {ap_with(R"("faults":{"delay_ms":-5})"), "\"delay_ms\""},
        {ap_with(R"("faults":{"delay_ms":1e10})"), "\"delay_ms\""},
        {ap_with(R"("faults":{"delay_ms":"5"})"), "\"delay_ms\""},
        {wlc_client_with(R"("connected_for":4294967296)"), "\"connected_for\""},
        {wlc_client_with(R"("entry_create_time":2147483647)"), ""},
        {wlc_client_with(R"("wlan_id":0)"), "\"wlan_id\""},
        {wlc_client_with(R"("run_after_seconds":-3)"), "\"run_after_seconds\""},
        {R"({"devices":[{"kind":"ap","address":"127.0.0.5\u0000.9","hostname":"A"}]})",
         "not a loopback address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        if (c.error.empty()) {
            EXPECT_NO_THROW(fleetsim::parse_fleet(c.json));
            continue;
        }
        try {
            fleetsim::parse_fleet(c.json);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_THAT(e.what(), HasSubstr(c.error));
        }
    }
    EXPECT_FALSE(fleetsim::is_loopback_address(std::string("127.0.0.1\0", 10)));
    fleetsim::Fleet f = fleetsim::default_fleet(1);
    f.devices[2].address = std::string("127.20.0.1\0x", 12);
    EXPECT_THROW(fleetsim::Simulator s(f), std::invalid_argument);
}

TEST(FleetsimFleet, SimulatorRefusesNonLoopbackAddresses) {
    fleetsim::Fleet f = fleetsim::default_fleet(1);
    f.devices[2].address = "10.1.1.5";
    EXPECT_THROW(fleetsim::Simulator s(f), std::invalid_argument);
}

TEST(FleetsimFleet, TakenPortIsReportedAndChosenPortsDoNotCollide) {
    fleetsim::Simulator a(fleetsim::default_fleet(2));
    a.start();
    fleetsim::Options same;
    same.port = a.port();
    fleetsim::Simulator b(fleetsim::default_fleet(2), same);
    try {
        b.start();
        FAIL() << "second fleet bound the same port";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("cannot listen on 127.10.0.1:"));
    }
    fleetsim::Simulator c(fleetsim::default_fleet(2));
    c.start();
    EXPECT_NE(c.port(), a.port());
}

}  // namespace
