// The built plug-in, loaded as a host loads it. What it imports from the test
// plants is kept by the recorded outputs, through the converter that loads it.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>

#include "host/sdk/sdk.h"

namespace {

using namespace hostsdk;

const std::string kData = SYV_TEST_DATA;

class Plugin {
 public:
  Plugin() {
    handle_ = dlopen((std::string(SYV_BIN_DIR) + "/libsyvimp.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    description = reinterpret_cast<LibDescriptionFn>(dlsym(handle_, "LibDescription"));
    numberClasses = reinterpret_cast<LibNumberClassesFn>(dlsym(handle_, "LibNumberClasses"));
    classDesc = reinterpret_cast<LibClassDescFn>(dlsym(handle_, "LibClassDesc"));
  }
  ~Plugin() {
    if (handle_) dlclose(handle_);
  }
  bool loaded() const { return handle_ && description && numberClasses && classDesc && symbol("LibVersion"); }
  void* symbol(const char* name) const { return dlsym(handle_, name); }
  // The scene importer found through the descriptors.
  std::unique_ptr<SceneImport> importer() {
    for (int i = 0; i < numberClasses(); ++i) {
      ClassDesc* cd = classDesc(i);
      if (cd && cd->SuperClassID() == SCENE_IMPORT_CLASS_ID)
        return std::unique_ptr<SceneImport>(static_cast<SceneImport*>(cd->Create(FALSE)));
    }
    return nullptr;
  }

  LibDescriptionFn description = nullptr;
  LibNumberClassesFn numberClasses = nullptr;
  LibClassDescFn classDesc = nullptr;

 private:
  void* handle_ = nullptr;
};

Plugin& plugin() {
  static Plugin p;
  return p;
}

// Cancels once the core has asked `after` times.
class CancellingHost : public Interface {
 public:
  CancellingHost(Scene& scene, int after) : Interface(scene), after_(after) {}
  BOOL GetCancel() override { return ++asked_ > after_ ? TRUE : FALSE; }
  int asked() const { return asked_; }

 private:
  int after_;
  int asked_ = 0;
};

struct Import {
  Scene scene;
  ImpInterface imp{scene};
  Interface host{scene};
  int run(const std::string& file, BOOL suppress = TRUE, Interface* other = nullptr) {
    auto importer = plugin().importer();
    return importer ? importer->DoImport(file.c_str(), &imp, other ? other : &host, suppress) : -1;
  }
  INode* node() const { return scene.nodes().empty() ? nullptr : scene.nodes().back(); }
  Mesh* mesh() const {
    INode* n = node();
    if (!n || !n->GetObjectRef() || n->GetObjectRef()->ClassID() != triObjectClassID)
      return nullptr;
    return &static_cast<TriObject*>(n->GetObjectRef())->GetMesh();
  }
};

TEST(Plugin, ExportsOnlyTheEntryPointsAndOneImporter) {
  Plugin& p = plugin();
  ASSERT_TRUE(p.loaded()) << dlerror();
  EXPECT_EQ(p.numberClasses(), 1);
  EXPECT_EQ(p.classDesc(1), nullptr);
  EXPECT_EQ(p.classDesc(-1), nullptr);
  EXPECT_EQ(p.symbol("_ZN3syv10LogChannel5errorERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"),
            nullptr);
  // Names a host shows come from the module's string table; a host may hold
  // one while it asks for the next.
  auto* cd = static_cast<ClassDesc2*>(p.classDesc(0));
  const char* className = cd->ClassName();
  const char* category = cd->Category();
  EXPECT_STREQ(className, "SYV File Import");
  EXPECT_STREQ(category, "Sylvo");
  EXPECT_STREQ(p.description(), "Sylvo 4");
}

TEST(Plugin, DialogAnswersProgressAndASecondImport) {
  Import ok;
  ok.host.GetMainHWnd()->setDialogAnswer(IDOK);
  ASSERT_EQ(ok.run(kData + "/host_stem.syv", FALSE), IMPEXP_SUCCESS);
  // Progress runs from start to end, each whole percentage once in a row.
  const auto& events = ok.host.progressEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().kind, ProgressEvent::Start);
  EXPECT_EQ(events.back().kind, ProgressEvent::End);
  int last = -1;
  for (const ProgressEvent& e : events) {
    if (e.kind != ProgressEvent::Update) continue;
    EXPECT_TRUE(e.percent != last && e.percent >= 0 && e.percent <= 100) << e.percent;
    last = e.percent;
  }
  // A suppressed prompt imports as OK, and a second import gets a node of its own.
  ASSERT_EQ(ok.run(kData + "/host_stem.syv", TRUE), IMPEXP_SUCCESS);
  ASSERT_EQ(ok.scene.nodes().size(), 2u);
  EXPECT_STREQ(ok.scene.nodes()[1]->GetName(), "host_stem01");
  EXPECT_NE(ok.scene.nodes()[0]->GetObjectRef(), ok.scene.nodes()[1]->GetObjectRef());

  Import cancel;
  cancel.host.GetMainHWnd()->setDialogAnswer(IDCANCEL);
  EXPECT_EQ(cancel.run(kData + "/host_stem.syv", FALSE), IMPEXP_CANCEL);
  EXPECT_TRUE(cancel.scene.nodes().empty());
  EXPECT_EQ(cancel.scene.objectCount(), 0u);
  EXPECT_TRUE(cancel.host.progressEvents().empty());
}

TEST(Plugin, CancelWhileLoadingLeavesTheSceneUnchanged) {
  Import first;
  ASSERT_EQ(first.run(kData + "/host_stem.syv"), IMPEXP_SUCCESS);
  const size_t objects = first.scene.objectCount();
  const int materials = LiveMaterialCount();
  CancellingHost host(first.scene, 0);
  EXPECT_EQ(first.run(kData + "/host_stem.syv", TRUE, &host), IMPEXP_CANCEL);
  EXPECT_GT(host.asked(), 0);
  EXPECT_EQ(first.scene.nodes().size(), 1u);
  first.scene.purgePending();
  EXPECT_EQ(first.scene.objectCount(), objects);
  EXPECT_EQ(LiveMaterialCount(), materials);
  EXPECT_FALSE(host.progressRunning());

  // The last cancel query of a whole import comes from the traversal: a
  // cancel there still leaves nothing behind.
  Import two;
  CancellingHost never(two.scene, 1 << 30);
  ASSERT_EQ(two.run(kData + "/host_two.syv", TRUE, &never), IMPEXP_SUCCESS);
  const int queries = never.asked();
  ASSERT_GT(queries, 1);

  Import late;
  CancellingHost lateHost(late.scene, queries - 1);
  EXPECT_EQ(late.run(kData + "/host_two.syv", TRUE, &lateHost), IMPEXP_CANCEL);
  EXPECT_EQ(lateHost.asked(), queries);
  EXPECT_TRUE(late.scene.nodes().empty());
  EXPECT_FALSE(lateHost.progressRunning());
}

TEST(Plugin, FailuresReturnZeroAndReachTheHostLog) {
  Import noRoot;
  EXPECT_EQ(noRoot.run(kData + "/host_no_root.syv"), IMPEXP_FAIL);
  EXPECT_TRUE(noRoot.scene.nodes().empty());
  std::vector<LogEntryRecord> log, checks;
  for (const LogEntryRecord& e : noRoot.host.Log()->entries())
    (e.type == SYSLOG_INFO && e.title == "SYV Check" ? checks : log).push_back(e);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].type, SYSLOG_ERROR);
  EXPECT_EQ(log[0].code, LOGCODE_IMPORT_FAILED) << "the failure's reason, for the host to read";
  EXPECT_EQ(log[0].text, "IMPORT: No Root Object(s) found!");
  // The file check beside the import names the cause, on its line.
  ASSERT_FALSE(checks.empty());
  EXPECT_EQ(checks[0].text.rfind("line ", 0), 0u) << checks[0].text;
  EXPECT_NE(checks[0].text.find("cycle"), std::string::npos) << checks[0].text;

