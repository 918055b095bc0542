#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/quorvane-cli/auth_status.hpp"
#include "apps/quorvane-cli/mac_address.hpp"

namespace quorvane::cli {
namespace {

TEST(AuthRunStatus, FollowsTheLogAndCountsDownTheWindow) {
    using namespace std::chrono;
    const auto t0 = steady_clock::now();
    AuthRunStatus status(900);
    struct Step {
        std::string line;
        seconds at;
        std::string text;
    };
    const Step steps[] = {
        {"[ENGINE] Using data directory: /x", 0s, ""},
        {"[AUTH] ===== WLC: WLC2 =====", 0s, "WLC2: first look"},
        {"[AUTH] Waiting 15 minutes...", 1s, "WLC2: observation window, 15:00 left"},
        {"[AUTH] Still waiting... 30s / 900s", 329s, "WLC2: observation window, 9:32 left"},
        {"[AUTH] Reconnecting after wait...", 901s, "WLC2: second look and client details"},
        {"\n[AUTH] ===== CLIENT DETAIL (PRE-DELETION) =====", 902s,
         "all controllers: details before deletion"},
        {"[DEBUG] ===== Collecting debugs for [WLC10] =====", 903s,
         "WLC10: archive and core collection"},
    };
    for (const auto& step : steps) {
        status.observe(step.line, t0 + step.at);
        EXPECT_EQ(status.text(t0 + step.at), step.text) << step.line;
    }
}

TEST(AuthRunStatus, LongWindowsShowHours) {
    const auto t0 = std::chrono::steady_clock::now();
    AuthRunStatus status(7300);
    status.observe("[AUTH] ===== WLC: WLC =====", t0);
    status.observe("[AUTH] Waiting 15 minutes...", t0);
    EXPECT_EQ(status.text(t0 + std::chrono::seconds(10)), "WLC: observation window, 2:01:30 left");
    EXPECT_EQ(status.text(t0 + std::chrono::hours(3)), "WLC: observation window, 0:00 left");
}

TEST(NormaliseMac, ThreeFormsToTheDottedLowerCaseForm) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"0011.22aa.bbcc", "0011.22aa.bbcc"},
        {"0011.22AA.BBCC", "0011.22aa.bbcc"},
        {"00:11:22:aa:bb:cc", "0011.22aa.bbcc"},
        {"00-11-22-AA-BB-CC", "0011.22aa.bbcc"},
        {"00:11:22-aa-bb-cc", std::nullopt},
        {"0011.22aa.bbc", std::nullopt},
        {"0011.22aa.bbccd", std::nullopt},
        {"0011:22aa:bbcc", std::nullopt},
        {"0011.22ag.bbcc", std::nullopt},
        {"001122aabbcc", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(normalise_mac(text), expected) << text;
}

}  // namespace
}  // namespace quorvane::cli
