#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/inventory/inventory_fixture.hpp"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

class ApListFilesTest : public InventoryTest {
  protected:
    std::vector<std::string> both_copies(const Quorvane& engine) {
        return {read_text(fs::path(CONFD) / "ap_ip_list.txt"),
                read_text(fs::path(engine.data_dir) / "ap_ip_list.txt")};
    }
};

TEST_F(ApListFilesTest, FilteredListIsReplacedInBothFolders) {
    write_config("");
    auto engine = make_inventory_engine();
    const ApRows rows = {make_ap_row("10.0.0.1", "C9130AXI-B", "AP-1", "", "127.10.0.1"),
                         make_ap_row("10.0.0.2", "C9136I-B", "AP-2", "ST-A", "127.10.0.1")};
    EXPECT_EQ(engine->write_filtered_ap_list(rows), (fs::path(CONFD) / "ap_ip_list.txt").string());
    const std::string expected = "10.0.0.1 C9130AXI-B\n10.0.0.2 C9136I-B ST-A\n";
    EXPECT_EQ(both_copies(*engine), std::vector<std::string>(2, expected));

    EXPECT_EQ(engine->write_filtered_ap_list({rows[1]}),
              (fs::path(CONFD) / "ap_ip_list.txt").string());
    EXPECT_EQ(both_copies(*engine), std::vector<std::string>(2, "10.0.0.2 C9136I-B ST-A\n"));

    engine->write_filtered_ap_list({});
    EXPECT_EQ(both_copies(*engine), std::vector<std::string>(2, ""));
    EXPECT_TRUE(logged().empty());
    // Nothing but the two lists is left behind in either folder.
    for (const auto& folder : {fs::path(CONFD), fs::path(engine->data_dir)}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().filename().string().find(".ap_ip_list"), std::string::npos);
        }
    }
}

TEST_F(ApListFilesTest, UnwritableRunFolderReachesTheCaller) {
    write_config("");
    auto engine = make_inventory_engine();
    fs::remove_all(engine->data_dir);
    EXPECT_THROW(engine->write_filtered_ap_list({make_ap_row("10.0.0.1", "C9130AXI-B", "AP-1")}),
                 fs::filesystem_error);
    EXPECT_EQ(read_text(fs::path(CONFD) / "ap_ip_list.txt"), "10.0.0.1 C9130AXI-B\n");
}

TEST_F(ApListFilesTest, NewListsFollowTheUmaskAndExistingOnesKeepTheirMode) {
    write_config("");
    auto engine = make_inventory_engine();
    const auto mode = [](const fs::path& file) {
        return fs::status(file).permissions() & fs::perms::all;
    };
    const fs::path confd_list = fs::path(CONFD) / "ap_ip_list.txt";
    const fs::path run_list = fs::path(engine->data_dir) / "ap_ip_list.txt";
    fs::remove(confd_list);
    const mode_t old_umask = ::umask(077);
    engine->write_filtered_ap_list({});
    EXPECT_EQ(mode(confd_list), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(confd_list,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ::umask(022);
    engine->write_filtered_ap_list({});
    ::umask(old_umask);
    EXPECT_EQ(mode(confd_list),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(mode(run_list), fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace quorvane::testing
