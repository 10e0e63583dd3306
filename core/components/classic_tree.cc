#include "core/components/classic_tree.h"

#include <algorithm>
#include <cmath>

#include "core/components/geometry.h"
#include "core/components/limits.h"

namespace syv {

namespace {

// A cell keeps the three Simpson samples so that the cumulative integral can
// be inverted inside it.
using Cell = DistributionCell;

// Bounds the curve evaluations of one integration: a noisy (random)
// expression never converges and must not refine for ever.
constexpr int kIntegrationBudget = 20000;

class Integrator {
 public:
  explicit Integrator(const CurveParameter& curve) : curve_(curve) {}

  void run(std::vector<Cell>& cells) {
    const int pieces = 16;  // a first split, so that narrow bumps are not missed
    for (int k = 0; k < pieces; ++k) {
      const double a = double(k) / pieces, b = double(k + 1) / pieces, m = 0.5 * (a + b);
      const double fa = eval(a), fm = eval(m), fb = eval(b);
      refine(a, b, fa, fm, fb, simpson(a, b, fa, fm, fb), 1e-10 / pieces, 0, cells);
    }
  }

 private:
  double eval(double x) {
    ++evaluations_;
    const double v = curve_.evaluate(x);
    return std::isfinite(v) ? v : 0.0;
  }
  static double simpson(double a, double b, double fa, double fm, double fb) {
    return (b - a) / 6.0 * (fa + 4.0 * fm + fb);
  }
  void refine(double a, double b, double fa, double fm, double fb, double whole, double eps,
              int depth, std::vector<Cell>& cells) {
    const double m = 0.5 * (a + b), lm = 0.5 * (a + m), rm = 0.5 * (m + b);
    const double flm = eval(lm), frm = eval(rm);
    const double left = simpson(a, m, fa, flm, fm), right = simpson(m, b, fm, frm, fb);
    if (depth >= 40 || evaluations_ >= kIntegrationBudget ||
        std::fabs(left + right - whole) <= 15.0 * eps) {
      cells.push_back({a, m, fa, flm, fm, left});
      cells.push_back({m, b, fm, frm, fb, right});
      return;
    }
    refine(a, m, fa, flm, fm, left, 0.5 * eps, depth + 1, cells);
    refine(m, b, fm, frm, fb, right, 0.5 * eps, depth + 1, cells);
  }

  const CurveParameter& curve_;
  int evaluations_ = 0;
};

// Integral over [a, a + d] of the parabola through the cell's samples.
double cellIntegral(const Cell& c, double d) {
  const double h = c.b - c.a;
  const double x = d / h;  // 0..1 across the cell
  // Lagrange basis on 0, 1/2, 1, integrated from 0 to x.
  const double la = x - 1.5 * x * x + (2.0 / 3.0) * x * x * x;
  const double lm = 2.0 * x * x - (4.0 / 3.0) * x * x * x;
  const double lb = -0.5 * x * x + (2.0 / 3.0) * x * x * x;
  return h * (c.fa * la + c.fm * lm + c.fb * lb);
}

// The parabola through the cell's samples at x in 0..1 across the cell.
double cellValue(const Cell& c, double x) {
  return c.fa * (1.0 - x) * (1.0 - 2.0 * x) + c.fm * 4.0 * x * (1.0 - x) +
         c.fb * x * (2.0 * x - 1.0);
}

// The x inside the cell where the running integral reaches `target`
// (relative to the cell's start). Newton steps on the cell's parabola, kept
// inside a shrinking bracket so that a flat or turning parabola still
// converges like bisection; a few steps suffice for smooth cells.
double invertCell(const Cell& c, double target) {
  const double h = c.b - c.a;
  double lo = 0.0, hi = h;
  const bool rising = c.area >= 0.0;
  double x = h * 0.5;
  const double tolerance = 1e-15 * (std::fabs(c.area) + 1e-300);
  for (int k = 0; k < 64; ++k) {
    const double diff = cellIntegral(c, x) - target;
    if (std::fabs(diff) <= tolerance) break;
    if ((diff < 0.0) == rising)
      lo = x;
    else
      hi = x;
    if (hi - lo <= 1e-15 * h) break;
    const double slope = cellValue(c, x / h);
    double next = slope != 0.0 ? x - diff / slope : -1.0;
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    x = next;
  }
  return c.a + x;
}

enum class Axis { X, Z };

// rotX(angle) * m or rotZ(angle) * m with only the terms of the turn's
// non-zero entries: each sum of the full product starts at +0, is never -0,
// and its other terms are signed zeros that leave it as it is, so the bits
// are the same for finite operands. Anything else takes the full product.
// c and s are the angle's cosine and sine, worked out once for a fixed angle.
Matrix4 turned(Axis axis, double angle, double c, double s, const Matrix4& m) {
  if (!(std::isfinite(c) && std::isfinite(s) && m.isFinite()))
    return (axis == Axis::X ? Matrix4::rotX(angle) : Matrix4::rotZ(angle)) * m;
  const int p = axis == Axis::X ? 1 : 0, q = p + 1;  // the two rows the turn mixes
  Matrix4 r = m;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) r.m[i][j] = m.m[i][j] + 0.0;
    r.m[p][j] = (0.0 + c * m.m[p][j]) + s * m.m[q][j];
    r.m[q][j] = (0.0 + -s * m.m[p][j]) + c * m.m[q][j];
  }
  return r;
}

