#include "app/gltf_writer.h"

#include <array>
#include <cmath>
#include <charconv>
#include <cstring>
#include <deque>
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

// Sized at compile time: the bounds then stay in registers over a mesh.
template <size_t N>
struct Range {
  std::array<double, N> min, max;
  Range() {
    min.fill(std::numeric_limits<double>::max());
    max.fill(-std::numeric_limits<double>::max());
  }
  void add(const float* v) {
    for (size_t j = 0; j < N; ++j) {
      const double x = v[j];
      min[j] = x < min[j] ? x : min[j];
      max[j] = x > max[j] ? x : max[j];
    }
  }
};

// JSON text written as it is made, laid out as nlohmann's dump lays out a
// document of the same values, numbers and strings formatted by its own
// serializer: a scene of many materials never builds a document node by node.
class JsonText {
 public:
  // indent < 0: compact; `depth`: where the text will stand in its document.
  JsonText(std::string& out, int indent, unsigned depth = 0)
      : out_(out), indent_(indent), depth_(depth),
        format_(nlohmann::detail::output_adapter<char>(out), ' ',
                nlohmann::json::error_handler_t::replace) {}
  JsonText& key(const char* name) {
    element();
    out_ += '"';
    out_ += name;
    out_ += indent_ < 0 ? "\":" : "\": ";
    keyed_ = true;
    return *this;
  }
  JsonText& open(char bracket) {
    element();
    out_ += bracket;
    counts_.push_back(0);
    return *this;
  }
  JsonText& close(char bracket) {
    const size_t n = counts_.back();
    counts_.pop_back();
    if (n && indent_ >= 0) newline();
    out_ += bracket;
    return *this;
  }
  JsonText& value(uint64_t v) {
    element();
    char digits[24];
    out_.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
    return *this;
  }
  JsonText& value(int v) { return scalar(Json(v)); }
  JsonText& value(double v) { return scalar(Json(v)); }
  JsonText& value(bool v) { return scalar(Json(v)); }
  JsonText& value(const char* v) { return scalar(Json(v)); }
  JsonText& value(const std::string& v) { return scalar(Json(v)); }
  // A value written by another JsonText at this place's depth.
  JsonText& raw(const std::string& text) {
    element();
    out_ += text;
    return *this;
  }
  JsonText& doubles(const double* v, size_t n) {
    open('[');
    for (size_t i = 0; i < n; ++i) value(v[i]);
    return close(']');
  }
  template <typename T>
  JsonText& integers(const T* v, size_t n) {
    open('[');
    for (size_t i = 0; i < n; ++i) value(uint64_t(v[i]));
    return close(']');
  }

 private:
  JsonText& scalar(const Json& v) {
    element();
    format_.dump(v, false, false, 0);
    return *this;
  }
  void element() {
    if (keyed_) {
      keyed_ = false;
      return;
    }
    if (counts_.empty()) return;
    if (counts_.back()++) out_ += ',';
    if (indent_ >= 0) newline();
  }
  void newline() {
    out_ += '\n';
    out_.append(size_t(indent_) * (depth_ + counts_.size()), ' ');
  }
  std::string& out_;
  int indent_;
  unsigned depth_;
  std::vector<size_t> counts_;  // elements so far in each open container
  bool keyed_ = false;
  nlohmann::detail::serializer<Json> format_;
};

struct Layout {
  explicit Layout(int indent)
      : accessors(accessorText, indent, 1), views(viewText, indent, 1) {
    accessors.open('[');
    views.open('[');
  }
  std::string accessorText, viewText;
  JsonText accessors, views;
  size_t accessorCount = 0, viewCount = 0;
  size_t length = 0;  // of the buffer so far

