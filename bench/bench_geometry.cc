// Sweep mesher and a many-branched tree: quads per second and heap bytes
// allocated per quad (counted by the replaced global operator new below).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <new>

#include "core/components/classic_tree.h"
#include "core/components/geometry.h"

namespace {
size_t gAllocatedBytes = 0;
size_t gAllocations = 0;
}  // namespace

void* operator new(std::size_t n) {
  gAllocatedBytes += n;
  ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// Out of line, so that the compiler does not pair the inlined free with a new
// expression and warn about a mismatch.
__attribute__((noinline)) void releaseBlock(void* p) { std::free(p); }
void operator delete(void* p) noexcept { releaseBlock(p); }
void operator delete(void* p, std::size_t) noexcept { releaseBlock(p); }

namespace syv {
namespace {

Outline circle(uint32_t n) {
  Outline o;
  o.resize(n, 1);
  o.setContour(0, n, true);
  for (uint32_t k = 0; k < n; ++k) {
    const double a = 2 * kPi * k / n;
    o.setPoint(k, double(k) / n, {std::cos(a), std::sin(a), 0.0});
  }
  return o;
}

struct CircleShape : SceneObject {
  explicit CircleShape(uint32_t n) : outline(circle(n)) {}
  std::string name() const override { return "circle"; }
  Matrix4 transform() const override { return Matrix4(); }
  const Outline* shape() const override { return &outline; }
  const Mesh* mesh() const override { return nullptr; }
  Outline outline;
};

void report(benchmark::State& state, size_t quads, size_t bytes) {
  state.counters["quads/s"] = benchmark::Counter(double(quads), benchmark::Counter::kIsRate);
  state.counters["bytes/quad"] = quads ? double(bytes) / double(quads) : 0.0;
}

// A ring per path point, 16 outline points: the mesher alone into a mesh
// whose storage is reused between iterations.
void BM_SweepOutline(benchmark::State& state) {
  const int rings = int(state.range(0));
  Path path;
  for (int i = 0; i < rings; ++i) {
    const double t = double(i) / (rings - 1);
    path.push_back({t, Matrix4::rotZ(t) * Matrix4::translation(0, 0, 100 * t)});
  }
  const Outline outline = circle(16);
  const CurveParameter radius(0, 1, 1, 0.2, "id"), profile(0, 1, 0, 0, "id");
  Mesh mesh;
  size_t quads = 0, bytes = 0;
  for (auto _ : state) {
    mesh.resize(0, 0);
    const size_t before = gAllocatedBytes;
    sweepOutline(mesh, path, radius, outline, Matrix4(), 1.0, 10.0, profile);
    bytes += gAllocatedBytes - before;
    quads += mesh.faceCount();
    benchmark::DoNotOptimize(mesh.vertices().data());
  }
  report(state, quads, bytes);
}
BENCHMARK(BM_SweepOutline)->Arg(100)->Arg(10000);

// One tree generate: stem of 4000 nodes swept with an 8-point outline and
// 1000 branch placements (the children themselves are the traversal's).
void BM_TreeManyBranches(benchmark::State& state) {
  ClassicTree tree;
  tree.stemSegments = 4000;
  tree.branchCount = double(state.range(0));
  tree.radius = CurveParameter(0, 1, 1, 0.1, "id");
  tree.nodeDistribution = CurveParameter(0, 1, 1, 1, "id");
  tree.divergence = CurveParameter(0, 6.3, 2.4, 2.4, "id");
  tree.branchAngle = CurveParameter(0, 3.2, 0.8, 0.4, "id");
  tree.deviation = CurveParameter(0, 1, 0.1, 0.1, "id");
  tree.childDensity = tree.childGrowth = tree.branchScale = CurveParameter(0, 1, 0.5, 0.5, "id");
  tree.gravitropism = CurveParameter(0, 1, 0.1, 0.1, "id");
  const CircleShape shape(8);
  EvaluationContext context;
  context.setNodeState(Matrix4(), Matrix4(), 1, 1, 1, 0, 1, &shape);
  Mesh mesh;
  size_t quads = 0, bytes = 0, placements = 0;
  for (auto _ : state) {
    mesh.resize(0, 0);
    ChildGroups groups;
    const size_t before = gAllocatedBytes;
    tree.generate(context, mesh, 4 | 8 | 16, groups);
    bytes += gAllocatedBytes - before;
    quads += mesh.faceCount();
    placements += groups[0].placements.size();
  }
  report(state, quads, bytes);
  state.counters["branches"] = double(placements) / double(state.iterations());
}
BENCHMARK(BM_TreeManyBranches)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace syv
