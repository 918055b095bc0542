#include "connection.hpp"

#include <sys/socket.h>

#include <algorithm>

namespace fleetsim {
namespace {

constexpr int kAuthMethods = SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE;
// A client that neither logs in nor leaves (a port probe that stays, a stuck handshake)
// gives its slot back after this long.
constexpr auto kLoginGrace = std::chrono::seconds(60);
// Output that the client does not take within this long after the device hung up is
// dropped with the connection.
constexpr auto kDrainLimit = std::chrono::seconds(5);

}  // namespace

Connection::Connection(ssh_session session, DeviceRecord& device,
                       const std::vector<const Device*>& aps)
    : session_(session), device_(device), aps_(aps), created_(Clock::now()) {
    channel_callbacks_.userdata = this;
    channel_callbacks_.channel_data_function = &Connection::on_data;
    channel_callbacks_.channel_eof_function = &Connection::on_eof;
    channel_callbacks_.channel_close_function = &Connection::on_close;
    channel_callbacks_.channel_pty_request_function = &Connection::on_pty;
    channel_callbacks_.channel_shell_request_function = &Connection::on_shell;
    ssh_callbacks_init(&channel_callbacks_);
    server_callbacks_.userdata = this;
    server_callbacks_.auth_password_function = &Connection::on_password;
    ssh_callbacks_init(&server_callbacks_);
}

Connection::~Connection() {
    end_session_count();
    cli_.reset();
    terminal_.reset();
    if (event_) {
        ssh_event_remove_session(event_, session_);
        ssh_event_free(event_);
    }
    ssh_free(session_);
}

void Connection::pump() {
    if (event_ && !finished_) ssh_event_dopoll(event_, 0);
}

int Connection::fd() const { return ssh_get_fd(session_); }

bool Connection::wants_write() const { return ssh_get_status(session_) & SSH_WRITE_PENDING; }

bool Connection::begin() {
    ssh_set_blocking(session_, 0);
    ssh_set_auth_methods(session_, kAuthMethods);
    ssh_set_server_callbacks(session_, &server_callbacks_);
    ssh_set_message_callback(session_, &Connection::on_message, this);
    event_ = ssh_event_new();
    if (!event_ || ssh_handle_key_exchange(session_) == SSH_ERROR ||
        ssh_event_add_session(event_, session_) != SSH_OK) {
        finished_ = true;
        return false;
    }
    return true;
}

bool Connection::accept_login(const std::string& user, const std::string& password) {
    const Device& d = device_.config;
    bool ok = !d.faults.wrong_password && user == d.username && password == d.password;
    device_.with_state([ok](DeviceState& s) { return ok ? ++s.logins : ++s.failed_logins; });
    return ok;
}

int Connection::handle_auth(ssh_message message) {
    int subtype = ssh_message_subtype(message);
    bool ok = false;
    if (subtype == SSH_AUTH_METHOD_INTERACTIVE) {
        if (!ssh_message_auth_kbdint_is_response(message)) {
            const char* user = ssh_message_auth_user(message);
            kbdint_user_ = user ? user : "";
            const char* prompts[] = {"Password: "};
            char echo[] = {0};
            ssh_message_auth_interactive_request(message, "", "", 1, prompts, echo);
            return 0;
        }
        if (ssh_userauth_kbdint_getnanswers(session_) == 1) {
            const char* answer = ssh_userauth_kbdint_getanswer(session_, 0);
            ok = accept_login(kbdint_user_, answer ? answer : "");
        } else {
            ok = false;
        }
    }
    if (ok) {
        authenticated_ = true;
        count_session();
        ssh_message_auth_reply_success(message, 0);
    } else {
        ssh_message_auth_set_methods(message, kAuthMethods);
        ssh_message_reply_default(message);
    }
    return 0;
}

int Connection::on_password(ssh_session, const char* user, const char* password, void* self) {
    auto* c = static_cast<Connection*>(self);
    if (!c->accept_login(user ? user : "", password ? password : "")) return SSH_AUTH_DENIED;
    c->authenticated_ = true;
    c->count_session();
    return SSH_AUTH_SUCCESS;
}

void Connection::count_session() {
    if (counted_) return;
    counted_ = true;
    device_.sessions.opened(device_.config.kind);
}

void Connection::end_session_count() {
    if (!counted_) return;
    counted_ = false;
    device_.sessions.closed(device_.config.kind);
}

int Connection::on_message(ssh_session, ssh_message message, void* self) {
    auto* c = static_cast<Connection*>(self);
    int type = ssh_message_type(message);
    // A client asks for the login service as soon as the key exchange is done.
    if (type == SSH_REQUEST_SERVICE && c->device_.config.faults.close_after_kex) {
        c->drop(true);
        return 0;
    }
    if (type == SSH_REQUEST_AUTH) return c->handle_auth(message);
    if (type == SSH_REQUEST_CHANNEL_OPEN && ssh_message_subtype(message) == SSH_CHANNEL_SESSION &&
        c->authenticated_ && c->channel_ == nullptr) {
        c->channel_ = ssh_message_channel_request_open_reply_accept(message);
        if (c->channel_ == nullptr) return 1;
        ssh_set_channel_callbacks(c->channel_, &c->channel_callbacks_);
        return 0;
    }
    return 1;
}

int Connection::on_data(ssh_session, ssh_channel, void* data, uint32_t len, int is_stderr,
                        void* self) {
    auto* c = static_cast<Connection*>(self);
    if (!is_stderr && c->terminal_) c->terminal_->feed({static_cast<const char*>(data), len});
    return static_cast<int>(len);
}

void Connection::on_eof(ssh_session, ssh_channel, void* self) {
    // Like a real shell, the device still answers what was typed before the end of input.
    auto* c = static_cast<Connection*>(self);
    c->input_ended_ = true;
    c->end_session_count();
}

void Connection::on_close(ssh_session, ssh_channel, void* self) {
    static_cast<Connection*>(self)->drop(false);
}

int Connection::on_pty(ssh_session, ssh_channel, const char*, int, int, int, int, void*) {
    return 0;
}

int Connection::on_shell(ssh_session, ssh_channel, void* self) {
    auto* c = static_cast<Connection*>(self);
    if (c->terminal_) return 1;
    c->terminal_ =
        std::make_unique<Terminal>(*c, [c](const std::string& line) { c->cli_->command(line); });
    c->cli_ = Cli::make(*c->terminal_, c->device_, c->aps_);
    c->cli_->start();
    return 0;
}

void Connection::write(std::string_view bytes) { pending_.append(bytes); }

void Connection::drop(bool abrupt) {
    end_session_count();
    if (closing_) return;
    closing_ = true;
    abrupt_ = abrupt;
    closing_since_ = Clock::now();
}

void Connection::record(std::string line) { device_.record(std::move(line)); }

std::optional<Connection::Clock::time_point> Connection::next_due() const {
    if (!terminal_ || closing_) return std::nullopt;
    return terminal_->next_due();
}

void Connection::flush() {
    while (!pending_.empty() && channel_ != nullptr && ssh_channel_is_open(channel_)) {
        uint32_t window = ssh_channel_window_size(channel_);
        if (window == 0) return;
        size_t n = std::min<size_t>({pending_.size(), window, 65536});
        int rc = ssh_channel_write(channel_, pending_.data(), static_cast<uint32_t>(n));
        if (rc == SSH_ERROR) {
            finished_ = true;
            return;
        }
        if (rc <= 0) return;
        pending_.erase(0, static_cast<size_t>(rc));
    }
}

void Connection::service(Clock::time_point now) {
    if (finished_) return;
    if (ssh_get_status(session_) & (SSH_CLOSED | SSH_CLOSED_ERROR)) {
        finished_ = true;
        return;
    }
    if (!authenticated_ && now - created_ > kLoginGrace) {
        finished_ = true;
        return;
    }
    if (terminal_ && !closing_) terminal_->run(now);
    if (input_ended_ && (!terminal_ || terminal_->idle())) drop(false);
    if (closing_ && abrupt_) {
        ::shutdown(ssh_get_fd(session_), SHUT_RDWR);
        finished_ = true;
        return;
    }
    flush();
    if (closing_ && (pending_.empty() || now - closing_since_ > kDrainLimit)) {
        if (channel_ != nullptr && ssh_channel_is_open(channel_)) {
            ssh_channel_send_eof(channel_);
            ssh_channel_close(channel_);
        }
        ssh_disconnect(session_);
        finished_ = true;
    }
}

}  // namespace fleetsim
