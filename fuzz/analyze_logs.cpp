// analyze_logs on a folder of fuzzed log files. Input: up to six files' contents separated
// by NUL bytes. A second analysis of the same folder finds the same APs: the report the
// first one appended is never taken for an AP log.
#include "fuzz/fuzz_support.hpp"
#include "tessivar/analyze.hpp"

namespace {

bool same(const tessivar::SusceptibleAp& a, const tessivar::SusceptibleAp& b) {
    return a.ap_name == b.ap_name && a.ap_model == b.ap_model && a.ap_ip == b.ap_ip &&
           a.recovery == b.recovery;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path folder = fuzz_support::fresh_folder("WLC_10_0_0_5");
    const std::vector<std::string> files =
        fuzz_support::fields(fuzz_support::as_text(data, size), 6);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i > 0 && files[i].empty()) continue;
        fuzz_support::write_bytes(folder / ("AP_" + std::to_string(i) + ".log"), files[i]);
    }

    const tessivar::AnalysisResult first = tessivar::analyze_logs(folder);
    const tessivar::AnalysisResult second = tessivar::analyze_logs(folder);
    FUZZ_CHECK(first.first.size() == second.first.size());
    for (std::size_t i = 0; i < first.first.size(); ++i) {
        FUZZ_CHECK(same(first.first[i], second.first[i]));
        FUZZ_CHECK(!first.first[i].recovery.empty());
    }
    return 0;
}
