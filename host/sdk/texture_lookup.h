// Where a plant's texture is looked for. The host's bitmap texture and the
// converter both call findTexture with the same folders, so the file the host
// shows is the file the export writes.
//
// A plant names its textures, but the plant may come from anyone: a name is
// only ever looked up inside the folders given (the plant's own folder first,
// then those the user names). An absolute name, a drive letter or a ".." is
// reduced to its bare file name, so that a plant cannot make the reader open
// /etc/... or climb out of its folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace hostsdk {

// The name with '/' separators if it stays inside the folder it is looked up
// in; empty otherwise (absolute, drive letter, "..", or nothing left).
inline std::string relativeTextureName(const std::string& name) {
  std::string n = name;
  for (char& c : n)
    if (c == '\\') c = '/';
  if (n.empty() || n[0] == '/' || n.find(':') != std::string::npos) return {};
  for (const auto& part : std::filesystem::path(n))
    if (part == "..") return {};
  return n;
}

// The last part of the name, backslashes counting as separators; empty for
// ".", ".." or a name that ends in a separator. A drive letter ("C:bark.png")
// is dropped.
inline std::string bareTextureName(const std::string& name) {
  const size_t cut = name.find_last_of("/\\:");
  std::string leaf = cut == std::string::npos ? name : name.substr(cut + 1);
  if (leaf == "." || leaf == "..") return {};
  return leaf;
}

// The first regular, readable file among, for each folder in turn, the
// relative name and then the bare name; empty when there is none.
inline std::string findTexture(const std::string& name, const std::vector<std::string>& folders) {
  const std::string rel = relativeTextureName(name);
  const std::string leaf = bareTextureName(name);
  for (const std::string& folder : folders) {
    const std::filesystem::path dir(folder.empty() ? "." : folder);
    for (const std::string* n : {&rel, &leaf}) {
      if (n->empty() || (n == &leaf && *n == rel)) continue;
      const std::filesystem::path p = (dir / *n).lexically_normal();
      std::error_code ec;
      if (!std::filesystem::is_regular_file(p, ec)) continue;
      if (std::ifstream(p, std::ios::binary)) return p.string();
    }
  }
  return {};
}

}  // namespace hostsdk
