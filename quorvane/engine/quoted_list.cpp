#include "quorvane/engine/quoted_list.hpp"

namespace quorvane {

std::string quoted_list(const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) text += ", ";
        text += "'" + items[i] + "'";
    }
    return text + "]";
}

}  // namespace quorvane
