// Every per-AP check of the analyser on one fuzzed log file.
#include "fuzz/fuzz_support.hpp"
#include "tessivar/checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path log = fuzz_support::fresh_folder("checks") / "AP_fuzz.log";
    fuzz_support::write_bytes(log, fuzz_support::as_text(data, size));

    tessivar::_read_lines(log);
    tessivar::ap_hostname_from_run_header(log);
    tessivar::ap_ip_from_run_header(log);
    tessivar::ap_model_from_log(log);
    tessivar::primary_version_check(log);
    tessivar::backup_version_check(log);
    tessivar::cnssdaemon_log_present(log);
    tessivar::current_boot_partition(log);
    tessivar::image_integrity_failed(log);
    tessivar::part2_mem_available_mb(log);
    return 0;
}
