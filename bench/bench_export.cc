// The converter's export stages on a synthetic plant-like mesh: rows of
// smoothed, textured quads over a few materials, as the host mesh holds them.
#include <benchmark/benchmark.h>

#include <cmath>

#include "app/gltf_writer.h"
#include "app/mesh_order.h"
#include "app/normals.h"
#include "app/obj_writer.h"
#include "app/submeshes.h"

namespace {

using namespace syv::app;

// About `faces` triangles: tubes of 16 sides, one material per tube, the
// seam's texture coordinates split as a plant's are.
TriMesh tubes(size_t faces) {
  TriMesh mesh;
  mesh.hasTexCoords = true;
  const uint32_t sides = 16, rings = 64;
  for (size_t tube = 0; mesh.faces.size() < faces; ++tube) {
    const uint32_t v0 = uint32_t(mesh.vertices.size()), t0 = uint32_t(mesh.tverts.size());
    for (uint32_t r = 0; r < rings; ++r) {
      for (uint32_t s = 0; s < sides; ++s) {
        const float a = 6.2831853f * float(s) / float(sides);
        mesh.vertices.push_back({float(tube % 100) * 10 + std::cos(a), float(tube / 100) * 10 + std::sin(a),
                                 float(r) * 0.5f});
      }
      for (uint32_t s = 0; s <= sides; ++s) mesh.tverts.push_back({float(s) / float(sides), float(r), 0.f});
    }
    for (uint32_t r = 0; r + 1 < rings && mesh.faces.size() < faces; ++r)
      for (uint32_t s = 0; s < sides; ++s) {
        const uint32_t a = v0 + r * sides + s, b = v0 + r * sides + (s + 1) % sides;
        const uint32_t c = a + sides, d = b + sides;
        const uint32_t ta = t0 + r * (sides + 1) + s, tb = ta + 1, tc = ta + sides + 1, td = tc + 1;
        const uint32_t material = uint32_t(tube % 3);
        mesh.faces.push_back({{a, b, d}, {ta, tb, td}, 1, material});
        mesh.faces.push_back({{d, c, a}, {td, tc, ta}, 1, material});
      }
  }
  return mesh;
}

void BM_CornerNormals(benchmark::State& state) {
  const TriMesh mesh = tubes(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(cornerNormals(mesh));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mesh.faces.size()));
}
BENCHMARK(BM_CornerNormals)->RangeMultiplier(4)->Range(10000, 2560000)->Unit(benchmark::kMillisecond);

// Normals and welding: twice the faces should take about twice the time.
void BM_BuildSubmeshes(benchmark::State& state) {
  const TriMesh mesh = tubes(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(buildSubmeshes(mesh, 0.01));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mesh.faces.size()));
}
// 10 k to 20 M faces, doubling (the largest needs about 3 GB).
BENCHMARK(BM_BuildSubmeshes)->RangeMultiplier(2)->Range(10000, 20480000)->Unit(benchmark::kMillisecond);

// The vertex cache and fetch order every export now adds after welding.
void BM_OptimizeOrder(benchmark::State& state) {
  const TriMesh mesh = tubes(size_t(state.range(0)));
  const SubmeshSet built = buildSubmeshes(mesh, 0.01);
  for (auto _ : state) {
    state.PauseTiming();
    SubmeshSet copy = built;
    state.ResumeTiming();
    optimizeOrder(copy);
    benchmark::DoNotOptimize(copy);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mesh.faces.size()));
}
BENCHMARK(BM_OptimizeOrder)->RangeMultiplier(4)->Range(10000, 2560000)->Unit(benchmark::kMillisecond);

// With compress: quantizing and encoding instead of copying the arrays.
void writeGlb(benchmark::State& state, bool compress) {
  const TriMesh mesh = tubes(size_t(state.range(0)));
  SubmeshSet built = buildSubmeshes(mesh, 0.01);
  optimizeOrder(built);
  GltfScene scene;
  scene.nodeName = "plant";
  scene.meshName = "mesh_0";
  scene.materials.resize(built.meshes.size());
  scene.compress = compress;
  for (auto _ : state) {
    state.PauseTiming();
    SubmeshSet copy = built;
    std::map<std::string, std::string> files;
    state.ResumeTiming();
    writeGltf(scene, std::move(copy), "/tmp/plant.glb", true, files);
    benchmark::DoNotOptimize(files);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mesh.faces.size()));
}
void BM_WriteGlb(benchmark::State& state) { writeGlb(state, false); }
void BM_WriteGlbCompressed(benchmark::State& state) { writeGlb(state, true); }
BENCHMARK(BM_WriteGlbCompressed)->RangeMultiplier(8)->Range(10000, 640000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteGlb)->RangeMultiplier(8)->Range(10000, 640000)->Unit(benchmark::kMillisecond);


void BM_WriteObj(benchmark::State& state) {
  const TriMesh mesh = tubes(size_t(state.range(0)));
  const SubmeshSet built = buildSubmeshes(mesh, 0.01);
  std::vector<OutputMaterial> materials(built.meshes.size());
  std::vector<std::string> names(built.meshes.size(), "mesh");
  for (auto _ : state) {
    state.PauseTiming();
    SubmeshSet copy = built;
    std::map<std::string, std::string> files;
    state.ResumeTiming();
    writeObj(materials, names, std::move(copy), "/tmp/plant.obj", files);
    benchmark::DoNotOptimize(files);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mesh.faces.size()));
}
BENCHMARK(BM_WriteObj)->RangeMultiplier(8)->Range(10000, 640000)->Unit(benchmark::kMillisecond);

}  // namespace
