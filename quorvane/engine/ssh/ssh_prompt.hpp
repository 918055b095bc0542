#pragma once
// Byte-stream helpers of the shell channel: incremental prompt detection and the shaping
// of commands and outputs. Pure functions of bytes, so they are tested without a device.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// Accumulates what a device sends after one command and tells, at O(new bytes) cost per
// append, whether the buffer now ends with a prompt. Only the start of the last line is
// tracked; a prompt is a last line that begins with the base prompt and ends with '#' or
// '>' (a mode such as "(config)" may sit in between). With an empty base prompt, any
// short last line ending with '#' or '>' counts, which is how login finds the prompt.
class PromptTracker {
  public:
    // Longest text allowed between the base prompt and the final '#' or '>'.
    static constexpr std::size_t kMaxModeLength = 32;
    // Longest line accepted as a prompt when the base prompt is not known yet.
    static constexpr std::size_t kMaxDiscoveredPromptLength = 80;

    explicit PromptTracker(std::string base_prompt = {});

    void append(std::string_view bytes);
    void clear();

    bool at_prompt() const { return at_prompt_; }
    const std::string& text() const { return buffer_; }
    std::size_t size() const { return buffer_.size(); }
    // Where the last line (the prompt, when at_prompt()) begins.
    std::size_t last_line_start() const { return last_line_start_; }
    std::string_view last_line() const;

  private:
    bool last_line_is_prompt() const;

    std::string base_prompt_;
    std::string buffer_;
    std::size_t last_line_start_ = 0;
    bool at_prompt_ = false;
};

// cmd as one input line: trailing blanks and line breaks replaced by a single "\n".
std::string as_input_line(std::string_view cmd);

// The output of cmd from what the device sent: without the echoed command line (when the
// first line ends with the command) and, when prompt_start is given, without the prompt
// from there on and the line break just before it. Other line breaks stay as sent.
std::string command_output(std::string_view received, std::string_view cmd,
                           std::size_t prompt_start = std::string_view::npos);

// True when the last line of text asks for a password ("Password:" in any letter case).
bool asks_for_password(std::string_view last_line);

}  // namespace quorvane
