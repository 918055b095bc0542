#include "quorvane/engine/ssh/ssh_device_session.hpp"

#include <algorithm>

#include "quorvane/engine/ssh/ssh_error.hpp"
#include "quorvane/engine/ssh/ssh_failure.hpp"

namespace quorvane {
namespace {

// Large reads keep big outputs cheap: one copy per chunk, no per-byte work beyond the
// prompt tracker's line-break scan.
constexpr std::size_t kReadChunk = 256 * 1024;
// A banner line may look like a prompt; the real one comes back after an empty line.
constexpr int kPromptConfirmations = 3;

std::string quoted_command(const std::string& cmd) {
    std::string line = as_input_line(cmd);
    line.pop_back();
    return "'" + line + "'";
}

}  // namespace

SshDeviceSession::SshDeviceSession(const DeviceParams& params)
    : params_(params),
      label_(ssh_address_label(params.host, params.port)),
      scratch_(std::make_unique_for_overwrite<char[]>(kReadChunk)) {
    transport_ = std::make_unique<SshTransport>(params_, interrupter_);
    const auto deadline = deadline_after(params_.banner_timeout);
    channel_ = std::make_unique<SshShellChannel>(*transport_, deadline);
    find_prompt(deadline);
}

SshDeviceSession::~SshDeviceSession() { disconnect(); }

std::unique_lock<std::mutex> SshDeviceSession::lock_open() {
    std::unique_lock<std::mutex> lock(io_mutex_);
    if (interrupter_.interrupted() || !channel_) {
        throw SshError("Session to " + label_ + " is disconnected");
    }
    return lock;
}

double SshDeviceSession::read_timeout_or_default(std::optional<double> read_timeout) const {
    return read_timeout.value_or(static_cast<double>(params_.timeout));
}

std::size_t SshDeviceSession::drain(PromptTracker& tracker) {
    std::size_t total = 0;
    while (const std::size_t n = channel_->read_available(scratch_.get(), kReadChunk)) {
        tracker.append(std::string_view(scratch_.get(), n));
        total += n;
    }
    return total;
}

template <class Done>
bool SshDeviceSession::read_until(PromptTracker& tracker, SshClock::time_point deadline,
                                  Done done) {
    for (;;) {
        if (drain(tracker) > 0 && done(tracker)) return true;
        if (SshClock::now() >= deadline) return false;
        channel_->wait(deadline);
    }
}

// Output left over from an earlier exchange would otherwise be taken for the answer.
void SshDeviceSession::discard_pending() {
    PromptTracker stale;
    drain(stale);
}

void SshDeviceSession::settle(SshClock::time_point deadline) {
    PromptTracker late;
    auto quiet_until = std::min(deadline, deadline_after(kLoginNudgeSeconds));
    for (;;) {
        if (drain(late) > 0) quiet_until = std::min(deadline, deadline_after(kLoginNudgeSeconds));
        if (SshClock::now() >= quiet_until) return;
        channel_->wait(quiet_until);
    }
}

void SshDeviceSession::find_prompt(SshClock::time_point deadline) {
    const auto no_prompt = [&] {
        return SshError(
            "No prompt from " + label_ + " within " + seconds_text(params_.banner_timeout) +
                " after login",
            "no prompt within " + seconds_phrase(params_.banner_timeout) + " after login");
    };
    const auto at_prompt = [](const PromptTracker& t) { return t.at_prompt(); };

    PromptTracker greeting;
    const auto nudge_at = deadline_after(kLoginNudgeSeconds);
    bool nudged = false;
    while (!read_until(greeting, nudged ? deadline : std::min(deadline, nudge_at), at_prompt)) {
        if (nudged || SshClock::now() >= deadline) throw no_prompt();
        channel_->write("\n", deadline);
        nudged = true;
    }

    std::string candidate(greeting.last_line());
    for (int i = 0;; ++i) {
        channel_->write("\n", deadline);
        PromptTracker echo;
        if (!read_until(echo, deadline, at_prompt)) throw no_prompt();
        if (echo.last_line() == candidate) break;
        if (i + 1 == kPromptConfirmations) {
            throw SshError("No stable prompt from " + label_ + " after login (last '" +
                           std::string(echo.last_line()) + "')");
        }
        candidate = echo.last_line();
    }
    // The empty line sent to a silent device may still bring a second prompt.
    if (nudged) settle(deadline);

    privileged_ = candidate.back() == '#';
    candidate.pop_back();
    base_prompt_ = candidate;
}

void SshDeviceSession::enable() {
    const auto lock = lock_open();
    if (privileged_) return;
    const auto deadline = deadline_after(params_.timeout);
    const auto answered = [](const PromptTracker& t) {
        return t.at_prompt() || asks_for_password(t.last_line());
    };
    const auto fail = [&](const std::string& why, const std::string& reason) {
        return SshError("Entering privileged mode on " + label_ + " failed: " + why, reason);
    };
    const std::string refused = "enable secret refused by the device";
    const std::string no_answer = "no answer to 'enable' within " + seconds_phrase(params_.timeout);

    discard_pending();
    channel_->write("enable\n", deadline);
    PromptTracker tracker(base_prompt_);
    if (!read_until(tracker, deadline, answered)) throw fail("no answer to 'enable'", no_answer);
    if (!tracker.at_prompt()) {
        channel_->write(params_.secret + "\n", deadline);
        tracker.clear();
        if (!read_until(tracker, deadline, answered))
            throw fail("no answer to the secret", no_answer);
        if (!tracker.at_prompt()) throw fail("the enable secret was refused", refused);
    }
    if (tracker.last_line().back() != '#') {
        throw fail(
            "the enable secret was refused (prompt '" + std::string(tracker.last_line()) + "')",
            refused);
    }
    privileged_ = true;
}

std::string SshDeviceSession::send_command(const std::string& cmd,
                                           std::optional<double> read_timeout) {
    const auto lock = lock_open();
    const double timeout = read_timeout_or_default(read_timeout);
    const auto deadline = deadline_after(timeout);
    discard_pending();
    channel_->write(as_input_line(cmd), deadline);
    PromptTracker tracker(base_prompt_);
    if (!read_until(tracker, deadline, [](const PromptTracker& t) { return t.at_prompt(); })) {
        throw SshError(
            "Pattern not detected: prompt '" + base_prompt_ + "#' or '" + base_prompt_ +
                ">' did not return from " + label_ + " within " + seconds_text(timeout) +
                " after " + quoted_command(cmd),
            "no prompt within " + seconds_phrase(timeout) + " after " + quoted_command(cmd));
    }
    privileged_ = tracker.last_line().back() == '#';
    return command_output(tracker.text(), cmd, tracker.last_line_start());
}

std::string SshDeviceSession::send_command_timing(const std::string& cmd,
                                                  std::optional<double> read_timeout) {
    const auto lock = lock_open();
    const auto deadline = deadline_after(read_timeout_or_default(read_timeout));
    discard_pending();
    channel_->write(as_input_line(cmd), deadline);
    PromptTracker tracker(base_prompt_);
    auto quiet_until = std::min(deadline, deadline_after(kTimingFirstByteSeconds));
    for (;;) {
        if (drain(tracker) > 0) {
            if (tracker.at_prompt()) break;
            quiet_until = std::min(deadline, deadline_after(kTimingQuietSeconds));
        }
        if (SshClock::now() >= quiet_until) break;
        channel_->wait(quiet_until);
    }
    return command_output(tracker.text(), cmd,
                          tracker.at_prompt() ? tracker.last_line_start() : std::string::npos);
}

void SshDeviceSession::write_channel(const std::string& text) {
    const auto lock = lock_open();
    channel_->write(text, deadline_after(params_.timeout));
}

std::string SshDeviceSession::read_channel() {
    const auto lock = lock_open();
    PromptTracker arrived;
    try {
        drain(arrived);
    } catch (const SshError&) {
        // Hand out what came before the end; the next read reports it.
        if (arrived.size() == 0) throw;
    }
    return arrived.text();
}

void SshDeviceSession::disconnect() {
    interrupter_.interrupt();
    const std::lock_guard<std::mutex> lock(io_mutex_);
    // Everything goes now, not with the object: the engine may keep an ended session in
    // its registry for the rest of a long run.
    channel_.reset();
    transport_.reset();
    interrupter_.release();
    scratch_.reset();
}

void SshDeviceSession::close() { disconnect(); }

}  // namespace quorvane