  Import missing;
  EXPECT_EQ(missing.run(kData + "/host_absent.syv"), IMPEXP_FAIL);
  ASSERT_EQ(missing.host.Log()->entries().size(), 1u);
  EXPECT_NE(missing.host.Log()->entries()[0].text.find("host_absent.syv"), std::string::npos);

  Import empty;
  EXPECT_EQ(empty.run(""), IMPEXP_FAIL);
  EXPECT_TRUE(empty.scene.nodes().empty());
}

TEST(Plugin, AHostThatRefusesObjectsNodesOrMaterials) {
  for (const bool objects : {true, false}) {
    Import refusing;
    refusing.scene.setCreationFails(objects, !objects);
    EXPECT_EQ(refusing.run(kData + "/host_stem.syv"), IMPEXP_FAIL) << objects;
    EXPECT_TRUE(refusing.scene.nodes().empty()) << objects;
  }

  Import noMulti;
  SetMaterialCreationFails(MtlKind::MultiMtl, true);
  EXPECT_EQ(noMulti.run(kData + "/host_stem.syv"), IMPEXP_SUCCESS);
  SetMaterialCreationFails(MtlKind::MultiMtl, false);
  ASSERT_NE(noMulti.node(), nullptr);
  EXPECT_EQ(noMulti.node()->GetMtl(), nullptr);
  EXPECT_NE(noMulti.mesh(), nullptr);
}

