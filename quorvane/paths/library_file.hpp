#pragma once
// Where the engine library and the running executable live on disk.

#include <string>

namespace quorvane {

// Absolute path of libquorvane itself, symbolic links resolved.
std::string library_file_path();

// Absolute path of the running executable, symbolic links resolved; empty when unknown.
std::string executable_file_path();

}  // namespace quorvane
