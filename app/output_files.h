// Output that appears whole or not at all: every file is first written to a
// temporary file in its own folder and renamed into place only when all of
// them were written; the main file is renamed last.
#pragma once

#include <map>
#include <string>

namespace syv::app {

// Empty when a file can be created in the folder of `path`; otherwise why not.
std::string checkOutputFolder(const std::string& path);

// `files` maps final paths to contents; `mainPath` is renamed last. On
// failure nothing of this call is left behind and existing files are kept.
bool writeFilesInPlace(const std::map<std::string, std::string>& files, const std::string& mainPath,
                       std::string& error);

}  // namespace syv::app
