// The command line of syvimport.
#pragma once

#include <string>
#include <vector>

#include "app/exporter.h"
#include "app/library_options.h"
#include "app/plugin_import.h"
#include "app/preview.h"

namespace syv::app {

struct Options {
  std::string input;
  std::string output;      // empty: import only; a folder gets the plant's name
  bool formatGiven = false;
  Format format = Format::Glb;
  bool stats = false;      // print the statistics on stdout
  std::string statsJson;   // also write them to this file
  std::string plugin;      // empty: the plug-in beside the program
  bool quiet = false;      // errors only (and warnings that change the output)
  bool verbose = false;    // the summary line with the import/export split
  bool strict = false;     // any warning fails the run before anything is written
  bool copyTextures = true;  // beside a .gltf, .obj or .fbx output
  std::vector<std::string> textureDirs;  // searched after the plant's folder
  bool noProgress = false;
  double scale = 0.01;     // host centimetres to metres
  std::vector<double> lod;  // shares of the levels after the full plant
  bool lodFiles = false;    // the levels in files of their own
  PreviewView previewView = PreviewView::ThreeQuarter;
  size_t previewLevel = 0;  // 0: the full plant; N: the level of the Nth --lod share
  bool compress = false;   // glTF: quantized, meshopt-encoded meshes
  LibraryOptions lib;
  ImportLimits limits;
};

enum class ParseOutcome { Run, Exit };

// Run: `options` is complete and consistent. Exit: help, version or a usage
// error was printed; `exitStatus` is 0 or 2.
ParseOutcome parseCommandLine(int argc, char** argv, Options& options, int& exitStatus);

constexpr const char* kToolVersion = "1.0.0";

}  // namespace syv::app
