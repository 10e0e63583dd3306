#include "app/obj_writer.h"

#include <meshoptimizer.h>

#include <charconv>
#include <cstring>

namespace syv::app {
namespace {

// Numbers as a C++ stream with precision 9 prints them (printf's %.9g).
void appendFloat(std::string& out, float f) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, double(f), std::chars_format::general, 9);
  out.append(buf, r.ptr);
}

void appendInt(std::string& out, size_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

uint32_t canonicalBits(float f) {
  if (f == 0.f) f = 0.f;
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// The values as the lists hold them: positions and normals pass through the
// node's identity transform (which turns -0 into +0 where its sums do).
Vec3f placed(const Vec3f& p) {
  const float one = 1.f, zero = 0.f;
  return {one * p[0] + zero * p[1] + zero * p[2] + zero, zero * p[0] + one * p[1] + zero * p[2] + zero,
          zero * p[0] + zero * p[1] + one * p[2] + zero};
}

Vec3f turned(const Vec3f& n) {
  const float one = 1.f, zero = 0.f;
  return {one * n[0] + zero * n[1] + zero * n[2], zero * n[0] + one * n[1] + zero * n[2],
          zero * n[0] + zero * n[1] + one * n[2]};
}

// Numbers the distinct values (equal as numbers: -0 is 0) over all corners in
// order of first use; `first` gets the vertex each number was first seen at.
template <class ValueOf>
std::vector<uint32_t> numberValues(const std::vector<uint32_t>& corners, size_t vertexCount,
                                   ValueOf valueOf, std::vector<uint32_t>& first) {
  std::vector<std::array<uint32_t, 3>> keys(vertexCount);
  for (size_t v = 0; v < vertexCount; ++v) {
    const Vec3f x = valueOf(v);
    keys[v] = {canonicalBits(x[0]), canonicalBits(x[1]), canonicalBits(x[2])};
  }
  std::vector<uint32_t> number(vertexCount);
  const size_t count = meshopt_generateVertexRemap(number.data(), corners.data(), corners.size(),
                                                   keys.data(), vertexCount, sizeof keys[0]);
  first.assign(count, 0);
  uint32_t next = 0;
  for (uint32_t v : corners)
    if (number[v] == next) first[next++] = v;
  return number;
}

}  // namespace

void writeObj(const std::vector<OutputMaterial>& materials, const std::vector<std::string>& meshNames,
              SubmeshSet&& meshes, const std::string& outputPath,
              std::map<std::string, std::string>& files) {
  const std::string header =
      "# File produced by Open Asset Import Library (http://www.assimp.sf.net)\n"
      "# (assimp v5.2.0)\n\n";
  const size_t dot = outputPath.find_last_of('.');
  const std::string mtlPath = (dot == std::string::npos ? outputPath : outputPath.substr(0, dot)) + ".mtl";
  const size_t slash = mtlPath.find_last_of("/\\");
  const std::string mtlName = slash == std::string::npos ? mtlPath : mtlPath.substr(slash + 1);

  std::string mtl = header;
  for (const OutputMaterial& m : materials) {
    mtl += "newmtl " + m.name + "\nKd ";
    appendFloat(mtl, m.color[0]);
    mtl += ' ';
    appendFloat(mtl, m.color[1]);
    mtl += ' ';
    appendFloat(mtl, m.color[2]);
    mtl += "\nillum 1\n";
    if (!m.texture.empty()) mtl += "map_Kd " + m.texture + "\n";
    mtl += "\n";
  }

  // All meshes' vertices in one numbering, their corners in writing order.
  std::vector<Vec3f> positions, normals;
  std::vector<std::array<float, 2>> uvs;
  std::vector<uint32_t> corners;
  std::vector<size_t> faceCounts;
  for (Submesh& sub : meshes.meshes) {
    const uint32_t base = uint32_t(positions.size());
    positions.insert(positions.end(), sub.positions.begin(), sub.positions.end());
    normals.insert(normals.end(), sub.normals.begin(), sub.normals.end());
    uvs.insert(uvs.end(), sub.uvs.begin(), sub.uvs.end());
    for (uint32_t i : sub.indices) corners.push_back(base + i);
    faceCounts.push_back(sub.indices.size() / 3);
    sub = {};
  }
  const size_t n = positions.size();
  std::vector<uint32_t> firstP, firstT, firstN;
  const std::vector<uint32_t> numP =
      numberValues(corners, n, [&](size_t v) { return placed(positions[v]); }, firstP);
  const std::vector<uint32_t> numT =
      numberValues(corners, n, [&](size_t v) { return Vec3f{uvs[v][0], uvs[v][1], 0.f}; }, firstT);
  const std::vector<uint32_t> numN =
      numberValues(corners, n, [&](size_t v) { return turned(normals[v]); }, firstN);

  std::string obj = header + "mtllib " + mtlName + "\n\n";
  obj.reserve(obj.size() + (firstP.size() + firstN.size()) * 36 + firstT.size() * 24 +
              corners.size() * 22);
  auto list = [&](const char* title, const char* tag, const std::vector<uint32_t>& first,
                  auto valueOf) {
    obj += "# ";
    appendInt(obj, first.size());
    obj += title;
    for (uint32_t v : first) {
      obj += tag;
      const Vec3f x = valueOf(v);
      for (int k = 0; k < 3; ++k) {
        obj += ' ';
        appendFloat(obj, x[k]);
      }
      obj += '\n';
    }
    obj += '\n';
  };
  list(" vertex positions\n", "v", firstP, [&](uint32_t v) { return placed(positions[v]); });
  list(" UV coordinates\n", "vt", firstT, [&](uint32_t v) { return Vec3f{uvs[v][0], uvs[v][1], 0.f}; });
  list(" vertex normals\n", "vn", firstN, [&](uint32_t v) { return turned(normals[v]); });

  size_t at = 0;
  for (size_t m = 0; m < faceCounts.size(); ++m) {
    obj += "# Mesh '" + meshNames[m] + "' with ";
    appendInt(obj, faceCounts[m]);
    obj += " faces\n";
    if (!meshNames[m].empty()) obj += "g " + meshNames[m] + "\n";
    obj += "usemtl " + materials[m].name + "\n";
    for (size_t f = 0; f < faceCounts[m]; ++f) {
      obj += "f ";
      for (int k = 0; k < 3; ++k, ++at) {
        const uint32_t v = corners[at];
        obj += ' ';
        appendInt(obj, size_t(numP[v]) + 1);
        obj += '/';
        appendInt(obj, size_t(numT[v]) + 1);
        obj += '/';
        appendInt(obj, size_t(numN[v]) + 1);
      }
      obj += '\n';
    }
    obj += '\n';
  }
  files[outputPath] = std::move(obj);
  files[mtlPath] = std::move(mtl);
}

}  // namespace syv::app
