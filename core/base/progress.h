// Process-wide progress channel. Without a sink every call does nothing.
#pragma once

#include <string>

namespace syv {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void begin(const std::string& text) = 0;
  virtual void end() = 0;
  virtual void reserved() {}
  virtual void update(double fraction) = 0;
  virtual bool cancelled() = 0;
};

class ProgressChannel {
 public:
  static void setSink(ProgressSink* sink);
  static void clearSink();
  static ProgressSink* sink();
  static void begin(const std::string& text);
  static void end();
  static void update(double fraction);
  static bool cancelled();  // false without a sink
};

}  // namespace syv
