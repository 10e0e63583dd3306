#include "app/fbx_geometry.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "app/fbx_binary.h"

namespace syv::app {
namespace {

constexpr uint32_t kNone = ~uint32_t(0);

// Values are shared when equal as floats: -0 and +0 are one value.
uint32_t bitsOf(float f) {
  if (f == 0.f) f = 0.f;
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// Numbers the distinct values of `key(i)` for i in `order`, in order of first
// appearance: `id` per item, `from` the item that made each.
template <size_t N, typename Key>
void share(size_t items, const std::vector<uint32_t>& order, Key key, std::vector<uint32_t>& id,
           std::vector<uint32_t>& from) {
  id.assign(items, kNone);
  size_t size = 16;
  while (size < items * 2) size *= 2;
  std::vector<uint32_t> table(size, kNone);  // item that made each value
  auto visit = [&](uint32_t i) {
    if (id[i] != kNone) return;
    const std::array<uint32_t, N> k = key(i);
    uint32_t h = 0;
    for (size_t c = 0; c < N; ++c) h = (h ^ k[c]) * 0x9e3779b1u;
    h ^= h >> 16;
    for (size_t slot = h & (size - 1);; slot = (slot + 1) & (size - 1)) {
      if (table[slot] == kNone) {
        table[slot] = i;
        id[i] = uint32_t(from.size());
        from.push_back(i);
        return;
      }
      if (key(table[slot]) == k) {
        id[i] = id[table[slot]];
        return;
      }
    }
  };
  for (uint32_t i : order) visit(i);
}

void putDouble(char*& p, float f) {
  const double d = f;
  std::memcpy(p, &d, sizeof d);
  p += sizeof d;
}

void putInt(char*& p, int32_t v) {
  std::memcpy(p, &v, sizeof v);
  p += sizeof v;
}

}  // namespace

FbxGeometry::FbxGeometry(const Submesh& mesh) : mesh_(mesh) {
  share<2>(mesh.uvs.size(), mesh.indices, [&](uint32_t v) {
    return std::array<uint32_t, 2>{bitsOf(mesh.uvs[v][0]), bitsOf(mesh.uvs[v][1])};
  }, uv_, uvFrom_);
}

bool FbxGeometry::arrayNamed(const std::string& name, Array& array) {
  static const std::pair<const char*, Array> names[] = {
      {"Vertices", Array::Vertices}, {"PolygonVertexIndex", Array::PolygonVertexIndex},
      {"Normals", Array::Normals},   {"UV", Array::UV},
      {"UVIndex", Array::UVIndex}};
  for (const auto& [n, a] : names)
    if (name == n) {
      array = a;
      return true;
    }
  return false;
}

// `count` elements of `size` bytes in pieces, so that a spooled file never
// holds a whole array in memory; `fill(first, end, p)` writes elements
// [first, end) at `p`.
template <typename Fill>
void putArray(FbxOut& out, size_t count, size_t size, Fill fill) {
  constexpr size_t kPiece = size_t(1) << 16;
  for (size_t first = 0; first < count; first += kPiece) {
    const size_t end = std::min(count, first + kPiece);
    char* p = out.grow((end - first) * size);
    fill(first, end, p);
    out.spill();
  }
}

void FbxGeometry::write(Array array, int offsetWidth, FbxOut& out) const {
  static const char* const names[] = {"Vertices", "PolygonVertexIndex", "Normals", "UV", "UVIndex"};
  FbxRecord record(out, offsetWidth, names[int(array)]);
  const std::vector<uint32_t>& idx = mesh_.indices;
  switch (array) {
    case Array::Vertices:
      record.array('d', mesh_.positions.size() * 3, 8);
      putArray(out, mesh_.positions.size(), 24, [&](size_t first, size_t end, char* p) {
        for (size_t v = first; v < end; ++v)
          for (float f : mesh_.positions[v]) putDouble(p, f);
      });
      break;
    case Array::PolygonVertexIndex:
      record.array('i', idx.size(), 4);
      putArray(out, idx.size(), 4, [&](size_t first, size_t end, char* p) {
        for (size_t c = first; c < end; ++c) {
          const int32_t id = int32_t(idx[c]);
          putInt(p, c % 3 == 2 ? -1 - id : id);
        }
      });
      break;
    case Array::Normals:
      record.array('d', idx.size() * 3, 8);
      putArray(out, idx.size(), 24, [&](size_t first, size_t end, char* p) {
        for (size_t c = first; c < end; ++c)
          for (float f : mesh_.normals[idx[c]]) putDouble(p, f);
      });
      break;
    case Array::UV:
      record.array('d', uvFrom_.size() * 2, 8);
      putArray(out, uvFrom_.size(), 16, [&](size_t first, size_t end, char* p) {
        for (size_t u = first; u < end; ++u)
          for (float f : mesh_.uvs[uvFrom_[u]]) putDouble(p, f);
      });
      break;
    case Array::UVIndex:
      record.array('i', idx.size(), 4);
      putArray(out, idx.size(), 4, [&](size_t first, size_t end, char* p) {
        for (size_t c = first; c < end; ++c) putInt(p, int32_t(uv_[idx[c]]));
      });
      break;
  }
  record.end();
}

}  // namespace syv::app
