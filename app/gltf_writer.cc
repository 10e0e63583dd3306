#include "app/gltf_writer.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>

#include <nlohmann/json.hpp>

#include "app/gltf_compress.h"

namespace syv::app {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kFloat = 5126, kUint = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

// Readers and the validator want unit normals; this is the rounding glTF
// output has always had here (float length, multiplied by its reciprocal).
Vec3f unitNormal(Vec3f n) {
  const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0.f)) return n;
  const float inverse = 1.f / length;
  return {n[0] * inverse, n[1] * inverse, n[2] * inverse};
}

struct Range {
  std::vector<double> min, max;
  explicit Range(size_t components)
      : min(components, std::numeric_limits<double>::max()),
        max(components, -std::numeric_limits<double>::max()) {}
  void add(const float* v) {
    for (size_t j = 0; j < min.size(); ++j) {
      const double x = v[j];
      if (x < min[j]) min[j] = x;
      if (x > max[j]) max[j] = x;
    }
  }
};

struct Layout {
  Json accessors = Json::array();
  Json views = Json::array();
  size_t length = 0;  // of the buffer so far

  size_t view(size_t bytes, int target) {
    length = (length + 3) & ~size_t(3);
    Json v = {{"buffer", 0}, {"byteOffset", length}, {"byteLength", bytes}};
    if (target) v["target"] = target;
    views.push_back(std::move(v));
    length += bytes;
    return views.size() - 1;
  }
  size_t accessor(size_t count, int componentType, const char* type, Json max, Json min,
                  size_t bytes, int target) {
    const size_t v = view(bytes, target);
    accessors.push_back({{"bufferView", v},
                         {"byteOffset", 0},
                         {"componentType", componentType},
                         {"count", count},
                         {"type", type},
                         {"max", std::move(max)},
                         {"min", std::move(min)}});
    return accessors.size() - 1;
  }
  // EXT_meshopt_compression: the view's bytes are encoded in buffer 0 (at
  // `encodedAt`), its decoded size is reserved in the fallback buffer 1.
  size_t compressedAccessor(const EncodedStream& s, int target, Json max, Json min) {
    length = (length + 3) & ~size_t(3);
    encodedAt.push_back(length);
    const bool indices = target == kElementArrayBuffer;
    Json ext = {{"buffer", 0},          {"byteOffset", length}, {"byteLength", s.bytes.size()},
                {"byteStride", s.stride}, {"count", s.count},
                {"mode", indices ? "TRIANGLES" : "ATTRIBUTES"}};
    length += s.bytes.size();
    Json v = {{"buffer", 1}, {"byteOffset", fallback}, {"byteLength", s.count * s.stride}};
    if (!indices) v["byteStride"] = s.stride;
    v["target"] = target;
    v["extensions"] = {{"EXT_meshopt_compression", std::move(ext)}};
    fallback += (s.count * s.stride + 3) & ~size_t(3);
    views.push_back(std::move(v));
    Json a = {{"bufferView", views.size() - 1},
              {"byteOffset", 0},
              {"componentType", s.componentType},
              {"count", s.count},
              {"type", s.type}};
    if (s.normalized) a["normalized"] = true;
    if (!max.is_null()) {
      a["max"] = std::move(max);
      a["min"] = std::move(min);
    }
    accessors.push_back(std::move(a));
    return accessors.size() - 1;
  }
  std::vector<size_t> encodedAt;
  size_t fallback = 0;  // length of the fallback buffer
};

// The binary file (.glb, or the .bin), into memory or straight into its
// temporary: each array is written from where it is and then freed, so that
// the file is never held whole as well.
class Sink {
 public:
  Sink(std::string* memory, SpooledFile* file) : memory_(memory), file_(file) {}
  void reserve(size_t bytes) {
    if (!memory_) return;
    memory_->reserve(bytes);
    adviseHuge(memory_->data(), memory_->capacity());
  }
  // Writes at `at` (never behind the end), zero-filling the gap.
  void put(size_t& at, const void* data, size_t bytes) {
    zeros(at);
    append(static_cast<const char*>(data), bytes);
    at += bytes;
  }
  void zeros(size_t to) {
    static const char kZeros[64] = {};
    while (size_ < to) append(kZeros, std::min(to - size_, sizeof kZeros));
  }

 private:
  void append(const char* data, size_t bytes) {
    if (memory_)
      memory_->append(data, bytes);
    else
      file_->append(data, bytes);
    size_ += bytes;
  }
  std::string* memory_;
  SpooledFile* file_;
  size_t size_ = 0;
};

