// A stand-in importer plug-in for the converter's tests: it is found the way
// the real one is (exported Lib* functions) and builds a known scene, so that
// loading, progress, cancel, log forwarding and the copy of the scene are
// tested whatever state the real plug-in is in. The plant file's first word
// picks the behaviour: "fail", "cancel", "empty", or anything else for a cube.
#include <ctime>
#include <fstream>
#include <string>

#include "host/sdk/sdk.h"

using namespace hostsdk;

namespace {

class FakeImport : public SceneImport {
 public:
  int ExtCount() override { return 1; }
  const char* Ext(int) override { return "SYV"; }
  const char* LongDesc() override { return "fake"; }
  const char* ShortDesc() override { return "fake"; }
  const char* AuthorName() override { return ""; }
  const char* CopyrightMessage() override { return ""; }
  const char* OtherMessage1() override { return ""; }
  const char* OtherMessage2() override { return ""; }
  unsigned int Version() override { return 1; }
  void ShowAbout(HWND) override {}
  int DoImport(const char* name, ImpInterface* ii, Interface* ip, BOOL) override;
};

void cube(Mesh& mesh) {
  mesh.setNumVerts(8);
  for (int i = 0; i < 8; ++i)
    mesh.setVert(i, Point3((i & 1) ? 100.f : 0.f, (i & 2) ? 100.f : 0.f, (i & 4) ? 100.f : 0.f));
  const DWORD q[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                         {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  mesh.setNumFaces(12);
  mesh.setNumTVerts(24);
  mesh.setNumTVFaces(12);
  for (int s = 0; s < 6; ++s) {
    const DWORD a = q[s][0], b = q[s][1], c = q[s][2], d = q[s][3];
    Face& f0 = mesh.faces[size_t(2 * s)];
    Face& f1 = mesh.faces[size_t(2 * s + 1)];
    f0.setVerts(c, b, a);
    f1.setVerts(a, d, c);
    for (Face* f : {&f0, &f1}) {
      f->setMatID(MtlID(s < 2 ? 1 : 0));
      f->setSmGroup(1u << s);
    }
    const DWORD t = DWORD(4 * s);
    for (int k = 0; k < 4; ++k) mesh.setTVert(int(t) + k, UVVert(float(k == 1 || k == 2), float(k >= 2), 0.f));
    mesh.tvFace[size_t(2 * s)].setTVerts(t + 2, t + 1, t);
    mesh.tvFace[size_t(2 * s + 1)].setTVerts(t, t + 3, t + 2);
  }
  mesh.buildBoundingBox();
}

Mtl* materials(const char* texture) {
  MultiMtl* multi = NewDefaultMultiMtl();
  multi->SetNumSubMtls(2);
  StdMat2* bark = NewDefaultStdMat();
  bark->SetName("Bark");
  bark->SetDiffuse(Color(0.5f, 0.25f, 0.125f), 0);
  BitmapTex* bitmap = NewDefaultBitmapTex();
  bitmap->SetMapName(texture);
  MultiTex* tint = NewDefaultTintTex();
  tint->SetSubTexmap(0, bitmap);
  bark->SetSubTexmap(ID_DI, tint);
  multi->SetSubMtl(0, bark);
  StdMat2* leaf = NewDefaultStdMat();
  leaf->SetName("Leaf");
  leaf->SetDiffuse(Color(0.1f, 0.6f, 0.2f), 0);
  multi->SetSubMtl(1, leaf);
  return multi;
}

int FakeImport::DoImport(const char* name, ImpInterface* ii, Interface* ip, BOOL) {
  std::ifstream in(name);
  std::string word, texture;
  in >> word >> texture;
  ip->ProgressStart("Loading...", TRUE, nullptr, nullptr);
  if (word == "cancel") {
    // Until the host says stop, within a bound.
    for (int i = 0; i < 2000 && !ip->GetCancel(); ++i) {
      ip->ProgressUpdate(i / 20);
      timespec ts{0, 5000000};
      nanosleep(&ts, nullptr);
    }
    ip->ProgressEnd();
    return ip->GetCancel() ? IMPEXP_CANCEL : IMPEXP_FAIL;
  }
  if (word == "fail") {
    ip->Log()->LogEntry(SYSLOG_WARN, "Sylvo", "fake: a first warning");
    ip->Log()->LogEntry(SYSLOG_ERROR, "Sylvo", "fake: IMPORT: No Root Object(s) found!",
                       LOGCODE_IMPORT_FAILED);
    ip->ProgressEnd();
    return IMPEXP_FAIL;
  }
  ip->ProgressUpdate(50);
  auto* object = static_cast<TriObject*>(static_cast<Object*>(ii->Create(GEOMOBJECT_CLASS_ID, triObjectClassID)));
  if (word != "empty") cube(object->GetMesh());
  ip->Log()->LogEntry(SYSLOG_WARN, "Sylvo", "fake: made a cube");
  INode* node = ii->CreateNode();
  node->SetObjectRef(object);
  CStr file;
  SplitFilename(name, nullptr, &file, nullptr);
  node->SetName(file);
  node->SetMtl(materials(texture.c_str()));
  ii->AddNodeToScene(node);
  ip->ProgressUpdate(100);
  ip->ProgressEnd();
  return IMPEXP_SUCCESS;
}

class FakeDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  void* Create(BOOL) override { return static_cast<SceneImport*>(new FakeImport); }
  const char* ClassName() override { return "Fake Import"; }
  SClass_ID SuperClassID() override { return SCENE_IMPORT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x1234, 0x5678); }
  const char* Category() override { return "Test"; }
};

FakeDesc gDesc;

}  // namespace

extern "C" {
__attribute__((visibility("default"))) const char* LibDescription() { return "fake"; }
__attribute__((visibility("default"))) int LibNumberClasses() { return 1; }
__attribute__((visibility("default"))) ClassDesc* LibClassDesc(int i) { return i == 0 ? &gDesc : nullptr; }
__attribute__((visibility("default"))) ULONG LibVersion() { return HOST_VERSION_WORD; }
}
