#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "core/base/curve.h"
#include "core/base/log.h"
#include "core/base/random.h"

namespace syv {
namespace {

struct ErrorLog : LogSink {
  std::vector<std::string> errors;
  void error(const std::string& t) override { errors.push_back(t); }
  void warning(const std::string&) override {}
  void trace(const std::string&) override {}
  void info(const std::string&) override {}
};

// Installs an ErrorLog for the life of a test.
struct LogCapture {
  ErrorLog log;
  LogCapture() { LogChannel::setSink(&log); }
  ~LogCapture() { LogChannel::clearSink(); }
};

TEST(CurveTest, DefaultAndLinearCurvesClampTheirPosition) {
  const CurveParameter d;
  EXPECT_EQ(d.pointCount(), 2);
  EXPECT_EQ(d.point(2), nullptr);
  EXPECT_EQ(d.point(-1), nullptr);
  for (double x : {-1.0, 0.0, 0.4, 1.0, 3.0}) EXPECT_EQ(d.evaluate(x), 0.0);
  const CurveParameter l(0, 1, 2, 4, "");
  EXPECT_EQ(l.evaluateCurve(0.5), 3.0);
  EXPECT_EQ(l.evaluateCurve(-1), 2.0);
  EXPECT_EQ(l.evaluateCurve(7), 4.0);
}

TEST(CurveTest, PointMapPlacesEndsAndMiddlePoints) {
  const CurveParameter c(0, 10, std::map<double, double>{{0.2, 5}, {0.8, 7}}, false, "");
  ASSERT_EQ(c.pointCount(), 4);
  const double xs[] = {0, 0.2, 0.8, 1}, ys[] = {5, 5, 7, 7};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(c.point(k)->x, xs[k]);
    EXPECT_EQ(c.point(k)->y, ys[k]);
    EXPECT_EQ(c.evaluateCurve(xs[k]), ys[k]);
  }
  // An empty map keeps the middle of the value range at both ends.
  EXPECT_EQ(CurveParameter(2, 4, std::map<double, double>{}, true, "").evaluateCurve(0.3), 3.0);
  // Points beyond the domain still give the end values.
  const CurveParameter o(0, 1, std::map<double, double>{{-1, 2}, {2, 6}}, true, "");
  EXPECT_EQ(o.pointCount(), 2);
  EXPECT_EQ(o.evaluateCurve(0.5), 4.0);
}

TEST(CurveTest, SmoothPointsGiveSymmetricBezierSegments) {
  CurveParameter c(0, 4, std::map<double, double>{{0, 1}, {0.5, 3}, {1, 1}}, false, "");
  EXPECT_EQ(c.evaluateCurve(0.5), 3.0);
  // Bezier of 1, 5/3, 3, 3 at its middle: (1 + 5 + 9 + 3) / 8.
  EXPECT_NEAR(c.evaluateCurve(0.25), 2.25, 1e-12);
  for (double x = 0.0; x <= 0.5; x += 0.05)
    EXPECT_NEAR(c.evaluateCurve(x), c.evaluateCurve(1 - x), 1e-12) << x;
  c.setPointKind(kCorner);
  EXPECT_EQ(c.evaluateCurve(0.25), 2.0);
  EXPECT_EQ(c.evaluateCurve(0.75), 2.0);
  // Two smooth points alone are a straight line.
  const CurveParameter two(0, 4, std::map<double, double>{{0, 2}, {1, 4}}, false, "");
  EXPECT_EQ(two.evaluateCurve(0.25), 2.5);
}

// Corner ends with a smooth middle point need the cubic solve for t.
TEST(CurveTest, CornerToSmoothSegmentsSolveForTheBezierParameter) {
  LogCapture capture;
  const CurveParameter c(0, 1, std::map<double, double>{{0, 0}, {0.5, 1}, {1, 0}}, true, "");
  // Left segment: x(t) = (2t^2 - t^3) / 2 and y(t) = 3t^2 - 2t^3, at t = 1/4 and 1/2.
  EXPECT_NEAR(c.evaluateCurve(0.0546875), 0.15625, 1e-9);
  EXPECT_NEAR(c.evaluateCurve(0.1875), 0.5, 1e-9);
  for (double x = 0.01; x < 0.5; x += 0.06)
    EXPECT_NEAR(c.evaluateCurve(1 - x), c.evaluateCurve(x), 1e-9) << x;
  EXPECT_TRUE(capture.log.errors.empty());
  // No root in (0, 1) is reported and the evaluation goes on.
  EXPECT_TRUE(std::isnan(c.evaluateCurve(std::numeric_limits<double>::quiet_NaN())));
  ASSERT_EQ(capture.log.errors.size(), 1u);
}

TEST(CurveTest, CubicSolverCoversEveryDiscriminantCase) {
  const struct {
    double a, b, c, d;
    int count;
    double roots[3];
  } cases[] = {
      {2, -12, 22, -12, 3, {3, 1, 2}},  // 2 (t-1)(t-2)(t-3)
      {1, 0, -3, 2, 3, {-2, 1, 1}},     // (t-1)^2 (t+2)
      {1, -1, 1, -1, 1, {1, 0, 0}},     // (t-1)(t^2+1)
  };
  for (const auto& c : cases) {
    double r[3];
    ASSERT_EQ(solveCubic(c.a, c.b, c.c, c.d, r), c.count) << c.b;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[k], c.roots[k], 1e-9) << c.b << " root " << k;
  }
}

