#include <gtest/gtest.h>

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "app/exporter.h"
#include "app/output_files.h"
#include "app/textures.h"
#include "test_support.h"

namespace syv::app {
namespace {

using Json = nlohmann::json;

// A wavy sheet of smoothed quads; texture coordinates in 0..1, tiled beyond
// them with a texture (quantized over their range), tiled without (floats).
Model sheet() {
  Model m;
  m.nodeName = "sheet";
  const uint32_t n = 24, row = n + 1;
  for (uint32_t v = 0; v < row * row; ++v)
    m.mesh.vertices.push_back({v % row * 7.f, v / row * 5.f, 30.f * std::sin(v % row * 0.4f) * std::cos(v / row * 0.3f)});
  for (uint32_t q = 0; q < n * n; ++q) {
    const uint32_t a = q / n * row + q % n;
    test::addQuad(m.mesh, a, a + 1, a + row + 1, a + row, 1 + 3 * (q % n) / n, 1);
  }
  m.mesh.hasTexCoords = true;
  for (size_t t = 0; t < m.mesh.tverts.size(); ++t) {
    const float s = m.mesh.faces[t / 4 * 2].material == 1 ? 0.9f : 3.f;
    m.mesh.tverts[t] = {m.mesh.tverts[t][0] * s + 0.01f * float(t % 7), m.mesh.tverts[t][1] * s, 0.f};
  }
  m.materials = {{1, "Bark", {}, ""}, {2, "Leaf", {}, "leaf.png"}, {3, "Twig", {}, ""}};
  return m;
}

struct Glb {
  Json j;
  std::string bin;
  explicit Glb(const std::string& bytes) : j(test::glbJson(bytes)) {
    uint32_t length = 0;
    std::memcpy(&length, bytes.data() + 12, 4);
    bin = bytes.substr(28 + length);
  }
  // Accessor `a` as a reader sees it: decoded, dequantized, `width` values per element.
  std::vector<double> values(size_t a, size_t width, const Json& transform = Json()) const {
    const Json& acc = j["accessors"][a];
    const Json& view = j["bufferViews"][acc["bufferView"].get<size_t>()];
    const size_t count = acc["count"];
    const int type = acc["componentType"];
    size_t stride = view.value("byteStride", width * (type == 5120 ? 1 : type == 5123 ? 2 : 4));
    std::string data = view.contains("extensions") ? "" : bin.substr(view.value("byteOffset", 0), view["byteLength"]);
    if (data.empty()) {
      const Json& e = view["extensions"]["EXT_meshopt_compression"];
      stride = e["byteStride"];
      data.assign(count * stride, '\0');
      const auto* src = reinterpret_cast<const unsigned char*>(bin.data()) + e["byteOffset"].get<size_t>();
      EXPECT_EQ(0, e["mode"] == "TRIANGLES"
                       ? meshopt_decodeIndexBuffer(data.data(), count, stride, src, e["byteLength"])
                       : meshopt_decodeVertexBuffer(data.data(), count, stride, src, e["byteLength"]));
    }
    std::vector<double> out;
    for (size_t i = 0; i < count * width; ++i) {
      const size_t k = i % width;
      auto get = [&](auto x) { return std::memcpy(&x, data.data() + i / width * stride + sizeof x * k, sizeof x), x; };
      double v = type == 5120 ? std::max(get(int8_t()) / 127.0, -1.0)
                 : type == 5123 ? get(uint16_t()) / (acc.value("normalized", false) ? 65535.0 : 1.0)
                 : type == 5125 ? double(get(uint32_t())) : double(get(float()));
      if (!transform.is_null()) v = transform["translation"][k].get<double>() + v * transform["scale"][k].get<double>();
      out.push_back(v);
    }
    return out;
  }
};

// Each triangle started at its smallest index: the codec may rotate them, keeping the winding.
std::vector<double> triangles(std::vector<double> idx) {
  for (size_t t = 0; t < idx.size(); t += 3)
    std::rotate(idx.begin() + long(t), std::min_element(idx.begin() + long(t), idx.begin() + long(t) + 3),
                idx.begin() + long(t) + 3);
  return idx;
}

TEST(Compress, DecodesToThePlainValuesWithinHalfAStepAndValidates) {
  test::TempDir dir;
  test::writeText(dir.file("leaf.png"), test::tinyPng());
  std::string bytes[2];
  for (int compress = 0; compress < 2; ++compress) {
    ExportRequest req;
    req.plantPath = dir.file("sheet.syv");
    req.textureFolders = textureFolders(req.plantPath, {});
    req.outputPath = dir.file(compress ? "packed.glb" : "plain.glb");
    req.compress = compress;
    ExportResult result;
    std::string error;
    ASSERT_TRUE(exportModel(sheet(), req, result, error)) << error;
    ASSERT_TRUE(writeFilesInPlace(result.files, req.outputPath, error, &result.spooled)) << error;
    bytes[compress] = test::readText(req.outputPath);
  }
  const Glb plain(bytes[0]), packed(bytes[1]);
  const Json& node = packed.j["nodes"][0];
  ASSERT_EQ(plain.j["meshes"][0]["primitives"].size(), 3u);
  for (size_t m = 0; m < 3; ++m) {
    const Json& pp = plain.j["meshes"][0]["primitives"][m];
    const Json& qp = packed.j["meshes"][0]["primitives"][m];
    EXPECT_EQ(triangles(plain.values(pp["indices"], 1)), triangles(packed.values(qp["indices"], 1)));
    const Json t = packed.j["materials"][m]["pbrMetallicRoughness"].value(
        "/baseColorTexture/extensions/KHR_texture_transform"_json_pointer, Json());
    const Json uvMap = t.is_null() ? t : Json{{"translation", t["offset"]}, {"scale", t["scale"]}};
    const bool floats = packed.j["accessors"][qp["attributes"]["TEXCOORD_0"].get<size_t>()]["componentType"] == 5126;
    const double uvStep = floats ? 0 : t.is_null() ? 1 / 65535.0 : std::max(t["scale"][0].get<double>(), t["scale"][1].get<double>()) / 65535;
    const struct { const char* name; size_t width; Json transform; double tolerance; } attrs[] = {
        {"POSITION", 3, node, node["scale"][0].get<double>() / 2}, {"NORMAL", 3, Json(), 0.5 / 127}, {"TEXCOORD_0", 2, uvMap, uvStep / 2}};
    for (const auto& at : attrs) {
      const std::vector<double> a = plain.values(pp["attributes"][at.name], at.width),
                                b = packed.values(qp["attributes"][at.name], at.width, at.transform);
      ASSERT_EQ(a.size(), b.size()) << at.name;
      for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], at.tolerance + 1e-6) << at.name << " " << i;
    }
  }

  const Json report = test::validate(dir.file("packed.glb"));
  if (report.is_null()) GTEST_SKIP() << "node or gltf-validator missing: not validated";
  EXPECT_EQ(report["errors"], 0) << report.dump();
}

}  // namespace
}  // namespace syv::app