// Rows p and p + 1 mixed as turned() mixes them; the other rows are left as
// they are, which is what their "+ 0.0" gives once they went through it.
inline void mixRows(double r[4][4], int p, double c, double s) {
  for (int j = 0; j < 4; ++j) {
    const double a = r[p][j], b = r[p + 1][j];
    r[p][j] = (0.0 + c * a) + s * b;
    r[p + 1][j] = (0.0 + -s * a) + c * b;
  }
}

// A branch's frame: scaledRows(size, frame), then turned by Z (zAngle), X
// (xAngle) and Z (phi, with its cosine c and sine s). With finite operands each
// step takes its shortcut and leaves no -0, so one pass gives the same bits as
// the four steps, provided no step overflowed; a value that is not finite would
// carry through to the end, so a finite end proves that. Anything else takes
// the steps one by one.
Matrix4 branchFrame(const Matrix4& frame, double size, double zAngle, double xAngle, double phi,
                    double c, double s) {
  const double cz = std::cos(zAngle), sz = std::sin(zAngle);
  const double cx = std::cos(xAngle), sx = std::sin(xAngle);
  if (std::isfinite(size) && std::isfinite(cz) && std::isfinite(sz) && std::isfinite(cx) &&
      std::isfinite(sx) && std::isfinite(c) && std::isfinite(s) && frame.isFinite()) {
    Matrix4 r = frame;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) r.m[i][j] = (i < 3 ? size : 1.0) * frame.m[i][j] + 0.0;
    mixRows(r.m, 0, cz, sz);
    mixRows(r.m, 1, cx, sx);
    mixRows(r.m, 0, c, s);
    if (r.isFinite()) return r;
  }
  Matrix4 m = scaledRows(size, frame);
  m = turned(Axis::Z, zAngle, cz, sz, m);
  m = turned(Axis::X, xAngle, cx, sx, m);
  return turned(Axis::Z, phi, c, s, m);
}

bool between(double v, double a, double b) { return (v >= a && v <= b) || (v <= a && v >= b); }

// A spline of three points on the Z axis is a straight stem.
bool straightSpline(const Spline& spline) {
  if (spline.empty()) return true;
  if (spline.size() != 3) return false;
  for (const SplineKnot& k : spline)
    if (std::fabs(k.position.x) > 1e-8 || std::fabs(k.position.y) > 1e-8) return false;
  return true;
}

// The spline's point at t: linear between knots, ends held.
Vector3 splinePoint(const Spline& spline, double t) {
  if (t <= spline.front().t) return spline.front().position;
  for (size_t k = 1; k < spline.size(); ++k) {
    if (t <= spline[k].t) {
      const double span = spline[k].t - spline[k - 1].t;
      const double f = span > 0.0 ? (t - spline[k - 1].t) / span : 1.0;
      return spline[k - 1].position + (spline[k].position - spline[k - 1].position) * f;
    }
  }
  return spline.back().position;
}

std::string describe(const ClassicTree& tree) { return "ClassicTree '" + tree.name + "'"; }

