// A log that keeps what it is told while it lives, and a mesh sink that counts
// what is written to it and can refuse; shared by the core's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/base/log.h"
#include "core/mesh/mesh.h"

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

// Refuses reservations past `refuseAfter` quads and writes past what it reserved.
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
  bool finish() override { return ++finishes, true; }
  bool setVertex(uint32_t i, const Vector3&) override { return ++writes, i < vertices; }
  bool setFace(uint32_t i, const Face&) override { return ++writes, i < quads; }
  bool setTexFace(uint32_t i, const TexFace&) override { return ++writes, i < quads; }

  uint64_t quads = 0, vertices = 0, writes = 0, refuseAfter = UINT64_MAX;
  int finishes = 0;
};

}  // namespace syv::test
