#include "app/preview.h"

#ifdef SYV_HAVE_OSMESA
#include <GL/osmesa.h>
#include <GL/gl.h>
#include <png.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "app/lod.h"
#include "app/output_files.h"
#include "app/submeshes.h"
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

using Vec3 = std::array<double, 3>;

Vec3 sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 unit(const Vec3& a) {
  const double l = std::sqrt(dot(a, a));
  return {a[0] / l, a[1] / l, a[2] / l};
}

struct Context {
  OSMesaContext ctx = nullptr;
  ~Context() {
    if (ctx) OSMesaDestroyContext(ctx);
  }
};

void appendPng(png_structp png, png_bytep data, png_size_t size) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), size);
}
void flushPng(png_structp) {}

// RGBA rows, bottom row first as OpenGL leaves them.
bool encodePng(const std::vector<unsigned char>& pixels, int w, int h, std::string& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &out, appendPng, flushPng);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<unsigned char> row(size_t(w) * 3);
  for (int y = h - 1; y >= 0; --y) {
    const unsigned char* src = &pixels[size_t(y) * size_t(w) * 4];
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) row[size_t(x) * 3 + c] = src[size_t(x) * 4 + c];
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// A texture object for the image, 0 when it cannot be read.
GLuint loadTexture(const std::string& file) {
  int w = 0, h = 0, n = 0;
  stbi_set_flip_vertically_on_load(1);  // texture v grows upwards, as OpenGL's t
  std::unique_ptr<unsigned char, void (*)(void*)> data(stbi_load(file.c_str(), &w, &h, &n, 4),
                                                     stbi_image_free);
  if (!data || w <= 0 || h <= 0) return 0;
  GLint max = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  if (w > max || h > max) return 0;
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.get());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  return id;
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

// An orthographic camera on the bounds, seen from the view's side.
struct Camera {
  Vec3 right, up, forward, centre;
  double halfW, halfH, cx, cy, depth;
};

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

void clearAndLoadCamera(const Camera& c, int w, int h) {
  glViewport(0, 0, w, h);
  glClearColor(0.82f, 0.83f, 0.82f, 1.f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const double d = c.depth + 1e-3;
  glOrtho(c.cx - c.halfW, c.cx + c.halfW, c.cy - c.halfH, c.cy + c.halfH, -d * 1.01, d * 1.01);
  glMatrixMode(GL_MODELVIEW);
  const Vec3 t = {-dot(c.right, c.centre), -dot(c.up, c.centre), dot(c.forward, c.centre)};
  const GLdouble view[16] = {c.right[0], c.up[0], -c.forward[0], 0, c.right[1], c.up[1], -c.forward[1], 0,
                             c.right[2], c.up[2], -c.forward[2], 0, t[0],       t[1],    t[2],          1};
  glLoadMatrixd(view);
}

// A key light from the upper left of the viewer, in eye space, and soft fill.
void setLights() {
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  const GLfloat lightDir[4] = {-0.4f, 0.7f, 0.6f, 0.f};
  const GLfloat white[4] = {0.75f, 0.75f, 0.75f, 1.f};
  const GLfloat ambient[4] = {0.35f, 0.35f, 0.35f, 1.f};
  glPushMatrix();
  glLoadIdentity();
  glLightfv(GL_LIGHT0, GL_POSITION, lightDir);
  glPopMatrix();
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  // Leaves are single sheets: light their back as their front.
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

// Each mesh in its material's texture where one is found, else its diffuse colour.
void drawMeshes(const Model& model, const SubmeshSet& set, const std::vector<std::string>& textureFolders) {
  std::map<std::string, GLuint> textures;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  for (const Submesh& m : set.meshes) {
    const MaterialInfo* material = findMaterial(model, m.material);
    Vec3f colour = material ? material->diffuse : Vec3f{0.6f, 0.6f, 0.6f};
    GLuint texture = 0;
    if (material && !material->texture.empty() && !m.uvs.empty()) {
      const std::string file = resolveTexture(textureFolders, material->texture);
      if (!file.empty()) {
        auto [it, fresh] = textures.try_emplace(file, 0);
        if (fresh) it->second = loadTexture(file);
        texture = it->second;
      }
    }
    if (texture) {
      colour = {1.f, 1.f, 1.f};  // the image carries the colour
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, texture);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_FLOAT, 0, m.uvs.data());
    } else {
      glDisable(GL_TEXTURE_2D);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glColor3f(colour[0], colour[1], colour[2]);
    glVertexPointer(3, GL_FLOAT, 0, m.positions.data());
    glNormalPointer(GL_FLOAT, 0, m.normals.data());
    glDrawElements(GL_TRIANGLES, GLsizei(m.indices.size()), GL_UNSIGNED_INT, m.indices.data());
  }
  glFinish();
  for (auto& [file, id] : textures)
    if (id) glDeleteTextures(1, &id);
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

  Context context;
  context.ctx = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
  const int w = req.width, h = req.height;
  std::vector<unsigned char> pixels(size_t(w) * size_t(h) * 4);
  if (!context.ctx || !OSMesaMakeCurrent(context.ctx, pixels.data(), GL_UNSIGNED_BYTE, w, h)) {
    error = "no off-screen OpenGL context (Mesa OSMesa); no picture";
    return false;
  }
  clearAndLoadCamera(frameBounds(lo, hi, req.view, double(w) / h), w, h);
  setLights();
  drawMeshes(model, set, req.textureFolders);

  std::string png;
  if (!encodePng(pixels, w, h, png)) {
    error = "the picture could not be encoded";
    return false;
  }
  return writeFilesInPlace({{req.pngPath, png}}, req.pngPath, error);
}

#endif

}  // namespace syv::app