// clampCount, naming the tree only when it warns: stems are many.
double clampNamed(double value, double maximum, const ClassicTree& tree, const char* what) {
  return clampCount(value, maximum, [&] { return describe(tree) + what; });
}

// Node list: the distributed positions carry the branch flag; plain nodes
// are spread over the intervals in proportion to their lengths.
std::vector<StemNode> buildNodes(const ClassicTree& tree, const std::vector<double>& positions,
                                 double density) {
  std::vector<StemNode> nodes;
  if (positions.empty()) {
    nodes.push_back({0.0, false});
    nodes.push_back({1.0, false});
    return nodes;
  }
  std::vector<double> anchors = positions;
  // A fractional piece count leaves the last piece shorter, but the stem still ends at 1.
  if (anchors.back() < 1.0 - 1e-9) anchors.push_back(1.0);
  const double P = double(positions.size());

  double segments = std::trunc(clampNamed(tree.stemSegments, kMaxPathPoints, tree, ": segments"));
  if (tree.treeMode > 3) segments = std::trunc(segments / density);
  const double splineNodes = std::floor(
      clampNamed((P - 1.0) * tree.splineLength, kMaxPathPoints, tree, ": spline nodes"));
  double extra = splineNodes + std::max(0.0, clampNamed(segments, kMaxPathPoints, tree,
                                                        ": segments by density") - P);
  extra = std::min(extra, kMaxPathPoints - double(anchors.size()));
  if (!(extra > 0.0)) extra = 0.0;

  const double span = anchors.back() - anchors.front();
  double given = 0.0;
  nodes.reserve(anchors.size() + static_cast<size_t>(extra) + 1);
  // Field by field into the vector: a node built on the stack and copied is
  // stored in two parts and loaded whole, which stalls the copy.
  auto add = [&nodes](double t, bool branch) {
    StemNode& node = nodes.emplace_back();
    node.t = t;
    node.branch = branch;
  };
  for (size_t j = 0; j + 1 < anchors.size(); ++j) {
    add(anchors[j], true);
    // Cumulative rounding hands out exactly `extra` nodes over the intervals.
    const double until =
        span > 0.0 ? std::round(extra * (anchors[j + 1] - anchors.front()) / span)
                   : (j + 2 == anchors.size() ? extra : 0.0);
    const int here = int(until - given);
    given = until;
    for (int q = 0; q < here; ++q)
      add(anchors[j] + (anchors[j + 1] - anchors[j]) * double(q + 1) / double(here + 1), false);
  }
  add(anchors.back(), false);
  return nodes;
}

// Reading the curve can neither draw a random number nor log.
bool silent(const CurveParameter& curve) { return curve.mode() == 1 && curve.readsLinearly(); }

// A silent curve whose points are all zero reads 0, -0 or NaN, which the clamp
// to [lo, hi] keeps as they are when lo <= 0 <= hi: never a turn or a step.
bool zeroEverywhere(const CurveParameter& curve, double lo, double hi) {
  if (!(silent(curve) && lo <= 0.0 && hi >= 0.0)) return false;
  for (int k = 0; k < curve.pointCount(); ++k)
    if (curve.point(k)->y != 0.0) return false;
  return true;
}

