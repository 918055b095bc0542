#include "apps/quorvane-cli/interrupt.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <stdexcept>

namespace quorvane::cli {

namespace {

// Signal context may only touch these: an atomic count and a pipe to the watcher.
std::atomic<int> signals_seen{0};
int wake_pipe[2] = {-1, -1};

constexpr char kSignalByte = 's';
constexpr char kQuitByte = 'q';

extern "C" void on_interrupt(int) {
    if (signals_seen.fetch_add(1) >= 1) _exit(kExitInterrupted);
    const int saved = errno;
    [[maybe_unused]] ssize_t n = write(wake_pipe[1], &kSignalByte, 1);
    errno = saved;
}

void watch(const std::function<void()>& stop) {
    for (;;) {
        char byte = 0;
        const ssize_t n = read(wake_pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || byte == kQuitByte) return;
        std::fputs("\nquorvane: stopping (press Ctrl-C again to quit at once)\n", stderr);
        stop();
    }
}

}  // namespace

InterruptHandler::InterruptHandler(std::function<void()> stop) : stop_(std::move(stop)) {
    if (pipe2(wake_pipe, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe");
    signals_seen = 0;
    watcher_ = std::thread([this] { watch(stop_); });
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

InterruptHandler::~InterruptHandler() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    [[maybe_unused]] ssize_t n = write(wake_pipe[1], &kQuitByte, 1);
    watcher_.join();
    close(wake_pipe[0]);
    close(wake_pipe[1]);
    wake_pipe[0] = wake_pipe[1] = -1;
}

bool InterruptHandler::interrupted() const { return signals_seen.load() > 0; }

}  // namespace quorvane::cli
