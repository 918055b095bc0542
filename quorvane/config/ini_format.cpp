#include "quorvane/config/ini_format.hpp"

#include <map>
#include <utility>

#include "quorvane/config/ini_key.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {

namespace {

const std::string kDefaultSection = "DEFAULT";

std::string_view trim(std::string_view text) { return trim_unicode_space(text); }

// Counted in characters, so that a line indented by one no-break space is not deeper
// than one indented by two blanks.
std::size_t indent_of(std::string_view line) { return leading_space_count(line); }

bool is_entry(std::string_view content) {
    return !content.empty() && content.front() != '#' && content.front() != ';';
}

bool is_header(std::string_view content) {
    return content.size() > 2 && content.front() == '[' && content.back() == ']';
}

std::string describe_line(std::string_view line) {
    constexpr std::size_t kShown = 80;
    std::string shown(line.substr(0, kShown));
    if (line.size() > kShown) shown += "...";
    return "'" + shown + "'";
}

class Parser {
  public:
    explicit Parser(const std::string& file) : file_(file) {}

    IniDocument parse(std::string_view text) {
        const std::vector<std::string_view> lines = split_lines(text);
        require_header_first(lines);
        std::size_t number = 0;
        for (std::string_view line : lines) {
            ++number;
            parse_line(line, number);
        }
        return std::move(document_);
    }

  private:
    [[noreturn]] void fail(std::size_t line, const std::string& problem) const {
        throw IniParseError(file_, line, problem);
    }

    // The form of the file is settled before any of its text is judged: a file of the flat
    // legacy form is read again leniently, undecodable bytes and all, even in comments
    // above its first entry.
    void require_header_first(const std::vector<std::string_view>& lines) const {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string_view content = trim(lines[i]);
            if (!is_entry(content)) continue;
            if (is_header(content)) return;
            throw MissingSectionHeaderError(
                file_, i + 1,
                "file contains no section header; first entry " + describe_line(lines[i]));
        }
    }

    void parse_line(std::string_view line, std::size_t number) {
        const std::string_view content = trim(line);
        const bool entry = is_entry(content);
        const bool header = is_header(content);
        if (const std::size_t bad = first_invalid_utf8(line); bad != std::string_view::npos) {
            fail(number,
                 "text is not valid UTF-8 (at byte " + std::to_string(bad + 1) + " of the line)");
        }
        if (content.empty()) {
            if (!key_.empty()) ++pending_empty_lines_;
            return;
        }
        if (!entry) return;

        const std::size_t indent = indent_of(line);
        if (!key_.empty() && indent > key_indent_) {
            continue_value(content);
            return;
        }
        key_indent_ = indent;
        pending_empty_lines_ = 0;
        if (header) {
            open_section(std::string(content.substr(1, content.size() - 2)), number);
        } else {
            read_key_value(content, line, number);
        }
    }

    void open_section(std::string name, std::size_t number) {
        auto [seen, added] = section_lines_.emplace(name, number);
        if (!added) {
            fail(number, "duplicate section [" + name + "] (first at line " +
                             std::to_string(seen->second) + ")");
        }
        document_.add_section(name);
        section_ = std::move(name);
        key_.clear();
    }

    void read_key_value(std::string_view content, std::string_view line, std::size_t number) {
        const std::size_t separator = content.find_first_of("=:");
        if (separator == std::string_view::npos) {
            fail(number, "expected a [section] header, 'key = value' or a comment, found " +
                             describe_line(line));
        }
        const std::string key = fold_key(std::string(trim(content.substr(0, separator))));
        if (key.empty())
            fail(number, "key missing before '" + std::string(1, content[separator]) + "'");
        auto [seen, added] = key_lines_.emplace(std::make_pair(section_, key), number);
        if (!added) {
            fail(number, "duplicate key '" + key + "' in section [" + section_ +
                             "] (first at line " + std::to_string(seen->second) + ")");
        }
        key_ = key;
        value_of_key_ = std::string(trim(content.substr(separator + 1)));
        document_.set(section_, key_, value_of_key_);
    }

    void continue_value(std::string_view content) {
        value_of_key_.append(pending_empty_lines_ + 1, '\n');
        value_of_key_.append(content);
        pending_empty_lines_ = 0;
        document_.set(section_, key_, value_of_key_);
    }

    const std::string& file_;
    IniDocument document_;
    std::map<std::string, std::size_t> section_lines_;
    std::map<std::pair<std::string, std::string>, std::size_t> key_lines_;
    std::string section_;  // empty until the first header
    std::string key_;      // the key that continuation lines extend; empty after a header
    std::string value_of_key_;
    std::size_t key_indent_ = 0;
    std::size_t pending_empty_lines_ = 0;
};

void write_section(std::string& out, const std::string& name, const IniDocument::Entries& entries) {
    out += '[';
    out += name;
    out += "]\n";
    for (const auto& [key, value] : entries) {
        out += key;
        out += " = ";
        // Every line break of the value, CR LF and lone CR included, becomes "\n\t": a raw
        // CR would end the line on reading and leave the file unreadable.
        const std::vector<std::string_view> lines = split_lines(value);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i > 0) out += "\n\t";
            out += lines[i];
        }
        if (!value.empty() && (value.back() == '\n' || value.back() == '\r')) out += "\n\t";
        out += '\n';
    }
    out += '\n';
}

}  // namespace

IniParseError::IniParseError(std::string file, std::size_t line, std::string problem)
    : std::runtime_error(file + ", line " + std::to_string(line) + ": " + problem),
      file_(std::move(file)),
      line_(line),
      problem_(std::move(problem)) {}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string_view without_byte_order_mark(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    return text;
}

IniDocument parse_ini(std::string_view text, const std::string& file) {
    return Parser(file).parse(without_byte_order_mark(text));
}

std::string write_ini(const IniDocument& document) {
    std::string out;
    if (!document.defaults().empty()) write_section(out, kDefaultSection, document.defaults());
    for (const IniDocument::Section& section : document.all_sections()) {
        write_section(out, section.name, section.entries);
    }
    return out;
}

}  // namespace quorvane
