// Smoothing-group assignment of the stand-in host on large meshes: the import
// ends with it, so it must stay linear in the face count.
#include <benchmark/benchmark.h>

#include <cmath>

#include "host/sdk/sdk.h"

namespace {

using namespace hostsdk;

// A UV sphere of rings x segments quads sharing their corners, as one plant
// body would be after welding.
Mesh sphere(int rings, int segments) {
  Mesh m;
  const double pi = std::acos(-1.0);
  for (int r = 0; r <= rings; ++r)
    for (int s = 0; s < segments; ++s) {
      const double th = pi * r / rings, ph = 2 * pi * s / segments;
      m.verts.push_back(Point3(float(std::sin(th) * std::cos(ph)), float(std::sin(th) * std::sin(ph)),
                               float(std::cos(th))));
    }
  auto at = [&](int r, int s) { return DWORD(r * segments + (s % segments)); };
  auto tri = [&](DWORD a, DWORD b, DWORD c) {
    Face f;
    f.setVerts(a, b, c);
    m.faces.push_back(f);
  };
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) {
      tri(at(r, s), at(r + 1, s), at(r + 1, s + 1));
      tri(at(r, s), at(r + 1, s + 1), at(r, s + 1));
    }
  return m;
}

// Smooths a fresh copy of `original` per iteration; only the smoothing is timed.
void timeSmoothing(benchmark::State& state, const Mesh& original, float angle) {
  for (auto _ : state) {
    state.PauseTiming();
    Mesh m = original;
    state.ResumeTiming();
    m.AutoSmooth(angle, FALSE, FALSE);
    benchmark::DoNotOptimize(m.faces.data());
  }
  state.counters["faces/s"] = benchmark::Counter(double(original.faces.size()) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
}

void BM_AutoSmooth(benchmark::State& state) {
  const int rings = static_cast<int>(state.range(0));
  timeSmoothing(state, sphere(rings, 2 * rings), 1.5533430576324463f);
}
// 10 k, 100 k, 1 M and 5 M faces: faces/s should stay flat.
BENCHMARK(BM_AutoSmooth)->Arg(50)->Arg(158)->Arg(500)->Arg(1118)->Unit(benchmark::kMillisecond);

// A plant's mesh: many parts, each with vertices of its own, every quad
// written as two triangles as the plug-in writes them: tubes of `sides`
// sides, or (sides 0) leaves of 4 x 8 quads, bent across.
Mesh parts(int count, int sides, int rings) {
  Mesh m;
  const bool tube = sides > 0;
  const int stride = tube ? sides : 5;
  for (int part = 0; part < count; ++part) {
    const DWORD base = DWORD(m.verts.size());
    for (int r = 0; r <= rings; ++r)
      for (int s = 0; s < stride; ++s) {
        const double ph = 2 * std::acos(-1.0) * s / stride, radius = 0.1 * (1 + part % 7);
        if (tube)
          m.verts.push_back(Point3(float(part + radius * std::cos(ph)), float(radius * std::sin(ph)),
                                   float(0.05 * r)));
        else
          m.verts.push_back(Point3(float(part + 0.02 * s), float(0.05 * r),
                                   float(0.01 * (s - 2) * (s - 2))));
      }
    auto at = [&](int r, int s) { return DWORD(base + r * stride + s % stride); };
    for (int r = 0; r < rings; ++r)
      for (int s = 0; s < (tube ? stride : stride - 1); ++s) {
        // Corners d, a along the row, c and b above them, written (c, b, a) and (a, d, c).
        const DWORD d = at(r, s), a = at(r, s + 1), c = at(r + 1, s), b = at(r + 1, s + 1);
        Face f;
        f.setVerts(c, b, a);
        m.faces.push_back(f);
        f.setVerts(a, d, c);
        m.faces.push_back(f);
      }
  }
  return m;
}

void BM_AutoSmoothParts(benchmark::State& state) {
  timeSmoothing(state, parts(int(state.range(0)), 16, 20), 1.5533430576324463f);
}
// 64 k, 640 k and 6.4 M faces.
BENCHMARK(BM_AutoSmoothParts)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Leaves, most of a plant's parts.
void BM_AutoSmoothLeaves(benchmark::State& state) {
  timeSmoothing(state, parts(int(state.range(0)), 0, 8), 1.5533430576324463f);
}
// 640 k faces.
BENCHMARK(BM_AutoSmoothLeaves)->Arg(10000)->Unit(benchmark::kMillisecond);

// The worst case for the per-vertex edge lists: n faces on one edge, each
// met at its middle vertex, in descending order. Time should stay linear.
void BM_AutoSmoothFan(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Mesh original;
  for (int j = 0; j < n; ++j)
    original.verts.push_back(Point3(float(std::cos(j * 1e-3)), float(std::sin(j * 1e-3)), 0.5f));
  original.verts.push_back(Point3(0, 0, 0));
  original.verts.push_back(Point3(0, 0, 1));
  for (int j = 0; j < n; ++j) {
    Face f;
    f.setVerts(DWORD(j), DWORD(n), DWORD(n + 1));
    original.faces.push_back(f);
  }
  timeSmoothing(state, original, 0.0005f);
}
BENCHMARK(BM_AutoSmoothFan)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
