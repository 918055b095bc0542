// The device side of a pseudo-terminal: echoes what is typed, turns the input into lines
// (or single keys at a --More-- prompt) and plays timed output. Answers are queued as
// steps, each due some milliseconds after the previous one, so that slow devices and
// long transfers are timers in the event loop rather than sleeps.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fleetsim {

class Terminal {
  public:
    using Clock = std::chrono::steady_clock;

    struct Sink {
        virtual ~Sink() = default;
        virtual void write(std::string_view bytes) = 0;
        // The device ends the connection: abrupt cuts TCP at once, otherwise pending
        // output is delivered first.
        virtual void drop(bool abrupt) = 0;
        virtual void record(std::string line) = 0;  // transcript of received input
    };
    using LineHandler = std::function<void(const std::string&)>;
    using KeyHandler = std::function<void(char)>;

    Terminal(Sink& sink, LineHandler on_command);

    // Bytes typed by the client. Input is handled as soon as the queued output is out.
    void feed(std::string_view bytes);
    // Plays every step that is due and handles buffered input; call after feed() too.
    void run(Clock::time_point now);
    // When run() has something to do next; empty when only input can wake it.
    std::optional<Clock::time_point> next_due() const;

    // Queue output, delay_ms after the previous step. "\n" becomes CR LF.
    void say(std::string_view text, int delay_ms = 0);
    void say_raw(std::string bytes, int delay_ms = 0);
    void then(std::function<void()> action, int delay_ms = 0);
    // The next input line goes to the handler instead of the command interpreter.
    void ask_line(bool echo, LineHandler handler);
    void ask_key(KeyHandler handler);
    // No output and no prompt ever again; input is still recorded.
    void hang();
    void drop(bool abrupt);

    // Nothing queued and no typed input left to handle.
    bool idle() const { return steps_.empty() && input_.empty(); }

  private:
    struct Step {
        int delay_ms;
        std::string bytes;
        std::function<void()> action;
    };
    enum class Mode { command, line, secret, key, hung, gone };

    void push(Step step);
    void handle_input();
    bool take_line(bool echo, std::string& line);
    void finish_line(std::string line);

    Sink& sink_;
    LineHandler on_command_;
    LineHandler on_line_;
    KeyHandler on_key_;
    Mode mode_ = Mode::command;
    std::string input_;    // typed but not yet handled
    std::string current_;  // the line being typed
    bool after_cr_ = false;
    std::deque<Step> steps_;
    Clock::time_point head_since_{};
    Clock::time_point now_{};
};

// "\n" to "\r\n", leaving existing "\r\n" alone.
std::string to_crlf(std::string_view text);

}  // namespace fleetsim
