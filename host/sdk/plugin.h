// What a plug-in library offers the host: class descriptors, the scene-import
// class and the exported functions through which the host finds them.
#pragma once

#include "host/sdk/interfaces.h"
#include "host/sdk/types.h"
#include "host/sdk/win.h"

namespace hostsdk {

class HOSTSDK_API ClassDesc {
 public:
  virtual ~ClassDesc() = default;
  virtual int IsPublic() = 0;
  // A new instance of the class, to be cast by its super class id (for
  // SCENE_IMPORT_CLASS_ID: SceneImport*); the caller deletes it.
  virtual void* Create(BOOL loading = FALSE) = 0;
  virtual const char* ClassName() = 0;
  virtual SClass_ID SuperClassID() = 0;
  virtual Class_ID ClassID() = 0;
  virtual const char* Category() = 0;
};

// The descriptor base plug-ins derive from; its extra questions have defaults.
class HOSTSDK_API ClassDesc2 : public ClassDesc {
 public:
  virtual const char* InternalName() { return nullptr; }
  virtual HINSTANCE HInstance() { return nullptr; }
  virtual BOOL IsManipulator() { return FALSE; }
  virtual int NumActionTables() { return 0; }
};

// Results of SceneImport::DoImport.
constexpr int IMPEXP_FAIL = 0;
constexpr int IMPEXP_SUCCESS = 1;
constexpr int IMPEXP_CANCEL = 2;

class HOSTSDK_API SceneImport {
 public:
  virtual ~SceneImport() = default;
  virtual int ExtCount() = 0;
  // Without the dot, e.g. "SYV"; the host compares it case-insensitively.
  virtual const char* Ext(int n) = 0;
  virtual const char* LongDesc() = 0;
  virtual const char* ShortDesc() = 0;
  virtual const char* AuthorName() = 0;
  virtual const char* CopyrightMessage() = 0;
  virtual const char* OtherMessage1() = 0;
  virtual const char* OtherMessage2() = 0;
  virtual unsigned int Version() = 0;
  virtual void ShowAbout(HWND window) = 0;
  // IMPEXP_SUCCESS, IMPEXP_FAIL or IMPEXP_CANCEL.
  virtual int DoImport(const char* name, ImpInterface* importInterface, Interface* host,
                       BOOL suppressPrompts = FALSE) = 0;
  virtual int ZoomExtents() { return -1; }
};

}  // namespace hostsdk

// The functions a plug-in library exports with C linkage (look them up with
// dlsym under these names).
extern "C" {
using LibDescriptionFn = const char* (*)();
using LibNumberClassesFn = int (*)();
using LibClassDescFn = hostsdk::ClassDesc* (*)(int);
using LibVersionFn = hostsdk::ULONG (*)();
}
