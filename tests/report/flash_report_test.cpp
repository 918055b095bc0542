// The flash-check result model: how each AP is counted, and the CSV cells a spreadsheet reads.
#include <gtest/gtest.h>

#include "apps/flash-report/csv_report.hpp"
#include "apps/flash-report/flash_check_result.hpp"

namespace {

using flash_report::ApResult;
using flash_report::Outcome;

tessivar::ApFacts facts(std::vector<tessivar::FailureCode> failures, bool missing = false) {
    tessivar::ApFacts f;
    f.failures = std::move(failures);
    if (!f.failures.empty()) f.group = tessivar::recovery_group_for(f.failures);
    if (missing) f.missing = {"image integrity report"};
    return f;
}

TEST(FlashCheckResult, EachApHasOneOutcomeAndRecoveryLabel) {
    using tessivar::FailureCode;
    const struct {
        std::optional<std::string> status;
        std::optional<tessivar::ApFacts> facts;
        Outcome outcome;
        std::string label;
    } cases[] = {
        {"Success", facts({FailureCode::PARTITION_SWAP}), Outcome::susceptible,
         "Recover with image partition swap"},
        {"Success", facts({}), Outcome::healthy, ""},
        {"Success", facts({}, true), Outcome::undecided, "not decided"},
        // A failure found in a partial log still counts.
        {"Success", facts({FailureCode::BUGGY_BACKUP}, true), Outcome::susceptible,
         "Safe state but buggy backup image"},
        {"Success", std::nullopt, Outcome::undecided, "not decided"},
        {"Fail: Connection retries exhausted", std::nullopt, Outcome::not_checked, "not checked"},
        {"stopped", std::nullopt, Outcome::not_checked, "not checked"},
        {std::nullopt, facts({}), Outcome::healthy, ""},  // offline analysis
    };
    flash_report::FlashCheckResult result;
    for (const auto& c : cases) {
        ApResult ap{"ap", "10.0.0.1", "C9130AXI-B", "10.0.0.5", c.status, {}, c.facts};
        EXPECT_EQ(ap.outcome(), c.outcome) << c.status.value_or("none");
        EXPECT_EQ(flash_report::recovery_label(ap), c.label);
        result.aps.push_back(ap);
    }
    result.aps.push_back(
        {"never", "", "", "", std::string(flash_report::NOT_POLLED_STATUS), {}, {}});
    const flash_report::Counts counts = flash_report::count(result);
    EXPECT_EQ(counts.selected, 9u);
    EXPECT_EQ(counts.polled, 7u);  // the offline row counts as finished
    EXPECT_EQ(counts.failed, 1u);
    EXPECT_EQ(counts.stopped, 1u);
    EXPECT_EQ(counts.not_polled, 1u);
    EXPECT_EQ(counts.susceptible, 2u);
    EXPECT_EQ(counts.healthy, 2u);
    EXPECT_EQ(counts.undecided, 2u);
    EXPECT_EQ(counts.checked, 6u);
}

TEST(CsvField, QuotesAndNeutralisesFormulas) {
    const std::pair<std::string, std::string> cases[] = {
        {"AP-1", "AP-1"},
        {"", ""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1", "'+1"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"a,b", "\"a,b\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"Floor 2 \xE2\x80\x94 East", "Floor 2 \xE2\x80\x94 East"},
    };
    for (const auto& [text, field] : cases) EXPECT_EQ(flash_report::csv_field(text), field) << text;
}

}  // namespace
