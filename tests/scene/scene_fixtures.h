// Helpers shared by the scene tests: a log recorder, a counting sink that can
// refuse, a scripted progress sink, and file-level import helpers.
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/components/evaluation_context.h"
#include "core/base/log.h"
#include "core/base/progress.h"
#include "core/mesh/mesh.h"
#include "core/scene/plant_import.h"

namespace syv::test {

class LogRecorder : public LogSink {
 public:
  LogRecorder() { LogChannel::setSink(this); }
  ~LogRecorder() override { LogChannel::clearSink(); }
  void error(const std::string& t) override { errors.push_back(t); }
  void warning(const std::string& t) override { warnings.push_back(t); }
  void trace(const std::string&) override {}
  void info(const std::string& t) override { infos.push_back(t); }

  static bool has(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& l : lines)
      if (l.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> errors, warnings, infos;
};

// Counts what is written; refuses reservations after `refuseAfter` quads.
class CountingSink : public MeshSink {
 public:
  bool reserve(uint32_t vertexCount, uint32_t faceCount, uint32_t& vertexBase,
               uint32_t& faceBase) override {
    if (quads + faceCount > refuseAfter) return false;
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
  bool setVertex(uint32_t, const Vector3&) override { return true; }
  bool setFace(uint32_t, const Face&) override { return true; }
  bool setTexFace(uint32_t, const TexFace&) override { return true; }

  uint64_t quads = 0;
  uint64_t vertices = 0;
  uint64_t refuseAfter = UINT64_MAX;
  int finishes = 0;
};

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