StemSkeleton buildSkeleton(const ClassicTree& tree, const std::vector<double>& positions,
                           const CurveParameter& divergenceSource, double density) {
  StemSkeleton sk;
  sk.nodes = buildNodes(tree, positions, density);
  const size_t n = sk.nodes.size();
  const bool straight = straightSpline(tree.stemSpline);
  std::vector<Vector3> base(n);
  for (size_t i = 0; i < n; ++i)
    base[i] = straight ? Vector3(0.0, 0.0, tree.stemLength * sk.nodes[i].t)
                       : splinePoint(tree.stemSpline, sk.nodes[i].t);

  // The bend is carried along the stem: a tilt at branch nodes turns all that
  // follows, a kink steps sideways by a fraction of its segment's length.
  const double f = tree.treeMode > 5 ? -1.0 : 1.0;
  // Curves that can neither draw nor log are read only where a value can
  // matter: a deviation that is zero everywhere never tilts, and with kinks
  // that are zero too the azimuth is never used.
  const bool untilted = zeroEverywhere(tree.deviation, 0.0, 1.0);
  const bool unbent = untilted && silent(divergenceSource) &&
                      zeroEverywhere(tree.kinks, tree.kinks.minimum(), tree.kinks.maximum());
  Matrix4 tilt;
  double azimuth = 0.0;
  sk.points.resize(n);
  sk.points[0] = base[0];
  std::vector<double> arc(n, 0.0);
  for (size_t i = 1; i < n; ++i) {
    const double t = sk.nodes[i].t;
    const Vector3 segment = base[i] - base[i - 1];
    Vector3 step = tilt.transformDirection(segment);
    if (!unbent) {
      const double turn = divergenceSource.evaluate(t);  // drawn at every node
      if (!sk.nodes[i].branch) {
        const double v =
            clampValue(tree.kinks.evaluate(t), tree.kinks.minimum(), tree.kinks.maximum());
        if (std::fabs(v) > 1e-8) {
          const double size = segment.length();
          step += tilt.transformDirection(
              Vector3(std::sin(azimuth) * v * size, std::cos(azimuth) * v * size, 0.0));
        }
      } else {
        azimuth += turn;
        const double d = untilted ? 0.0 : clampValue(tree.deviation.evaluate(t), 0.0, 1.0) * f;
        if (std::fabs(d) > 1e-8)
          tilt = Matrix4::rotZ(azimuth) * Matrix4::rotX(-kPi / 3.0 * d) *
                 Matrix4::rotZ(-azimuth) * tilt;
      }
    }
    sk.points[i] = sk.points[i - 1] + step;
    arc[i] = arc[i - 1] + step.length();
  }
  sk.totalLength = arc[n - 1];
  if (!(sk.totalLength > 1e-12) || !std::isfinite(sk.totalLength)) return sk;

  // Branch nodes sit at their arc length; plain nodes between two of them are
  // spaced evenly (the stem's end counts as the closing anchor).
  size_t previous = 0;
  for (size_t i = 1; i < n; ++i) {
    if (!sk.nodes[i].branch && i + 1 < n) continue;
    const double from = arc[previous], to = arc[i];
    for (size_t j = previous + 1; j < i; ++j)
      sk.nodes[j].t = from + (to - from) * double(j - previous) / double(i - previous);
    sk.nodes[i].t = to;
    previous = i;
  }
  for (StemNode& node : sk.nodes) node.t /= sk.totalLength;
  return sk;
}

// Frames whose fourth row is the stem point and whose Z row follows the stem,
// each turned from the previous by the smallest rotation between directions;
// the first `count` of them.
Path buildFrames(const StemSkeleton& sk, size_t count) {
  const size_t n = sk.points.size();
  std::vector<Vector3> dirs(count);
  Vector3 last(0.0, 0.0, 1.0);
  for (size_t i = 0; i < count; ++i) {
    Vector3 d;
    if (i > 0) d += (sk.points[i] - sk.points[i - 1]).normalized();
    if (i + 1 < n) d += (sk.points[i + 1] - sk.points[i]).normalized();
    if (d.length() < 1e-9) d = last;  // zero-length or folded segments keep the direction
    dirs[i] = d.normalized();
    last = dirs[i];
  }
  Path path;
  path.reserve(count);
  Matrix4 rotation = rotationBetween({0.0, 0.0, 1.0}, dirs[0]);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) {
      // A straight stretch turns by the identity (the cross product of equal unit
      // directions is exactly zero): the product only clears signed zeros.
      const bool straight = dirs[i - 1] == dirs[i] && dirs[i].length() > 0.5;
      if (straight) {
        rotation = scaledColumns(rotation, 1.0, 1.0, 1.0);
      } else {
        const Matrix4 turn = rotationBetween(dirs[i - 1], dirs[i]);
        rotation = turn.isIdentity() ? scaledColumns(rotation, 1.0, 1.0, 1.0) : rotation * turn;
      }
    }
    path.push_back({sk.nodes[i].t, rotation});
    path.back().frame.setPosition(sk.points[i]);
  }
  return path;
}

