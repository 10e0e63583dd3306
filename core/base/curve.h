// Curve parameters: a curve of control points over [0, 1] followed by an
// optional expression. Most numeric component properties are one of these.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace syv {

class CompiledExpression;

enum CurvePointKind : int32_t { kCorner = 0, kSmooth = 1 };

struct CurvePoint {
  double x = 0.0, y = 0.0;
  double inX = 0.0, inY = 0.0;
  double outX = 0.0, outY = 0.0;
  int32_t kind = kCorner;
  int32_t index = 0;  // 0 first, 1 last, 2.. middle points in x order
};

class CurveParameter {
 public:
  CurveParameter();
  // Straight curve from (0, start) to (1, end), both corners.
  CurveParameter(double minimum, double maximum, double start, double end,
                 const std::string& expression);
  // Curve through a map of points; ends are corners when cornerEnds, else smooth.
  CurveParameter(double minimum, double maximum, const std::map<double, double>& points,
                 bool cornerEnds, const std::string& expression);
  virtual ~CurveParameter() = default;
  CurveParameter(const CurveParameter&) = default;
  CurveParameter& operator=(const CurveParameter&) = default;

  // The curve value at x (clamped to [0, 1]), then the expression applied.
  double evaluate(double x) const;
  // The curve value alone.
  double evaluateCurve(double x) const;

  // True when accepted; a rejected text leaves the expression unchanged.
  bool setExpression(const std::string& text);
  const std::string& expression() const { return expression_; }
  int32_t mode() const { return mode_; }

  void setPointKind(int32_t kind);
  void prepareHandles();

  double minimum() const { return minimum_; }
  double maximum() const { return maximum_; }
  int pointCount() const { return static_cast<int>(middle_.size()) + 2; }
  // k-th point in order; nullptr when k is out of range. Inline: the memos
  // compare every point of their curves for each placement.
  const CurvePoint* point(int k) const {
    const int count = pointCount();
    if (k == 0) return &first_;
    if (k == count - 1) return &last_;
    if (k >= 1 && k <= count - 2) return &middle_[static_cast<size_t>(k - 1)];
    return nullptr;
  }
  const std::vector<CurvePoint>& middlePoints() const { return middle_; }
  // True when every segment is read linearly (all corners, or two points of
  // kind 0 or 1): only a curved segment can log a curve problem.
  bool readsLinearly() const;
  // True when reading it can draw a random number: rnd, rndabs, or an
  // expression that names them.
  bool drawsRandom() const;

  // Variable values seen by the expression.
  double frameValue = 0.0;   // f
  double tValue = 0.0;       // t
  double ftimeValue = 0.0;   // a
  int32_t iterValue = 1;     // i
  int32_t chdrnValue = 1;    // n

 private:
  double minimum_ = 0.0;
  double maximum_ = 1.0;
  std::vector<CurvePoint> middle_;
  CurvePoint first_;
  CurvePoint last_;
  std::string expression_ = "id";
  // expression_ split once (mode 0 only); copies of the curve share it.
  std::shared_ptr<const CompiledExpression> compiled_;
  int32_t mode_ = 1;
  bool drawsRandom_ = false;
};

// Real roots of c3 t^3 + c2 t^2 + c1 t + c0 = 0 with c3 != 0. All three places
// are written (0.0 where unused); returns how many hold roots, 1 or 3.
int solveCubic(double c3, double c2, double c1, double c0, double roots[3]);

// A straight parameter from a linear record's fields; the expression is in file
// form. "cos" or "cos(x)" with start and end 0 stands for the constant 1.
CurveParameter makeLinearParameter(double start, double end, const std::string& expression,
                                   double minimum, double maximum);

// The same from any record with the fields start, end, expression, minimum and
// maximum (the file reader's LinearParameterRecord), without a dependency on it.
template <typename Record>
CurveParameter makeLinearParameter(const Record& record) {
  return makeLinearParameter(record.start, record.end, record.expression, record.minimum,
                             record.maximum);
}

// Walks the (x, y) pairs of one parameter's points.
class CurveCursor {
 public:
  virtual ~CurveCursor() = default;
  virtual void reset() = 0;
  virtual void seek(double v) = 0;
  virtual bool next(double& x, double& y) = 0;
};

class CurvePointCursor : public CurveCursor {
 public:
  explicit CurvePointCursor(const CurveParameter& curve) : curve_(curve) {}
  void reset() override;
  void seek(double v) override;
  bool next(double& x, double& y) override;

 private:
  const CurveParameter& curve_;
  int position_ = 0;
};

}  // namespace syv
