#pragma once
// The device CLI session over SSH: login up to the prompt, privileged mode, commands that
// wait for the prompt or for quiet, raw channel access, and a disconnect that is safe from
// another thread. Every libssh call happens under one mutex held by the operation in
// progress; disconnect() first wakes that operation (it fails at once with "was
// disconnected"), then takes the mutex and releases the socket, the wake-up descriptor and
// every buffer at once.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "quorvane/engine/device_session.hpp"
#include "quorvane/engine/ssh/ssh_prompt.hpp"
#include "quorvane/engine/ssh/ssh_shell_channel.hpp"
#include "quorvane/engine/ssh/ssh_transport.hpp"

namespace quorvane {

class SshDeviceSession final : public DeviceSession {
  public:
    // send_command_timing ends once no byte has arrived for this long after output began.
    static constexpr double kTimingQuietSeconds = 0.5;
    // ...and gives up waiting for the first byte after this long.
    static constexpr double kTimingFirstByteSeconds = 5.0;
    // At login, a device that shows no prompt by then is sent an empty line.
    static constexpr double kLoginNudgeSeconds = 0.25;

    // Connects, logs in and reads up to the first prompt; throws SshError on failure.
    explicit SshDeviceSession(const DeviceParams& params);
    ~SshDeviceSession() override;

    void enable() override;
    std::string send_command(const std::string& cmd,
                             std::optional<double> read_timeout = std::nullopt) override;
    std::string send_command_timing(const std::string& cmd,
                                    std::optional<double> read_timeout = std::nullopt) override;
    void write_channel(const std::string& text) override;
    std::string read_channel() override;
    std::string base_prompt() const override { return base_prompt_; }
    void disconnect() override;
    void close() override;

  private:
    template <class Done>
    bool read_until(PromptTracker& tracker, SshClock::time_point deadline, Done done);
    std::size_t drain(PromptTracker& tracker);
    void discard_pending();
    void find_prompt(SshClock::time_point deadline);
    void settle(SshClock::time_point deadline);
    std::unique_lock<std::mutex> lock_open();
    double read_timeout_or_default(std::optional<double> read_timeout) const;

    const DeviceParams params_;
    const std::string label_;
    SshInterrupter interrupter_;
    std::mutex io_mutex_;
    std::unique_ptr<SshTransport> transport_;
    std::unique_ptr<SshShellChannel> channel_;
    std::unique_ptr<char[]> scratch_;  // read buffer; pages are touched only as output needs
    std::string base_prompt_;
    bool privileged_ = false;
};

}  // namespace quorvane