void appendU32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(char((v >> (8 * i)) & 0xff));
}

// The .bin beside a .gltf: named after the output, unless a bare file name
// would collide with the node's own id.
std::string binName(const std::string& outputPath, const std::string& nodeName) {
  const size_t slash = outputPath.rfind('/');
  const size_t begin = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = outputPath.rfind('.');
  std::string stem = outputPath.substr(begin, dot == std::string::npos || dot < begin
                                                  ? std::string::npos
                                                  : dot - begin);
  if (slash == std::string::npos && stem == nodeName) stem += "_0";
  return stem + ".bin";
}

// A material's name, made distinct from the ids the materials take
// ("material_N"): a plant's unnamed material keeps the name it has always had.
std::string uniqueName(const std::string& name, const std::set<std::string>& ids) {
  if (!ids.count(name)) return name;
  const std::string base = name + "_material";
  if (!ids.count(base)) return base;
  for (int i = 0;; ++i)
    if (!ids.count(base + "_" + std::to_string(i))) return base + "_" + std::to_string(i);
}

}  // namespace

std::string writeGltf(const GltfScene& scene, SubmeshSet&& meshes, const std::string& outputPath,
                      bool binary, std::map<std::string, std::string>& files, Spools* spooled) {
  std::vector<SubmeshSet> levels;
  levels.push_back(std::move(meshes));
  return writeGltf(scene, std::move(levels), outputPath, binary, files, spooled);
}

