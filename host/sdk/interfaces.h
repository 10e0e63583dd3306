// The interfaces a host hands to an importer: the import interface (creates
// objects and nodes in the scene) and the host interface (main window,
// progress bar, cancel query, unique names, the log).
//
// A host application uses them as they are or derives from them: every
// operation is virtual, and the defaults below behave for real.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "host/sdk/scene.h"
#include "host/sdk/types.h"
#include "host/sdk/win.h"

namespace hostsdk {

// Log entry types.
constexpr DWORD SYSLOG_ERROR = 0x1;
constexpr DWORD SYSLOG_WARN = 0x2;
constexpr DWORD SYSLOG_INFO = 0x4;
constexpr DWORD SYSLOG_DEBUG = 0x8;

// Log entry codes: what an entry is, beyond its severity.
constexpr DWORD LOGCODE_NONE = 0;
// The reason an import failed; an importer logs at most one, as an error.
constexpr DWORD LOGCODE_IMPORT_FAILED = 1;

struct HOSTSDK_API LogEntryRecord {
  DWORD type = 0;
  std::string title;
  std::string text;
  DWORD code = LOGCODE_NONE;
};

// The host's log. The default keeps every entry in entries().
class HOSTSDK_API LogSys {
 public:
  virtual ~LogSys() = default;
  virtual void LogEntry(DWORD type, const char* title, const char* text, DWORD code = LOGCODE_NONE);
  const std::vector<LogEntryRecord>& entries() const { return entries_; }
  void clear() { entries_.clear(); }

 private:
  std::vector<LogEntryRecord> entries_;
};

class HOSTSDK_API ImpInterface {
 public:
  explicit ImpInterface(Scene& scene) : scene_(scene) {}
  virtual ~ImpInterface() = default;
  // A new object of the class (the scene owns it), or nothing.
  virtual void* Create(SClass_ID superClass, const Class_ID& classId);
  // A new node, not yet in the scene, or nothing.
  virtual INode* CreateNode();
  // Places a node made by CreateNode in the scene.
  virtual void AddNodeToScene(INode* node);
  Scene& scene() { return scene_; }

 private:
  Scene& scene_;
};

using LPTHREAD_START_ROUTINE = DWORD (*)(void*);

// One progress call as the default Interface records it.
struct HOSTSDK_API ProgressEvent {
  enum Kind { Start, Update, End } kind = Start;
  int percent = 0;          // Update
  bool showPercent = false; // Update
  std::string title;        // Start; Update when a new title came with it
};

class HOSTSDK_API Interface {
 public:
  explicit Interface(Scene& scene) : scene_(scene) {}
  virtual ~Interface() = default;

  // The main window; dialogs over it end with its dialog answer.
  virtual HWND GetMainHWnd() { return &mainWindow_; }

  // The progress bar. The default calls `fn(arg)` once from ProgressStart (the
  // work a plug-in does on its own thread gives a function that returns at
  // once) and records every call in progressEvents().
  virtual BOOL ProgressStart(const char* title, BOOL showBar, LPTHREAD_START_ROUTINE fn, void* arg);
  // title: null keeps the current one.
  virtual void ProgressUpdate(int percent, BOOL showPercent = TRUE, const char* title = nullptr);
  virtual void ProgressEnd();
  // Non-zero when the user asked to stop the running operation.
  virtual BOOL GetCancel() { return cancel_.load() ? TRUE : FALSE; }
  // May be called from another thread or a signal handler.
  virtual void SetCancel(BOOL cancel) { cancel_.store(cancel != FALSE); }

  // Makes `name` unique among the scene's node names.
  virtual void MakeNameUnique(CStr& name);
  virtual LogSys* Log() { return &log_; }

  Scene& scene() { return scene_; }
  const std::vector<ProgressEvent>& progressEvents() const { return progress_; }
  bool progressRunning() const { return running_; }

 private:
  Scene& scene_;
  HostWindow mainWindow_;
  LogSys log_;
  std::atomic<bool> cancel_{false};
  std::vector<ProgressEvent> progress_;
  bool running_ = false;
};

}  // namespace hostsdk
