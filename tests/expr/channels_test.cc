#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/expr/log.h"
#include "core/expr/progress.h"

namespace syv {
namespace {

struct RecordingLog : LogSink {
  std::vector<std::string> lines;
  void error(const std::string& t) override { lines.push_back("E:" + t); }
  void warning(const std::string& t) override { lines.push_back("W:" + t); }
  void trace(const std::string& t) override { lines.push_back("T:" + t); }
  void info(const std::string& t) override { lines.push_back("I:" + t); }
};

struct RecordingProgress : ProgressSink {
  std::vector<std::string> calls;
  bool stop = false;
  void begin(const std::string& t) override { calls.push_back("begin " + t); }
  void end() override { calls.push_back("end"); }
  void update(double f) override { calls.push_back("update " + std::to_string(f)); }
  bool cancelled() override {
    calls.push_back("cancelled");
    return stop;
  }
};

TEST(ChannelsTest, LogForwardsEachKindOnlyWhileInstalled) {
  LogChannel::error("dropped");  // no sink: nothing to reach, nothing breaks
  RecordingLog log;
  LogChannel::setSink(&log);
  EXPECT_EQ(LogChannel::sink(), &log);
  LogChannel::error("e");
  LogChannel::warning("w");
  LogChannel::trace("t");
  LogChannel::info("i");
  LogChannel::clearSink();
  LogChannel::error("late");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"E:e", "W:w", "T:t", "I:i"}));
  EXPECT_EQ(LogChannel::sink(), nullptr);
}

TEST(ChannelsTest, ProgressForwardsAndCancelledIsFalseWithoutSink) {
  ProgressChannel::update(0.5);
  EXPECT_FALSE(ProgressChannel::cancelled());
  RecordingProgress progress;
  progress.stop = true;
  ProgressChannel::setSink(&progress);
  ProgressChannel::begin("Loading...");
  ProgressChannel::update(0.25);
  EXPECT_TRUE(ProgressChannel::cancelled());
  ProgressChannel::end();
  ProgressChannel::clearSink();
  EXPECT_FALSE(ProgressChannel::cancelled());
  ProgressChannel::begin("late");
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"begin Loading...", "update 0.250000",
                                                      "cancelled", "end"}));
}

}  // namespace
}  // namespace syv
