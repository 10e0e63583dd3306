// Finding a material's texture file and naming it from the output.
#pragma once

#include <string>

namespace syv::app {

enum class ImageKind { Png, Jpeg, Other };

// Looks the texture up relative to the plant file's folder, then as given,
// then by its bare file name beside the plant. Backslashes count as
// separators (plants are often written on Windows). Empty when none is a
// regular readable file.
std::string resolveTexture(const std::string& plantPath, const std::string& texture);

// Path of `file` as seen from the folder of `outputPath`, with '/' separators.
std::string relativeTo(const std::string& outputPath, const std::string& file);

// Percent-encodes what a URI reference may not hold as it is (spaces, '%', '#', non-ASCII, ...).
std::string uriEncodePath(const std::string& path);

ImageKind imageKind(const std::string& bytes);

// Whole file; false when it cannot be read.
bool readFile(const std::string& path, std::string& bytes);

}  // namespace syv::app
