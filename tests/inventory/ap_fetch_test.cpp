#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/inventory/inventory_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kWlc1 = "127.10.0.1";
constexpr const char* kWlc2 = "127.10.0.2";
constexpr const char* kWlc3 = "127.10.0.3";

class ApFetchTest : public InventoryTest {};

TEST_F(ApFetchTest, SameApOnTwoControllersIsKeptFromTheFirstToFinish) {
    configure_controllers({kWlc1, kWlc2});
    controller(kWlc1)->outputs["show ap summary"] =
        ap_summary({{"AP-A", "C9130AXI-B", "127.20.0.1"}, {"AP-SHARED", "C9136I-B", "127.20.0.5"}});
    controller(kWlc2)->outputs["show ap summary"] = ap_summary(
        {{"AP-SHARED-2", "C9136I-B", "127.20.0.5"}, {"AP-B", "C9120AXI-B", "127.20.0.2"}});
    auto engine = make_inventory_engine();
    // WLC answers only once WLC2's rows are merged, so WLC2 finishes first.
    controller(kWlc1)->hook = [&](const std::string& cmd) {
        if (cmd == "show ap summary") {
            EXPECT_TRUE(wait_for_log("[WLC] [WLC2] merged 2 APs"));
        }
    };

    const ApRows rows = engine->fetch_full_ap_list();
    EXPECT_THAT(fields(rows),
                ElementsAre(ElementsAre("127.20.0.5", "C9136I-B", "AP-SHARED-2", "", kWlc2),
                            ElementsAre("127.20.0.2", "C9120AXI-B", "AP-B", "", kWlc2),
                            ElementsAre("127.20.0.1", "C9130AXI-B", "AP-A", "", kWlc1)));
    const auto log = logged();
    EXPECT_EQ(log.front(), "[WLC] Parallel fetch_full_ap_list() starting...");
    EXPECT_THAT(log, Contains("[WLC] Connecting to WLC"));
    EXPECT_THAT(log, Contains("[WLC] Completed WLC2 (2 APs)"));
    EXPECT_THAT(log, Contains("[WLC] [WLC] merged 2 APs"));
    EXPECT_EQ(log.back(), "[WLC] Total APs across all WLCs: 3");
    for (const char* wlc : {kWlc1, kWlc2}) {
        EXPECT_THAT(controller(wlc)->calls(),
                    ElementsAre("send_command(term len 0, none)",
                                "send_command(show ap summary, 180)", "disconnect()"));
    }
    // Both controllers' blocks, whole, before any merging.
    EXPECT_EQ(read_text(all_list_path()),
              "127.20.0.5 C9136I-B AP-SHARED-2\n127.20.0.2 C9120AXI-B AP-B\n"
              "127.20.0.1 C9130AXI-B AP-A\n127.20.0.5 C9136I-B AP-SHARED\n");
}

TEST_F(ApFetchTest, UnreachableControllerContributesNothingAndTheOthersStillCount) {
    configure_controllers({kWlc1, kWlc2, kWlc3});
    unreachable.insert(kWlc2);
    controller(kWlc1)->outputs["show ap summary"] =
        ap_summary({{"AP-A", "C9130AXI-B", "127.20.0.1"}});
    controller(kWlc3)->outputs["show ap summary"] =
        ap_summary({{"AP-C", "C9166I-B", "127.20.0.3"}});
    auto engine = make_inventory_engine();
    const ApRows rows = engine->fetch_full_ap_list();

    std::map<std::string, std::string> wlc_of;
    for (const auto& row : rows) wlc_of[row->ip] = row->wlc_ip;
    EXPECT_EQ(wlc_of,
              (std::map<std::string, std::string>{{"127.20.0.1", kWlc1}, {"127.20.0.3", kWlc3}}));
    const auto log = logged();
    EXPECT_THAT(log, Contains("[WLC ERROR] WLC2: WLC 127.10.0.2 (WLC2) unreachable on port 22"));
    EXPECT_THAT(log, Contains("[WLC] [WLC2] merged 0 APs"));
    EXPECT_EQ(log.back(), "[WLC] Total APs across all WLCs: 2");
}

TEST_F(ApFetchTest, NeverMoreThanFiveControllersAtOnce) {
    std::vector<std::string> addresses;
    for (int i = 1; i <= 7; ++i) addresses.push_back("127.10.0." + std::to_string(i));
    configure_controllers(addresses);
    std::mutex mutex;
    std::condition_variable changed;
    int active = 0;
    int peak = 0;
    bool released = false;
    for (const auto& address : addresses) {
        controller(address)->hook = [&](const std::string& cmd) {
            if (cmd != "show ap summary") return;
            std::unique_lock lock(mutex);
            peak = std::max(peak, ++active);
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(60), [&] { return released; });
            --active;
        };
    }
    auto engine = make_inventory_engine();
    std::thread release([&] {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(60), [&] { return active == 5; });
        // A sixth worker, if there were one, gets this long to show up.
        changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return active > 5; });
        released = true;
        changed.notify_all();
    });
    const ApRows rows = engine->fetch_full_ap_list();
    release.join();
    EXPECT_EQ(peak, 5);
    EXPECT_THAT(logged(), Contains("[WLC] [WLC7] merged 0 APs"));
}

