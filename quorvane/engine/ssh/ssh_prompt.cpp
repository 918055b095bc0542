#include "quorvane/engine/ssh/ssh_prompt.hpp"

#include <cctype>
#include <cstring>

namespace quorvane {
namespace {

bool is_line_break(char c) { return c == '\n' || c == '\r'; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// Position just after the last '\n' or '\r' in [from, to), or npos.
std::size_t after_last_break(const std::string& s, std::size_t from, std::size_t to) {
    for (std::size_t i = to; i > from; --i) {
        if (is_line_break(s[i - 1])) return i;
    }
    return std::string::npos;
}

}  // namespace

PromptTracker::PromptTracker(std::string base_prompt) : base_prompt_(std::move(base_prompt)) {}

void PromptTracker::append(std::string_view bytes) {
    if (bytes.empty()) return;
    const std::size_t old_size = buffer_.size();
    buffer_.append(bytes);
    const std::size_t brk = after_last_break(buffer_, old_size, buffer_.size());
    if (brk != std::string::npos) last_line_start_ = brk;
    at_prompt_ = last_line_is_prompt();
}

void PromptTracker::clear() {
    buffer_.clear();
    last_line_start_ = 0;
    at_prompt_ = false;
}

std::string_view PromptTracker::last_line() const {
    return std::string_view(buffer_).substr(last_line_start_);
}

bool PromptTracker::last_line_is_prompt() const {
    const std::string_view line = last_line();
    if (line.empty() || (line.back() != '#' && line.back() != '>')) return false;
    if (base_prompt_.empty()) {
        return line.size() >= 2 && line.size() <= kMaxDiscoveredPromptLength &&
               !is_blank(line.front());
    }
    return line.size() > base_prompt_.size() &&
           line.size() <= base_prompt_.size() + 1 + kMaxModeLength &&
           line.compare(0, base_prompt_.size(), base_prompt_) == 0;
}

std::string as_input_line(std::string_view cmd) {
    while (!cmd.empty() && is_blank(cmd.back())) cmd.remove_suffix(1);
    std::string line(cmd);
    line += '\n';
    return line;
}

std::string command_output(std::string_view received, std::string_view cmd,
                           std::size_t prompt_start) {
    std::string_view out = received;
    if (prompt_start != std::string_view::npos && prompt_start <= out.size()) {
        out = out.substr(0, prompt_start);
    }
    const std::string_view wanted = trim(cmd);
    const std::size_t eol = out.find('\n');
    const std::string_view first = trim(out.substr(0, eol));
    if (first.size() >= wanted.size() &&
        first.compare(first.size() - wanted.size(), wanted.size(), wanted) == 0) {
        out = eol == std::string_view::npos ? std::string_view() : out.substr(eol + 1);
    }
    if (prompt_start != std::string_view::npos) {
        if (!out.empty() && out.back() == '\n') out.remove_suffix(1);
        if (!out.empty() && out.back() == '\r') out.remove_suffix(1);
    }
    return std::string(out);
}

bool asks_for_password(std::string_view last_line) {
    static constexpr std::string_view kWord = "password:";
    const std::string_view line = trim(last_line);
    if (line.size() < kWord.size()) return false;
    const std::string_view tail = line.substr(line.size() - kWord.size());
    for (std::size_t i = 0; i < kWord.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != kWord[i]) return false;
    }
    return true;
}

}  // namespace quorvane