// How many stem points must be framed when only the stem below the growth L is
// used (the sweep ends there, no branch sits beyond it, the tip child lies
// between the last point below L and the first at or beyond it). The later
// frames would only be checked for being finite, so the rest is left out only
// where it is sure to be: finite points of moderate size, no stem segment so
// short or tropism pull so strong that a bend could collapse a frame, and a
// moderate scale and photo turn. Anything else frames the whole stem as before.
size_t framedPoints(const StemSkeleton& sk, double L, const CurveParameter& towards,
                    const CurveParameter& away, const Matrix4& environment, const Matrix4& turn,
                    double scale) {
  const size_t n = sk.points.size();
  size_t cut = 0;
  while (cut < n && sk.nodes[cut].t < L) ++cut;
  if (cut + 1 >= n) return n;
  constexpr double kBig = 1e30;
  auto moderate = [](double v) { return std::fabs(v) <= kBig; };  // false for NaN too
  if (!(sk.totalLength > 1e-12 && moderate(sk.totalLength))) return n;
  if (!(std::fabs(scale) >= 1.0 / kBig && moderate(scale))) return n;
  for (const auto& row : turn.m)
    for (double v : row)
      if (!moderate(v)) return n;
  for (double v : environment.m[2])
    if (!moderate(v)) return n;
  const bool plain = towards.mode() == 1 && away.mode() == 1;
  for (size_t k = 0; k < n; ++k) {
    const Vector3& p = sk.points[k];
    if (!(moderate(p.x) && moderate(p.y) && moderate(p.z))) return n;
    if (k == 0) continue;
    const double segment = (p - sk.points[k - 1]).length();
    if (!(segment >= 1e-6)) return n;
    // The pull of the bend at k + 1 (if any), at most 1 for any curve.
    double pull = k + 1 < n ? 1.0 : 0.0;
    if (plain && k + 1 < n && segment > 0.4) {
      const double s = sk.nodes[k].t / L;
      pull = std::fabs(clampValue(towards.evaluate(s), 0.0, 1.0) -
                       clampValue(away.evaluate(s), 0.0, 1.0));
    }
    if (!(pull * segment <= 0.4)) return n;
  }
  return cut + 1;
}

}  // namespace

std::vector<double> distributeNodes(const CurveParameter& curve, double count, uint16_t mode,
                                    double density, std::vector<Cell>* kept) {
  std::vector<double> positions;
  double n = count + 1.0;
  if (mode > 3) n = n / density;
  n = clampCount(n, kMaxChildCount + 1.0, "node distribution");
  const double N = std::trunc(n);
  if (N < 1.0) return positions;

  std::vector<Cell> own;
  std::vector<Cell>& cells = kept != nullptr ? *kept : own;
  if (cells.empty()) Integrator(curve).run(cells);  // never empty once run
  double total = 0.0;
  for (const Cell& c : cells) total += c.area;
  if (std::fabs(total) < 1e-6) return positions;

  positions.push_back(0.0);
  const int pieces = N == 1.0 ? 1 : int(N);
  size_t cell = 0;
  double before = 0.0;  // integral up to the start of `cell`
  for (int k = 1; k <= pieces; ++k) {
    const double target = N == 1.0 ? total / n : k * total / n;
    double x = 1.0;
    while (cell < cells.size()) {
      const double after = before + cells[cell].area;
      if (between(target, before, after)) {
        x = invertCell(cells[cell], target - before);
        break;
      }
      before = after;
      ++cell;
    }
    // The last target equals the total; keep it exactly at the tip.
    if (k == pieces && std::fabs(target - total) <= 1e-12 * std::fabs(total)) x = 1.0;
    positions.push_back(clampValue(x, 0.0, 1.0));
  }
  return positions;
}

uint32_t ClassicTree::linkKind(uint32_t index) const {
  switch (index) {
    case 0: return kLinkShape;
    case 1: return kLinkBranches;
    case 2: return kLinkTip;
    default: return kLinkOwnFrame;
  }
}

bool ClassicTree::declareExtraParameters(EvaluationContext& registry) {
  shapeHandle = registry.addObject();
  return true;
}

