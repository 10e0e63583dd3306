// Whole plant files through loadFile into a counting sink, under a small
// geometry budget: the import must end, keep within the budget, and report a
// result that agrees with what reached the sink.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/components/evaluation_context.h"
#include "core/mesh/mesh.h"
#include "core/scene/import_builder.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

class CountingSink : public syv::MeshSink {
 public:
  bool reserve(uint32_t vertexCount, uint32_t faceCount, uint32_t& vertexBase,
               uint32_t& faceBase) override {
    vertexBase = static_cast<uint32_t>(vertices);
    faceBase = static_cast<uint32_t>(quads);
    vertices += vertexCount;
    quads += faceCount;
    return true;
  }
  bool finish() override {
    ++finishes;
    return true;
  }
  bool setVertex(uint32_t index, const syv::Vector3&) override { return index < vertices; }
  bool setFace(uint32_t index, const syv::Face&) override { return index < quads; }
  bool setTexFace(uint32_t index, const syv::TexFace&) override { return index < quads; }

  uint64_t quads = 0;
  uint64_t vertices = 0;
  int finishes = 0;
};

const std::string& inputPath() {
  static const std::string path = "/tmp/fuzz_import_" + std::to_string(getpid()) + ".syv";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(inputPath().c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  syv::ImportOptions options;
  options.maxQuads = 200000;
  options.maxVisits = 20000;
  syv::ImportBuilder builder(options);
  syv::EvaluationContext context;
  context.setNumber(syv::kIdUnitScale, 100.0);
  CountingSink sink;
  const bool ok = builder.loadFile(context, inputPath(), sink);

  check(sink.quads <= options.maxQuads);
  check(ok == (builder.status() == syv::ImportStatus::kComplete));
  check(builder.status() != syv::ImportStatus::kNotRun);
  check(builder.status() != syv::ImportStatus::kSinkRefused);
  // The sink is finished exactly when the scene was read.
  const bool traversed = ok || builder.status() == syv::ImportStatus::kBudgetExceeded;
  if (traversed) check(sink.finishes == 1);
  if (!traversed && builder.status() != syv::ImportStatus::kCancelled) check(sink.finishes == 0);
  return 0;
}
