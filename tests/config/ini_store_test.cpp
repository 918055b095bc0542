#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "quorvane/config/ini_format.hpp"
#include "quorvane/config/ini_store.hpp"
#include "quorvane/config/secrets.hpp"
#include "tests/support/temp_folder.hpp"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::TempFolder;
using test_support::write_file;

unsigned file_mode(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// Runs `body` on a thread of its own without the capabilities that let root read any file,
// so that file modes apply as they do to an ordinary user. Capabilities set through the
// raw system call belong to the calling thread only.
void as_ordinary_user(const std::function<void()>& body) {
    std::thread([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) == 0) {
            for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
                data[cap / 32].effective &= ~(1u << (cap % 32));
            }
            ::syscall(SYS_capset, &header, data);
        }
        body();
    }).join();
}

class IniStoreTest : public ::testing::Test {
  protected:
    TempFolder folder;
    const std::string path = folder / "confd/config.ini";

    void write_config(const std::string& content) {
        fs::create_directories(fs::path(path).parent_path());
        write_file(path, content);
    }
};

TEST_F(IniStoreTest, MissingFileWritesTheThreeSectionSkeleton) {
    IniStore store(path);
    EXPECT_EQ(store.path, path);
    EXPECT_EQ(read_file(path), "[WLC]\n\n[AP]\n\n[FTP]\nscp_port = 22\n\n");
    EXPECT_EQ(store.get("WLC", "wlc_ip"), "");
    EXPECT_EQ(store.get("FTP", "ftp_proto", "TFTP"), "TFTP");
    EXPECT_EQ(store.get("NOPE", "x", "fallback"), "fallback");
}

TEST_F(IniStoreTest, SavedFileIsOwnerOnlyAndStaysSo) {
    IniStore store(path);
    EXPECT_EQ(file_mode(path), 0600u);
    ::chmod(path.c_str(), 0644);
    store.set("AP", "ap_user", "admin");
    store.save();
    EXPECT_EQ(file_mode(path), 0600u);
}

TEST_F(IniStoreTest, SaveReplacesTheFileAndLeavesNoTemporaryBehind) {
    IniStore store(path);
    store.set("WLC", "wlc_ip", "10.1.1.1");
    store.save();
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(fs::path(path).parent_path())) {
        ++files;
    }
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(IniStore(path).get("WLC", "wlc_ip"), "10.1.1.1");
}

TEST_F(IniStoreTest, LegacyFileIsConvertedAndTheAddressKeyMigrated) {
    write_config(
        "# old flat settings\n"
        "WlcIpaddr: 10.1.1.5\n"
        "wlc_user: admin\n"
        "wlc_pasw = s3cret\n"
        "a=b:c\n"
        "ftp_addr: 10.9.9.9\r\n"
        "unknown_key: dropped\n");
    IniStore store(path);
    EXPECT_EQ(read_file(path),
              "[WLC]\nwlc_user = admin\nwlc_pasw = s3cret\nwlc_ip = 10.1.1.5\n\n"
              "[AP]\nap_user = \nap_pasw = \nap_enable = \n\n"
              "[FTP]\nftp_addr = 10.9.9.9\nftp_path = \nftp_user = \nftp_pasw = \n"
              "scp_port = 22\n\n");
    EXPECT_EQ(store.get("WLC", "wlc_pasw"), "s3cret");
    // The flat original stays next to it, private as it holds passwords.
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path())) {
        if (entry.path().filename().string().starts_with("config.ini.flat-")) {
            copies.push_back(entry.path());
        }
    }
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_THAT(read_file(copies[0]), ::testing::StartsWith("# old flat settings\nWlcIpaddr:"));
    EXPECT_EQ(file_mode(copies[0]), 0600u);
}

