// One SSH connection to a simulated device: authentication, the session channel with its
// pty and shell, and the output queue that respects the client's channel window.
#pragma once

#include <libssh/callbacks.h>
#include <libssh/libssh.h>
#include <libssh/server.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "device_record.hpp"
#include "terminal.hpp"

namespace fleetsim {

class Connection : public Terminal::Sink {
  public:
    using Clock = Terminal::Clock;

    Connection(ssh_session session, DeviceRecord& device, const std::vector<const Device*>& aps);
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts the key exchange without blocking; false when the session is already dead.
    bool begin();
    // Lets libssh read and write this connection's socket without waiting.
    void pump();
    int fd() const;
    bool wants_write() const;
    // Delivers output, plays due answers, ends the connection when asked to.
    void service(Clock::time_point now);
    bool finished() const { return finished_; }
    std::optional<Clock::time_point> next_due() const;
    ssh_session session() const { return session_; }

    void write(std::string_view bytes) override;
    void drop(bool abrupt) override;
    void record(std::string line) override;

  private:
    static int on_password(ssh_session, const char* user, const char* password, void* self);
    static int on_message(ssh_session session, ssh_message message, void* self);
    static int on_data(ssh_session, ssh_channel, void* data, uint32_t len, int is_stderr,
                       void* self);
    static void on_eof(ssh_session, ssh_channel, void* self);
    static void on_close(ssh_session, ssh_channel, void* self);
    static int on_pty(ssh_session, ssh_channel, const char*, int, int, int, int, void* self);
    static int on_shell(ssh_session, ssh_channel, void* self);

    int handle_auth(ssh_message message);
    bool accept_login(const std::string& user, const std::string& password);
    void flush();
    void count_session();
    void end_session_count();

    ssh_session session_;
    // Each connection polls alone: libssh flushes a write by polling the session's event,
    // and in a shared event another connection's hang-up would be blamed on this one.
    ssh_event event_ = nullptr;
    ssh_channel channel_ = nullptr;
    ssh_channel_callbacks_struct channel_callbacks_{};
    ssh_server_callbacks_struct server_callbacks_{};
    DeviceRecord& device_;
    const std::vector<const Device*>& aps_;
    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<Cli> cli_;
    std::string pending_;
    std::string kbdint_user_;
    bool authenticated_ = false;
    bool counted_ = false;  // counted among the open sessions
    bool input_ended_ = false;
    bool closing_ = false;
    bool abrupt_ = false;
    bool finished_ = false;
    Clock::time_point created_;
    Clock::time_point closing_since_{};
};

}  // namespace fleetsim
