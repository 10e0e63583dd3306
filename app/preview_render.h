// The off-screen drawing of a preview, in a library of its own
// (libsyvpreview.so) that syvimport loads only when a picture is asked for:
// Mesa's renderer brings a compiler's worth of libraries whose loading every
// other run would pay for.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/submeshes.h"

namespace syv::app {

// The camera's arithmetic, shared by its set-up and the drawing.
using Vec3 = std::array<double, 3>;
inline double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// An orthographic camera on the bounds, seen from the view's side.
struct Camera {
  Vec3 right, up, forward, centre;
  double halfW, halfH, cx, cy, depth;
};

struct PreviewDraw {
  const Submesh* mesh = nullptr;
  Vec3f colour{};       // drawn in when no texture is read
  std::string texture;  // the image file found for its material, or empty
};

struct PreviewScene {
  int width = 0, height = 0;
  Camera camera{};
  std::vector<PreviewDraw> draws;
};

// The picture as PNG bytes; false with the reason.
using RenderPreviewFn = bool (*)(const PreviewScene& scene, std::string& png, std::string& error);
constexpr const char* kRenderPreviewSymbol = "syvRenderPreview";
constexpr const char* kPreviewLibrary = "libsyvpreview.so";

}  // namespace syv::app
