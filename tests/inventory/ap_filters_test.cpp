#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "quorvane/inventory/qca.hpp"
#include "tests/inventory/inventory_fixture.hpp"

namespace quorvane::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kWlc1 = "127.10.0.1";
constexpr const char* kWlc2 = "127.10.0.2";

std::string tag_lines(const std::vector<std::pair<std::string, std::string>>& name_tag) {
    std::string out;
    for (const auto& [name, tag] : name_tag) {
        out += name + "   687d.b400.0010   " + tag + "   default-policy-tag   Static\n";
    }
    return out;
}

ApRows inventory() {
    return {make_ap_row("127.20.0.1", "C9130AXI-B", "AP-1", "", kWlc1),
            make_ap_row("127.20.0.2", "C9136I-B", "AP-2", "", kWlc1),
            make_ap_row("127.20.0.3", "C9120AXI-B", "AP-3", "", kWlc2),
            make_ap_row("127.20.0.4", "AIR-AP3802I-B-K9", "AP-4", "", kWlc2)};
}

std::vector<std::string> names(const ApRows& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r->name);
    return out;
}

class ApFiltersTest : public InventoryTest {
  protected:
    void SetUp() override {
        InventoryTest::SetUp();
        configure_controllers({kWlc1, kWlc2});
    }

    void answer(const char* address, const std::string& summary, const std::string& tag,
                const std::string& filtered) {
        controller(address)->outputs["show ap tag summary"] = summary;
        controller(address)->outputs["show ap tag summary | inc " + tag] = filtered;
    }
};

TEST(QcaModel, UpperCasedModelContainsAQcaNumber) {
    EXPECT_TRUE(is_qca_model("C9130AXI-B"));
    EXPECT_TRUE(is_qca_model("c9136i-b"));
    EXPECT_TRUE(is_qca_model("CW9179F"));
    EXPECT_FALSE(is_qca_model("C9120AXI-B"));
    EXPECT_FALSE(is_qca_model("AIR-AP3802I-B-K9"));
    EXPECT_FALSE(is_qca_model(""));
}

TEST_F(ApFiltersTest, SiteTagKeepsNamedRowsInTagSummaryOrderAndTagsThemInPlace) {
    // ST-A is a prefix of ST-A1, and the controller's own filter lets both through.
    answer(kWlc1, "Number of APs: 2\n", "ST-A", tag_lines({{"AP-2", "ST-A1"}, {"AP-1", "ST-A"}}));
    answer(kWlc2, "Number of APs: 3\n", "ST-A",
           tag_lines({{"AP-3", "ST-A"}, {"AP-9", "ST-A"}, {"AP-2", "ST-A"}}));
    ApRows full = inventory();
    // Another AP of the same name: both stay. AP-2, listed by both controllers, stays once.
    full.push_back(make_ap_row("127.20.0.5", "C9130AXI-B", "AP-3", "", kWlc1));
    auto engine = make_inventory_engine();
    const auto [kept, total] = engine->filter_by_site_tag(full, "ST-A");

    std::vector<std::string> addresses;
    for (const auto& row : kept) addresses.push_back(row->ip);
    EXPECT_THAT(addresses, ElementsAre("127.20.0.2", "127.20.0.1", "127.20.0.3", "127.20.0.5"));
    EXPECT_EQ(total, 5);
    EXPECT_EQ(kept[0], full[1]);  // the same rows, not copies
    EXPECT_EQ(full[0]->site_tag, "ST-A");
    EXPECT_EQ(full[3]->site_tag, "");
    EXPECT_THAT(
        controller(kWlc1)->calls(),
        ElementsAre("send_command(term len 0, none)", "send_command(show ap tag summary, 180)",
                    "send_command(show ap tag summary | inc ST-A, 120)", "disconnect()"));
    EXPECT_EQ(read_text(std::filesystem::path(engine->data_dir) / "aplist_tag.txt"),
              tag_lines({{"AP-2", "ST-A1"}, {"AP-1", "ST-A"}}) + "\n" +
                  tag_lines({{"AP-3", "ST-A"}, {"AP-9", "ST-A"}, {"AP-2", "ST-A"}}) + "\n");
    EXPECT_EQ(logged().front(), "[WLC] filter_by_site_tag('ST-A') starting...");
}

TEST_F(ApFiltersTest, SiteTagTotalFallsBackToTheInventorySize) {
    answer(kWlc1, "no count here\n", "ST-B", tag_lines({{"AP-4", "ST-B"}}));
    unreachable.insert(kWlc2);
    auto engine = make_inventory_engine();
    const auto [kept, total] = engine->filter_by_site_tag(inventory(), "ST-B");
    EXPECT_THAT(names(kept), ElementsAre("AP-4"));
    EXPECT_EQ(total, 4);
    EXPECT_THAT(logged(), Contains("[WLC] [WLC2] filter_by_site_tag failed: WLC 127.10.0.2 (WLC2) "
                                   "unreachable on port 22"));
}