namespace {

struct Divergence {
  double phi0;
  bool constant;  // constant pi per branch instead of the divergence curve
};

Divergence divergenceSetup(uint16_t divergenceMode, uint16_t treeMode) {
  Divergence d{kPi, false};
  switch (divergenceMode) {
    case 1: d = {kPi / 2, false}; break;
    case 2: d = {kPi, true}; break;
    case 3: d = {kPi / 2, true}; break;
    case 4: d = {kPi, true}; break;
    case 5: d = {kPi / 2, true}; break;
    default: break;
  }
  if (treeMode == 2)
    d.phi0 = 0.0;
  else if (treeMode >= 3 && treeMode <= 5)
    d.phi0 -= kPi;
  return d;
}

const CurveParameter& constantPi() {
  static const CurveParameter curve(0.0, 2.0 * kPi, kPi, kPi, "id");
  return curve;
}

}  // namespace

bool ClassicTree::buildPath(const EvaluationContext& context, Path& path,
                            std::vector<StemNode>& nodes, bool grownOnly) const {
  const int32_t iteration = context.integer(kIdIteration);
  if (!iterationEnabled(static_cast<uint32_t>(iteration))) return false;
  const double L = context.number(kIdGrowth) * lengthFraction;
  if (!(L >= 1e-8)) return false;  // also NaN
  const double density = context.number(kIdDensity);
  const Divergence div = divergenceSetup(divergenceMode, treeMode);
  const CurveParameter& source = div.constant ? constantPi() : divergence;

  const double count = clampNamed(branchCount, kMaxChildCount, *this, ": branches");
  const std::vector<double>& positions = nodePositions(count, density);
  StemSkeleton skeleton = buildSkeleton(*this, positions, source, density);
  const Matrix4 environment = context.matrix(kIdWorldToObject);
  const Matrix4 turn = contextPhotoTurn(context);
  const size_t n = skeleton.points.size();
  const size_t framed = grownOnly ? framedPoints(skeleton, L, phototropism, gravitropism,
                                                 environment, turn, scale)
                                  : n;
  path = buildFrames(skeleton, framed);
  nodes = std::move(skeleton.nodes);

  if (treeMode < 6)
    for (PathPoint& p : path) p.frame = scaledColumns(p.frame, -1.0, -1.0, 1.0);
  applyTropism(phototropism, gravitropism, path, environment, L);
  // The frames left out still read their tropism curves, so that an expression
  // draws its random numbers as often as before.
  if (phototropism.mode() != 1 || gravitropism.mode() != 1) {
    for (size_t k = std::max<size_t>(framed, 2); k < n; ++k) {
      const double s = nodes[k - 1].t / L;
      if (phototropism.mode() != 1) phototropism.evaluate(s);
      if (gravitropism.mode() != 1) gravitropism.evaluate(s);
    }
  }
  const double down = 1.0 / scale;
  const bool turned = !turn.isIdentity();
  const bool finite = std::isfinite(down) && std::isfinite(scale);
  for (PathPoint& p : path) {
    // Without a photo turn: the three scalings in one pass. Each element is
    // (down * v + 0) * scale + 0, the middle "* 1 + 0" changing nothing; a
    // step that overflowed, or a frame that was not finite, would leave the
    // end not finite, which then takes the steps one by one.
    if (!turned && finite) {
      Matrix4 r = p.frame;
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
          r.m[i][j] = ((i < 3 ? down : 1.0) * p.frame.m[i][j] + 0.0) * (j < 3 ? scale : 1.0) + 0.0;
      if (r.isFinite()) {
        p.frame = r;
        continue;
      }
    }
    const Matrix4 lowered = scaledRows(down, p.frame);
    p.frame = scaledColumns(turned ? lowered * turn : scaledColumns(lowered, 1.0, 1.0, 1.0), scale,
                            scale, scale);
  }
  return true;
}

const std::vector<double>& ClassicTree::nodePositions(double count, double density) const {
  const std::pair<double, double> key(count, density);
  const auto found = nodeCache_.find(key);
  if (found != nodeCache_.end()) return found->second;
  // Only a curve that cannot log (corners, or two points) reads the same each time.
  std::vector<double> positions = distributeNodes(nodeDistribution, count, treeMode, density,
                                                  silent(nodeDistribution) ? &nodeCells_ : nullptr);
  // Kept only when the distribution warned of nothing, so that every stem warns alike.
  const double n = treeMode > 3 ? (count + 1.0) / density : count + 1.0;
  if (!(nodeDistribution.mode() == 1 && n >= 0.0 && n <= kMaxChildCount + 1.0)) {
    uncachedPositions_ = std::move(positions);
    return uncachedPositions_;
  }
  if (nodeCache_.size() >= kNodeCacheSize) nodeCache_.clear();
  return nodeCache_.emplace(key, std::move(positions)).first->second;
}

