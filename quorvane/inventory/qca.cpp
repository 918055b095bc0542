#include "quorvane/inventory/qca.hpp"

#include <string>

namespace quorvane {

bool is_qca_model(std::string_view model) {
    // The model numbers are digits, so only ASCII letters need folding.
    std::string upper(model);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (std::string_view prefix : QCA_PREFIXES) {
        if (upper.find(prefix) != std::string::npos) return true;
    }
    return false;
}

}  // namespace quorvane
