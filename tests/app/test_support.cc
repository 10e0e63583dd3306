#include "test_support.h"

#include <stb/stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

namespace fs = std::filesystem;

namespace syv::app::test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "syvapp_XXXXXX").string();
  path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(path_)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

void addQuad(TriMesh& mesh, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t material,
             uint32_t smoothing) {
  const uint32_t t = uint32_t(mesh.tverts.size());
  mesh.tverts.push_back({0, 0, 0});
  mesh.tverts.push_back({1, 0, 0});
  mesh.tverts.push_back({1, 1, 0});
  mesh.tverts.push_back({0, 1, 0});
  mesh.faces.push_back({{c, b, a}, {t + 2, t + 1, t}, smoothing, material});
  mesh.faces.push_back({{a, d, c}, {t, t + 3, t + 2}, smoothing, material});
  mesh.hasTexCoords = true;
}

Model cubeModel(float s, uint32_t smoothing) {
  Model m;
  m.nodeName = "cube";
  for (int i = 0; i < 8; ++i)
    m.mesh.vertices.push_back({(i & 1) ? s : 0.f, (i & 2) ? s : 0.f, (i & 4) ? s : 0.f});
  // Corner order chosen so that the host triangle (c, b, a) faces outwards.
  const uint32_t q[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                            {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
  for (const auto& f : q) addQuad(m.mesh, f[0], f[1], f[2], f[3], 0, smoothing);
  m.materials.push_back({0, "Bark", {0.5f, 0.25f, 0.125f}, ""});
  return m;
}

RunResult run(const std::string& commandLine) {
  TempDir dir;
  const std::string outFile = dir.file("out"), errFile = dir.file("err");
  const std::string cmd =
      "(" + commandLine + ") </dev/null >" + shellQuote(outFile) + " 2>" + shellQuote(errFile);
  RunResult r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = readText(outFile);
  r.err = readText(errFile);
  return r;
}

bool haveCommand(const std::string& name) {
  return std::system(("command -v " + shellQuote(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  return out + "'";
}

size_t count(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

std::string tinyPng() {
  // 2x2 RGB, generated once and stored as bytes.
  static const unsigned char png[] = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
      0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd,
      0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x10, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x38,
      0x91, 0x62, 0x04, 0x44, 0x0c, 0x10, 0x0a, 0x00, 0x28, 0xae, 0x05, 0x79, 0xaa, 0xe0, 0x88,
      0x61, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
  return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

std::vector<std::array<int, 3>> readRgb(const std::string& file, int& w, int& h) {
  int n = 0;
  std::vector<std::array<int, 3>> px;
  unsigned char* data = stbi_load(file.c_str(), &w, &h, &n, 3);
  for (int i = 0; data && i < w * h; ++i) px.push_back({data[3 * i], data[3 * i + 1], data[3 * i + 2]});
  stbi_image_free(data);
  return px;
}

int assimpFaces(const std::string& file) {
  const RunResult r = run("assimp info " + shellQuote(file));
  std::smatch m;
  if (r.status != 0 || !std::regex_search(r.out, m, std::regex("Faces:\\s+(\\d+)"))) return -1;
  return std::atoi(m[1].str().c_str());
}

nlohmann::json glbJson(const std::string& bytes) {
  uint32_t length = 0;
  std::memcpy(&length, bytes.data() + 12, 4);
  return nlohmann::json::parse(bytes.substr(20, length));
}

nlohmann::json validate(const std::string& file) {
  const std::string dir = SYV_VALIDATOR_DIR;
  if (!haveCommand("node") || !fs::exists(dir + "/node_modules/gltf-validator")) return nullptr;
  const RunResult r = run("node " + shellQuote(dir + "/validate.js") + " " + shellQuote(file));
  if (r.out.empty()) return nlohmann::json{{"errors", -1}, {"stderr", r.err}};
  return nlohmann::json::parse(r.out);
}

}  // namespace syv::app::test
