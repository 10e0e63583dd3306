#include "app/options.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "app/lod.h"

namespace syv::app {
namespace {

// The first argument that looks like an option the program does not have, so
// that the message names it rather than what CLI11 missed because of it.
std::string unknownOption(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") break;
    if (a.size() < 2 || a[0] != '-' || std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.')
      continue;
    a = a.substr(0, a.find('='));
    if (a[1] != '-') a = a.substr(0, 2);
    if (!app.get_option_no_throw(a) && a != "--help" && a != "-h" && a != "--version") return a;
  }
  return {};
}

// "out/" or an existing folder: the plant's name with the format's extension in it.
void outputInFolder(Options& o) {
  std::error_code ec;
  const bool folder = o.output.back() == '/' || std::filesystem::is_directory(o.output, ec);
  if (!folder) return;
  std::filesystem::path name = std::filesystem::path(o.input).stem();
  name += std::string(".") + formatName(o.format);
  o.output = (std::filesystem::path(o.output) / name).lexically_normal().string();
}

}  // namespace

ParseOutcome parseCommandLine(int argc, char** argv, Options& o, int& exitStatus) {
  CLI::App app{
      "syvimport converts a Sylvo plant model (.syv) into glTF 2.0 (.glb, .gltf), OBJ or FBX,\n"
      "loading the syvimp plug-in as a host application does.\n\n"
      "  syvimport PLANT.syv -o OUT.glb|.gltf|.obj|.fbx   convert\n"
      "  syvimport PLANT.syv --stats                        import only, statistics as JSON\n\n"
      "Units: the plant is built in centimetres (unit scale 100); the output is written in\n"
      "metres (scale 0.01) with +Y up unless --scale says otherwise.\n"
      "Exit status: 0 done, 1 the plant could not be imported, 2 usage error, 3 the output\n"
      "could not be written, 130 cancelled (Ctrl-C).",
      "syvimport"};
  std::string format;
  std::string size;
  app.add_option("plant", o.lib.inputs, "the .syv files (or folders) to read")->required();
  addLibraryOptions(app, o, size);
  app.add_option("-o,--output", o.output,
                 "output file; its extension picks the format (a folder: PLANT.glb in it; "
                 "a batch: OUTDIR/)");
  app.add_option("--format", format, "glb, gltf, obj or fbx (overrides the extension)");
  app.add_flag("--stats", o.stats, "print the statistics as JSON on stdout");
  app.add_option("--stats-json", o.statsJson, "write the statistics to FILE");
  app.add_option("--plugin", o.plugin, "the plug-in library (default: the one beside syvimport)");
  app.add_option("--scale", o.scale,
                 "factor from host centimetres to output units (default 0.01: metres)");
  ImportLimits& l = o.limits;
  app.add_option("--max-triangles", l.maxTriangles,
                 "geometry budget: triangles the plant may make, 0 for none (default " +
                     std::to_string(l.maxTriangles) + ")");
  app.add_option("--max-placements", l.maxPlacements,
                 "objects the plant may place, 0 for none (default " +
                     std::to_string(l.maxPlacements) + ")");
  app.add_option("--max-depth", l.maxDepth,
                 "nesting of blocks and of expressions (default " + std::to_string(l.maxDepth) + ")")
      ->check(CLI::Range(1u, kMaxDepthLimit));
  app.add_option("--max-line-length", l.maxLineLength,
                 "longest line in bytes (default " + std::to_string(l.maxLineLength) + ")")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 40));
  app.add_flag("-q,--quiet", o.quiet, "show errors and missing textures only");
  app.add_flag("-v,--verbose", o.verbose, "the summary adds the import/export split and warnings");
  app.add_flag("--strict", o.strict, "any warning fails the run (status 1, nothing written)");
  app.add_option("--texture-dir", o.textureDirs,
                 "also look for textures in DIR (after the plant's folder; repeatable)")
      ->take_all()
      ->allow_extra_args(false);
  app.add_flag("!--no-copy-textures", o.copyTextures,
               "refer to textures where they were found instead of copying them beside the "
               "output (.gltf, .obj, .fbx)");
  std::string lod, view;
  app.add_option("--lod", lod,
                 "also write levels of detail with at most these shares of the triangles, "
                 "e.g. 0.5,0.2,0.05: nodes PLANT_LOD0 (the full plant), PLANT_LOD1, ... "
                 "(.glb, .gltf, .fbx)");
  app.add_flag("--lod-files", o.lodFiles,
               "with --lod: each level in a file of its own, OUT_LOD1.EXT, ... beside OUT "
               "(any format)");
  app.add_option("--preview-view", view, "three-quarter (default), front, side or top");
  app.add_option("--preview-lod", o.previewLevel,
                 "picture the Nth level of --lod instead of the full plant");
  app.add_flag("--compress", o.compress,
               "glTF only: quantized (KHR_mesh_quantization), meshopt-compressed "
               "(EXT_meshopt_compression) meshes, as gltfpack writes them; a much smaller file, "
               "but readers must support both extensions (Blender 3.4, for one, cannot read it), "
               "so it is never the default");
  app.add_flag("--no-progress", o.noProgress, "no progress line");
  app.set_version_flag("--version", std::string("syvimport ") + kToolVersion);

  auto usage = [&](const std::string& message) {
    std::cerr << "Error: " << message << "\nRun 'syvimport --help' for usage.\n";
    exitStatus = 2;
    return ParseOutcome::Exit;
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      exitStatus = app.exit(e);
      return ParseOutcome::Exit;
    }
    const std::string option = unknownOption(app, argc, argv);
    return usage(option.empty() ? e.what() : "unknown option '" + option + "'");
  }
  if (!format.empty()) {
    if (!parseFormat(format, o.format))
      return usage("unknown format '" + format + "' (use glb, gltf, obj or fbx)");
    o.formatGiven = true;
  }
  if (const std::string why = finishLibraryOptions(o, size); !why.empty()) return usage(why);
  if (!lod.empty())
    if (const std::string why = parseLodShares(lod, o.lod); !why.empty()) return usage(why);
  if (o.lodFiles && o.lod.empty()) return usage("--lod-files needs --lod");
  if (!view.empty() && !parsePreviewView(view, o.previewView))
    return usage("unknown --preview-view '" + view + "' (use three-quarter, front, side or top)");
  if (o.previewLevel > o.lod.size())
    return usage("--preview-lod " + std::to_string(o.previewLevel) + " needs as many --lod levels");
  // One quantization grid sits on the plant's node; levels in one file would each need their own.
  if (o.compress && !o.lod.empty() && !o.lodFiles)
    return usage("--compress with --lod needs --lod-files (one level per file)");
  const bool gltf = o.format == Format::Glb || o.format == Format::Gltf;
  const char* compressOnly = "--compress applies to glTF (.glb, .gltf) only";
  if (o.lib.batch) return o.compress && !gltf ? usage(compressOnly) : ParseOutcome::Run;
  if (o.output.empty() && !o.stats && o.statsJson.empty() && !o.lib.check && o.lib.preview.empty())
    return usage("nothing to do: give -o OUT.glb|.gltf|.obj|.fbx, --stats or --stats-json FILE");
  if (o.output.empty() && o.formatGiven) return usage("--format needs -o");
  if (!o.output.empty()) outputInFolder(o);
  if (!o.output.empty() && !o.formatGiven && !formatFromPath(o.output, o.format))
    return usage(o.output + ": unknown output extension (use .glb, .gltf, .obj or .fbx, or --format)");
  if (!std::isfinite(o.scale) || !(o.scale > 0)) return usage("--scale must be a positive number");
  if (!o.lod.empty() && !o.lodFiles && o.format == Format::Obj)
    return usage("OBJ has no nodes to hold levels of detail: add --lod-files");
  if (o.compress && (o.output.empty() || (o.format != Format::Glb && o.format != Format::Gltf)))
    return usage(compressOnly);
  return ParseOutcome::Run;
}

}  // namespace syv::app
