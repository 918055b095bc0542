#include "quorvane/engine/special_cmd.hpp"

#include <re2/re2.h>

#include "quorvane/engine/engine.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

namespace {

const RE2& pause_pattern() {
    static const RE2 pattern(R"((?i)^(sleep|pause)[_(](\d+)\)?$)");
    return pattern;
}

// The digits may be longer than any integer type holds; such a pause is simply too long.
std::string without_leading_zeros(const std::string& digits) {
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

bool exceeds_max_sleep(const std::string& digits) {
    const std::string max = std::to_string(MAX_SLEEP_SECS);
    return digits.size() > max.size() || (digits.size() == max.size() && digits > max);
}

}  // namespace

// Unicode white space: a no-break space pasted after "sleep_5" still makes a pause,
// rather than a command sent to the device.
std::string strip_whitespace(const std::string& text) {
    return std::string(trim_unicode_space(text));
}

SpecialCmdResult classify_command(const std::string& cmd, std::string* rejected_secs) {
    const std::string text = strip_whitespace(cmd);
    std::string digits;
    if (RE2::FullMatch(text, pause_pattern(), nullptr, &digits)) {
        digits = without_leading_zeros(digits);
        if (exceeds_max_sleep(digits)) {
            if (rejected_secs) *rejected_secs = digits;
            return {true, std::nullopt, false, 0};
        }
        return {true, std::nullopt, false, std::stoi(digits)};
    }
    // Counted in characters, not bytes, so "%éé%" stays a plain command like "%ab%".
    if (utf8_length(text) >= 5 && text.front() == '%' && text.back() == '%') {
        return {true, strip_whitespace(text.substr(1, text.size() - 2)), true, 0};
    }
    return {false, text, false, 0};
}

SpecialCmdResult Quorvane::SpecialCmdCheck(const std::string& cmd) {
    std::string rejected;
    SpecialCmdResult result = classify_command(cmd, &rejected);
    if (!rejected.empty()) {
        _log("[SLEEP] *** Invalid sleep value: " + rejected +
             "s. Maximum allowed is 3600s (1 hour). Command skipped.");
    }
    return result;
}

}  // namespace quorvane
