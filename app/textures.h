// Finding a material's texture file and naming it from the output.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace syv::app {

enum class ImageKind { Png, Jpeg, Other };

// The folders a plant's textures are looked for in: the plant's own, then
// the user's --texture-dir folders in order. The same list goes to the host.
std::vector<std::string> textureFolders(const std::string& plantPath,
                                        const std::vector<std::string>& userDirs);

// The host's lookup (host/sdk/texture_lookup.h): empty when not found.
std::string resolveTexture(const std::vector<std::string>& folders, const std::string& texture);

// "not found; looked for NAME in A, B": what a user needs to put it right.
std::string textureNotFound(const std::vector<std::string>& folders, const std::string& texture);

// A file name for a copy of `found` in the output folder: its bare name, or
// NAME_2.EXT, ... when `taken` says so. Never a separator, drive or "..".
std::string copyName(const std::string& found, const std::function<bool(const std::string&)>& taken);

// Path of `file` as seen from the folder of `outputPath`, with '/' separators.
std::string relativeTo(const std::string& outputPath, const std::string& file);

// Percent-encodes what a URI reference may not hold as it is (spaces, '%', '#', non-ASCII, ...).
std::string uriEncodePath(const std::string& path);

ImageKind imageKind(const std::string& bytes);

// Whole file; false when it cannot be read.
bool readFile(const std::string& path, std::string& bytes);

}  // namespace syv::app