TEST(CurveParameterTest, ExpressionsApplyToTheCurveValue) {
  CurveParameter p(0, 1, 0.3, 0.3, "");
  EXPECT_EQ(p.expression(), "id");
  EXPECT_EQ(p.evaluate(0.5), 0.3);
  const struct {
    const char* text;
    double value;
  } cases[] = {{"sqr", 0.09}, {"x*2+1", 1.6}, {"phi", 0.3 * 0.6180339}, {"sin", std::sin(0.3)}};
  for (const auto& c : cases) {
    ASSERT_TRUE(p.setExpression(c.text)) << c.text;
    EXPECT_DOUBLE_EQ(p.evaluate(0.5), c.value) << c.text;
  }
  EXPECT_FALSE(p.setExpression("sin(x"));
  EXPECT_FALSE(p.setExpression("2x"));
  EXPECT_EQ(p.expression(), "sin");
  EXPECT_TRUE(p.setExpression("1/x"));
  ASSERT_TRUE(p.setExpression(""));
  EXPECT_EQ(p.expression(), "id");
  // Variables are read at evaluation time.
  ASSERT_TRUE(p.setExpression("x+t*f-a+i*n"));
  p.tValue = 2;
  p.frameValue = 3;
  p.ftimeValue = 0.5;
  p.iterValue = 4;
  p.chdrnValue = 5;
  EXPECT_DOUBLE_EQ(p.evaluate(0), 0.3 + 6 - 0.5 + 20);
  // A rejected text in a constructor leaves the identity.
  const CurveParameter bad(0, 1, 0.3, 0.3, "2x");
  EXPECT_EQ(bad.expression(), "id");
  EXPECT_EQ(bad.evaluate(0), 0.3);
}

TEST(CurveParameterTest, ValidityTrialDrawsLikeAnyEvaluation) {
  sharedRandom().seed(4357);
  MersenneTwister ref(4357);
  CurveParameter p(0, 1, 0.25, 0.25, "x+rnd(1)");
  ref.nextReal();  // drawn by the trial
  EXPECT_EQ(p.evaluate(0), 0.25 + (ref.nextReal() - 0.5) * 2.0);
  const CurveParameter copy = p;
  p.setExpression("id");
  EXPECT_EQ(copy.expression(), "x+rnd(1)");
}

struct LinearRecord {
  double start, end;
  std::string expression;
  double minimum, maximum;
};

TEST(CurveParameterTest, LinearRecords) {
  const CurveParameter one = makeLinearParameter(LinearRecord{0, 0, "cos(x)", -3, 3});
  EXPECT_EQ(one.minimum(), -1.0);
  EXPECT_EQ(one.maximum(), 2.0);
  EXPECT_EQ(one.expression(), "id");
  for (double x : {0.0, 0.5, 1.0}) EXPECT_EQ(one.evaluate(x), 1.0);
  EXPECT_EQ(makeLinearParameter(0, 0, "cos", 0, 1).evaluate(0.7), 1.0);
  EXPECT_DOUBLE_EQ(makeLinearParameter(0.5, 0.5, "cos(x)", 0, 1).evaluate(0.2), std::cos(0.5));
  CurveParameter frame = makeLinearParameter(LinearRecord{1, 2, "frame*2", -5, 5});
  EXPECT_EQ(frame.expression(), "f*2");
  EXPECT_EQ(frame.minimum(), -5.0);
  EXPECT_EQ(frame.evaluate(0.5), 0.0);
  frame.frameValue = 1.5;
  EXPECT_EQ(frame.evaluate(0.5), 3.0);
  EXPECT_EQ(makeLinearParameter(1, 3, "iter*x", 0, 5).evaluate(0.5), 2.0);
}

}  // namespace
}  // namespace syv