TEST_F(IniStoreTest, FileThatIsNeitherIniNorFlatIsRefusedAndLeftAlone) {
    const struct {
        std::string content, named_line;
    } cases[] = {
        // wlc_pasw is a flat setting too, but a header further down shows this is no flat file.
        {"[WLC\nwlc_ip = 10.1.1.1\nwlc_pasw = s3cret\n\n[AP]\nap_user = admin\n", "line 1: '[WLC'"},
        {"; lab notes\nCall Bob before changing\n[WLC]\nwlc_ip = 10.1.1.1\n",
         "line 2: 'Call Bob before changing'"},
    };
    for (const auto& c : cases) {
        write_config(c.content);
        try {
            IniStore store(path);
            ADD_FAILURE() << "accepted " << c.content;
        } catch (const IniParseError& e) {
            EXPECT_THAT(e.what(), ::testing::HasSubstr(path + ", " + c.named_line));
        }
        EXPECT_EQ(read_file(path), c.content);
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(path).parent_path()),
                                fs::directory_iterator()),
                  1);
    }
}

// Another program holding the lock (a `config set` mid-save): the update reads and writes
// only after it is let go, so it keeps that program's settings. A slow machine only makes
// the update start later.
TEST_F(IniStoreTest, UpdateWaitsForTheWritersLockAndRereadsTheFile) {
    IniStore store(path);
    const int folder = ::open(fs::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    std::atomic<bool> released{false};
    std::atomic<bool> changed_after_release{false};
    std::thread writer([&] {
        store.update([&](IniStore& fresh) {
            changed_after_release = released.load();
            fresh.set("CRONJOB", "collect_archive_wnccore_count", "1");
        });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    IniStore other(path);  // reading needs no lock
    other.set("AP", "ap_user", "admin");
    write_file(path, write_ini(other.cfg));
    released = true;
    ::flock(folder, LOCK_UN);
    ::close(folder);
    writer.join();
    EXPECT_TRUE(changed_after_release);
    EXPECT_EQ(IniStore(path).get("AP", "ap_user"), "admin");
}

TEST_F(IniStoreTest, LegacyKeysAreCaseSensitiveAndLaterLinesWin) {
    write_config("wlcipaddr: 10.1.1.5\nwlc_user: first\nwlc_user: second\nscp_port: 2222\n");
    IniStore store(path);
    EXPECT_EQ(store.get("WLC", "wlc_ip"), "");
    EXPECT_EQ(store.get("WLC", "wlc_user"), "second");
    EXPECT_EQ(store.get("FTP", "scp_port"), "2222");
}

TEST_F(IniStoreTest, LegacyConversionDropsUndecodableBytes) {
    write_config("wlc_user: ad\xffmin\n");
    EXPECT_EQ(IniStore(path).get("WLC", "wlc_user"), "admin");
}

TEST_F(IniStoreTest, FormIsDecidedBeforeTheTextIsJudged) {
    struct Case {
        const char* content;
        const char* wlc_ip;
        const char* ap_pasw;
    };
    const Case cases[] = {
        // A byte-order mark from a Windows editor: still INI, every section kept.
        {"\xEF\xBB\xBF[WLC]\nwlc_ip = 10.1.1.1\n[AP]\nap_pasw = ENC::Ox0=\n", "10.1.1.1", "hi"},
        // ...and still legacy, with the first key intact.
        {"\xEF\xBB\xBFWlcIpaddr: 10.1.1.5\nap_pasw: p\n", "10.1.1.5", "p"},
        // A Latin-1 comment above the first entry of a legacy file.
        {"# Configuraci\xf3n\nWlcIpaddr: 10.1.1.5\n", "10.1.1.5", ""},
        {"\xEF\xBB\xBF# Configuraci\xf3n\nWlcIpaddr: 10.1.1.6\n", "10.1.1.6", ""},
        // Unicode blanks around legacy keys and values.
        {"\u00a0WlcIpaddr\u00a0:\u3000 10.1.1.7\u00a0\n", "10.1.1.7", ""},
    };
    for (const Case& c : cases) {
        write_config(c.content);
        IniStore store(path);
        EXPECT_EQ(store.get("WLC", "wlc_ip"), c.wlc_ip) << c.content;
        EXPECT_EQ(store.get("AP", "ap_pasw"), c.ap_pasw) << c.content;
    }
}

TEST_F(IniStoreTest, UnreadableFileIsAnErrorNamingItAndIsNeverReplaced) {
    const std::string content = "[WLC]\nwlc_ip = 10.1.1.1\nwlc_pasw = secret\n";
    write_config(content);
    ::chmod(path.c_str(), 0);
    std::string error;
    as_ordinary_user([&] {
        try {
            IniStore store(path);
        } catch (const fs::filesystem_error& e) {
            error = e.what();
        }
    });
    ::chmod(path.c_str(), 0600);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    EXPECT_EQ(read_file(path), content);

    const std::string folder_in_place = folder / "other/config.ini";
    fs::create_directories(folder_in_place);
    try {
        IniStore store(folder_in_place);
        FAIL() << "a folder was taken for a missing file";
    } catch (const fs::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot read the configuration file"),
                  std::string::npos)
            << e.what();
        EXPECT_EQ(e.path1(), folder_in_place);
    }
    EXPECT_TRUE(fs::is_empty(folder_in_place));
}

TEST_F(IniStoreTest, SaveKeepsTheOwnerAndGroupOfTheFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    write_config("[WLC]\n[AP]\n[FTP]\nscp_port = 22\n");
    ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
    IniStore store(path);
    store.set("WLC", "wlc_ip", "10.1.1.1");
    store.save();
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4242u);
    EXPECT_EQ(info.st_gid, 4343u);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(IniStoreTest, SetRefusesWhatCouldNotBeReadBack) {
    struct Case {
        std::string sec, key, val;
    };
    const Case refused[] = {
        {"WLC", "", "v"},
        {"WLC", "note\nx", "v"},
        {"WLC", "a\rb", "v"},
        {"WLC", "a=b", "v"},
        {"WLC", "a:b", "v"},
        {"WLC", "#k", "v"},
        {"WLC", ";k", "v"},
        {"WLC", "[k", "v"},
        {"WLC", " k", "v"},
        {"WLC", "k\t", "v"},
        {"WLC", "k\u00a0", "v"},
        {"WLC", "k\xff", "v"},
        {"", "k", "v"},
        {"A]B", "k", "v"},
        {"A\nB", "k", "v"},
        {"WLC", "k", "bad \xff"},
        {"AP", "ap_pasw", "ENC::\xff"},
    };
    IniStore store(path);
    const IniDocument before = store.cfg;
    for (const Case& c : refused) {
        EXPECT_THROW(store.set(c.sec, c.key, c.val), std::invalid_argument)
            << c.sec << "/" << c.key;
        EXPECT_THROW(store.bulk_set(c.sec, {{"fine", "1"}, {c.key, c.val}}), std::invalid_argument);
    }
    EXPECT_EQ(write_ini(store.cfg), write_ini(before));  // nothing half-stored

    const Case accepted[] = {
        {"WLC", "inner blank", "v"}, {"WLC", "k#;[", " v ; # "}, {"A[B", "k", "line\nbreak"},
        {"AP", "ap_pasw", "p\xff"},  {"DEFAULT", "shared", "x"}, {"WLC", "\u00c4", "\u00e4"},
    };
    for (const Case& c : accepted) EXPECT_NO_THROW(store.set(c.sec, c.key, c.val)) << c.key;
    store.save();
    IniStore again(path);
    EXPECT_EQ(again.get("A[B", "k"), "line\nbreak");
    EXPECT_EQ(again.get("AP", "ap_pasw"), "p");
    EXPECT_EQ(again.get("WLC", "\u00e4"), "\u00e4");
}

TEST_F(IniStoreTest, OldAddressKeyMovesInWlcOnly) {
    write_config("[WLC]\nWlcIpaddr = 10.1.1.9\nwlc_ip = 10.1.1.1\n[WLC2]\nwlcipaddr = 10.2.2.2\n");
    IniStore store(path);
    EXPECT_EQ(store.get("WLC", "wlc_ip"), "10.1.1.9");
    EXPECT_FALSE(store.cfg.has_option("WLC", "wlcipaddr"));
    EXPECT_EQ(store.get("WLC2", "wlcipaddr"), "10.2.2.2");
    EXPECT_EQ(read_file(path).find("[WLC]\nwlc_ip = 10.1.1.9\n\n"), 0u);
}

TEST_F(IniStoreTest, DefaultsFillInWhatIsMissingAndKeepTheRest) {
    write_config("[CRONJOB]\n[FTP]\nftp_proto = SCP\n[Other]\nx = 1\n");
    IniStore store(path);
    EXPECT_EQ(store.cfg.sections(),
              (std::vector<std::string>{"CRONJOB", "FTP", "Other", "WLC", "AP"}));
    EXPECT_EQ(store.get("CRONJOB", "collect_archive_wnccore_count"), "0");
    EXPECT_EQ(store.get("FTP", "scp_port"), "22");
    EXPECT_EQ(IniStore(path).get("Other", "x"), "1");
}

TEST_F(IniStoreTest, CompleteFileIsNotRewritten) {
    const std::string content = "# keep me\n[WLC]\n[AP]\n[FTP]\nscp_port = 22\n";
    write_config(content);
    IniStore store(path);
    EXPECT_EQ(read_file(path), content);
}

TEST_F(IniStoreTest, CronjobSectionIsNotCreatedByTheStore) {
    IniStore store(path);
    EXPECT_FALSE(store.cfg.has_section("CRONJOB"));
}

TEST_F(IniStoreTest, ReadingErrorsFailConstructionAndLeaveTheFileAlone) {
    const std::string content = "[WLC]\nwlc_ip = 1\n[WLC]\n";
    write_config(content);
    EXPECT_THROW(IniStore{path}, IniParseError);
    EXPECT_EQ(read_file(path), content);
    write_config("[WLC]\nwlc_ip = \xc3\x28\n");
    try {
        IniStore store(path);
        FAIL() << "expected a reading error";
    } catch (const IniParseError& e) {
        EXPECT_EQ(e.file(), path);
        EXPECT_EQ(e.line(), 2u);
    }
}

TEST_F(IniStoreTest, SecretKeysAreScrambledOnSetAndPlainOnGet) {
    IniStore store(path);
    store.set("AP", "ap_pasw", "pässwörd");
    const std::string stored = *store.cfg.get("AP", "ap_pasw");
    EXPECT_EQ(stored.rfind("ENC::", 0), 0u);
    EXPECT_EQ(stored, encrypt_value("pässwörd"));
    EXPECT_EQ(store.get("AP", "ap_pasw"), "pässwörd");

    store.set("AP", "ap_enable", "");
    EXPECT_EQ(store.cfg.get("AP", "ap_enable"), "");
    store.set("WLC", "wlc_pasw", "ENC::ABE=");
    EXPECT_EQ(store.cfg.get("WLC", "wlc_pasw"), "ENC::ABE=");
    EXPECT_EQ(store.get("WLC", "wlc_pasw"), "Se");
    store.set("AP", "ap_user", "plain");
    EXPECT_EQ(store.cfg.get("AP", "ap_user"), "plain");
}

TEST_F(IniStoreTest, PlainAndBrokenStoredSecretsAreReturnedAsStored) {
    write_config("[WLC]\nwlc_pasw = legacyplain\n[AP]\nap_pasw = ENC::ABE\n[FTP]\nscp_port = 22\n");
    IniStore store(path);
    EXPECT_EQ(store.get("WLC", "wlc_pasw"), "legacyplain");
    EXPECT_EQ(store.get("AP", "ap_pasw"), "ENC::ABE");
    EXPECT_EQ(store.get("AP", "missing_password", encrypt_value("dflt")), "dflt");
}

TEST(SecretKey, NamedByPaswPasswordOrEnableAnywhereInAnyCase) {
    for (const char* key :
         {"wlc_pasw", "ap_pasw", "ap_enable", "ftp_pasw", "Enable_Mode", "MyPassword", "xPASWx"}) {
        EXPECT_TRUE(is_secret_key(key)) << key;
    }
    for (const char* key : {"wlc_ip", "ap_user", "pass", "enabl", "passwd"}) {
        EXPECT_FALSE(is_secret_key(key)) << key;
    }
}

TEST_F(IniStoreTest, SetCreatesSectionsKeepsKeyPlacesAndDoesNotSave) {
    IniStore store(path);
    const std::string before = read_file(path);
    store.set("NEW", "Enable_Mode", "x");
    store.set("FTP", "FTP_ADDR", "10.0.0.9");
    store.set("FTP", "scp_port", "2222");
    EXPECT_EQ(read_file(path), before);
    EXPECT_FALSE(IniStore(path).cfg.has_section("NEW"));

    EXPECT_EQ(store.cfg.sections().back(), "NEW");
    EXPECT_EQ(store.cfg.get("NEW", "enable_mode"), encrypt_value("x"));
    const auto& ftp = store.cfg.all_sections()[2].entries;
    EXPECT_EQ(ftp[0].first, "scp_port");
    EXPECT_EQ(ftp[1].first, "ftp_addr");
}

TEST_F(IniStoreTest, BulkSetAppliesEntriesInOrderThenSaveWritesThem) {
    IniStore store(path);
    store.bulk_set("WLC2", {{"wlc_ip", "10.2.2.2"}, {"wlc_user", "u"}, {"wlc_pasw", "p"}});
    store.bulk_set("AP", {{"ap_user", "a"}, {"ap_user", "b"}});
    store.save();
    const std::string text = read_file(path);
    EXPECT_NE(text.find("[WLC2]\nwlc_ip = 10.2.2.2\nwlc_user = u\nwlc_pasw = " +
                        encrypt_value("p") + "\n\n"),
              std::string::npos);
    IniStore again(path);
    EXPECT_EQ(again.get("WLC2", "wlc_pasw"), "p");
    EXPECT_EQ(again.get("AP", "ap_user"), "b");
}

TEST_F(IniStoreTest, CommentsDisappearAndPercentSignsSurviveASave) {
    write_config("[WLC]\n# note\nwlc_user = a%b\n[AP]\n[FTP]\nscp_port = 22\n");
    IniStore store(path);
    store.save();
    EXPECT_EQ(read_file(path), "[WLC]\nwlc_user = a%b\n\n[AP]\n\n[FTP]\nscp_port = 22\n\n");
    EXPECT_EQ(IniStore(path).get("WLC", "wlc_user"), "a%b");
}

TEST_F(IniStoreTest, MultiLineValuesSurviveASave) {
    IniStore store(path);
    store.set("WLC_CMDS", "cmds", "show clock\nshow ap summary");
    store.save();
    EXPECT_EQ(IniStore(path).get("WLC_CMDS", "cmds"), "show clock\nshow ap summary");
}

TEST_F(IniStoreTest, SaveThroughASymlinkReplacesTheLinkedFile) {
    const std::string real = folder / "elsewhere/real.ini";
    fs::create_directories(fs::path(real).parent_path());
    write_file(real, "[WLC]\n[AP]\n[FTP]\nscp_port = 22\n");
    fs::create_directories(fs::path(path).parent_path());
    fs::create_symlink(real, path);
    IniStore store(path);
    store.set("WLC", "wlc_ip", "10.1.1.1");
    store.save();
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(IniStore(real).get("WLC", "wlc_ip"), "10.1.1.1");
}

TEST_F(IniStoreTest, FailedSaveRaisesAndLeavesNoTemporaryBehind) {
    IniStore store(path);
    fs::remove(path);
    fs::create_directories(fs::path(path) / "in_the_way");  // cannot be replaced by a file
    store.set("WLC", "wlc_ip", "10.1.1.1");
    EXPECT_THROW(store.save(), fs::filesystem_error);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(fs::path(path).parent_path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace quorvane
