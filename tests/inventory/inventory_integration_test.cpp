// The AP list fetch and the site-tag filter over real SSH against the simulated fleet.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "fleetsim/simulator.hpp"
#include "tests/inventory/inventory_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::StartsWith;

class InventoryIntegrationTest : public InventoryTest {
  protected:
    void start(fleetsim::Fleet fleet) {
        fleetsim::Options options;
        options.max_seconds = 240;
        options.state_dir = std::filesystem::temp_directory_path() / "fleetsim";
        sim = std::make_unique<fleetsim::Simulator>(std::move(fleet), options);
        sim->start();
    }

    std::unique_ptr<Quorvane> real_engine() {
        EngineOptions options;
        options.ssh_port = sim->port();
        auto engine = std::make_unique<Quorvane>(options, [this](const std::string& line) {
            std::lock_guard lock(log_mutex);
            logs.push_back(line);
        });
        std::lock_guard lock(log_mutex);
        logs.clear();
        return engine;
    }

    std::unique_ptr<fleetsim::Simulator> sim;
};

TEST_F(InventoryIntegrationTest, SevenControllersNeverMoreThanFiveSessionsAtOnce) {
    fleetsim::Fleet fleet = fleetsim::default_fleet(70, 7);
    std::vector<std::string> addresses;
    for (auto& device : fleet.devices) {
        if (device.kind != fleetsim::DeviceKind::controller) continue;
        // Slow answers keep every session open long enough for the pool to fill up.
        device.faults.delay_ms = 500;
        addresses.push_back(device.address);
    }
    start(std::move(fleet));
    configure_controllers(addresses, "admin");
    auto engine = real_engine();
    sim->reset_peak_sessions();

    const ApRows rows = engine->fetch_full_ap_list();
    EXPECT_EQ(sim->peak_sessions(fleetsim::DeviceKind::controller), 5);
    EXPECT_EQ(rows.size(), 70u);
    std::set<std::string> ips;
    for (const auto& row : rows) ips.insert(row->ip);
    EXPECT_EQ(ips.size(), 70u);
    EXPECT_EQ(logged().back(), "[WLC] Total APs across all WLCs: 70");
}

TEST_F(InventoryIntegrationTest, OneUnreachableControllerOfThree) {
    start(fleetsim::default_fleet(12, 2));
    configure_controllers({"127.10.0.1", "127.10.0.99", "127.10.0.2"}, "admin");
    auto engine = real_engine();
    const ApRows rows = engine->fetch_full_ap_list();

    EXPECT_EQ(rows.size(), 12u);
    for (const auto& row : rows) {
        EXPECT_THAT(row->wlc_ip, ::testing::AnyOf("127.10.0.1", "127.10.0.2"));
        EXPECT_TRUE(row->site_tag.empty());
    }
    const auto log = logged();
    EXPECT_THAT(log, Contains("[WLC ERROR] WLC2: WLC 127.10.0.99 (WLC2) unreachable on port " +
                              std::to_string(sim->port())));
    EXPECT_THAT(log, Contains("[WLC] [WLC2] merged 0 APs"));
    // Every session was ended; the simulator may take a moment to see the last one go.
    for (int i = 0; i < 3000 && sim->open_sessions(fleetsim::DeviceKind::controller) > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(sim->open_sessions(fleetsim::DeviceKind::controller), 0);
}

TEST_F(InventoryIntegrationTest, SiteTagAndModelGroupNarrowTheFetchedList) {
    start(fleetsim::default_fleet(24, 2));
    configure_controllers({"127.10.0.1", "127.10.0.2"}, "admin");
    auto engine = real_engine();
    const ApRows rows = engine->fetch_full_ap_list();
    ASSERT_EQ(rows.size(), 24u);

    // ST-BRANCH-1 is a prefix of ST-BRANCH-10: both tags' APs are kept.
    const auto [tagged, total] = engine->filter_by_site_tag(rows, "ST-BRANCH-1");
    EXPECT_EQ(total, 25);  // the AP listed by both controllers counts twice
    std::set<std::string> sim_tags;
    for (const auto& row : tagged) {
        EXPECT_EQ(row->site_tag, "ST-BRANCH-1");
        for (const auto& device : sim->fleet().devices) {
            if (device.address == row->ip) sim_tags.insert(device.site_tag);
        }
    }
    EXPECT_EQ(sim_tags, (std::set<std::string>{"ST-BRANCH-1", "ST-BRANCH-10"}));

    const ApRows c9130 = engine->filter_by_model_group(tagged, "C9130 Series");
    for (const auto& row : c9130) EXPECT_THAT(row->model, StartsWith("C9130"));
    engine->write_filtered_ap_list(c9130);
    std::string expected;
    for (const auto& row : c9130) expected += row->ip + " " + row->model + " ST-BRANCH-1\n";
    EXPECT_EQ(read_text(std::filesystem::path(CONFD) / "ap_ip_list.txt"), expected);
}

}  // namespace
}  // namespace quorvane::testing
