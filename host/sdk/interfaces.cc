#include "host/sdk/interfaces.h"

namespace hostsdk {

void LogSys::LogEntry(DWORD type, const char* title, const char* text, DWORD code) {
  entries_.push_back({type, title ? title : "", text ? text : "", code});
}

void* ImpInterface::Create(SClass_ID superClass, const Class_ID& classId) {
  return scene_.createObject(superClass, classId);
}

INode* ImpInterface::CreateNode() { return scene_.createNode(); }

void ImpInterface::AddNodeToScene(INode* node) { scene_.addNode(node); }

BOOL Interface::ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE fn, void* arg) {
  ProgressEvent e;
  e.kind = ProgressEvent::Start;
  e.title = title ? title : "";
  progress_.push_back(e);
  running_ = true;
  if (fn) fn(arg);
  return TRUE;
}

void Interface::ProgressUpdate(int percent, BOOL showPercent, const char* title) {
  ProgressEvent e;
  e.kind = ProgressEvent::Update;
  e.percent = percent;
  e.showPercent = showPercent != FALSE;
  if (title) e.title = title;
  progress_.push_back(e);
}

void Interface::ProgressEnd() {
  ProgressEvent e;
  e.kind = ProgressEvent::End;
  progress_.push_back(e);
  running_ = false;
}

void Interface::MakeNameUnique(CStr& name) { name = CStr(scene_.uniqueName(name.str())); }

}  // namespace hostsdk