TEST_F(ApFiltersTest, SiteTagErrorsWhenNothingMatched) {
    struct Case {
        ApRows full;
        std::string message;
    };
    const Case cases[] = {
        {inventory(), "'ST-NONE' Site Tag Name Does not exist"},
        {{}, "WLC has no APs (show ap summary returned 0 rows)."},
    };
    answer(kWlc1, "Number of APs: 4\n", "ST-NONE", "");
    answer(kWlc2, "Number of APs: 0\n", "ST-NONE", "\n");
    for (const auto& c : cases) {
        auto engine = make_inventory_engine();
        try {
            engine->filter_by_site_tag(c.full, "ST-NONE");
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST_F(ApFiltersTest, FailedTagFileAppendDropsThatControllersNames) {
    answer(kWlc1, "Number of APs: 2\n", "ST-A", tag_lines({{"AP-1", "ST-A"}}));
    answer(kWlc2, "Number of APs: 2\n", "ST-A", tag_lines({{"AP-3", "ST-A"}}));
    auto engine = make_inventory_engine();
    std::filesystem::create_directories(std::filesystem::path(engine->data_dir) / "aplist_tag.txt");
    EXPECT_THROW(engine->filter_by_site_tag(inventory(), "ST-A"), std::exception);
    EXPECT_THAT(logged(),
                Contains(::testing::StartsWith("[WLC] [WLC2] filter_by_site_tag failed: ")));
}

TEST_F(ApFiltersTest, SectionVariantNeverRaises) {
    answer(kWlc1, "Number of APs: 0\n", "ST-A", tag_lines({{"AP-2", "ST-A"}}));
    answer(kWlc2, "Number of APs: 9\n", "ST-Z", "");
    unreachable.insert("127.10.0.3");
    write_config(
        "[WLC]\nwlc_ip = 127.10.0.1\n[WLC2]\nwlc_ip = 127.10.0.2\n[WLC3]\nwlc_ip = "
        "127.10.0.3\n");
    const ApRows full = inventory();
    auto engine = make_inventory_engine();

    auto [kept, total] = engine->_filter_by_site_tag_section("WLC", full, "ST-A");
    EXPECT_THAT(names(kept), ElementsAre("AP-2"));
    EXPECT_EQ(total, 4);
    EXPECT_EQ(full[1]->site_tag, "ST-A");

    std::tie(kept, total) = engine->_filter_by_site_tag_section("WLC2", full, "ST-Z");
    EXPECT_THAT(kept, IsEmpty());
    EXPECT_EQ(total, 9);

    std::tie(kept, total) = engine->_filter_by_site_tag_section("WLC3", full, "ST-A");
    EXPECT_EQ(kept, full);
    EXPECT_EQ(total, 4);
    EXPECT_THAT(logged(), Contains("[WLC] site tag filter [WLC3] failed: WLC 127.10.0.3 (WLC3) "
                                   "unreachable on port 22"));
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(engine->data_dir) / "aplist_tag.txt"));

    // A host that must not widen its selection learns why the controller gave no answer.
    EXPECT_EQ(engine->query_site_tag("WLC3", "ST-A").error,
              "WLC 127.10.0.3 (WLC3) unreachable on port 22");
    const SiteTagAnswer answered = engine->query_site_tag("WLC2", "ST-Z");
    EXPECT_EQ(answered.error, "");
    EXPECT_EQ(answered.total, 9);
}

TEST_F(ApFiltersTest, ModelGroupLabels) {
    struct Case {
        std::string label;
        std::vector<std::string> names;
        bool same_list;
    };
    const Case cases[] = {
        {"All AP Models", {"AP-1", "AP-2", "AP-3", "AP-4"}, true},
        {"Legacy models", {"AP-1", "AP-2", "AP-3", "AP-4"}, true},
        {"C913 series", {"AP-1", "AP-2", "AP-3", "AP-4"}, true},
        {"C9130 Series", {"AP-1"}, false},
        {"C9130/C9136 Series", {"AP-1", "AP-2"}, false},
        {"91309120", {"AP-1", "AP-3"}, false},
        {"913091", {"AP-1"}, false},
        {"3802", {"AP-4"}, false},
        {"9999", {}, false},
    };
    const ApRows full = inventory();
    auto engine = make_inventory_engine();
    for (const auto& c : cases) {
        const ApRows kept = engine->filter_by_model_group(full, c.label);
        EXPECT_EQ(names(kept), c.names) << c.label;
        EXPECT_EQ(kept == full, c.same_list) << c.label;
    }
}

}  // namespace
}  // namespace quorvane::testing
