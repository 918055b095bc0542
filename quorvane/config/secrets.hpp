#pragma once
// Scrambled form of stored secrets: "ENC::" followed by base64 of the XOR-masked UTF-8 bytes.
// This keeps passwords from being read at a glance in config.ini and nothing more.

#include <string>

namespace quorvane {

inline constexpr const char* ENC_PREFIX = "ENC::";
inline constexpr const char* _XOR_KEY = "StoreMaskWord";

std::string _xor_bytes(const std::string& data, const std::string& key);
std::string encrypt_value(const std::string& val);
std::string decrypt_value(const std::string& val);

}  // namespace quorvane
