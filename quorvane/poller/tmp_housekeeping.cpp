// /tmp on an AP: measure its usage, clean it only above the threshold, reload.

#include <re2/re2.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <string_view>

#include "quorvane/engine/byte_regex.hpp"
#include "quorvane/engine/engine.hpp"
#include "quorvane/paths/utf8.hpp"
#include "quorvane/poller/ap_log_file.hpp"
#include "quorvane/poller/ap_poll_state.hpp"

namespace quorvane {

namespace {

constexpr int kCleanupThresholdPercent = 60;

bool contains_tmp(std::string_view line) {
    constexpr std::string_view needle = "/tmp";
    const auto it = std::search(
        line.begin(), line.end(), needle.begin(), needle.end(),
        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return it != line.end();
}

// Digits too many for an int stand for the largest one, which is above any threshold.
int saturated_int(std::string_view digits) {
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > 9) return std::numeric_limits<int>::max();
    return digits.empty() ? 0 : std::stoi(std::string(digits));
}

}  // namespace

int Quorvane::_get_tmp_usage_percent(const std::string& output) {
    static const RE2 percent(R"((\d+)%)", byte_regex_options());
    std::size_t start = 0;
    while (start <= output.size()) {
        std::size_t end = output.find_first_of("\r\n", start);
        if (end == std::string::npos) end = output.size();
        const std::string_view line(output.data() + start, end - start);
        re2::StringPiece digits;
        if (contains_tmp(line) &&
            RE2::PartialMatch(re2::StringPiece(line.data(), line.size()), percent, &digits)) {
            return saturated_int(std::string_view(digits.data(), digits.size()));
        }
        if (end < output.size() && output[end] == '\r' && end + 1 < output.size() &&
            output[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
    return 0;
}

void run_tmp_usage(ApPollState& poll, const std::string& cmd) {
    poll.announce(cmd);
    const std::string output =
        Quorvane::_ap_send_command(poll.session, cmd, static_cast<int>(poll.engine.ap_wait(120)));
    poll.tmp_usage = Quorvane::_get_tmp_usage_percent(output);
    const std::string usage = std::to_string(poll.tmp_usage);
    poll.log("[TMP] " + poll.ap.ip + " \u2192 /tmp usage = " + usage + "%");
    poll.append(output + "\n");
    poll.append("[TMP] /tmp usage detected: " + usage + "%\n");
}

void run_tmp_cleanup(ApPollState& poll, const std::string& cmd) {
    const auto started = poll.engine.options.clock->now();
    const std::string& ip = poll.ap.ip;
    const std::string usage = std::to_string(poll.tmp_usage);
    if (poll.tmp_usage <= kCleanupThresholdPercent) {
        poll.log(ap_command_log_line(started, poll.ap, cmd) + " [SKIPPED \u2014 /tmp=" + usage +
                 "%]");
        poll.append("\n[TMP] Cleanup skipped (/tmp=" + usage + "%, threshold=60%)\n");
        return;
    }
    poll.log(ap_command_log_line(started, poll.ap, cmd));
    poll.append(ap_command_block(cmd));
    poll.log("[TMP] " + ip + " \u2192 /tmp is " + usage + "% \u2014 running cleanup");
    try {
        poll.session.send_command_timing(cmd);
        poll.log("[TMP] " + ip + " \u2192 Cleanup complete");
        poll.append("[TMP] Cleanup executed successfully\n");
    } catch (const std::exception& e) {
        poll.log("[TMP] " + ip + " \u2192 Cleanup failed: " + e.what());
        poll.append("[TMP] Cleanup failed: " + std::string(e.what()) + "\n");
    }
}

void run_reload(ApPollState& poll, const std::string& cmd) {
    const std::string& ip = poll.ap.ip;
    poll.announce(cmd);
    poll.log("[TMP] " + ip + " \u2192 Injecting reload (cleanup was done)");
    try {
        const std::string reply = poll.session.send_command_timing(cmd);
        if (ascii_lower(reply).find("confirm") != std::string::npos)
            poll.session.send_command_timing("\n");
        poll.log("[TMP] " + ip + " \u2192 Reload initiated successfully");
        poll.append("[TMP] Reload initiated\n");
    } catch (const std::exception&) {
        poll.log("[TMP] " + ip + " \u2192 Connection closed after reload (expected)");
        poll.append("[TMP] Connection closed after reload (expected)\n");
    }
}

}  // namespace quorvane
