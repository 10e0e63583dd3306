// The plug-in library: its resources, entry point, class descriptor, import
// class and the four exported functions.
#include <cstdio>

#include "host/import_command.h"
#include "host/sdk/plugin.h"
#include "host/sdk/win.h"

#define SYV_EXPORT extern "C" __attribute__((visibility("default")))

namespace syv {
namespace {

using namespace hostsdk;

constexpr UINT kIdsLibDescription = 1;
constexpr UINT kIdsClassName = 2;
constexpr UINT kIdsCategory = 26;
const char* const kCoreVersion = "4.0.3";
const char* const kCoreDate = "11/17/2003";

ModuleResources makeResources() {
  ModuleResources r;
  r.strings[kIdsLibDescription] = "Sylvo 4";
  r.strings[kIdsClassName] = "SYV File Import";
  r.strings[kIdsCategory] = "Sylvo";
  DialogTemplate d;
  d.title = "SYV Import";
  d.controls = {
      {-1, ControlKind::GroupBox, "Do you want to:"},
      {kMergeRadio, ControlKind::RadioButton, "&Merge objects with current scene."},
      {kReplaceRadio, ControlKind::RadioButton, "Completely &replace current scene."},
      {-1, ControlKind::GroupBox, "Import Options"},
      {-1, ControlKind::Label, "Scale"},
      {kScaleEdit, ControlKind::Custom, ""},
      {kScaleSpinner, ControlKind::Custom, ""},
      {IDOK, ControlKind::DefaultButton, "OK"},
      {IDCANCEL, ControlKind::Button, "Cancel"},
  };
  r.dialogs[kOptionsDialog] = d;
  return r;
}

const ModuleResources resources = makeResources();
HINSTANCE moduleInstance = nullptr;
bool controlsInitialised = false;
char stringBuffer[256];
char versionBuffer[64];

// The library entry point, run for every reason code the loader gives.
BOOL libMain(HINSTANCE instance) {
  moduleInstance = instance;
  if (!controlsInitialised) {
    controlsInitialised = true;
    InitCustomControls(instance);
    InitCommonControls();
  }
  return TRUE;
}

__attribute__((constructor)) void onLoad() { libMain(&resources); }

const char* resourceString(UINT id) {
  if (moduleInstance == nullptr) return nullptr;
  return LoadStringA(moduleInstance, id, stringBuffer, sizeof stringBuffer) > 0 ? stringBuffer
                                                                               : nullptr;
}

class SyvImport : public SceneImport {
 public:
  ~SyvImport() override = default;
  int ExtCount() override { return 1; }
  const char* Ext(int) override { return "SYV"; }
  const char* LongDesc() override { return "Sylvo File"; }
  const char* ShortDesc() override { return "Sylvo"; }
  const char* AuthorName() override { return "The Sylvo importer team"; }
  const char* CopyrightMessage() override { return "Copyright 2026, the Sylvo importer team"; }
  const char* OtherMessage1() override {
    std::snprintf(versionBuffer, sizeof versionBuffer, "Core Version: %s (%s)", kCoreVersion,
                  kCoreDate);
    return versionBuffer;
  }
  const char* OtherMessage2() override { return ""; }
  unsigned int Version() override { return 100; }
  void ShowAbout(HWND) override {}
  int DoImport(const char* name, ImpInterface* importInterface, Interface* host,
               BOOL suppressPrompts) override {
    return runImport(moduleInstance, name, importInterface, host, suppressPrompts != FALSE);
  }
};

class SyvImportClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return TRUE; }
  void* Create(BOOL) override { return static_cast<SceneImport*>(new SyvImport()); }
  const char* ClassName() override { return resourceString(kIdsClassName); }
  SClass_ID SuperClassID() override { return SCENE_IMPORT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x5f1e7a03, 0x2c4b9d61); }
  const char* Category() override { return resourceString(kIdsCategory); }
  const char* InternalName() override { return "SyvImport"; }
  HINSTANCE HInstance() override { return moduleInstance; }
};

SyvImportClassDesc classDesc;

}  // namespace
}  // namespace syv

SYV_EXPORT const char* LibDescription() { return syv::resourceString(syv::kIdsLibDescription); }

SYV_EXPORT int LibNumberClasses() { return 1; }

SYV_EXPORT hostsdk::ClassDesc* LibClassDesc(int i) { return i == 0 ? &syv::classDesc : nullptr; }

SYV_EXPORT hostsdk::ULONG LibVersion() { return hostsdk::VERSION_3DSMAX_WORD; }
