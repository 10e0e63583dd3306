// Libraries that syvimport loads only in the runs that need them (pictures,
// FBX): what they bring takes milliseconds to load and bind, which every
// other run, and every child of a batch, would pay for.
#pragma once

#include <string>

namespace syv::app {

// Beside the program (build tree), or in ../lib/syvimport/ from it (installed).
std::string besideProgram(const std::string& library);

// `symbol` of `library`, which is loaded once and kept; null with the reason.
void* sideLibrarySymbol(const char* library, const char* symbol, std::string& error);

}  // namespace syv::app
