// Whole imports of generated trees of trees: reading, creation, traversal and
// emission into a quad mesh.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/components/evaluation_context.h"
#include "core/mesh/mesh.h"
#include "core/scene/plant_import.h"

namespace {

// A trunk carrying `branches` branches, each carrying `branches` twigs.
struct ImportCounts {
  uint64_t quads = 0, visits = 0;
};

// One whole import into a fresh mesh, as the plug-in runs it.
ImportCounts importOnce(benchmark::State& state, const std::string& path) {
  syv::EvaluationContext context;
  context.setNumber(syv::kIdUnitScale, 100.0);
  syv::PlantImport builder;
  syv::Mesh mesh;
  if (!builder.loadFile(context, path, mesh)) state.SkipWithError("import failed");
  benchmark::DoNotOptimize(mesh.vertices().data());
  return {mesh.faceCount(), builder.traversalResult().visits};
}

std::string writeTreeOfTrees(int branches) {
  const std::string path = "/tmp/syv_bench_tree_" + std::to_string(branches) + ".syv";
  std::ofstream out(path);
  auto tree = [&](const char* name, int segments, int points, const char* child) {
    out << "Struct {\nName \"" << name << "\"\n";
    out << "Primitive {\nType \"Tube\"\nPoints " << points << "\n}\n"
        << "Tree {\nSegments {" << segments << ", 1, 1000}\nLength {4, 0, 20}\n";
    if (child)
      out << "Branch_Num {" << branches << ", 0, 10000}\nBranches {\n\"" << child << "\"\n}\n";
    out << "}\n}\n";
  };
  out << "Version 4\nModel {\nStruct {\nName \"Camera\"\nChildren {\n\"Trunk\"\n}\nCamera {\n}\n}\n";
  tree("Trunk", 60, 12, "Branch");
  tree("Branch", 20, 8, "Twig");
  tree("Twig", 8, 6, nullptr);
  out << "}\n";
  return path;
}

void BM_ImportTreeOfTrees(benchmark::State& state) {
  const std::string path = writeTreeOfTrees(static_cast<int>(state.range(0)));
  uint64_t quads = 0;
  for (auto _ : state) {
    const ImportCounts n = importOnce(state, path);
    quads += n.quads;
  }
  state.counters["quads"] = benchmark::Counter(static_cast<double>(quads) / state.iterations());
  state.counters["quads/s"] =
      benchmark::Counter(static_cast<double>(quads), benchmark::Counter::kIsRate);
  std::remove(path.c_str());
}
BENCHMARK(BM_ImportTreeOfTrees)->Arg(10)->Arg(40)->Arg(120)->Unit(benchmark::kMillisecond);

// Cost per placement: a trunk with `branches` boughs of `branches` twigs, each
// twig a short tube of 2 x 3 quads, so that placing dominates.
void BM_PlacementCost(benchmark::State& state) {
  const int branches = static_cast<int>(state.range(0));
  const std::string path = "/tmp/syv_bench_dense_" + std::to_string(branches) + ".syv";
  {
    std::ofstream out(path);
    out << "Version 4\nModel {\nStruct {\nName \"Camera\"\nChildren {\n\"Trunk\"\n}\nCamera {\n}\n}\n";
    const char* names[] = {"Trunk", "Bough", "Twig"};
    for (int level = 0; level < 3; ++level) {
      out << "Struct {\nName \"" << names[level] << "\"\nPrimitive {\nType \"Tube\"\nPoints 3\n}\n"
          << "Tree {\nSegments {" << (level == 2 ? 2 : 20) << ", 1, 1000}\nLength {2, 0, 20}\n";
      if (level < 2)
        out << "Branch_Num {" << branches << ", 0, 10000}\nBranches {\n\"" << names[level + 1]
            << "\"\n}\n";
      out << "}\n}\n";
    }
    out << "}\n";
  }
  uint64_t visits = 0;
  for (auto _ : state) {
    visits += importOnce(state, path).visits;
  }
  state.counters["placements"] =
      benchmark::Counter(static_cast<double>(visits) / state.iterations());
  state.counters["us/placement"] = benchmark::Counter(
      static_cast<double>(visits) * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  std::remove(path.c_str());
}
BENCHMARK(BM_PlacementCost)->Arg(10)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace
