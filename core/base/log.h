// Process-wide log channel. Without a sink every message is dropped.
#pragma once

#include <string>

namespace syv {

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void error(const std::string& text) = 0;
  virtual void warning(const std::string& text) = 0;
  virtual void reserved() {}
  virtual void trace(const std::string& text) = 0;
  // False when trace() drops everything: callers then need not build the text.
  virtual bool tracing() const { return true; }
  virtual void info(const std::string& text) = 0;
};

// The channel does not own its sink; a sink must outlive its installation.
class LogChannel {
 public:
  static void setSink(LogSink* sink);
  static void clearSink();
  static LogSink* sink();
  static void error(const std::string& text);
  static void warning(const std::string& text);
  static void trace(const std::string& text);
  static bool tracing();
  static void info(const std::string& text);
};

}  // namespace syv
