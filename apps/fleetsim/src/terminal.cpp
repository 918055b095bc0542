#include "terminal.hpp"

namespace fleetsim {

std::string to_crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    char prev = 0;
    for (char c : text) {
        if (c == '\n' && prev != '\r') out += '\r';
        out += c;
        prev = c;
    }
    return out;
}

Terminal::Terminal(Sink& sink, LineHandler on_command)
    : sink_(sink), on_command_(std::move(on_command)), now_(Clock::now()) {}

void Terminal::feed(std::string_view bytes) {
    if (mode_ == Mode::gone) return;
    input_.append(bytes);
}

void Terminal::push(Step step) {
    if (mode_ == Mode::gone || mode_ == Mode::hung) return;
    if (steps_.empty()) head_since_ = now_;
    steps_.push_back(std::move(step));
}

void Terminal::say(std::string_view text, int delay_ms) { push({delay_ms, to_crlf(text), {}}); }

void Terminal::say_raw(std::string bytes, int delay_ms) { push({delay_ms, std::move(bytes), {}}); }

void Terminal::then(std::function<void()> action, int delay_ms) {
    push({delay_ms, {}, std::move(action)});
}

void Terminal::ask_line(bool echo, LineHandler handler) {
    then([this, echo, handler = std::move(handler)] {
        on_line_ = handler;
        mode_ = echo ? Mode::line : Mode::secret;
    });
}

void Terminal::ask_key(KeyHandler handler) {
    then([this, handler = std::move(handler)] {
        on_key_ = handler;
        mode_ = Mode::key;
    });
}

void Terminal::hang() {
    steps_.clear();
    mode_ = Mode::hung;
}

void Terminal::drop(bool abrupt) {
    if (mode_ == Mode::gone) return;
    if (mode_ == Mode::hung) {
        mode_ = Mode::gone;
        sink_.drop(abrupt);
        return;
    }
    then([this, abrupt] {
        steps_.clear();
        mode_ = Mode::gone;
        sink_.drop(abrupt);
    });
}

std::optional<Terminal::Clock::time_point> Terminal::next_due() const {
    if (steps_.empty()) return std::nullopt;
    return head_since_ + std::chrono::milliseconds(steps_.front().delay_ms);
}

void Terminal::run(Clock::time_point now) {
    now_ = now;
    for (;;) {
        while (!steps_.empty()) {
            auto due = head_since_ + std::chrono::milliseconds(steps_.front().delay_ms);
            if (due > now) return;
            Step step = std::move(steps_.front());
            steps_.pop_front();
            // Later steps count from the moment this one was due, so that a run of
            // delayed steps keeps its rhythm even when the loop wakes up late.
            head_since_ = due;
            if (!step.bytes.empty()) sink_.write(step.bytes);
            if (step.action) step.action();
            if (steps_.empty()) head_since_ = now;
        }
        if (mode_ == Mode::gone || input_.empty()) return;
        size_t before = input_.size();
        handle_input();
        if (input_.size() == before && steps_.empty()) return;
    }
}

bool Terminal::take_line(bool echo, std::string& line) {
    size_t i = 0;
    std::string echoed;
    bool done = false;
    for (; i < input_.size() && !done; ++i) {
        char c = input_[i];
        if (c == '\n' && after_cr_) {
            after_cr_ = false;
            continue;
        }
        after_cr_ = c == '\r';
        if (c == '\r' || c == '\n') {
            if (mode_ != Mode::hung) echoed += "\r\n";
            done = true;
        } else if (c == 0x7f || c == 0x08) {
            if (!current_.empty()) {
                current_.pop_back();
                if (echo) echoed += "\b \b";
            }
        } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
            current_ += c;
            if (echo) echoed += c;
        }
    }
    input_.erase(0, i);
    if (!echoed.empty()) sink_.write(echoed);
    if (!done) return false;
    line.swap(current_);
    current_.clear();
    return true;
}

void Terminal::handle_input() {
    if (mode_ == Mode::key) {
        char c = input_[0];
        size_t used = 1;
        if (c == '\n' && after_cr_) {
            after_cr_ = false;
            input_.erase(0, 1);
            return;
        }
        after_cr_ = c == '\r';
        if (c == '\r' && input_.size() > 1 && input_[1] == '\n') {
            used = 2;
            after_cr_ = false;
        }
        input_.erase(0, used);
        mode_ = Mode::command;
        sink_.record(c == '\r' || c == '\n' ? std::string() : std::string(1, c));
        KeyHandler handler = std::move(on_key_);
        on_key_ = nullptr;
        handler(c == '\n' ? '\r' : c);
        return;
    }
    std::string line;
    bool echo = mode_ == Mode::command || mode_ == Mode::line;
    if (!take_line(echo, line)) return;
    finish_line(std::move(line));
}

void Terminal::finish_line(std::string line) {
    sink_.record(line);
    if (mode_ == Mode::hung) return;
    if (mode_ == Mode::line || mode_ == Mode::secret) {
        mode_ = Mode::command;
        LineHandler handler = std::move(on_line_);
        on_line_ = nullptr;
        handler(line);
        return;
    }
    on_command_(line);
}

}  // namespace fleetsim
