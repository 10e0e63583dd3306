// Whole plant files through loadFile into the host's mesh writer, under a
// small geometry budget: the import must end, keep within the budget, and
// leave a host mesh that agrees with what the writer reports.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "core/components/evaluation_context.h"
#include "core/scene/plant_import.h"
#include "host/host_mesh_writer.h"
#include "host/sdk/mesh.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = fuzz::writeInput("fuzz_import", data, size);
  if (input.empty()) return 0;

  syv::ImportOptions options;
  options.maxQuads = 200000;
  options.maxVisits = 20000;
  syv::PlantImport builder(options);
  syv::EvaluationContext context;
  context.setNumber(syv::kIdUnitScale, 100.0);
  hostsdk::Mesh mesh;
  syv::HostMeshWriter writer(mesh);
  const bool ok = builder.loadFile(context, input, writer);

  check(ok == (builder.status() == syv::ImportStatus::kComplete));
  check(builder.status() != syv::ImportStatus::kNotRun);
  check(builder.status() != syv::ImportStatus::kSinkRefused);
  check(writer.faceCount() <= 2 * options.maxQuads);
  if (ok) {
    check(mesh.getNumFaces() == static_cast<int>(writer.faceCount()));
    check(mesh.getNumVerts() == static_cast<int>(writer.vertexCount()));
    for (const hostsdk::Face& f : mesh.faces)
      for (int k = 0; k < 3; ++k) check(f.v[k] < writer.vertexCount());
  }
  return 0;
}
