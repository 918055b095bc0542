// SpecialCmdCheck of one engine on any command-list entry: the result is always one of
// its four shapes, and a pause never exceeds an hour.
#include "fuzz/fuzz_support.hpp"
#include "quorvane/engine/engine.hpp"

namespace {

quorvane::Quorvane& engine() {
    static quorvane::Quorvane instance([](const std::string&) {});
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string cmd(fuzz_support::as_text(data, size));
    const quorvane::SpecialCmdResult result = engine().SpecialCmdCheck(cmd);
    FUZZ_CHECK(result.sleep_secs >= 0 && result.sleep_secs <= quorvane::MAX_SLEEP_SECS);
    FUZZ_CHECK(result == quorvane::classify_command(cmd, nullptr));
    if (!result.is_special) {
        FUZZ_CHECK(result.actual_cmd == quorvane::strip_whitespace(cmd));
        FUZZ_CHECK(!result.needs_confirm && result.sleep_secs == 0);
    } else if (result.needs_confirm) {
        FUZZ_CHECK(result.actual_cmd.has_value() && result.sleep_secs == 0);
    } else {
        FUZZ_CHECK(!result.actual_cmd.has_value());
    }
    return 0;
}
