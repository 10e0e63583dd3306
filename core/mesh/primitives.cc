#include "core/mesh/primitives.h"

#include <cmath>
#include <string>

#include "core/base/log.h"

namespace syv {

namespace {

uint32_t boundedCount(uint32_t value, uint32_t minimum, const char* generator,
                      const char* what) {
  if (value < minimum) return minimum;
  if (value > kMaxPrimitiveCount) {
    LogChannel::warning(std::string(generator) + ": " + what + " " + std::to_string(value) +
                        " lowered to " + std::to_string(kMaxPrimitiveCount));
    return kMaxPrimitiveCount;
  }
  return value;
}

// A non-finite size would put non-finite vertices into the mesh; the
// primitive is left out instead.
bool finiteSizes(const char* generator, double a, double b = 0.0, double c = 0.0) {
  if (std::isfinite(a) && std::isfinite(b) && std::isfinite(c)) return true;
  LogChannel::warning(std::string(generator) + ": size is not a finite number, nothing generated");
  return false;
}

TexFace texFace(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d) {
  TexFace tf;
  tf.uv[0] = a;
  tf.uv[1] = b;
  tf.uv[2] = c;
  tf.uv[3] = d;
  return tf;
}

Face face(uint32_t base, uint32_t a, uint32_t b, uint32_t c, uint32_t d, int32_t material) {
  Face f;
  f.a = base + a;
  f.b = base + b;
  f.c = base + c;
  f.d = base + d;
  f.material = material;
  return f;
}

// The quad and its texture corners in the opposite order, so that it faces the
// other way with every position and coordinate kept.
void setReversedFace(MeshSink& sink, uint32_t index, const Face& f, const TexFace& t) {
  Face r = f;
  r.a = f.d, r.b = f.c, r.c = f.b, r.d = f.a;
  sink.setFace(index, r);
  sink.setTexFace(index, texFace(t.uv[3], t.uv[2], t.uv[1], t.uv[0]));
}

// The shared grid of the cylinder side, the disc and the cone: ring j has the
// radius and height that `ring` gives for v = j / stacks. The grid's own order
// faces outward when the rings climb (the cone); `reversed` turns it for grids
// that run downwards or face the other way.
template <typename RingFn>
bool generateRingGrid(MeshSink& sink, uint32_t segments, uint32_t stacks, int32_t material,
                      bool reversed, RingFn ring) {
  const uint32_t vertexCount = (stacks + 1) * segments;
  const uint32_t faceCount = segments * stacks;
  uint32_t vb = 0, fb = 0;
  if (!sink.reserve(vertexCount, faceCount, vb, fb)) return false;
  for (uint32_t j = 0; j <= stacks; ++j) {
    const double v = static_cast<double>(j) / stacks;
    double radius = 0.0, z = 0.0;
    ring(v, radius, z);
    for (uint32_t k = 0; k < segments; ++k) {
      const double theta = 2.0 * kPi * static_cast<double>(k) / segments;
      sink.setVertex(vb + j * segments + k,
                     Vector3(radius * std::sin(theta), radius * std::cos(theta), z));
    }
  }
  uint32_t f = fb;
  for (uint32_t j = 0; j < stacks; ++j) {
    const double v0 = static_cast<double>(j) / stacks;
    const double v1 = static_cast<double>(j + 1) / stacks;
    for (uint32_t k = 0; k < segments; ++k) {
      const uint32_t next = k + 1 < segments ? k + 1 : 0;
      const double u0 = 1.0 - static_cast<double>(k) / segments;
      const double u1 = 1.0 - static_cast<double>(k + 1) / segments;
      const Face q = face(vb, j * segments + k, j * segments + next, (j + 1) * segments + next,
                          (j + 1) * segments + k, material);
      const TexFace t = texFace(Vector3(u0, v0, 0), Vector3(u1, v0, 0), Vector3(u1, v1, 0),
                                Vector3(u0, v1, 0));
      if (reversed) {
        setReversedFace(sink, f, q, t);
      } else {
        sink.setFace(f, q);
        sink.setTexFace(f, t);
      }
      ++f;
    }
  }
  return true;
}

}  // namespace

bool generateBox(MeshSink& sink, const Vector3& size, int32_t material) {
  if (!finiteSizes("box", size.x, size.y, size.z)) return true;
  const double hx = size.x * 0.5, hy = size.y * 0.5, hz = size.z * 0.5;
  const Vector3 vertices[24] = {
      {-hx, hy, hz},  {hx, hy, hz},  {-hx, -hy, hz},  {hx, -hy, hz},   // z = +hz
      {-hx, hy, -hz}, {hx, hy, -hz}, {-hx, -hy, -hz}, {hx, -hy, -hz},  // z = -hz
      {-hx, -hy, hz}, {hx, -hy, hz}, {-hx, -hy, -hz}, {hx, -hy, -hz},  // y = -hy
      {hx, hy, hz},   {hx, -hy, hz}, {hx, hy, -hz},   {hx, -hy, -hz},  // x = +hx
      {-hx, hy, hz},  {hx, hy, hz},  {-hx, hy, -hz},  {hx, hy, -hz},   // y = +hy
      {-hx, hy, hz},  {-hx, -hy, hz}, {-hx, hy, -hz}, {-hx, -hy, -hz}, // x = -hx
  };
  // Corner order of each face; seen from outside every face runs clockwise.
  static const uint32_t corners[6][4] = {{0, 1, 3, 2},     {6, 7, 5, 4},     {8, 9, 11, 10},
                                         {13, 12, 14, 15}, {17, 16, 18, 19}, {20, 21, 23, 22}};
  uint32_t vb = 0, fb = 0;
  if (!sink.reserve(24, 6, vb, fb)) return false;
  for (uint32_t i = 0; i < 24; ++i) sink.setVertex(vb + i, vertices[i]);
  const TexFace unit = texFace(Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(1, 1, 0),
                               Vector3(0, 1, 0));
  for (uint32_t k = 0; k < 6; ++k) {
    const uint32_t* c = corners[k];
    sink.setFace(fb + k, face(vb, c[0], c[1], c[2], c[3], material));
    sink.setTexFace(fb + k, unit);
  }
  return true;
}

bool generateCylinderSide(MeshSink& sink, double radius, double height, uint32_t segments,
                          uint32_t stacks, int32_t material) {
  if (!finiteSizes("cylinder", radius, height)) return true;
  segments = boundedCount(segments, 3, "cylinder", "segments");
  stacks = boundedCount(stacks, 1, "cylinder", "stacks");
  return generateRingGrid(sink, segments, stacks, material, true, [&](double v, double& r, double& z) {
    r = radius;
    z = (0.5 - v) * height;
  });
}

bool generateDisc(MeshSink& sink, double radius, double z, uint32_t segments, uint32_t rings,
                  int32_t material) {
  if (!finiteSizes("disc", radius, z)) return true;
  segments = boundedCount(segments, 3, "disc", "segments");
  rings = boundedCount(rings, 1, "disc", "rings");
  // A negative radius turns the grid half round; reversing it as well makes
  // the mirror image, which faces down.
  return generateRingGrid(sink, segments, rings, material, radius > 0,
                          [&](double v, double& r, double& h) {
    r = v * radius;
    h = z;
  });
}

bool generateCone(MeshSink& sink, double radius, double height, uint32_t segments,
                  uint32_t stacks, int32_t material) {
  if (!finiteSizes("cone", radius, height)) return true;
  segments = boundedCount(segments, 3, "cone", "segments");
  stacks = boundedCount(stacks, 1, "cone", "stacks");
  return generateRingGrid(sink, segments, stacks, material, false,
                          [&](double v, double& r, double& z) {
    r = (1.0 - v) * radius;
    z = (v - 0.5) * height;
  });
}

bool generateSphere(MeshSink& sink, double radius, uint32_t segments, uint32_t rings,
                    int32_t material) {
  if (!finiteSizes("sphere", radius)) return true;
  segments = boundedCount(segments, 3, "sphere", "segments");
  rings = boundedCount(rings, 3, "sphere", "rings");
  const uint32_t north = 1 + (rings - 1) * segments;
  uint32_t vb = 0, fb = 0;
  if (!sink.reserve(north + 1, segments * rings, vb, fb)) return false;
  sink.setVertex(vb, Vector3(0, 0, -radius));
  for (uint32_t j = 1; j < rings; ++j) {
    const double phi = (static_cast<double>(j) / rings - 0.5) * kPi;
    for (uint32_t k = 0; k < segments; ++k) {
      const double theta = 2.0 * kPi * static_cast<double>(k) / segments;
      sink.setVertex(vb + 1 + (j - 1) * segments + k,
                     Vector3(radius * std::sin(theta) * std::cos(phi),
                             radius * std::cos(theta) * std::cos(phi), radius * std::sin(phi)));
    }
  }
  sink.setVertex(vb + north, Vector3(0, 0, radius));
  // Index of vertex k on latitude j, where latitudes 0 and `rings` are the poles.
  auto at = [&](uint32_t j, uint32_t k) -> uint32_t {
    if (j == 0) return 0;
    if (j == rings) return north;
    return 1 + (j - 1) * segments + k;
  };
  uint32_t f = fb;
  for (uint32_t j = 0; j < rings; ++j) {
    // Upper latitude first as the cylinder side runs, reversed like it to face out.
    const double vLow = static_cast<double>(j) / rings;
    const double vHigh = static_cast<double>(j + 1) / rings;
    for (uint32_t k = 0; k < segments; ++k) {
      const uint32_t next = k + 1 < segments ? k + 1 : 0;
      const double u0 = static_cast<double>(k) / segments;
      const double u1 = static_cast<double>(k + 1) / segments;
      setReversedFace(sink, f,
                      face(vb, at(j + 1, k), at(j + 1, next), at(j, next), at(j, k), material),
                      texFace(Vector3(u0, vHigh, 0), Vector3(u1, vHigh, 0), Vector3(u1, vLow, 0),
                              Vector3(u0, vLow, 0)));
      ++f;
    }
  }
  return true;
}

bool generatePlane(MeshSink& sink, double size, uint32_t divisions, int32_t material) {
  if (!finiteSizes("plane", size)) return true;
  const uint32_t n = boundedCount(divisions, 1, "plane", "divisions");
  const uint32_t row = n + 1;
  uint32_t vb = 0, fb = 0;
  if (!sink.reserve(row * row, n * n, vb, fb)) return false;
  const double step = 1.0 / n;
  for (uint32_t j = 0; j <= n; ++j)
    for (uint32_t i = 0; i <= n; ++i)
      sink.setVertex(vb + j * row + i, Vector3((i * step - 0.5) * size, (j * step - 0.5) * size, 0));
  auto uv = [&](uint32_t i, uint32_t j) { return Vector3(1.0 - i * step, 1.0 - j * step, 0); };
  for (uint32_t j = 1; j <= n; ++j) {
    for (uint32_t i = 1; i <= n; ++i) {
      const uint32_t f = fb + (j - 1) * n + (i - 1);
      sink.setFace(f, face(vb, (j - 1) * row + i, (j - 1) * row + i - 1, j * row + i - 1,
                           j * row + i, material));
      sink.setTexFace(f, texFace(uv(i, j - 1), uv(i - 1, j - 1), uv(i - 1, j), uv(i, j)));
    }
  }
  return true;
}

void transformMesh(Mesh& mesh, const Matrix4& matrix) {
  const uint32_t n = mesh.vertexCount();
  for (uint32_t i = 0; i < n; ++i) mesh.setVertex(i, mesh.vertex(i) * matrix);
}

}  // namespace syv
