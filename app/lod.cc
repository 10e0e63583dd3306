#include "app/lod.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace syv::app {
namespace {

constexpr uint32_t kNone = ~uint32_t(0);

// Pieces the simplifier has brought down to this many triangles or fewer are
// cards (a leaf, a petal): it cannot merge them, so they are thinned instead.
constexpr size_t kCardTriangles = 8;

// A kept card grows by the root of the share it stands for, so that the
// cards cover as much as before; capped so few huge cards do not make a
// different crown.
constexpr float kMaxGrowth = 2.5f;

uint32_t findRoot(std::vector<uint32_t>& parent, uint32_t a) {
  while (parent[a] != a) a = parent[a] = parent[parent[a]];
  return a;
}

// The connected piece of each vertex: corners meeting at a position connect,
// whatever their normal or texture coordinate.
std::vector<uint32_t> pieceIds(const Submesh& sub) {
  const size_t corners = sub.indices.size();
  std::vector<uint32_t> shadow(corners);
  meshopt_generateShadowIndexBuffer(shadow.data(), sub.indices.data(), corners, sub.positions.data(),
                                    sub.positions.size(), sizeof(Vec3f), sizeof(Vec3f));
  std::vector<uint32_t> parent(sub.positions.size());
  std::iota(parent.begin(), parent.end(), 0u);
  for (size_t t = 0; t < corners; t += 3)
    for (size_t k = 1; k < 3; ++k) {
      const uint32_t a = findRoot(parent, shadow[t]), b = findRoot(parent, shadow[t + k]);
      if (a != b) parent[std::max(a, b)] = std::min(a, b);
    }
  // Each vertex to its position's representative, then to its root.
  for (size_t c = 0; c < corners; ++c) parent[sub.indices[c]] = findRoot(parent, shadow[c]);
  return parent;
}

// The triangles of `corners` without two corners at one place: plants have
// some (leaf tips), collapses add more, they cover nothing and readers turn
// them into lines.
void compactable(const Submesh& sub, const std::vector<uint32_t>& corners, std::vector<uint32_t>& out) {
  out.clear();
  for (size_t c = 0; c + 2 < corners.size(); c += 3) {
    const Vec3f &a = sub.positions[corners[c]], &b = sub.positions[corners[c + 1]],
                &d = sub.positions[corners[c + 2]];
    if (a != b && b != d && a != d) out.insert(out.end(), &corners[c], &corners[c] + 3);
  }
}

// The corners given (indices into `from`) as a mesh of their own, vertices in
// order of first use, triangles with two corners at one place left out.
void compact(const Submesh& from, const std::vector<uint32_t>& given, Submesh& to) {
  std::vector<uint32_t> corners;
  compactable(from, given, corners);
  std::vector<uint32_t> remap(from.positions.size(), kNone);
  to.indices.reserve(corners.size());
  for (uint32_t v : corners) {
    if (remap[v] == kNone) {
      remap[v] = uint32_t(to.positions.size());
      to.positions.push_back(from.positions[v]);
      to.normals.push_back(from.normals[v]);
      to.uvs.push_back(from.uvs[v]);
    }
    to.indices.push_back(remap[v]);
  }
}

// Drops every n-th card of `corners` (pieces the simplifier has brought down
// to a card) until `target` triangles remain, spread evenly over the order the
// plant placed them in; the rest grow about their centre so that they cover
// about as much. Pieces larger than a card are kept as they are.
void thinCards(Submesh& sub, const std::vector<uint32_t>& pieceOf, size_t target,
               std::vector<uint32_t>& corners) {
  std::vector<std::vector<uint32_t>> byPiece;  // triangles (first corner) per piece, in order
  std::vector<uint32_t> slot(pieceOf.size(), kNone);
  for (size_t t = 0; t < corners.size(); t += 3) {
    uint32_t& s = slot[pieceOf[corners[t]]];
    if (s == kNone) {
      s = uint32_t(byPiece.size());
      byPiece.emplace_back();
    }
    byPiece[s].push_back(uint32_t(t));
  }
  std::vector<size_t> cards;
  size_t cardTriangles = 0;
  for (size_t p = 0; p < byPiece.size(); ++p)
    if (byPiece[p].size() <= kCardTriangles) {
      cards.push_back(p);
      cardTriangles += byPiece[p].size();
    }
  const size_t total = corners.size() / 3;
  if (cards.empty() || total - cardTriangles > target) return;
  const size_t budget = target - (total - cardTriangles);
  const double perCard = double(cardTriangles) / double(cards.size());
  size_t keep = std::min(cards.size(), size_t(double(budget) / perCard));
  std::vector<uint8_t> drop(byPiece.size());
  size_t kept = 0, used = 0;
  for (size_t i = 0; i < cards.size(); ++i) {
    const bool chosen = keep && (i + 1) * keep / cards.size() != i * keep / cards.size();
    if (chosen && used + byPiece[cards[i]].size() <= budget) {
      used += byPiece[cards[i]].size();
      ++kept;
    } else {
      drop[cards[i]] = 1;
    }
  }
  const float grow = kept ? std::min(kMaxGrowth, float(std::sqrt(double(cards.size()) / double(kept))))
                          : 1.f;
  std::vector<uint32_t> out;
  std::vector<uint8_t> moved(sub.positions.size());
  for (size_t p = 0; p < byPiece.size(); ++p) {
    if (drop[p]) continue;
    const bool card = byPiece[p].size() <= kCardTriangles;
    Vec3f centre{0, 0, 0};
    for (uint32_t t : byPiece[p])
      for (size_t k = 0; k < 3; ++k)
        for (size_t c = 0; c < 3; ++c) centre[c] += sub.positions[corners[t + k]][c];
    for (float& x : centre) x /= float(byPiece[p].size() * 3);
    for (uint32_t t : byPiece[p])
      for (size_t k = 0; k < 3; ++k) {
        const uint32_t v = corners[t + k];
        out.push_back(v);
        // A piece shares no vertex with another, so each grows on its own.
        if (!card || moved[v]) continue;
        moved[v] = 1;
        Vec3f& q = sub.positions[v];
        for (size_t c = 0; c < 3; ++c) q[c] = centre[c] + (q[c] - centre[c]) * grow;
      }
  }
  corners = std::move(out);
}

Submesh simplifySubmesh(const Submesh& sub, double share) {
  Submesh level;
  level.material = sub.material;
  const size_t triangles = sub.indices.size() / 3;
  const size_t target = size_t(std::floor(double(triangles) * share));
  if (target == 0) return level;
  // No error bound: the share is the promise; the simplifier takes the
  // collapses of least error first, so the outline goes last.
  std::vector<uint32_t> input;
  compactable(sub, sub.indices, input);
  std::vector<uint32_t> corners = input;
  size_t n = input.size();
  if (n > target * 3)
    n = meshopt_simplify(corners.data(), input.data(), input.size(), sub.positions[0].data(),
                         sub.positions.size(), sizeof(Vec3f), target * 3, 1.f, 0, nullptr);
  corners.resize(n);
  Submesh work = sub;  // thinning moves the kept cards' vertices
  if (n > target * 3) thinCards(work, pieceIds(sub), target, corners);
  if (corners.size() > target * 3) {
    // Locked seams and open borders can stop it short; clustering always gets there.
    std::vector<uint32_t> from = std::move(corners);
    corners.resize(from.size());
    n = meshopt_simplifySloppy(corners.data(), from.data(), from.size(), work.positions[0].data(),
                               work.positions.size(), sizeof(Vec3f), target * 3, 1.f, nullptr);
    corners.resize(std::min(n, target * 3));
  }
  compact(work, corners, level);
  return level;
}

}  // namespace

std::string parseLodShares(const std::string& text, std::vector<double>& shares) {
  shares.clear();
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    char* end = nullptr;
    const double share = std::strtod(item.c_str(), &end);
    if (item.empty() || *end != '\0' || !(share > 0 && share < 1))
      return "--lod takes shares of the triangles between 0 and 1, such as 0.5,0.2,0.05; not '" +
             item + "'";
    if (!shares.empty() && !(share < shares.back()))
      return "--lod: each level must have a smaller share than the one before";
    shares.push_back(share);
    at = comma + 1;
  }
  return {};
}

SubmeshSet simplifyLevel(const SubmeshSet& full, double share) {
  SubmeshSet level;
  for (const Submesh& sub : full.meshes) {
    level.meshes.push_back(simplifySubmesh(sub, share));
  }
  return level;
}

}  // namespace syv::app