  size_t view(size_t bytes, int target) {
    length = (length + 3) & ~size_t(3);
    views.open('{').key("buffer").value(0).key("byteOffset").value(uint64_t(length));
    views.key("byteLength").value(uint64_t(bytes));
    if (target) views.key("target").value(target);
    views.close('}');
    length += bytes;
    return viewCount++;
  }
  // The range as doubles (`n` components) or, without them, as one integer.
  size_t accessor(size_t count, int componentType, const char* type, const double* max,
                  const double* min, size_t n, uint32_t hi, uint32_t lo, size_t bytes,
                  int target) {
    const size_t v = view(bytes, target);
    accessors.open('{').key("bufferView").value(uint64_t(v)).key("byteOffset").value(0);
    accessors.key("componentType").value(componentType).key("count").value(uint64_t(count));
    accessors.key("type").value(type);
    if (max) {
      accessors.key("max").doubles(max, n).key("min").doubles(min, n);
    } else {
      accessors.key("max").integers(&hi, 1).key("min").integers(&lo, 1);
    }
    accessors.close('}');
    return accessorCount++;
  }
  // EXT_meshopt_compression: the view's bytes are encoded in buffer 0 (at
  // `encodedAt`), its decoded size is reserved in the fallback buffer 1.
  size_t compressedAccessor(const EncodedStream& s, int target, const uint32_t* max,
                            const uint32_t* min, size_t n) {
    length = (length + 3) & ~size_t(3);
    encodedAt.push_back(length);
    const bool indices = target == kElementArrayBuffer;
    views.open('{').key("buffer").value(1).key("byteOffset").value(uint64_t(fallback));
    views.key("byteLength").value(uint64_t(s.count * s.stride));
    if (!indices) views.key("byteStride").value(uint64_t(s.stride));
    views.key("target").value(target);
    views.key("extensions").open('{').key("EXT_meshopt_compression").open('{');
    views.key("buffer").value(0).key("byteOffset").value(uint64_t(length));
    views.key("byteLength").value(uint64_t(s.bytes.size()));
    views.key("byteStride").value(uint64_t(s.stride)).key("count").value(uint64_t(s.count));
    views.key("mode").value(indices ? "TRIANGLES" : "ATTRIBUTES");
    views.close('}').close('}').close('}');
    length += s.bytes.size();
    fallback += (s.count * s.stride + 3) & ~size_t(3);
    accessors.open('{').key("bufferView").value(uint64_t(viewCount++)).key("byteOffset").value(0);
    accessors.key("componentType").value(s.componentType).key("count").value(uint64_t(s.count));
    accessors.key("type").value(s.type);
    if (s.normalized) accessors.key("normalized").value(true);
    if (max) accessors.key("max").integers(max, n).key("min").integers(min, n);
    accessors.close('}');
    return accessorCount++;
  }
  std::vector<size_t> encodedAt;
  size_t fallback = 0;  // length of the fallback buffer
};

// One level's primitives, as the text of their array.
struct Primitives {
  explicit Primitives(int indent) : json(text, indent, 3) { json.open('['); }
  void add(size_t material, size_t indices, size_t position, size_t normal, size_t uv) {
    json.open('{').key("mode").value(4).key("material").value(uint64_t(material));
    json.key("indices").value(uint64_t(indices)).key("attributes").open('{');
    json.key("POSITION").value(uint64_t(position)).key("NORMAL").value(uint64_t(normal));
    json.key("TEXCOORD_0").value(uint64_t(uv)).close('}').close('}');
    ++count;
  }
  std::string text;
  JsonText json;
  size_t count = 0;
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
  const int indent = binary ? -1 : 4;
  Layout layout(indent);
  std::vector<size_t> imageViews, imageOffsets;
  if (binary)
    for (const GltfImage& image : scene.images) {
      imageViews.push_back(layout.view(image.bytes.size(), 0));
      imageOffsets.push_back(layout.length - image.bytes.size());
    }

