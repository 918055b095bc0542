#include "apps/quorvane-cli/text_table.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "quorvane/paths/utf8.hpp"

namespace quorvane::cli {

namespace {

// A column is never narrowed below this, so that a cut cell still says something.
constexpr std::size_t kNarrowest = 8;
constexpr std::size_t kGap = 2;

}  // namespace

std::vector<std::size_t> column_widths(const std::vector<std::vector<std::string>>& lines,
                                       std::size_t max_width) {
    std::vector<std::size_t> widths;
    for (const auto& line : lines) {
        if (line.size() > widths.size()) widths.resize(line.size(), 0);
        for (std::size_t c = 0; c < line.size(); ++c) {
            widths[c] = std::max(widths[c], utf8_length(line[c]));
        }
    }
    if (max_width == 0 || widths.empty()) return widths;
    const auto total = [&widths] {
        std::size_t sum = kGap * (widths.size() - 1);
        for (std::size_t w : widths) sum += w;
        return sum;
    };
    while (total() > max_width) {
        auto widest = std::max_element(widths.begin(), widths.end());
        if (*widest <= kNarrowest) break;
        --*widest;
    }
    return widths;
}

std::string table_line(const std::vector<std::string>& cells,
                       const std::vector<std::size_t>& widths) {
    std::string text;
    for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
        std::string cell = drop_invalid_utf8(cells[c]);
        std::size_t length = utf8_length(cell);
        if (length > widths[c]) {
            cell = utf8_prefix(cell, widths[c] - 1) + "…";
            length = widths[c];
        }
        text += cell;
        if (c + 1 < cells.size()) text += std::string(widths[c] - length + kGap, ' ');
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

void print_text_table(const std::vector<std::string>& headings,
                      const std::vector<std::vector<std::string>>& rows, std::size_t max_width) {
    std::vector<std::vector<std::string>> lines{headings};
    for (const auto& row : rows) {
        std::vector<std::string> clean;
        for (const auto& cell : row) clean.push_back(drop_invalid_utf8(cell));
        lines.push_back(std::move(clean));
    }
    const std::vector<std::size_t> widths = column_widths(lines, max_width);
    for (const auto& line : lines) std::cout << table_line(line, widths) << "\n";
}

std::size_t terminal_width() {
    if (::isatty(STDOUT_FILENO) != 1) return 0;
    if (const char* columns = std::getenv("COLUMNS")) {
        const long value = std::strtol(columns, nullptr, 10);
        if (value > 0) return static_cast<std::size_t>(value);
    }
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace quorvane::cli
