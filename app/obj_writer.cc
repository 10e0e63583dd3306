#include "app/obj_writer.h"

#include <charconv>
#include <cstring>

#include "app/output_files.h"

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

// Numbers the distinct values (equal as numbers: -0 is 0) over all meshes'
// corners in order of first use: the number of each vertex (all meshes' in
// one row), and each number's value as its first vertex has it.
template <class ValueOf>
std::vector<uint32_t> numberValues(const std::vector<Submesh>& meshes, ValueOf valueOf,
                                   std::vector<Vec3f>& values) {
  constexpr uint32_t kNone = ~uint32_t(0);
  size_t vertices = 0;
  for (const Submesh& sub : meshes) vertices += sub.positions.size();
  size_t size = 16;
  while (size < vertices * 2) size *= 2;
  std::vector<uint32_t> table(size, kNone);  // numbers, placed by their value
  std::vector<uint32_t> number(vertices, kNone);
  auto same = [](const Vec3f& a, const uint32_t (&k)[3]) {
    return canonicalBits(a[0]) == k[0] && canonicalBits(a[1]) == k[1] && canonicalBits(a[2]) == k[2];
  };
  size_t base = 0;
  for (const Submesh& sub : meshes) {
    for (uint32_t i : sub.indices) {
      uint32_t& n = number[base + i];
      if (n != kNone) continue;
      const Vec3f x = valueOf(sub, i);
      const uint32_t k[3] = {canonicalBits(x[0]), canonicalBits(x[1]), canonicalBits(x[2])};
      uint32_t h = 0;
      for (uint32_t c : k) h = (h ^ c) * 0x9e3779b1u;
      h ^= h >> 16;
      for (size_t at = h & (size - 1);; at = (at + 1) & (size - 1)) {
        if (table[at] == kNone) {
          table[at] = n = uint32_t(values.size());
          values.push_back(x);
          break;
        }
        if (same(values[table[at]], k)) {
          n = table[at];
          break;
        }
      }
    }
    base += sub.positions.size();
  }
  return number;
}

char* putInt(char* p, size_t v) { return std::to_chars(p, p + 24, v).ptr; }

}  // namespace

void writeObj(const std::vector<OutputMaterial>& materials, const std::vector<std::string>& meshNames,
              SubmeshSet&& meshes, const std::string& outputPath,
              std::map<std::string, std::string>& files, SpooledFile* spool) {
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

  // All meshes' vertices in one numbering per kind of value.
  const std::vector<Submesh>& subs = meshes.meshes;
  std::vector<Vec3f> valuesP, valuesT, valuesN;
  const std::vector<uint32_t> numP =
      numberValues(subs, [](const Submesh& s, uint32_t v) { return placed(s.positions[v]); }, valuesP);
  const std::vector<uint32_t> numT = numberValues(
      subs, [](const Submesh& s, uint32_t v) { return Vec3f{s.uvs[v][0], s.uvs[v][1], 0.f}; }, valuesT);
  const std::vector<uint32_t> numN =
      numberValues(subs, [](const Submesh& s, uint32_t v) { return turned(s.normals[v]); }, valuesN);

  std::string obj = header + "mtllib " + mtlName + "\n\n";
  constexpr size_t kPiece = size_t(1) << 20;
  size_t corners = 0;
  for (const Submesh& sub : subs) corners += sub.indices.size();
  if (spool)
    obj.reserve(kPiece + 4096);
  else
    obj.reserve(obj.size() + (valuesP.size() + valuesN.size()) * 36 + valuesT.size() * 24 +
                corners * 22);
  auto spill = [&] {
    if (spool && obj.size() >= kPiece) {
      spool->append(obj);
      obj.clear();
    }
  };
  auto list = [&](const char* title, const char* tag, const std::vector<Vec3f>& values) {
    obj += "# ";
    appendInt(obj, values.size());
    obj += title;
    const size_t tagSize = std::strlen(tag);
    for (const Vec3f& x : values) {
      char line[128];
      char* p = line;
      std::memcpy(p, tag, tagSize);
      p += tagSize;
      for (int k = 0; k < 3; ++k) {
        *p++ = ' ';
        p = std::to_chars(p, p + 32, double(x[k]), std::chars_format::general, 9).ptr;
      }
      *p++ = '\n';
      obj.append(line, p);
      spill();
    }
    obj += '\n';
  };
  list(" vertex positions\n", "v", valuesP);
  list(" UV coordinates\n", "vt", valuesT);
  list(" vertex normals\n", "vn", valuesN);

  size_t base = 0;
  for (size_t m = 0; m < subs.size(); ++m) {
    const std::vector<uint32_t>& idx = subs[m].indices;
    obj += "# Mesh '" + meshNames[m] + "' with ";
    appendInt(obj, idx.size() / 3);
    obj += " faces\n";
    if (!meshNames[m].empty()) obj += "g " + meshNames[m] + "\n";
    obj += "usemtl " + materials[m].name + "\n";
    for (size_t c = 0; c + 3 <= idx.size(); c += 3) {
      char line[128];
      char* p = line;
      *p++ = 'f';
      *p++ = ' ';
      for (size_t k = 0; k < 3; ++k) {
        const size_t v = base + idx[c + k];
        *p++ = ' ';
        p = putInt(p, size_t(numP[v]) + 1);
        *p++ = '/';
        p = putInt(p, size_t(numT[v]) + 1);
        *p++ = '/';
        p = putInt(p, size_t(numN[v]) + 1);
      }
      *p++ = '\n';
      obj.append(line, p);
      spill();
    }
    obj += '\n';
    base += subs[m].positions.size();
  }
  meshes = {};
  if (spool)
    spool->append(obj);
  else
    files[outputPath] = std::move(obj);
  files[mtlPath] = std::move(mtl);
}

}  // namespace syv::app
