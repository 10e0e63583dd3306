#include "app/textures.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "host/sdk/texture_lookup.h"

namespace fs = std::filesystem;

namespace syv::app {
std::vector<std::string> textureFolders(const std::string& plantPath,
                                        const std::vector<std::string>& userDirs) {
  const std::string plantDir = fs::path(plantPath).parent_path().string();
  std::vector<std::string> folders{plantDir.empty() ? std::string(".") : plantDir};
  folders.insert(folders.end(), userDirs.begin(), userDirs.end());
  return folders;
}

std::string resolveTexture(const std::vector<std::string>& folders, const std::string& texture) {
  return hostsdk::findTexture(texture, folders);
}

std::string textureNotFound(const std::vector<std::string>& folders, const std::string& texture) {
  std::string looked = hostsdk::relativeTextureName(texture);
  const std::string leaf = hostsdk::bareTextureName(texture);
  if (looked.empty()) looked = leaf;
  else if (leaf != looked) looked += "\" or \"" + leaf;
  std::string where;
  for (const std::string& f : folders) where += (where.empty() ? "" : ", ") + f;
  return "texture \"" + texture + "\" not found (looked for \"" + looked + "\" in " + where +
         "); its materials keep their colour only";
}

std::string copyName(const std::string& found, const std::function<bool(const std::string&)>& taken) {
  std::string leaf = hostsdk::bareTextureName(found);
  if (leaf.empty()) leaf = "texture";
  const fs::path p(leaf);
  const std::string stem = p.stem().string(), ext = p.extension().string();
  std::string name = leaf;
  for (int n = 2; taken(name); ++n) name = stem + "_" + std::to_string(n) + ext;
  return name;
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