// Signed volume of the host mesh from the centre of its lowest bounding
// plane: any point gives the same for a closed solid, and this one is exact
// for the cone, whose open base lies in that plane. Positive when faces look out.
double signedVolume(Mesh& mesh) {
  const Box3& b = mesh.getBoundingBox();
  const double o[3] = {(b.pmin.x + b.pmax.x) / 2.0, (b.pmin.y + b.pmax.y) / 2.0, b.pmin.z};
  double sum = 0, p[3][3];
  for (const Face& f : mesh.faces) {
    for (int i = 0; i < 9; ++i) p[i / 3][i % 3] = mesh.verts[f.v[i / 3]][i % 3] - o[i % 3];
    sum += p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) -
           p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
           p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0]);
  }
  return sum / 6;
}

TEST(Plugin, SolidsAndTubesFaceOutward) {
  const double r = 50, pi = std::acos(-1.0);  // half the unit scale
  // Volumes of the round solids; 0 for the open tube, whose sign alone counts.
  const std::pair<const char*, double> cases[] = {
      {"Box", 8 * r * r * r}, {"Cylinder", 2 * pi * r * r * r}, {"Cone", 2 * pi * r * r * r / 3},
      {"Sphere", 4 * pi * r * r * r / 3}, {"Tube", 0}};
  for (const auto& [type, volume] : cases) {
    const std::string file = testing::TempDir() + "/solid.syv";
    std::ofstream(file) << "Model {\nStruct {\nName \"Camera\"\nChildren {\n\"S\"\n}\nCamera {\n}\n}\n"
                        << "Struct {\nName \"S\"\nPrimitive {\nType \"" << type
                        << "\"\nResolution 12\nPoints 24\n}\n" << (volume > 0 ? "Simple" : "Tree")
                        << " {\n}\n}\n}\n";
    Import im;
    ASSERT_EQ(im.run(file), IMPEXP_SUCCESS) << type;
    ASSERT_NE(im.mesh(), nullptr) << type;
    const double v = signedVolume(*im.mesh());
    EXPECT_GT(v, 0) << type;
    // Fine enough that the polygons lose under 4 % of the round solids.
    if (volume > 0) {
      EXPECT_GT(v / volume, 0.96) << type << " volume " << v;
      EXPECT_LT(v / volume, 1 + 1e-6) << type << " volume " << v;
    }
  }
}

}  // namespace
