// Helpers shared by the scene tests: a scripted progress sink and file-level
// import helpers, beside the shared log recorder and counting sink.
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/components/evaluation_context.h"
#include "core/base/progress.h"
#include "core/scene/plant_import.h"
#include "tests/support/recorders.h"

namespace syv::test {

// Reports a cancel from the `cancelAt`-th query on (0: never).
class ScriptedProgress : public ProgressSink {
 public:
  ScriptedProgress() { ProgressChannel::setSink(this); }
  ~ScriptedProgress() override { ProgressChannel::clearSink(); }
  void begin(const std::string&) override { ++begins; }
  void end() override { ++ends; }
  void update(double f) override { updates.push_back(f); }
  bool cancelled() override { return cancelAt != 0 && ++queries >= cancelAt; }

  int begins = 0, ends = 0;
  uint64_t queries = 0, cancelAt = 0;
  std::vector<double> updates;
};

inline std::string dataPath(const std::string& name) {
  return std::string(SYV_TEST_DATA) + "/" + name;
}

// Writes `text` to a file of the test's own and returns its path. The test's
// name keeps tests that ctest runs side by side off each other's files.
inline std::string writeTemp(const std::string& name, const std::string& text) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string owner = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
  const std::string path = std::string(SYV_BIN_DIR) + "/scene_test_" + owner + "_" + name + ".syv";
  std::ofstream out(path, std::ios::binary);
  out << text;
  return path;
}

// A record of the given name and body, and a block listing names in quotes.
inline std::string record(const std::string& name, const std::string& body) {
  return "Struct {\nName \"" + name + "\"\n" + body + "}\n";
}
inline std::string names(const char* block, std::initializer_list<const char*> list) {
  std::string text = std::string(block) + " {\n";
  for (const char* n : list) text += std::string("\"") + n + "\"\n";
  return text + "}\n";
}

inline EvaluationContext hostContext() {
  EvaluationContext c;
  c.setNumber(kIdUnitScale, 100.0);
  return c;
}

}  // namespace syv::test