uint32_t ClassicTree::generate(const EvaluationContext& context, MeshSink& sink, uint32_t flags,
                               ChildGroups& childTransforms) {
  Path path;
  std::vector<StemNode> nodes;
  if (!buildPath(context, path, nodes, true)) return 0;
  if (!finiteOrWarn(path, [&] { return describe(*this) + " stem"; })) return 0;

  const double L = context.number(kIdGrowth) * lengthFraction;
  const double density = context.number(kIdDensity);
  const double thickness = context.number(kIdThickness);
  const Divergence div = divergenceSetup(divergenceMode, treeMode);
  const CurveParameter& source = div.constant ? constantPi() : divergence;

  Outline outline;
  if (linkedShapeOutline(context, scale, outline) &&
      !sweepOutline(sink, path, radius, outline, Matrix4(), L, thickness, profile))
    return 0;

  auto childDensityAt = [&](double t, double s) {
    double d = clampValue(childDensity.evaluate(treeMode > 4 ? t : s), 0.05, 1.0);
    if (treeMode <= 3) d *= density;
    return d;
  };
  auto place = [&](ChildGroup& group, const ChildPlacement& p) {
    if (finiteOrWarn(p.frame, [&] { return describe(*this) + " placement"; }))
      group.placements.push_back(p);
  };

  uint32_t served = 0;
  if (flags & kLinkBranches) {
    ChildGroup group;
    group.kind = kLinkBranches;
    group.placements.reserve(path.size());  // at most one per path point: no regrowth
    const uint32_t count = static_cast<uint32_t>(
        std::floor(clampNamed(branchCount, kMaxChildCount, *this, ": branches")));
    double a = kPi;
    uint32_t b = 0;
    const double phiCos = std::cos(div.phi0), phiSin = std::sin(div.phi0);
    for (size_t i = 1; i + 1 < path.size(); ++i) {
      if (!nodes[i].branch) continue;
      const double t = path[i].t;
      if (t >= L) break;
      const double s = t / L;
      const double size = branchScale.evaluate(s);
      a += source.evaluate(s);
      const double zAngle = treeMode < 6 ? kPi - a : -a;
      const double xAngle = -branchAngle.evaluate(t);
      ChildPlacement p;
      p.frame = branchFrame(path[i].frame, size, zAngle, xAngle, div.phi0, phiCos, phiSin);
      p.valid = 1;
      p.t = t;
      p.index = b;
      p.count = count;
      p.growth = clampValue(childGrowth.evaluate(s), 0.0, 1.0) * L;
      p.density = childDensityAt(t, s);
      p.thickness = clampValue(radius.evaluate(s) * thickness, 0.0, 1.0);
      const size_t before = group.placements.size();
      place(group, p);
      if (group.placements.size() > before) ++b;
    }
    childTransforms.push_back(std::move(group));
    served |= kLinkBranches;
  }

  if (flags & kLinkTip) {
    double t = path.back().t;
    Matrix4 frame = path.back().frame;
    if (L < 1.0) {
      for (size_t k = 1; k < path.size(); ++k) {
        if (path[k].t < L) continue;
        if (path[k].t == L) {
          frame = path[k].frame;
        } else {
          const double span = path[k].t - path[k - 1].t;
          frame = blendMatrices(path[k - 1].frame, path[k].frame,
                                span > 0.0 ? (L - path[k - 1].t) / span : 1.0);
        }
        break;
      }
      t = L;
    }
    const double s = t / L;
    ChildPlacement p;
    p.frame = frame;
    p.valid = 1;
    p.t = t;
    p.growth = clampValue(childGrowth.evaluate(s), 0.0, 1.0) * L;
    p.density = childDensityAt(t, s);
    p.thickness = clampValue(radius.evaluate(s) * thickness, 0.0, 1.0);
    ChildGroup group;
    group.kind = kLinkTip;
    place(group, p);
    childTransforms.push_back(std::move(group));
    served |= kLinkTip;
  }

  return served | emitStandardChildren(context, flags, childTransforms);
}

}  // namespace syv
