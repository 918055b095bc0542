#pragma once
// The device CLI session the engine talks to. The engine sees only this interface;
// the SSH implementation lives behind ConnectHandler, and tests swap in fakes.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace quorvane {

struct DeviceParams {
    std::string device_type = "cisco_ios";  // "cisco_ios" or "cisco_xe"
    std::string host;
    int port = 22;
    std::string username;
    std::string password;
    std::string secret;  // enable password, APs only
    int timeout = 60;    // seconds, the default read time-out of a command
    int conn_timeout = 30;
    int banner_timeout = 30;
    int auth_timeout = 30;
    bool fast_cli = true;
    // OpenSSH-format file of remembered host keys; empty disables host-key checking.
    std::string known_hosts_path;
    // Also offer the older key exchanges, host key types, ciphers and MAC that device
    // firmware still uses, after every modern one.
    bool legacy_algorithms = true;
};

class DeviceSession {
  public:
    virtual ~DeviceSession() = default;

    // Enters privileged mode with the secret; throws on failure.
    virtual void enable() = 0;
    // Sends cmd as one input line and waits for the prompt. Throws an error whose text
    // contains "Pattern not detected" when the prompt does not return in time.
    virtual std::string send_command(const std::string& cmd,
                                     std::optional<double> read_timeout = std::nullopt) = 0;
    // Sends cmd as one input line and returns what arrives until the output goes quiet.
    virtual std::string send_command_timing(const std::string& cmd,
                                            std::optional<double> read_timeout = std::nullopt) = 0;
    virtual void write_channel(const std::string& text) = 0;
    // What arrived since the last read, possibly empty; never waits.
    virtual std::string read_channel() = 0;
    // Prompt name read at login, without the final "#" or ">".
    virtual std::string base_prompt() const = 0;
    // Ends the session. Safe from another thread while a command runs, and harmless on
    // an ended session.
    virtual void disconnect() = 0;
    // Drops the transport at once; used only after disconnect failed.
    virtual void close() = 0;
};

// A failed device step that knows its cause in words a network engineer acts on
// ("password refused by the device"); what() keeps the full text for the logs.
class DeviceError : public std::runtime_error {
  public:
    explicit DeviceError(const std::string& what, std::string reason = {})
        : std::runtime_error(what), reason_(std::move(reason)) {}
    // Empty when the cause is not known beyond what().
    const std::string& reason() const noexcept { return reason_; }

  private:
    std::string reason_;
};

// The cause to show a user for e: its reason when it has one, else its text.
inline std::string failure_reason(const std::exception& e) {
    const auto* device_error = dynamic_cast<const DeviceError*>(&e);
    return device_error != nullptr && !device_error->reason().empty() ? device_error->reason()
                                                                      : e.what();
}

// Raised by a ConnectHandler when a device shows another host key than the one remembered
// for it. Another attempt would meet the same key, so callers give up at once and show
// this text.
class HostKeyChangedError : public DeviceError {
  public:
    using DeviceError::DeviceError;
};

using DeviceSessionPtr = std::shared_ptr<DeviceSession>;
using ConnectHandler = std::function<DeviceSessionPtr(const DeviceParams&)>;

}  // namespace quorvane
