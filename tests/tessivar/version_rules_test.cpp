#include "tessivar/version_rules.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using tessivar::backup_image_buggy;
using tessivar::running_image_buggy;

struct Expect {
    std::string version;
    std::optional<bool> buggy;
};

void check_table(std::optional<bool> (*rule)(std::string_view), const std::vector<Expect>& table) {
    for (const Expect& e : table) {
        EXPECT_EQ(rule(e.version), e.buggy) << e.version;
    }
}

TEST(TessivarRunningImageRules, FixedReleasesAndOlderTrains) {
    check_table(running_image_buggy,
                {
                    {"17.12.4.213", false},   {"17.12.4.212", true},
                    {"17.12.3.50", false},    {"17.12.0.1", false},
                    {"17.12.5.209", false},   {"17.12.5.208", true},
                    {"17.12.6.201", false},   {"17.12.6.200", true},
                    {"17.12.7.500", true},    {"17.15.3.212", false},
                    {"17.15.3.211", true},    {"17.15.4.206", false},
                    {"17.15.4.205", true},    {"17.15.5.0", false},
                    {"17.18.1.203", false},   {"17.18.1.202", true},
                    {"17.18.2.201", false},   {"17.18.2.200", true},
                    {"17.9.5.1", false},      {"17.09.5.1", false},
                    {"17.13.1.5", true},      {"16.12.4.1", true},
                    {"17.12.4.213.1", false}, {"17.12.4.99999999999999999999999", false},
                });
}

TEST(TessivarRunningImageRules, PiecesAreComparedAsText) {
    check_table(running_image_buggy, {
                                         // "017" is not "17": the whole version is another train.
                                         {"017.12.4.213", true},
                                         // "04" is not "4": the fixed build of 17.12.4 does not
                                         // apply, and minor 12 is above 9.
                                         {"17.12.04.213", true},
                                         // The patch of the first rule is read as a number.
                                         {"17.12.03.1", false},
                                     });
}

TEST(TessivarRunningImageRules, UnreadableVersionsGiveNoValue) {
    check_table(running_image_buggy, {
                                         {"17.12.4", std::nullopt},
                                         {"17.12.x.5", std::nullopt},
                                         {"17.12.4.b1", std::nullopt},
                                         {"17.x.1.1", std::nullopt},
                                         {"", std::nullopt},
                                     });
}

TEST(TessivarBackupImageRules, OnlyFixedBuildsAnd1797AreSafe) {
    check_table(backup_image_buggy, {
                                        {"17.9.7.100", false},
                                        {"17.9.7.1", false},
                                        {"17.9.6.100", true},
                                        {"17.3.1.1", true},
                                        {"17.12.4.213", false},
                                        {"17.12.4.212", true},
                                        {"17.15.5.1", false},
                                        {"17.09.7.1", true},
                                        {"17.9.07.1", true},
                                        {"16.9.7.1", true},
                                        {"17.9.7", std::nullopt},
                                        {"17.9.7.x", std::nullopt},
                                    });
    // The same image counts as safe when it runs.
    EXPECT_EQ(running_image_buggy("17.9.6.100"), false);
}

}  // namespace