std::string writeGltf(const GltfScene& scene, std::vector<SubmeshSet>&& levels,
                      const std::string& outputPath, bool binary,
                      std::map<std::string, std::string>& files, Spools* spooled) {
  Layout layout;
  std::vector<size_t> imageViews, imageOffsets;
  if (binary)
    for (const GltfImage& image : scene.images) {
      imageViews.push_back(layout.view(image.bytes.size(), 0));
      imageOffsets.push_back(layout.length - image.bytes.size());
    }

  // Ranges first: the JSON, and so where the binary data starts, depends on them.
  // Compression takes one level (the options refuse --compress with levels in one file).
  std::vector<Json> levelPrimitives;
  EncodedMeshes encoded;
  if (scene.compress) {
    Json& primitives = levelPrimitives.emplace_back(Json::array());
    std::vector<bool> textured;
    for (const OutputMaterial& m : scene.materials) textured.push_back(m.image >= 0);
    encoded = encodeMeshes(std::move(levels.front()), textured);
    for (size_t m = 0; m < encoded.primitives.size(); ++m) {
      const EncodedPrimitive& e = encoded.primitives[m];
      const size_t pa = layout.compressedAccessor(e.position, kArrayBuffer, e.positionMax, e.positionMin);
      const size_t na = layout.compressedAccessor(e.normal, kArrayBuffer, nullptr, nullptr);
      const size_t ta = layout.compressedAccessor(e.uv, kArrayBuffer, nullptr, nullptr);
      const size_t ia = layout.compressedAccessor(e.indices, kElementArrayBuffer,
                                                  Json::array({e.indexMax}), Json::array({e.indexMin}));
      primitives.push_back({{"mode", 4},
                            {"material", m},
                            {"indices", ia},
                            {"attributes", {{"POSITION", pa}, {"NORMAL", na}, {"TEXCOORD_0", ta}}}});
    }
  }
  if (!scene.compress)
  for (SubmeshSet& meshes : levels) {
  Json& primitives = levelPrimitives.emplace_back(Json::array());
  for (size_t m = 0; m < meshes.meshes.size(); ++m) {
    Submesh& sub = meshes.meshes[m];
    if (sub.indices.empty()) continue;
    const size_t n = sub.positions.size();
    Range p(3), nr(3), uv(2);
    // Normals and texture coordinates are turned into what is written here,
    // in place: the buffer then takes the arrays as they are.
    for (size_t i = 0; i < n; ++i) {
      p.add(sub.positions[i].data());
      sub.normals[i] = unitNormal(sub.normals[i]);
      nr.add(sub.normals[i].data());
      sub.uvs[i][1] = 1.f - sub.uvs[i][1];
      uv.add(sub.uvs[i].data());
    }
    uint32_t lo = std::numeric_limits<uint32_t>::max(), hi = 0;
    for (uint32_t i : sub.indices) {
      lo = std::min(lo, i);
      hi = std::max(hi, i);
    }
    const size_t pa = layout.accessor(n, kFloat, "VEC3", p.max, p.min, n * 12, kArrayBuffer);
    const size_t na = layout.accessor(n, kFloat, "VEC3", nr.max, nr.min, n * 12, kArrayBuffer);
    const size_t ta = layout.accessor(n, kFloat, "VEC2", uv.max, uv.min, n * 8, kArrayBuffer);
    const size_t ia = layout.accessor(sub.indices.size(), kUint, "SCALAR", Json::array({hi}),
                                      Json::array({lo}), sub.indices.size() * 4,
                                      kElementArrayBuffer);
    primitives.push_back({{"mode", 4},
                          {"material", m},
                          {"indices", ia},
                          {"attributes", {{"POSITION", pa}, {"NORMAL", na}, {"TEXCOORD_0", ta}}}});
  }
  }

  // Room for every key first: growing an ordered object copies its members
  // whole (their keys are const), the arrays of every primitive included.
  Json j = Json::object();
  j.get_ref<Json::object_t&>().reserve(16);
  j["asset"] = {{"version", "2.0"}, {"generator", "Open Asset Import Library (assimp v5.2.0)"}};
  j["extensionsUsed"] = {"KHR_materials_volume", "FB_ngon_encoding"};
  const bool compressed = scene.compress && !levelPrimitives[0].empty();
  bool uvTransform = false;
  for (const EncodedPrimitive& e : encoded.primitives) uvTransform = uvTransform || e.uvTransform;
  if (compressed) {
    for (const char* e : {"KHR_mesh_quantization", "EXT_meshopt_compression"}) {
      j["extensionsUsed"].push_back(e);
      j["extensionsRequired"].push_back(e);
    }
    if (uvTransform) j["extensionsUsed"].push_back("KHR_texture_transform");
  }
  if (!layout.accessors.empty()) j["accessors"] = std::move(layout.accessors);
  const std::string bin = binName(outputPath, scene.nodeName);
  const size_t binLength = (layout.length + 3) & ~size_t(3);
  if (layout.length) {
    Json buffer = {{"byteLength", binLength}};
    if (!binary) buffer["uri"] = bin;
    j["buffers"] = Json::array({std::move(buffer)});
    if (compressed)
      j["buffers"].push_back({{"byteLength", layout.fallback},
                              {"extensions", {{"EXT_meshopt_compression", {{"fallback", true}}}}}});
    j["bufferViews"] = std::move(layout.views);
  }
  if (!scene.images.empty()) {
    Json images = Json::array();
    for (size_t i = 0; i < scene.images.size(); ++i) {
      const GltfImage& image = scene.images[i];
      if (binary)
        images.push_back(
            {{"name", image.name}, {"bufferView", imageViews[i]}, {"mimeType", image.mimeType}});
      else
        images.push_back({{"uri", image.uri}});
    }
    j["images"] = std::move(images);
  }
  Json materials = Json::array();
  std::set<std::string> ids;
  for (const OutputMaterial& m : scene.materials) {
    ids.insert("material_" + std::to_string(materials.size()));
    Json pbr = Json::object();
    if (m.image >= 0) pbr["baseColorTexture"] = {{"index", m.image}};
    const size_t at = materials.size();
    if (m.image >= 0 && at < encoded.primitives.size() && encoded.primitives[at].uvTransform) {
      const EncodedPrimitive& e = encoded.primitives[at];
      pbr["baseColorTexture"]["extensions"] = {
          {"KHR_texture_transform", {{"offset", e.uvOffset}, {"scale", e.uvScale}}}};
    }
    pbr["baseColorFactor"] = {double(m.color[0]), double(m.color[1]), double(m.color[2]), 1.0};
    pbr["metallicFactor"] = 0.0;
    pbr["roughnessFactor"] = double(0.8f);
    materials.push_back({{"name", uniqueName(m.name, ids)}, {"pbrMetallicRoughness", std::move(pbr)}, {"doubleSided", true}});
  }
  j["materials"] = std::move(materials);
  Json node = {{"name", scene.nodeName}};
  if (scene.levelNames.empty()) {
    if (!levelPrimitives[0].empty()) {
      j["meshes"] = Json::array({{{"name", scene.meshName}, {"primitives", std::move(levelPrimitives[0])}}});
      node["mesh"] = 0;
      if (compressed) {
        node["translation"] = encoded.offset;
        node["scale"] = {encoded.scale, encoded.scale, encoded.scale};
      }
    }
    j["nodes"] = Json::array({std::move(node)});
  } else {
    // The plant's node holds one child per level, each with its own mesh.
    Json meshes = Json::array(), nodes = Json::array({Json()}), children = Json::array();
    for (size_t l = 0; l < levelPrimitives.size(); ++l) {
      Json child = {{"name", scene.levelNames[l]}};
      if (!levelPrimitives[l].empty()) {
        child["mesh"] = meshes.size();
        meshes.push_back({{"name", scene.levelNames[l]}, {"primitives", std::move(levelPrimitives[l])}});
      }
      children.push_back(nodes.size());
      nodes.push_back(std::move(child));
    }
    node["children"] = std::move(children);
    nodes[0] = std::move(node);
    if (!meshes.empty()) j["meshes"] = std::move(meshes);
    j["nodes"] = std::move(nodes);
  }
  if (!scene.images.empty()) {
    Json samplers = Json::array();
    for (size_t i = 0; i < scene.images.size(); ++i) samplers.push_back(Json::object());
    j["samplers"] = std::move(samplers);
  }
  j["scenes"] = Json::array({{{"nodes", {0}}}});
  if (!scene.images.empty()) {
    Json textures = Json::array();
    for (size_t i = 0; i < scene.images.size(); ++i) textures.push_back({{"source", i}, {"sampler", i}});
    j["textures"] = std::move(textures);
  }
  j["scene"] = 0;

  // Without a buffer the file has always been written compact, keys sorted.
  // Names come from the plant and need not be UTF-8: JSON gets U+FFFD instead.
  const auto replace = nlohmann::json::error_handler_t::replace;
  std::string text = layout.length ? j.dump(binary ? -1 : 4, ' ', false, replace)
                                   : nlohmann::json(j).dump(-1, ' ', false, replace);
  const std::string binPath =
      binary ? outputPath : (std::filesystem::path(outputPath).parent_path() / bin).string();
  if (!binary) {
    files[outputPath] = std::move(text);
    if (!layout.length) return {};
  }
  std::string out;
  std::unique_ptr<SpooledFile> spool;
  if (spooled) {
    spool = std::make_unique<SpooledFile>(binPath);
    if (std::string error = spool->open(); !error.empty()) return error;
  }
  Sink sink(spooled ? nullptr : &out, spool.get());
  size_t at = 0, base = 0;  // where the buffer starts in the file
  if (binary) {
    text.append((4 - text.size() % 4) % 4, ' ');
    std::string head("glTF", 4);
    appendU32(head, 2);
    appendU32(head, uint32_t(12 + 8 + text.size() + (binLength ? 8 + binLength : 0)));
    appendU32(head, uint32_t(text.size()));
    head += "JSON";
    head += text;
    if (binLength) {
      appendU32(head, uint32_t(binLength));
      head.append("BIN\0", 4);
    }
    release(text);
    base = head.size();
    sink.reserve(head.size() + binLength);
    sink.put(at, head.data(), head.size());
    for (size_t i = 0; i < scene.images.size(); ++i) {
      at = head.size() + imageOffsets[i];
      sink.put(at, scene.images[i].bytes.data(), scene.images[i].bytes.size());
    }
    at = (at - head.size() + 3) / 4 * 4 + head.size();
  } else {
    sink.reserve(binLength);
  }
  if (scene.compress) {
    size_t s = 0;
    for (EncodedPrimitive& e : encoded.primitives)
      for (EncodedStream* stream : {&e.position, &e.normal, &e.uv, &e.indices}) {
        at = base + layout.encodedAt[s++];
        sink.put(at, stream->bytes.data(), stream->bytes.size());
        release(stream->bytes);
      }
  }
  // Written in the order the views were laid out, each mesh freed once written.
  if (!scene.compress)
  for (SubmeshSet& meshes : levels)
  for (Submesh& sub : meshes.meshes) {
    sink.put(at, sub.positions.data(), sub.positions.size() * 12);
    release(sub.positions);
    sink.put(at, sub.normals.data(), sub.normals.size() * 12);
    release(sub.normals);
    sink.put(at, sub.uvs.data(), sub.uvs.size() * 8);
    release(sub.uvs);
    sink.put(at, sub.indices.data(), sub.indices.size() * 4);
    release(sub.indices);
  }
  sink.zeros(base + binLength);
  if (spool)
    spooled->push_back(std::move(spool));
  else
    files[binPath] = std::move(out);
  return {};
}

}  // namespace syv::app
