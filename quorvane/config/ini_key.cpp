#include "quorvane/config/ini_key.hpp"

namespace quorvane {

std::string fold_key(const std::string& key) {
    std::string folded = key;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

}  // namespace quorvane
