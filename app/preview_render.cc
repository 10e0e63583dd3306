#include "app/preview_render.h"

#include <GL/osmesa.h>
#include <GL/gl.h>
#include <png.h>
#include <stb/stb_image.h>

#include <map>
#include <memory>

namespace syv::app {
namespace {

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

// Each mesh in its texture where one is read, else its colour.
void drawMeshes(const PreviewScene& scene) {
  std::map<std::string, GLuint> textures;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  for (const PreviewDraw& d : scene.draws) {
    const Submesh& m = *d.mesh;
    Vec3f colour = d.colour;
    GLuint texture = 0;
    if (!d.texture.empty()) {
      auto [it, fresh] = textures.try_emplace(d.texture, 0);
      if (fresh) it->second = loadTexture(d.texture);
      texture = it->second;
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

}  // namespace syv::app

extern "C" __attribute__((visibility("default"))) bool syvRenderPreview(
    const syv::app::PreviewScene& scene, std::string& png, std::string& error) {
  using namespace syv::app;
  Context context;
  context.ctx = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
  const int w = scene.width, h = scene.height;
  std::vector<unsigned char> pixels(size_t(w) * size_t(h) * 4);
  if (!context.ctx || !OSMesaMakeCurrent(context.ctx, pixels.data(), GL_UNSIGNED_BYTE, w, h)) {
    error = "no off-screen OpenGL context (Mesa OSMesa); no picture";
    return false;
  }
  clearAndLoadCamera(scene.camera, w, h);
  setLights();
  drawMeshes(scene);
  if (!encodePng(pixels, w, h, png)) {
    error = "the picture could not be encoded";
    return false;
  }
  return true;
}
