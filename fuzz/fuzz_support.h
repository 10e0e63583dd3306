// What the fuzz targets share: a failed check is a finding, and whole-file
// targets hand the bytes over as a plant file of their own.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline void check(bool condition) {
  if (!condition) std::abort();
}

// Writes the input to /tmp/<name>_<pid>.syv; empty when it cannot.
inline std::string writeInput(const char* name, const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/" + std::string(name) + "_" + std::to_string(getpid()) + ".syv";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "";
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  return path;
}

}  // namespace fuzz
