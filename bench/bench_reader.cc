// Reading throughput of the text tree and the record readers on a large
// generated plant file.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "core/io/key_frame.h"
#include "core/io/text_tree.h"

namespace {

// About `structs` * 1.1 KB of typical plant text: one model of many records.
std::string makePlantText(int structs) {
  std::ostringstream out;
  out << "Version 4.0\nBackground 255,255,255\nModel {\n";
  for (int i = 0; i < structs; ++i) {
    out << "Struct {\nName \"Part_" << i << "\"\nExistence 0, 1, \"id\", 0, 1\n"
        << "Children {\n\"Part_" << (i + 1) << "\"\n}\n"
        << "Transform {\nScale {1, -1, 20} {1, -1, 20} {1, -1, 20}\n"
        << "Rotation {0.1, -3.14159, 3.14159} {0, -3.14159, 3.14159} {0, -3.14159, 3.14159}\n}\n"
        << "Primitive {\nType \"Cylinder\"\nPoints 8\nTexture_File \"bark.png\"\n"
        << "Texture_ScaleS {1, 0.01, 10}\nGFXColor {\nDIFFUSE 0.4,0.3,0.2\n}\n}\n"
        << "Tree {\nSegments {20, 1, 100}\nLength {" << (i % 7 + 1) << ", 0.001, 20}\n"
        << "Steps 1, 1, \"id\", 1, 200\nTwist 0, 0.5, \"sin(x)\", -3.14159, 3.14159\n"
        << "Scale {\nSize 3\n0, 0.5, 0\n0.5, 0.5, 0\n1, 0, 0\n}\n"
        << "Angle {\nSize 3\n0, 0.4, 0\n0.5, 0.4, 0\n1, 0.6, 0\n}\n}\n}\n";
  }
  out << "}\n";
  return out.str();
}

const std::string& plantText() {
  static const std::string text = makePlantText(20000);
  return text;
}

void BM_ReadTextTree(benchmark::State& state) {
  const std::string& text = plantText();
  for (auto _ : state) {
    std::istringstream in(text);
    syv::TextNode root;
    const syv::TextReadResult result = syv::readTextTree(in, root);
    if (!result.ok()) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(root.children.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadTextTree)->Unit(benchmark::kMillisecond);

void BM_ReadTreeAndRecords(benchmark::State& state) {
  const std::string& text = plantText();
  for (auto _ : state) {
    std::istringstream in(text);
    syv::TextNode root;
    syv::readTextTree(in, root);
    syv::KeyFrameTable table;
    for (const auto& [name, child] : root.children) {
      if (name != "Model") continue;
      syv::KeyFrameRecord frame;
      syv::readModel(1, child, &frame);
      syv::storeKeyFrame(table, frame);
    }
    if (table.empty() || table.begin()->second.components.size() != 20000u)
      state.SkipWithError("records missing");
    benchmark::DoNotOptimize(table.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadTreeAndRecords)->Unit(benchmark::kMillisecond);

}  // namespace
