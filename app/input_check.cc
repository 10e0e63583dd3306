#include "app/input_check.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace syv::app {

std::string checkPlantFile(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) return "no such file";
  if (fs::is_directory(st)) return "is a folder, not a plant file";
  if (!fs::is_regular_file(st)) return "is not a regular file";
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string("cannot be read (") + std::strerror(errno) + ")";
  char buf[65536];
  in.read(buf, sizeof buf);
  const std::streamsize n = in.gcount();
  if (n == 0) return "is empty";
  if (std::memchr(buf, '\0', size_t(n))) return "is a binary file, not a plant text file";
  return {};
}

}  // namespace syv::app
