// One updating status line on a terminal: "\r" + text, redrawn only when it
// changes; cleared before any message so that messages stay readable.
#pragma once

#include <cstdio>
#include <string>

namespace syv::app {

class ProgressLine {
 public:
  // Draws nothing unless `enabled` (stderr is a terminal and not silenced).
  ProgressLine(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}
  ~ProgressLine() { clear(); }
  void stage(const std::string& stage);  // "Importing", "Exporting"
  void begin(const std::string& title);
  void update(int percent, const std::string& text);
  void end();
  void clear();
  bool enabled() const { return enabled_; }

 private:
  void draw();
  std::FILE* out_;
  bool enabled_;
  std::string stage_, title_, shown_;
  int percent_ = -1;
};

}  // namespace syv::app
