// The import command: drives one import from the file to the host node.
#pragma once

#include <string>

#include "core/base/log.h"
#include "core/base/progress.h"
#include "host/sdk/interfaces.h"
#include "host/sdk/win.h"

namespace syv {

// Shows the core's progress on the host's progress bar.
class HostProgressSink : public ProgressSink {
 public:
  explicit HostProgressSink(hostsdk::Interface* host) : host_(host) {}
  void begin(const std::string& text) override;
  void end() override;
  void reserved() override {}
  // Sends whole percentages, each only once in a row.
  void update(double fraction) override;
  bool cancelled() override;

 private:
  hostsdk::Interface* host_;
  int last_ = -1;
};

// Forwards the core's errors and warnings to the host's log. The latest error
// is held back until the next one or release(): when the import fails, it is
// the failure's reason.
class HostLogSink : public LogSink {
 public:
  explicit HostLogSink(hostsdk::Interface* host) : host_(host) {}
  ~HostLogSink() override;
  void error(const std::string& text) override;
  void warning(const std::string& text) override;
  void trace(const std::string&) override {}
  bool tracing() const override { return false; }
  void info(const std::string&) override {}
  // Logs the held error: with the failure code when `failed`, else as an error.
  void release(bool failed);

 private:
  hostsdk::Interface* host_;
  std::string held_;
  bool holding_ = false;
};

// Ids of the options dialog's resource and controls.
constexpr int kOptionsDialog = 102;
constexpr int kMergeRadio = 1002;
constexpr int kReplaceRadio = 1003;
constexpr int kScaleEdit = 1006;
constexpr int kScaleSpinner = 1007;

hostsdk::INT_PTR optionsDialogProc(hostsdk::HWND dialog, hostsdk::UINT message,
                                   hostsdk::WPARAM wParam, hostsdk::LPARAM lParam);

// 1 imported, 0 failed, 2 cancelled (in the dialog or while loading); on 0 and
// 2 the scene is unchanged.
int runImport(hostsdk::HINSTANCE instance, const char* fileName,
              hostsdk::ImpInterface* importInterface, hostsdk::Interface* host,
              bool suppressPrompts);

}  // namespace syv
