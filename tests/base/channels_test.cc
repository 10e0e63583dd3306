#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/log.h"
#include "core/base/progress.h"

namespace syv {
namespace {

struct Recorder : LogSink, ProgressSink {
  std::vector<std::string> calls;
  void error(const std::string& t) override { calls.push_back("E:" + t); }
  void warning(const std::string& t) override { calls.push_back("W:" + t); }
  void trace(const std::string& t) override { calls.push_back("T:" + t); }
  void info(const std::string& t) override { calls.push_back("I:" + t); }
  void begin(const std::string& t) override { calls.push_back("begin " + t); }
  void end() override { calls.push_back("end"); }
  void update(double f) override { calls.push_back("update " + std::to_string(f)); }
  bool cancelled() override { return true; }
};

TEST(ChannelsTest, ForwardOnlyWhileASinkIsInstalled) {
  LogChannel::error("dropped");
  ProgressChannel::update(0.5);
  EXPECT_FALSE(ProgressChannel::cancelled());
  Recorder r;
  LogChannel::setSink(&r);
  ProgressChannel::setSink(&r);
  LogChannel::error("e");
  LogChannel::warning("w");
  LogChannel::trace("t");
  LogChannel::info("i");
  ProgressChannel::begin("Loading...");
  ProgressChannel::update(0.25);
  EXPECT_TRUE(ProgressChannel::cancelled());
  ProgressChannel::end();
  LogChannel::clearSink();
  ProgressChannel::clearSink();
  LogChannel::error("late");
  ProgressChannel::begin("late");
  EXPECT_FALSE(ProgressChannel::cancelled());
  EXPECT_EQ(r.calls, (std::vector<std::string>{"E:e", "W:w", "T:t", "I:i", "begin Loading...",
                                               "update 0.250000", "end"}));
}

}  // namespace
}  // namespace syv
