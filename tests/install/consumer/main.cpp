#include <iostream>

#include "quorvane/config/secrets.hpp"

int main() {
    std::cout << quorvane::encrypt_value("secret") << '\n';
    return 0;
}
