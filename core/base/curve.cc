#include "core/base/curve.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <sstream>

#include "core/base/expression.h"
#include "core/base/log.h"

namespace syv {

namespace {

constexpr double kThird = 0.3333333333333333;

CurvePoint pointAt(double x, double y, int32_t kind, int32_t index) {
  CurvePoint p;
  p.x = p.inX = p.outX = x;
  p.y = p.inY = p.outY = y;
  p.kind = kind;
  p.index = index;
  return p;
}

double signedCubeRoot(double v) {
  const double r = std::pow(std::fabs(v), 1.0 / 3.0);
  return v < 0.0 ? -r : r;
}

}  // namespace

// Cardano's formula, or its trigonometric form for three distinct real roots.
int solveCubic(double c3, double c2, double c1, double c0, double roots[3]) {
  roots[0] = roots[1] = roots[2] = 0.0;
  const double e2 = c2 / c3, e1 = c1 / c3, e0 = c0 / c3;
  const double shift = e2 / 3.0;
  const double p = e1 - e2 * e2 / 3.0;
  const double h = ((2.0 * e2 * e2 - 9.0 * e1) * e2 / 27.0 + e0) * 0.5;
  const double disc = p * p * p / 27.0 + h * h;
  if (std::fabs(disc) <= 1e-8) {
    const double r = signedCubeRoot(-h);
    roots[0] = 2.0 * r - shift;
    roots[1] = roots[2] = -r - shift;
    return 3;
  }
  if (disc > 1e-8) {
    const double s = std::sqrt(disc);
    roots[0] = signedCubeRoot(s - h) + signedCubeRoot(-h - s) - shift;
    return 1;
  }
  const double k = std::sqrt(-p / 3.0);
  const double theta = std::atan2(std::sqrt(-disc), -h) / 3.0;
  const double c = std::cos(theta), s3 = std::sqrt(3.0) * std::sin(theta);
  roots[0] = 2.0 * k * c - shift;
  roots[1] = -k * (c + s3) - shift;
  roots[2] = -k * (c - s3) - shift;
  return 3;
}

namespace {

void logCurveProblem(const double roots[3], double c3, double c2, double c1, double c0) {
  std::ostringstream os;
  os << "Curve Evaluation Problem: [" << roots[0] << " " << roots[1] << " " << roots[2] << "] ["
     << c3 << " " << c2 << " " << c1 << " " << c0 << "]\n";
  LogChannel::error(os.str());
}

CurveVariables variablesOf(const CurveParameter& c, double x) {
  CurveVariables v;
  v.x = x;
  v.t = c.tValue;
  v.f = c.frameValue;
  v.a = c.ftimeValue;
  v.i = static_cast<double>(c.iterValue);
  v.n = static_cast<double>(c.chdrnValue);
  return v;
}

}  // namespace

CurveParameter::CurveParameter()
    : first_(pointAt(0.0, 0.0, kCorner, 0)), last_(pointAt(1.0, 0.0, kCorner, 1)) {
  setExpression("");
  prepareHandles();
}

CurveParameter::CurveParameter(double minimum, double maximum, double start, double end,
                               const std::string& expression)
    : minimum_(minimum),
      maximum_(maximum),
      first_(pointAt(0.0, start, kCorner, 0)),
      last_(pointAt(1.0, end, kCorner, 1)) {
  setExpression(expression);
  prepareHandles();
}

CurveParameter::CurveParameter(double minimum, double maximum,
                               const std::map<double, double>& points, bool cornerEnds,
                               const std::string& expression)
    : minimum_(minimum), maximum_(maximum) {
  const double mid = (minimum + maximum) / 2.0;
  first_ = pointAt(0.0, mid, kCorner, 0);
  last_ = pointAt(1.0, mid, kCorner, 1);
  if (!points.empty()) {
    const int32_t endKind = cornerEnds ? kCorner : kSmooth;
    // The map is ordered, so the lowest point is its first entry and the
    // highest its last, when they lie on the right side of the domain at all.
    // Without one of them the default end value stays.
    const auto lowest = points.begin();
    const auto highest = std::prev(points.end());
    const bool hasLowest = lowest->first <= 1.0;
    const bool hasHighest = highest->first >= 0.0;
    if (hasLowest) first_ = pointAt(0.0, lowest->second, endKind, 0);
    if (hasHighest) last_ = pointAt(1.0, highest->second, endKind, 1);
    int32_t index = 2;
    for (auto it = points.begin(); it != points.end(); ++it) {
      if (hasLowest && it == lowest && lowest->first <= 0.0) continue;
      if (hasHighest && it == highest && highest->first >= 1.0) continue;
      middle_.push_back(pointAt(it->first, it->second, kSmooth, index++));
    }
  }
  setExpression(expression);
  prepareHandles();
}

void CurveParameter::setPointKind(int32_t kind) {
  first_.kind = kind;
  last_.kind = kind;
  for (CurvePoint& p : middle_) p.kind = kind;
  prepareHandles();
}

void CurveParameter::prepareHandles() {
  const size_t count = middle_.size() + 2;
  auto at = [this, count](size_t k) -> CurvePoint& {
    return k == 0 ? first_ : (k == count - 1 ? last_ : middle_[k - 1]);
  };
  for (size_t k = 0; k + 1 < count; ++k) {
    CurvePoint& a = at(k);
    CurvePoint& b = at(k + 1);
    const double dx = b.x - a.x, dy = b.y - a.y;
    if (a.kind == kCorner) {
      a.outX = a.x;
      a.outY = a.y;
    } else if (a.kind == kSmooth) {
      a.outX = a.x + dx * kThird;
      if (k == 0) {
        a.outY = a.y + dy * kThird;
      } else {
        const CurvePoint& prev = at(k - 1);
        const double slope = (a.y - prev.y) / (a.x - prev.x);
        a.outY = a.y + (slope * dx + dy) * 0.5 * kThird;
      }
    }
    if (b.kind == kCorner) {
      b.inX = b.x;
      b.inY = b.y;
    } else if (b.kind == kSmooth) {
      b.inX = b.x - dx * kThird;
      if (k + 2 == count) {
        b.inY = b.y - dy * kThird;
      } else {
        const CurvePoint& next = at(k + 2);
        const double slope = (next.y - b.y) / (next.x - b.x);
        b.inY = b.y - (slope * dx + dy) * 0.5 * kThird;
      }
    }
  }
}

double CurveParameter::evaluateCurve(double x) const {
  if (x < 0.0) x = 0.0;
  if (x > 1.0) x = 1.0;

  const size_t m = middle_.size();
  const CurvePoint* s;
  const CurvePoint* e;
  if (m == 0 || x < middle_[0].x) {
    s = &first_;
    e = m == 0 ? &last_ : &middle_[0];
  } else {
    s = &middle_[m - 1];
    e = &last_;
    for (size_t i = 1; i < m; ++i) {
      if (middle_[i - 1].x <= x && x <= middle_[i].x) {
        s = &middle_[i - 1];
        e = &middle_[i];
        break;
      }
    }
  }

  const double width = e->x - s->x;
  if ((s->kind == kCorner && e->kind == kCorner) || (m == 0 && s->kind <= 1 && e->kind <= 1))
    return s->y + (x - s->x) / width * (e->y - s->y);

  const double u = (x - s->x) / width;
  if (u < 1e-8) return s->y;
  if (u - 1.0 > -1e-8) return e->y;

  // Find the Bezier parameter whose normalised x equals u.
  const double a = (s->outX - s->x) / width;
  const double b = (e->inX - s->x) / width;
  const double c3 = 3.0 * a - 3.0 * b + 1.0, c2 = 3.0 * b - 6.0 * a, c1 = 3.0 * a, c0 = -u;
  double t = u;  // exact when the handles sit at one third of the segment
  if (std::fabs(c3) > 1e-8) {
    double roots[3];
    const int count = solveCubic(c3, c2, c1, c0, roots);
    int found = -1;
    for (int k = count - 1; k >= 0 && found < 0; --k)
      if (roots[k] > 0.0 && roots[k] < 1.0) found = k;
    if (found >= 0) {
      t = roots[found];
    } else {
      logCurveProblem(roots, c3, c2, c1, c0);
    }
  }

  const double y0 = s->y, y1 = s->outY, y2 = e->inY, y3 = e->y;
  return y0 + t * (3.0 * (y1 - y0) + t * (3.0 * y0 + 3.0 * y2 - 6.0 * y1 +
                                          t * (-y0 + 3.0 * y1 - 3.0 * y2 + y3)));
}

bool CurveParameter::readsLinearly() const {
  const int n = pointCount();
  for (int k = 0; k < n; ++k)
    if (point(k)->kind != kCorner && !(n == 2 && point(k)->kind <= 1)) return false;
  return true;
}

bool CurveParameter::drawsRandom() const { return drawsRandom_; }

bool CurveParameter::setExpression(const std::string& text) {
  // The text is split once, for the check and for every evaluation after it.
  std::shared_ptr<const CompiledExpression> compiled;
  if (text.empty()) {
    expression_ = "id";
  } else {
    compiled = std::make_shared<const CompiledExpression>(text);
    if (!compiled->check(variablesOf(*this, 0.0)) && !isFunctionName(text)) return false;
    expression_ = text;
  }
  mode_ = functionIdOf(expression_);
  compiled_ = mode_ == 0 ? std::move(compiled) : nullptr;
  // Asked for every placement's memos, so worked out once here.
  if (mode_ == functionIdOf("rnd") || mode_ == functionIdOf("rndabs")) {
    drawsRandom_ = true;
  } else if (mode_ != 0) {
    drawsRandom_ = false;
  } else {
    std::string lower = expression_;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    drawsRandom_ = lower.find("rnd") != std::string::npos;
  }
  return true;
}

double CurveParameter::evaluate(double x) const {
  const double y = evaluateCurve(x);
  if (mode_ == 1) return y;
  if (mode_ >= 2 && mode_ <= 21) return applyFunction(mode_, y);
  bool failed = false;  // the text passed its check when it was set
  return compiled_->evaluate(variablesOf(*this, y), failed);
}

CurveParameter makeLinearParameter(double start, double end, const std::string& expression,
                                   double minimum, double maximum) {
  if ((expression == "cos" || expression == "cos(x)") && start == 0.0 && end == 0.0)
    return CurveParameter(-1.0, 2.0, 1.0, 1.0, "id");
  return CurveParameter(minimum, maximum, start, end, translateFileExpression(expression));
}

void CurvePointCursor::reset() { position_ = 0; }

void CurvePointCursor::seek(double v) {
  const std::vector<CurvePoint>& middle = curve_.middlePoints();
  if (v <= 0.0) {
    position_ = 0;
  } else if (v >= 1.0) {
    position_ = static_cast<int>(middle.size()) + 1;
  } else {
    int count = 0;
    for (const CurvePoint& p : middle)
      if (p.x <= v) ++count;
    position_ = count;
  }
}

bool CurvePointCursor::next(double& x, double& y) {
  const int m = static_cast<int>(curve_.middlePoints().size());
  if (position_ > m + 1) return false;
  if (position_ == 0) {
    x = 0.0;
    y = curve_.point(0)->y;
  } else if (position_ <= m) {
    const CurvePoint& p = curve_.middlePoints()[static_cast<size_t>(position_ - 1)];
    x = p.x;
    y = p.y;
  } else {
    x = 1.0;
    y = curve_.point(m + 1)->y;
  }
  ++position_;
  return true;
}

}  // namespace syv