TEST_F(ApFetchTest, QcaFilterDependsOnOperationWorkflowAndForm) {
    struct Case {
        std::string operation;
        std::string workflow;
        bool single_section;
        std::vector<std::string> names;
        std::vector<std::string> filter_logs;
    };
    const std::vector<std::string> full_logs = {
        "[FILTER] Applying QCA model filter...", "[FILTER REMOVED] AP-OLD (AIR-AP3802I-B-K9)",
        "[FILTER REMOVED] AP-9120 (C9120AXI-B)", "[FILTER RESULT] 2 APs after filtering"};
    const std::vector<std::string> all = {"AP-9130", "AP-OLD", "AP-9120", "AP-9136"};
    const std::vector<std::string> qca = {"AP-9130", "AP-9136"};
    const Case cases[] = {
        {"WLC & AP", "AP Flash Checker", false, qca, full_logs},
        {"WLC", "AP Flash Checker", false, all, {}},
        {"WLC & AP", "ap flash checker", false, all, {}},
        {"WLC & AP", "", false, all, {}},
        {"WLC", "AP Flash Checker", true, qca, {"[FILTER] WLC: 2/4 APs after QCA filter"}},
        {"WLC & AP", "", true, all, {}},
    };
    configure_controllers({kWlc1});
    controller(kWlc1)->outputs["show ap summary"] =
        ap_summary({{"AP-9130", "C9130AXI-B", "127.20.0.1"},
                    {"AP-OLD", "AIR-AP3802I-B-K9", "127.20.0.2"},
                    {"AP-9120", "C9120AXI-B", "127.20.0.3"},
                    {"AP-9136", "c9136i-b", "127.20.0.4"}});
    for (const auto& c : cases) {
        auto engine = make_inventory_engine();
        engine->operation = c.operation;
        engine->workflow = c.workflow;
        const ApRows rows = c.single_section ? engine->_fetch_ap_list_for_section("WLC")
                                             : engine->fetch_full_ap_list();
        std::vector<std::string> names;
        for (const auto& r : rows) names.push_back(r->name);
        EXPECT_EQ(names, c.names) << c.operation << " / " << c.workflow;
        std::vector<std::string> filter_logs;
        for (const auto& line : logged()) {
            if (line.rfind("[FILTER", 0) == 0) filter_logs.push_back(line);
        }
        EXPECT_EQ(filter_logs, c.filter_logs) << c.operation << " / " << c.workflow;
    }
}

TEST_F(ApFetchTest, FailedCommandClosesTheSessionAndYieldsNoRows) {
    configure_controllers({kWlc1});
    auto session = controller(kWlc1);
    session->failing["show ap summary"] = "Pattern not detected: 'WLC1#' in output";
    session->disconnect_error = "socket gone";
    auto engine = make_inventory_engine();

    EXPECT_THAT(engine->_fetch_ap_list_for_section("WLC"), IsEmpty());
    EXPECT_THAT(session->calls(),
                ElementsAre("send_command(term len 0, none)", "send_command(show ap summary, 180)",
                            "disconnect()", "close()"));
    EXPECT_THAT(logged(), Contains("[WLC ERROR] WLC: Pattern not detected: 'WLC1#' in output"));
    EXPECT_FALSE(std::filesystem::exists(all_list_path()));
}

TEST_F(ApFetchTest, EmptyTableIsCompletedWithZeroAndAppendsNothing) {
    configure_controllers({kWlc1});
    controller(kWlc1)->outputs["show ap summary"] = ap_summary({});
    auto engine = make_inventory_engine();
    EXPECT_THAT(engine->_process_single_wlc("WLC"), IsEmpty());
    EXPECT_THAT(logged(), Contains("[WLC] Completed WLC (0 APs)"));
    EXPECT_EQ(read_text(all_list_path()), "");
}

TEST_F(ApFetchTest, FailedAllListAppendIsLoggedAndKeepsTheRows) {
    configure_controllers({kWlc1});
    controller(kWlc1)->outputs["show ap summary"] =
        ap_summary({{"AP-A", "C9130AXI-B", "127.20.0.1"}});
    std::filesystem::create_directories(all_list_path());  // a folder where the file should be
    auto engine = make_inventory_engine();
    const ApRows rows = engine->_process_single_wlc("WLC");
    std::filesystem::remove(all_list_path());
    EXPECT_THAT(fields(rows),
                ElementsAre(ElementsAre("127.20.0.1", "C9130AXI-B", "AP-A", "", kWlc1)));
    const auto log = logged();
    EXPECT_THAT(log.back(), ::testing::StartsWith("[ENGINE] ap_ip_list_all write failed: "));
    EXPECT_THAT(log, Not(Contains(::testing::StartsWith("[WLC ERROR]"))));
}

TEST_F(ApFetchTest, NoControllerSectionFailsBeforeAnyContact) {
    write_config("[WLC]\nwlc_ip =\n");
    auto engine = make_inventory_engine();
    EXPECT_THROW(engine->fetch_full_ap_list(), std::exception);
    EXPECT_THAT(logged(), ElementsAre("[WLC] Parallel fetch_full_ap_list() starting..."));
}

TEST_F(ApFetchTest, FetchingTwiceListsEveryApTwice) {
    configure_controllers({kWlc1});
    controller(kWlc1)->outputs["show ap summary"] =
        ap_summary({{"AP-A", "C9130AXI-B", "127.20.0.1"}});
    auto engine = make_inventory_engine();
    engine->fetch_full_ap_list();
    engine->fetch_full_ap_list();
    EXPECT_EQ(read_text(all_list_path()),
              "127.20.0.1 C9130AXI-B AP-A\n127.20.0.1 C9130AXI-B AP-A\n");
}

}  // namespace
}  // namespace quorvane::testing
