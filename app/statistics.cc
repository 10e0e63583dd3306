#include "app/statistics.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>

namespace syv::app {
namespace {

// Single-precision values printed as their shortest faithful decimal.
double tidy(float f) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", double(f));
  return std::strtod(buf, nullptr);
}

}  // namespace

void MaterialRuns::finish(size_t faces, MeshTally& tally) {
  close(faces);
  tally.counted = true;
  tally.triangles = faces;
  tally.perMaterial.assign(counts_.begin(), counts_.end());
}

Statistics computeStatistics(const Model& model, const MeshTally* tally) {
  Statistics s;
  s.node = model.nodeName;
  MeshTally own;
  if (!(tally && tally->counted)) {
    MaterialRuns runs;
    const TriFace* face = model.mesh.faces.data();
    for (size_t i = 0; i < model.mesh.faces.size(); ++i) runs.add(i, face[i].material);
    runs.finish(model.mesh.faces.size(), own);
  }
  const MeshTally& counts = tally && tally->counted ? *tally : own;
  s.triangles = counts.triangles;
  s.vertices = model.mesh.vertices.size();
  s.textureVertices = model.mesh.tverts.size();
  std::map<uint32_t, MaterialStats> byId;
  for (const MaterialInfo& m : model.materials) byId[m.id].material = m;
  for (const auto& [id, triangles] : counts.perMaterial) {
    auto [it, inserted] = byId.try_emplace(id);
    if (inserted) {
      it->second.known = false;
      it->second.material.id = id;
    }
    it->second.triangles += triangles;
  }
  for (auto& [id, m] : byId) s.materials.push_back(m);
  if (tally && tally->bounded) {
    s.hasBounds = true;
    s.min = tally->min;
    s.max = tally->max;
    return s;
  }
  // The first finite vertex starts the box; the loop after it has no other branch.
  const Vec3f* v = model.mesh.vertices.data();
  const Vec3f* end = v + model.mesh.vertices.size();
  auto finite = [](const Vec3f& p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
  };
  while (v != end && !finite(*v)) ++v;
  if (v != end) {
    s.hasBounds = true;
    float lo[3], hi[3];  // in registers, not in `s`, while the loop runs
    for (int k = 0; k < 3; ++k) lo[k] = hi[k] = (*v)[k];
    for (++v; v != end; ++v) {
      if (!finite(*v)) continue;
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], (*v)[k]);
        hi[k] = std::max(hi[k], (*v)[k]);
      }
    }
    for (int k = 0; k < 3; ++k) {
      s.min[k] = lo[k];
      s.max[k] = hi[k];
    }
  }
  return s;
}

std::string statisticsJson(const Statistics& s) {
  using nlohmann::ordered_json;
  ordered_json j = ordered_json::object();
  j.get_ref<ordered_json::object_t&>().reserve(12);  // growing would copy the members
  j["node"] = s.node;
  j["triangles"] = s.triangles;
  j["vertices"] = s.vertices;
  j["texture_vertices"] = s.textureVertices;
  ordered_json mats = ordered_json::array();
  for (const MaterialStats& m : s.materials) {
    ordered_json e;
    e["id"] = m.material.id;
    e["name"] = m.material.name;
    if (m.known)
      e["diffuse"] = {tidy(m.material.diffuse[0]), tidy(m.material.diffuse[1]), tidy(m.material.diffuse[2])};
    else
      e["diffuse"] = nullptr;
    if (m.material.texture.empty())
      e["texture"] = nullptr;
    else
      e["texture"] = m.material.texture;
    e["triangles"] = m.triangles;
    mats.push_back(std::move(e));
  }
  j["materials"] = std::move(mats);
  if (s.hasBounds)
    j["bounds"] = {{"min", {tidy(s.min[0]), tidy(s.min[1]), tidy(s.min[2])}},
                    {"max", {tidy(s.max[0]), tidy(s.max[1]), tidy(s.max[2])}}};
  else
    j["bounds"] = nullptr;
  j["warnings"] = s.warnings;
  j["seconds"] = {{"import", s.importSeconds}, {"export", s.exportSeconds}};
  // Names from a plant file need not be UTF-8; replace what is not.
  return j.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

}  // namespace syv::app
