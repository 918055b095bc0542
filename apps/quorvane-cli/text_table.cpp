#include "apps/quorvane-cli/text_table.hpp"

#include <algorithm>
#include <iostream>

#include "quorvane/paths/utf8.hpp"

namespace quorvane::cli {

void print_text_table(const std::vector<std::string>& headings,
                      const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::vector<std::string>> lines{headings};
    for (const auto& row : rows) {
        std::vector<std::string> clean;
        for (const auto& cell : row) clean.push_back(drop_invalid_utf8(cell));
        lines.push_back(std::move(clean));
    }
    std::vector<std::size_t> widths(headings.size(), 0);
    for (const auto& line : lines) {
        for (std::size_t c = 0; c < line.size() && c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], utf8_length(line[c]));
        }
    }
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t c = 0; c < line.size() && c < widths.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) text += std::string(widths[c] - utf8_length(line[c]) + 2, ' ');
        }
        text.erase(text.find_last_not_of(' ') + 1);
        std::cout << text << "\n";
    }
}

}  // namespace quorvane::cli
