#include <exception>
#include <iostream>
#include <string>

#include "quorvane/config/secrets.hpp"
#include "quorvane/engine/engine.hpp"

int main() {
    std::cout << quorvane::encrypt_value("secret") << '\n';
    try {
        quorvane::Quorvane engine([](const std::string&) {});
        std::cout << "engine: " << engine.run_id << '\n';
    } catch (const std::exception& e) {
        std::cout << "engine: " << e.what() << '\n';
    }
    return 0;
}