  // Ranges first: the JSON, and so where the binary data starts, depends on them.
  // Compression takes one level (the options refuse --compress with levels in one file).
  std::deque<Primitives> levelPrimitives;
  EncodedMeshes encoded;
  if (scene.compress) {
    Primitives& primitives = levelPrimitives.emplace_back(indent);
    std::vector<bool> textured;
    for (const OutputMaterial& m : scene.materials) textured.push_back(m.image >= 0);
    encoded = encodeMeshes(std::move(levels.front()), textured);
    for (size_t m = 0; m < encoded.primitives.size(); ++m) {
      const EncodedPrimitive& e = encoded.primitives[m];
      const size_t pa = layout.compressedAccessor(e.position, kArrayBuffer, e.positionMax.data(),
                                                  e.positionMin.data(), 3);
      const size_t na = layout.compressedAccessor(e.normal, kArrayBuffer, nullptr, nullptr, 0);
      const size_t ta = layout.compressedAccessor(e.uv, kArrayBuffer, nullptr, nullptr, 0);
      const size_t ia = layout.compressedAccessor(e.indices, kElementArrayBuffer, &e.indexMax,
                                                  &e.indexMin, 1);
      primitives.add(m, ia, pa, na, ta);
    }
  }
  if (!scene.compress)
  for (SubmeshSet& meshes : levels) {
  Primitives& primitives = levelPrimitives.emplace_back(indent);
  for (size_t m = 0; m < meshes.meshes.size(); ++m) {
    Submesh& sub = meshes.meshes[m];
    if (sub.indices.empty()) continue;
    const size_t n = sub.positions.size();
    Range<3> p, nr;
    Range<2> uv;
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
    const size_t pa = layout.accessor(n, kFloat, "VEC3", p.max.data(), p.min.data(), 3, 0, 0,
                                      n * 12, kArrayBuffer);
    const size_t na = layout.accessor(n, kFloat, "VEC3", nr.max.data(), nr.min.data(), 3, 0, 0,
                                      n * 12, kArrayBuffer);
    const size_t ta = layout.accessor(n, kFloat, "VEC2", uv.max.data(), uv.min.data(), 2, 0, 0,
                                      n * 8, kArrayBuffer);
    const size_t ia = layout.accessor(sub.indices.size(), kUint, "SCALAR", nullptr, nullptr, 0,
                                      hi, lo, sub.indices.size() * 4, kElementArrayBuffer);
    primitives.add(m, ia, pa, na, ta);
  }
  }
  layout.accessors.close(']');
  layout.views.close(']');

