// What controllers and APs share at their command line: the prompt, abbreviated
// keywords, the "| include" line filter, --More-- paging, the "% Invalid input" answer and
// the command faults of the fleet description.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device_record.hpp"
#include "terminal.hpp"

namespace fleetsim {

class Cli {
  public:
    Cli(Terminal& terminal, DeviceRecord& device);
    virtual ~Cli() = default;
    Cli(const Cli&) = delete;
    Cli& operator=(const Cli&) = delete;

    void start();
    void command(const std::string& line);

    // aps: the fleet's access points, which a controller reports in its tables.
    static std::unique_ptr<Cli> make(Terminal& terminal, DeviceRecord& device,
                                     const std::vector<const Device*>& aps);

  protected:
    using Words = std::vector<std::string>;

    virtual std::string prompt() const = 0;
    // Handles a known command (queueing its answer and the prompt); false when unknown.
    virtual bool dispatch(const Words& words) = 0;

    // Output of a finished command, through the line filter and the pager, then the prompt.
    void answer(const std::string& text);
    void show_prompt();
    void invalid(const std::string& line);
    // Asks a question answered by a line; yes is an empty line, "y" or "yes".
    void confirm(const std::string& question, std::function<void()> on_yes);
    bool set_terminal_length(const Words& words, size_t from);

    // Each word must be a non-empty prefix of the keyword at its place; the words after
    // the pattern are left in rest.
    static bool match(const Words& words, const std::vector<const char*>& pattern,
                      Words* rest = nullptr);

    Terminal& term_;
    DeviceRecord& dev_;
    const Device& cfg_;

  private:
    void page(std::shared_ptr<std::vector<std::string>> lines, size_t from, size_t count);
    bool apply_fault(const std::string& trimmed);

    int page_length_ = 24;
    std::string filter_kind_;
    std::string filter_text_;
};

std::string pad(const std::string& text, size_t width);
std::string trim(const std::string& text);
std::vector<std::string> split_words(const std::string& text);
std::string uptime_text(long long minutes);

}  // namespace fleetsim
