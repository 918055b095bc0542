#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "quorvane/paths/library_file.hpp"
#include "quorvane/paths/paths.hpp"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

TEST(BaseDirRule, BundleExecutableUsesTheFolderHoldingTheBundle) {
    EXPECT_EQ(base_dir_for(true, "/opt/tools/Tool.app/Contents/MacOS/Tool", "/ignored/lib.so"),
              "/opt/tools");
}

TEST(BaseDirRule, MacOSFolderOutsideContentsUsesTheExecutableFolder) {
    EXPECT_EQ(base_dir_for(true, "/opt/tools/Tool.app/Other/MacOS/Tool", "/x/lib.so"),
              "/opt/tools/Tool.app/Other/MacOS");
}

TEST(BaseDirRule, NameTestsAreCaseSensitive) {
    EXPECT_EQ(base_dir_for(true, "/opt/Tool.app/contents/MacOS/Tool", "/x/lib.so"),
              "/opt/Tool.app/contents/MacOS");
    EXPECT_EQ(base_dir_for(true, "/opt/Tool.app/Contents/macos/Tool", "/x/lib.so"),
              "/opt/Tool.app/Contents/macos");
}

TEST(BaseDirRule, PlainPackagedExecutableUsesItsOwnFolder) {
    EXPECT_EQ(base_dir_for(true, "/opt/app/host", "/opt/app/lib/libquorvane.so"), "/opt/app");
}

TEST(BaseDirRule, UnpackagedHostUsesTheLibraryFolder) {
    EXPECT_EQ(base_dir_for(false, "/usr/bin/host", "/home/me/engine/libquorvane.so"),
              "/home/me/engine");
}

TEST(PackagedLayout, LibraryBelowTheExecutableFolderIsPackaged) {
    EXPECT_TRUE(is_packaged_layout("/opt/app/host", "/opt/app/libquorvane.so"));
    EXPECT_TRUE(is_packaged_layout("/opt/app/host", "/opt/app/_internal/libquorvane.so"));
}

TEST(PackagedLayout, LibraryInsideTheBundleIsPackaged) {
    EXPECT_TRUE(is_packaged_layout("/Apps/Tool.app/Contents/MacOS/Tool",
                                   "/Apps/Tool.app/Contents/Frameworks/libquorvane.so"));
}

TEST(PackagedLayout, LibraryElsewhereIsNotPackaged) {
    EXPECT_FALSE(is_packaged_layout("/usr/bin/host", "/usr/lib/libquorvane.so"));
    EXPECT_FALSE(is_packaged_layout("/opt/app/host", "/opt/application/libquorvane.so"));
    EXPECT_FALSE(is_packaged_layout("/Apps/Tool.app/Contents/MacOS/Tool",
                                    "/Apps/Other.app/Contents/Frameworks/libquorvane.so"));
    EXPECT_FALSE(is_packaged_layout("", "/usr/lib/libquorvane.so"));
}

TEST(ModuleLoad, BaseDirComesFromTheEnvironmentAndTheFoldersExist) {
    const char* expected = std::getenv("QUORVANE_BASE_DIR");
    ASSERT_NE(expected, nullptr) << "tests run under isolated.sh";
    EXPECT_EQ(BASE_DIR, fs::absolute(expected).lexically_normal().string());
    EXPECT_EQ(get_app_base_dir(), BASE_DIR);
    EXPECT_EQ(CONFD, (fs::path(BASE_DIR) / "confd").string());
    EXPECT_EQ(DATA_ROOT, (fs::path(BASE_DIR) / "data").string());
    EXPECT_TRUE(fs::is_directory(CONFD));
    EXPECT_TRUE(fs::is_directory(DATA_ROOT));
}

TEST(ModuleLoad, LibraryPathNamesTheLoadedLibraryFile) {
    const fs::path library = library_file_path();
    EXPECT_TRUE(library.is_absolute());
    EXPECT_TRUE(fs::is_regular_file(library));
    EXPECT_NE(library.filename().string().find("libquorvane.so"), std::string::npos);
}

}  // namespace
}  // namespace quorvane