  // Without a buffer the file has always been written compact, keys sorted:
  // written compact here, then read back into a sorted document.
  std::string text;
  JsonText j(text, layout.length ? indent : -1);
  j.open('{');
  j.key("asset").open('{').key("version").value("2.0");
  j.key("generator").value("Open Asset Import Library (assimp v5.2.0)").close('}');
  const bool compressed = scene.compress && levelPrimitives[0].count;
  bool uvTransform = false;
  for (const EncodedPrimitive& e : encoded.primitives) uvTransform = uvTransform || e.uvTransform;
  j.key("extensionsUsed").open('[').value("KHR_materials_volume").value("FB_ngon_encoding");
  const char* const meshopt[] = {"KHR_mesh_quantization", "EXT_meshopt_compression"};
  if (compressed) {
    j.value(meshopt[0]).value(meshopt[1]);
    if (uvTransform) j.value("KHR_texture_transform");
  }
  j.close(']');
  if (compressed) j.key("extensionsRequired").open('[').value(meshopt[0]).value(meshopt[1]).close(']');
  if (layout.accessorCount) j.key("accessors").raw(layout.accessorText);
  release(layout.accessorText);
  const std::string bin = binName(outputPath, scene.nodeName);
  const size_t binLength = (layout.length + 3) & ~size_t(3);
  if (layout.length) {
    j.key("buffers").open('[').open('{').key("byteLength").value(uint64_t(binLength));
    if (!binary) j.key("uri").value(bin);
    j.close('}');
    if (compressed) {
      j.open('{').key("byteLength").value(uint64_t(layout.fallback));
      j.key("extensions").open('{').key("EXT_meshopt_compression").open('{');
      j.key("fallback").value(true).close('}').close('}').close('}');
    }
    j.close(']');
    j.key("bufferViews").raw(layout.viewText);
  }
  release(layout.viewText);
  if (!scene.images.empty()) {
    j.key("images").open('[');
    for (size_t i = 0; i < scene.images.size(); ++i) {
      const GltfImage& image = scene.images[i];
      if (binary)
        j.open('{').key("name").value(image.name).key("bufferView").value(uint64_t(imageViews[i]))
            .key("mimeType").value(image.mimeType).close('}');
      else
        j.open('{').key("uri").value(image.uri).close('}');
    }
    j.close(']');
  }
  j.key("materials").open('[');
  std::set<std::string> ids;
  for (size_t at = 0; at < scene.materials.size(); ++at) {
    const OutputMaterial& m = scene.materials[at];
    ids.insert("material_" + std::to_string(at));
    j.open('{').key("name").value(uniqueName(m.name, ids)).key("pbrMetallicRoughness").open('{');
    if (m.image >= 0) {
      j.key("baseColorTexture").open('{').key("index").value(m.image);
      if (at < encoded.primitives.size() && encoded.primitives[at].uvTransform) {
        const EncodedPrimitive& e = encoded.primitives[at];
        j.key("extensions").open('{').key("KHR_texture_transform").open('{');
        j.key("offset").doubles(e.uvOffset.data(), 2).key("scale").doubles(e.uvScale.data(), 2);
        j.close('}').close('}');
      }
      j.close('}');
    }
    const double color[] = {double(m.color[0]), double(m.color[1]), double(m.color[2]), 1.0};
    j.key("baseColorFactor").doubles(color, 4).key("metallicFactor").value(0.0);
    j.key("roughnessFactor").value(double(0.8f)).close('}').key("doubleSided").value(true);
    j.close('}');
  }
  j.close(']');
  if (scene.levelNames.empty()) {
    if (levelPrimitives[0].count) {
      j.key("meshes").open('[').open('{').key("name").value(scene.meshName);
      levelPrimitives[0].json.close(']');
      j.key("primitives").raw(levelPrimitives[0].text).close('}').close(']');
    }
    j.key("nodes").open('[').open('{').key("name").value(scene.nodeName);
    if (levelPrimitives[0].count) {
      j.key("mesh").value(0);
      if (compressed) {
        j.key("translation").doubles(encoded.offset.data(), 3);
        const double scale[] = {encoded.scale, encoded.scale, encoded.scale};
        j.key("scale").doubles(scale, 3);
      }
    }
    j.close('}').close(']');
  } else {
    // The plant's node holds one child per level, each with its own mesh.
    size_t meshes = 0;
    for (size_t l = 0; l < levelPrimitives.size(); ++l) {
      if (!levelPrimitives[l].count) continue;
      if (!meshes++) j.key("meshes").open('[');
      j.open('{').key("name").value(scene.levelNames[l]);
      levelPrimitives[l].json.close(']');
      j.key("primitives").raw(levelPrimitives[l].text).close('}');
    }
    if (meshes) j.close(']');
    j.key("nodes").open('[').open('{').key("name").value(scene.nodeName).key("children").open('[');
    for (size_t l = 0; l < levelPrimitives.size(); ++l) j.value(uint64_t(l + 1));
    j.close(']').close('}');
    meshes = 0;
    for (size_t l = 0; l < levelPrimitives.size(); ++l) {
      j.open('{').key("name").value(scene.levelNames[l]);
      if (levelPrimitives[l].count) j.key("mesh").value(uint64_t(meshes++));
      j.close('}');
    }
    j.close(']');
  }
  if (!scene.images.empty()) {
    j.key("samplers").open('[');
    for (size_t i = 0; i < scene.images.size(); ++i) j.open('{').close('}');
    j.close(']');
  }
  j.key("scenes").open('[').open('{').key("nodes").open('[').value(0).close(']').close('}').close(']');
  if (!scene.images.empty()) {
    j.key("textures").open('[');
    for (size_t i = 0; i < scene.images.size(); ++i)
      j.open('{').key("source").value(uint64_t(i)).key("sampler").value(uint64_t(i)).close('}');
    j.close(']');
  }
  j.key("scene").value(0).close('}');
  levelPrimitives.clear();
  if (!layout.length)
    text = nlohmann::json::parse(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
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
