// Refuses, with a reason, plant files that cannot be text before the plug-in sees them.
#pragma once

#include <string>

namespace syv::app {

// Empty when the file exists, is a regular readable file, is not empty and
// holds no NUL byte in its first 64 KiB; otherwise the problem.
std::string checkPlantFile(const std::string& path);

}  // namespace syv::app
