// The per-AP facts agree with the folder analysis, carry the evidence lines, and tell an AP
// whose log lacks the checked outputs from a healthy one.
#include "tessivar/ap_facts.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "loggen.hpp"
#include "tessivar/analyze.hpp"
#include "tests/support/temp_folder.hpp"

namespace {

using tessivar::loggen::append_file;
using tessivar::loggen::ApPoll;
using tessivar::loggen::render_poll;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ApFacts, AgreeWithTheFolderAnalysisForEveryBranch) {
    test_support::TempFolder dir;
    for (const auto& c : tessivar::loggen::branch_cases()) {
        append_file(dir / ("AP_" + c.name + ".log"), render_poll(c.poll));
    }
    std::map<std::string, std::pair<std::string, std::string>> analysed;  // model, recovery
    for (const auto& ap : tessivar::analyze_logs(dir.path()).first) {
        analysed[ap.ap_name] = {ap.ap_model, ap.recovery};
    }
    std::map<std::string, std::pair<std::string, std::string>> from_facts;
    for (const auto& facts : tessivar::ap_facts(dir.path())) {
        EXPECT_EQ(facts.undecided(), facts.name == "bare") << facts.name;  // bare: no outputs
        if (!facts.group) continue;
        from_facts[facts.name] = {
            facts.model_text, std::string(tessivar::recovery_group_text(*facts.group).recovery)};
    }
    EXPECT_EQ(from_facts, analysed);
}

TEST(ApFacts, CarryEvidenceAndNameWhatIsMissing) {
    test_support::TempFolder dir;
    ApPoll full;
    full.integrity = std::array<std::string, 6>{"Good", "Good", "Good", "Good", "Bad", "Good"};
    ApPoll no_integrity;
    no_integrity.integrity.reset();
    ApPoll clock_only;
    clock_only.signature.reset();
    clock_only.running_image.reset();
    clock_only.backup_image.reset();
    clock_only.boot_partition.reset();
    clock_only.part2_free.reset();
    clock_only.integrity.reset();
    clock_only.cnss_root_log = false;

    const tessivar::ApFacts bad = (append_file(dir / "full.log", render_poll(full)),
                                   tessivar::ap_facts_of_log(dir / "full.log"));
    EXPECT_EQ(bad.running_image, "17.9.5.1");
    EXPECT_EQ(bad.boot_partition, "part1");
    EXPECT_EQ(bad.integrity_lines.size(), 8u);
    EXPECT_THAT(bad.flash_listing_line, HasSubstr("cnssdaemon.log"));
    EXPECT_TRUE(bad.missing.empty());

    append_file(dir / "no_integrity.log", render_poll(no_integrity));
    const auto partial = tessivar::ap_facts_of_log(dir / "no_integrity.log");
    EXPECT_THAT(partial.missing, ElementsAre("image integrity report"));
    EXPECT_TRUE(partial.undecided());

    append_file(dir / "clock.log", render_poll(clock_only));
    const auto nothing = tessivar::ap_facts_of_log(dir / "clock.log");
    EXPECT_EQ(nothing.signature, "UNKNOWN");
    EXPECT_EQ(nothing.missing.size(), 3u);
    EXPECT_TRUE(nothing.undecided());
}

}  // namespace
