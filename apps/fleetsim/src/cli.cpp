#include "cli.hpp"

#include <sstream>

#include "ap_cli.hpp"
#include "controller_cli.hpp"

namespace fleetsim {

std::string pad(const std::string& text, size_t width) {
    if (text.size() >= width) return text + " ";
    return text + std::string(width - text.size(), ' ');
}

std::string trim(const std::string& text) {
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = text.find_last_not_of(" \t");
    return text.substr(b, e - b + 1);
}

std::vector<std::string> split_words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string uptime_text(long long minutes) {
    if (minutes < 0) minutes = 0;
    long long weeks = minutes / (7 * 24 * 60);
    long long days = minutes / (24 * 60) % 7;
    long long hours = minutes / 60 % 24;
    long long mins = minutes % 60;
    auto unit = [](long long n, const char* one) {
        return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
    };
    std::string out;
    if (weeks) out += unit(weeks, "week") + ", ";
    if (weeks || days) out += unit(days, "day") + ", ";
    out += unit(hours, "hour") + ", " + unit(mins, "minute");
    return out;
}

std::unique_ptr<Cli> Cli::make(Terminal& terminal, DeviceRecord& device,
                               const std::vector<const Device*>& aps) {
    if (device.config.kind == DeviceKind::controller)
        return std::make_unique<ControllerCli>(terminal, device, aps);
    return std::make_unique<ApCli>(terminal, device);
}

Cli::Cli(Terminal& terminal, DeviceRecord& device)
    : term_(terminal), dev_(device), cfg_(device.config) {}

void Cli::start() {
    if (!cfg_.banner.empty()) term_.say("\n" + cfg_.banner + "\n");
    term_.say("\n");
    show_prompt();
}

void Cli::show_prompt() { term_.say(prompt()); }

bool Cli::match(const Words& words, const std::vector<const char*>& pattern, Words* rest) {
    if (words.size() < pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const std::string& w = words[i];
        std::string_view keyword = pattern[i];
        if (w.empty() || w.size() > keyword.size()) return false;
        for (size_t k = 0; k < w.size(); ++k)
            if (std::tolower(static_cast<unsigned char>(w[k])) != keyword[k]) return false;
    }
    if (rest) rest->assign(words.begin() + pattern.size(), words.end());
    return true;
}

bool Cli::set_terminal_length(const Words& words, size_t from) {
    if (words.size() != from + 1) return false;
    const std::string& n = words[from];
    if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos)
        return false;
    page_length_ = std::stoi(n);
    answer("");
    return true;
}

bool Cli::apply_fault(const std::string& trimmed) {
    const Faults& f = cfg_.faults;
    auto hit = [&](const std::string& fault) {
        return !fault.empty() && trimmed.compare(0, fault.size(), fault) == 0;
    };
    if (hit(f.drop_on)) {
        term_.drop(true);
        return true;
    }
    if (hit(f.hang_on)) {
        term_.hang();
        return true;
    }
    if (hit(f.huge_on)) {
        term_.say_raw(std::string(1 << 20, 'x'), f.delay_ms);
        term_.say("\n");
        show_prompt();
        return true;
    }
    if (hit(f.garbage_on)) {
        static const char garbage[] =
            "\x00\xff\xfe\x1b[31m\x80\x81\xc3\x28\x07 \xe2\x82 garbage \x1b[0m\r\n";
        term_.say_raw(std::string(garbage, sizeof garbage - 1), f.delay_ms);
    }
    return false;
}

void Cli::command(const std::string& line) {
    std::string trimmed = trim(line);
    if (apply_fault(trimmed)) return;
    if (cfg_.faults.delay_ms > 0) term_.say_raw({}, cfg_.faults.delay_ms);
    filter_kind_.clear();
    filter_text_.clear();
    std::string body = trimmed;
    size_t bar = trimmed.find('|');
    if (bar != std::string::npos) {
        body = trim(trimmed.substr(0, bar));
        std::string filter = trim(trimmed.substr(bar + 1));
        size_t space = filter.find(' ');
        Words kind{filter.substr(0, space)};
        std::string text = space == std::string::npos ? "" : trim(filter.substr(space + 1));
        if (match(kind, {"include"})) {
            filter_kind_ = "include";
        } else if (match(kind, {"exclude"})) {
            filter_kind_ = "exclude";
        } else if (match(kind, {"begin"})) {
            filter_kind_ = "begin";
        }
        if (filter_kind_.empty() || text.empty()) {
            invalid(line);
            return;
        }
        filter_text_ = text;
    }
    Words words = split_words(body);
    if (words.empty()) {
        if (bar != std::string::npos) {
            invalid(line);
        } else {
            show_prompt();
        }
        return;
    }
    if (!dispatch(words)) invalid(line);
}

void Cli::invalid(const std::string& line) {
    // The caret stands under the first word the device does not know; for a known verb
    // with unknown arguments that is the second word.
    size_t col = line.find_first_not_of(' ');
    if (col == std::string::npos) col = 0;
    Words words = split_words(line);
    static const std::vector<const char*> verbs = {"show",     "clear", "request", "wireless",
                                                   "terminal", "copy",  "delete",  "ip"};
    if (words.size() > 1) {
        for (const char* v : verbs) {
            if (match(words, {v})) {
                col = line.find(words[1], col + words[0].size());
                break;
            }
        }
    }
    term_.say(std::string(prompt().size() + col, ' ') +
              "^\n% Invalid input detected at '^' marker.\n\n");
    show_prompt();
}

void Cli::confirm(const std::string& question, std::function<void()> on_yes) {
    term_.say(question);
    term_.ask_line(true, [this, on_yes = std::move(on_yes)](const std::string& reply) {
        std::string r = trim(reply);
        if (r.empty() || r == "y" || r == "Y" || r == "yes" || r == "YES") {
            on_yes();
        } else {
            show_prompt();
        }
    });
}

void Cli::answer(const std::string& text) {
    auto lines = std::make_shared<std::vector<std::string>>();
    std::istringstream in(text);
    bool begun = filter_kind_ != "begin";
    for (std::string l; std::getline(in, l);) {
        if (filter_kind_ == "include" && l.find(filter_text_) == std::string::npos) continue;
        if (filter_kind_ == "exclude" && l.find(filter_text_) != std::string::npos) continue;
        if (!begun && l.find(filter_text_) == std::string::npos) continue;
        begun = true;
        lines->push_back(std::move(l));
    }
    if (page_length_ == 0 || lines->size() < static_cast<size_t>(page_length_)) {
        std::string out;
        for (const std::string& l : *lines) out += l + "\n";
        term_.say(out);
        show_prompt();
        return;
    }
    page(lines, 0, page_length_ - 1);
}

void Cli::page(std::shared_ptr<std::vector<std::string>> lines, size_t from, size_t count) {
    std::string out;
    size_t end = std::min(lines->size(), from + count);
    for (size_t i = from; i < end; ++i) out += (*lines)[i] + "\n";
    term_.say(out);
    if (end >= lines->size()) {
        show_prompt();
        return;
    }
    term_.say(" --More-- ");
    term_.ask_key([this, lines, end](char key) {
        term_.say_raw("\b\b\b\b\b\b\b\b\b\b          \b\b\b\b\b\b\b\b\b\b");
        if (key == 'q' || key == 'Q') {
            term_.say("\n");
            show_prompt();
        } else if (key == '\r') {
            page(lines, end, 1);
        } else {
            page(lines, end, page_length_ - 1);
        }
    });
}

}  // namespace fleetsim
