#include "app/preview.h"

#ifdef SYV_HAVE_OSMESA
#include <algorithm>
#include <cmath>

#include "app/lod.h"
#include "app/output_files.h"
#include "app/preview_render.h"
#include "app/side_library.h"
#include "app/textures.h"
#endif

namespace syv::app {

bool parsePreviewView(const std::string& name, PreviewView& view) {
  if (name == "three-quarter") view = PreviewView::ThreeQuarter;
  else if (name == "front") view = PreviewView::Front;
  else if (name == "side") view = PreviewView::Side;
  else if (name == "top") view = PreviewView::Top;
  else return false;
  return true;
}

#ifndef SYV_HAVE_OSMESA

bool writePreview(const Model&, const PreviewRequest&, std::string& error) {
  error = "this syvimport was built without an off-screen renderer (Mesa OSMesa and libpng); "
          "no picture";
  return false;
}

#else

namespace {

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 unit(const Vec3& a) {
  const double l = std::sqrt(dot(a, a));
  return {a[0] / l, a[1] / l, a[2] / l};
}

// The bounds of what is drawn, in the output frame; false when nothing is visible.
bool visibleBounds(const SubmeshSet& set, Vec3& lo, Vec3& hi) {
  lo = {1e300, 1e300, 1e300};
  hi = {-1e300, -1e300, -1e300};
  for (const Submesh& m : set.meshes)
    for (const Vec3f& p : m.positions)
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], double(p[k]));
        hi[k] = std::max(hi[k], double(p[k]));
      }
  return !set.meshes.empty() && lo[0] <= hi[0];
}

// Three-quarter view: from the front right, above; the bounds' corners
// framed with a margin, so the plant never touches the picture's edge.
Camera frameBounds(const Vec3& lo, const Vec3& hi, PreviewView view, double aspect) {
  Camera c;
  const double az = 0.6, el = 0.45;
  Vec3 toEye = unit({std::sin(az) * std::cos(el), std::sin(el), std::cos(az) * std::cos(el)});
  if (view == PreviewView::Front) toEye = {0, 0, 1};
  if (view == PreviewView::Side) toEye = {1, 0, 0};
  if (view == PreviewView::Top) toEye = {0, 1, 0};
  c.forward = {-toEye[0], -toEye[1], -toEye[2]};
  c.right = view == PreviewView::Top ? Vec3{1, 0, 0} : unit(cross(c.forward, {0, 1, 0}));
  c.up = cross(c.right, c.forward);
  c.centre = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  c.depth = 0;
  for (int k = 0; k < 8; ++k) {
    const Vec3 p = sub({k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2]}, c.centre);
    x0 = std::min(x0, dot(p, c.right)), x1 = std::max(x1, dot(p, c.right));
    y0 = std::min(y0, dot(p, c.up)), y1 = std::max(y1, dot(p, c.up));
    c.depth = std::max(c.depth, std::abs(dot(p, c.forward)));
  }
  c.halfW = std::max((x1 - x0) / 2, 1e-6) * 1.08, c.halfH = std::max((y1 - y0) / 2, 1e-6) * 1.08;
  if (c.halfW / c.halfH > aspect) c.halfH = c.halfW / aspect;
  else c.halfW = c.halfH * aspect;
  c.cx = (x0 + x1) / 2, c.cy = (y0 + y1) / 2;
  return c;
}

RenderPreviewFn loadRenderer(std::string& error) {
  std::string why;
  auto fn = reinterpret_cast<RenderPreviewFn>(sideLibrarySymbol(kPreviewLibrary, kRenderPreviewSymbol, why));
  if (!fn) error = "cannot load the off-screen renderer: " + why + "; no picture";
  return fn;
}

}  // namespace

bool writePreview(const Model& model, const PreviewRequest& req, std::string& error) {
  // Host units, turned Y-up: the output frame the exporters use.
  SubmeshSet set = buildSubmeshes(model.mesh, 1.0);
  Vec3 lo, hi;
  if (!visibleBounds(set, lo, hi)) {
    error = "the plant has no visible geometry to show";
    return false;
  }
  if (req.lodShare > 0) set = simplifyLevel(set, req.lodShare);
  const RenderPreviewFn render = loadRenderer(error);
  if (!render) return false;

  PreviewScene scene;
  scene.width = req.width;
  scene.height = req.height;
  scene.camera = frameBounds(lo, hi, req.view, double(req.width) / req.height);
  for (const Submesh& m : set.meshes) {
    PreviewDraw d;
    d.mesh = &m;
    const MaterialInfo* material = findMaterial(model, m.material);
    d.colour = material ? material->diffuse : Vec3f{0.6f, 0.6f, 0.6f};
    if (material && !material->texture.empty() && !m.uvs.empty())
      d.texture = resolveTexture(req.textureFolders, material->texture);
    scene.draws.push_back(std::move(d));
  }
  std::string png;
  if (!render(scene, png, error)) return false;
  return writeFilesInPlace({{req.pngPath, png}}, req.pngPath, error);
}

#endif

}  // namespace syv::app
