#include <gtest/gtest.h>

#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "app/exporter.h"
#include "app/textures.h"
#include "test_support.h"

namespace syv::app {
namespace {

// A wavy sheet of quads, smoothed, in three materials: texture coordinates in
// 0..1, tiled beyond them with a texture (to carry their range), and tiled
// without one (kept as floats).
Model sheet() {
  Model m;
  m.nodeName = "sheet";
  const uint32_t n = 24;
  for (uint32_t y = 0; y <= n; ++y)
    for (uint32_t x = 0; x <= n; ++x)
      m.mesh.vertices.push_back(
          {float(x) * 7.f, float(y) * 5.f, 30.f * std::sin(float(x) * 0.4f) * std::cos(float(y) * 0.3f)});
  for (uint32_t y = 0; y < n; ++y)
    for (uint32_t x = 0; x < n; ++x) {
      const uint32_t a = y * (n + 1) + x;
      test::addQuad(m.mesh, a, a + 1, a + n + 2, a + n + 1, 1 + 3 * x / n, 1);
    }
  m.mesh.hasTexCoords = true;
  for (size_t t = 0; t < m.mesh.tverts.size(); ++t) {
    auto& tv = m.mesh.tverts[t];
    const float s = m.mesh.faces[t / 4 * 2].material == 1 ? 0.9f : 3.f;
    tv = {tv[0] * s + 0.01f * float(t % 7), tv[1] * s, 0.f};
  }
  m.materials = {{1, "Bark", {0.4f, 0.3f, 0.2f}, ""},
                 {2, "Leaf", {0.1f, 0.6f, 0.2f}, "leaf.png"},
                 {3, "Twig", {0.3f, 0.3f, 0.2f}, ""}};
  return m;
}

struct Glb {
  nlohmann::json j;
  std::string bin;
};

Glb parseGlb(const std::string& bytes) {
  uint32_t length = 0, binLength = 0;
  std::memcpy(&length, bytes.data() + 12, 4);
  std::memcpy(&binLength, bytes.data() + 20 + length, 4);
  return {nlohmann::json::parse(bytes.substr(20, length)), bytes.substr(28 + length, binLength)};
}

// An accessor's elements, decoded when its view is compressed.
std::string viewBytes(const Glb& g, size_t accessor) {
  const auto& a = g.j["accessors"][accessor];
  const auto& v = g.j["bufferViews"][a["bufferView"].get<size_t>()];
  if (!v.contains("extensions")) return g.bin.substr(v["byteOffset"], v["byteLength"]);
  const auto& e = v["extensions"]["EXT_meshopt_compression"];
  const size_t count = e["count"], stride = e["byteStride"];
  std::string out(count * stride, '\0');
  const auto* src = reinterpret_cast<const unsigned char*>(g.bin.data()) + e["byteOffset"].get<size_t>();
  const int rc = e["mode"] == "TRIANGLES"
                     ? meshopt_decodeIndexBuffer(out.data(), count, stride, src, e["byteLength"])
                     : meshopt_decodeVertexBuffer(out.data(), count, stride, src, e["byteLength"]);
  EXPECT_EQ(rc, 0);
  return out;
}

// Component k of element i as a float, dequantized as a reader does.
double component(const Glb& g, const std::string& data, size_t accessor, size_t i, size_t k) {
  const auto& a = g.j["accessors"][accessor];
  const auto& v = g.j["bufferViews"][a["bufferView"].get<size_t>()];
  const size_t width = a["type"] == "VEC3" ? 3 : a["type"] == "VEC2" ? 2 : 1;
  const int type = a["componentType"];
  const size_t size = type == 5120 ? 1 : type == 5123 ? 2 : 4;
  const size_t stride = v.value("byteStride", width * size);
  const char* p = data.data() + i * stride + k * size;
  const bool normalized = a.value("normalized", false);
  switch (type) {
    case 5120: return normalized ? std::max(int8_t(*p) / 127.0, -1.0) : int8_t(*p);
    case 5123: {
      uint16_t u;
      std::memcpy(&u, p, 2);
      return normalized ? u / 65535.0 : u;
    }
    case 5125: {
      uint32_t u;
      std::memcpy(&u, p, 4);
      return u;
    }
    default: {
      float f;
      std::memcpy(&f, p, 4);
      return f;
    }
  }
}

TEST(Compress, DecodedValuesAreThePlainOnesWithinAQuantizationStep) {
  test::TempDir dir;
  test::writeText(dir.file("leaf.png"), test::tinyPng());
  std::map<std::string, std::string> files[2];
  for (int compress = 0; compress < 2; ++compress) {
    ExportRequest req;
    req.plantPath = dir.file("sheet.syv");
    req.textureFolders = textureFolders(req.plantPath, {});
    req.outputPath = dir.file("sheet.glb");
    req.compress = compress;
    ExportResult result;
    std::string error;
    ASSERT_TRUE(exportModel(sheet(), req, result, error)) << error;
    files[compress] = std::move(result.files);
  }
  const Glb plain = parseGlb(files[0].begin()->second), packed = parseGlb(files[1].begin()->second);
  EXPECT_LT(files[1].begin()->second.size() * 2, files[0].begin()->second.size());
  int uvKinds = 0;  // bits: 1 in 0..1, 2 over their range, 4 floats
  const auto& node = packed.j["nodes"][0];
  const double scale = node["scale"][0];
  const auto& required = packed.j["extensionsRequired"];
  EXPECT_NE(std::find(required.begin(), required.end(), "EXT_meshopt_compression"), required.end());

  const auto& prims = plain.j["meshes"][0]["primitives"];
  ASSERT_EQ(prims.size(), 3u);
  for (size_t m = 0; m < prims.size(); ++m) {
    const auto& pa = prims[m]["attributes"];
    const auto& qa = packed.j["meshes"][0]["primitives"][m]["attributes"];
    // Same vertices and triangles in the same order: only the values' precision differs.
    const size_t pi = prims[m]["indices"], qi = packed.j["meshes"][0]["primitives"][m]["indices"];
    const std::string ip = viewBytes(plain, pi), iq = viewBytes(packed, qi);
    const size_t count = plain.j["accessors"][pi]["count"];
    ASSERT_EQ(packed.j["accessors"][qi]["count"], count);
    // The index codec may rotate a triangle's corners, keeping its winding.
    auto triangle = [&](const Glb& g, const std::string& d, size_t a, size_t t) {
      std::array<double, 3> c;
      for (size_t k = 0; k < 3; ++k) c[k] = component(g, d, a, t * 3 + k, 0);
      std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
      return c;
    };
    for (size_t t = 0; t < count / 3; ++t)
      ASSERT_EQ(triangle(plain, ip, pi, t), triangle(packed, iq, qi, t)) << t;
    struct Attr {
      const char* name;
      size_t width;
    } attrs[] = {{"POSITION", 3}, {"NORMAL", 3}, {"TEXCOORD_0", 2}};
    for (const Attr& at : attrs) {
      const size_t a = pa[at.name], b = qa[at.name];
      const std::string dp = viewBytes(plain, a), dq = viewBytes(packed, b);
      const int type = packed.j["accessors"][b]["componentType"];
      double step = at.name[0] == 'P' ? scale : type == 5120 ? 1 / 127.0 : type == 5123 ? 1 / 65535.0 : 0;
      const nlohmann::json transform = packed.j["materials"][m]["pbrMetallicRoughness"].value(
          "/baseColorTexture/extensions/KHR_texture_transform"_json_pointer, nlohmann::json());
      if (at.name[0] == 'T') uvKinds |= type == 5126 ? 4 : transform.is_null() ? 1 : 2;
      const size_t n = plain.j["accessors"][a]["count"];
      ASSERT_EQ(packed.j["accessors"][b]["count"], n);
      for (size_t i = 0; i < n; ++i)
        for (size_t k = 0; k < at.width; ++k) {
          double q = component(packed, dq, b, i, k);
          double unit = 1;
          if (at.name[0] == 'P') q = node["translation"][k].get<double>() + q * scale;
          if (at.name[0] == 'T' && !transform.is_null()) {
            unit = transform["scale"][k].get<double>();
            q = transform["offset"][k].get<double>() + q * unit;
          }
          ASSERT_LE(std::abs(q - component(plain, dp, a, i, k)), step * unit * 0.5 + 1e-6)
              << at.name << " " << m << " " << i << " " << k;
        }
    }
  }
  EXPECT_EQ(uvKinds, 7) << "every kind of texture coordinates was meant to be tried";
}

}  // namespace
}  // namespace syv::app
