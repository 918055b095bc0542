#pragma once
// Device output and log files may hold any bytes, so patterns over them match byte by
// byte: Latin-1 takes every byte as one character, and "." stops only at a line feed.

#include <re2/re2.h>

namespace quorvane {

inline RE2::Options byte_regex_options() {
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1);
    return options;
}

}  // namespace quorvane
