#include "app/textures.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace syv::app {
namespace {

bool isReadableFile(const fs::path& p) {
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return false;
  std::ifstream in(p, std::ios::binary);
  return bool(in);
}

}  // namespace

std::string resolveTexture(const std::string& plantPath, const std::string& texture) {
  if (texture.empty()) return {};
  std::string name = texture;
  for (char& c : name)
    if (c == '\\') c = '/';
  const fs::path given(name);
  const fs::path plantDir = fs::path(plantPath).parent_path();
  fs::path candidates[] = {plantDir / given, given, plantDir / given.filename()};
  for (const fs::path& c : candidates) {
    if (c.empty() || c.filename().empty()) continue;
    if (isReadableFile(c)) return c.lexically_normal().string();
  }
  return {};
}

std::string relativeTo(const std::string& outputPath, const std::string& file) {
  std::error_code ec;
  fs::path outDir = fs::weakly_canonical(fs::absolute(fs::path(outputPath), ec).parent_path(), ec);
  fs::path target = fs::weakly_canonical(fs::absolute(fs::path(file), ec), ec);
  fs::path rel = target.lexically_relative(outDir);
  if (rel.empty()) rel = target;
  return rel.generic_string();
}

std::string uriEncodePath(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      out.push_back(char(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

ImageKind imageKind(const std::string& b) {
  if (b.size() >= 8 && b.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) == 0) return ImageKind::Png;
  if (b.size() >= 3 && uint8_t(b[0]) == 0xff && uint8_t(b[1]) == 0xd8 && uint8_t(b[2]) == 0xff)
    return ImageKind::Jpeg;
  return ImageKind::Other;
}

bool readFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace syv::app
