// The base layer: vector maths, the random generator, expressions, and the
// curves whose values they shape.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "core/base/curve.h"
#include "core/base/expression.h"
#include "core/base/math.h"
#include "core/base/random.h"
#include "tests/support/recorders.h"

namespace syv {
namespace {

void expectNear(const Vector3& a, const Vector3& b, double eps = 1e-9) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

void expectNear(const Matrix4& a, const Matrix4& b, double eps) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], eps) << i << "," << j;
}

TEST(Matrix4Test, InverseAndSingular) {
  Matrix4 m = Matrix4::scale(2, 3, 4) * Matrix4::rotY(0.3) *
              Matrix4::translation(Vector3(5, -1, 2));
  expectNear(m * m.inverse(), Matrix4(), 1e-12);
  // A singular matrix inverts to the identity rather than to infinities.
  EXPECT_EQ(Matrix4::scale(1, 0, 1).inverse(), Matrix4());
}

// The shortcuts must give the full product's bits, signed zeros included,
// and leave a non-finite matrix non-finite.
TEST(Matrix4Test, ScaleProductsMatchTheFullProductBitForBit) {
  Matrix4 m = Matrix4::rotAxis({0.3, -0.5, 0.8}, 0.7);
  m.m[0][1] = -0.0;
  m.m[2][3] = -0.0;
  m.setPosition({3.0, -0.0, 1e-300});
  auto same = [](const Matrix4& a, const Matrix4& b) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j)
        if (a.m[i][j] != b.m[i][j] || std::signbit(a.m[i][j]) != std::signbit(b.m[i][j]))
          return false;
    return true;
  };
  EXPECT_TRUE(same(scaledColumns(m, -1.0, -1.0, 1.0), m * Matrix4::scale(-1.0, -1.0, 1.0)));
  EXPECT_TRUE(same(scaledRows(1e-310, m), Matrix4::scale(1e-310) * m));
  EXPECT_TRUE(same(scaledRows(-2.5, m), Matrix4::scale(-2.5) * m));
  m.m[1][2] = INFINITY;
  EXPECT_FALSE(scaledColumns(m, 1.0, 1.0, 1.0).isFinite());
  EXPECT_FALSE(scaledRows(INFINITY, Matrix4()).isFinite());
}

TEST(Vector3Test, NormalizeKeepsTinyVectors) {
  const Vector3 tiny(1e-11, -1e-10, 0);
  EXPECT_EQ(tiny.normalized(), tiny);
}

TEST(BlendTest, EndsAndShortestArc) {
  Matrix4 a = Matrix4::translation(Vector3(0, 0, 0));
  Matrix4 b = Matrix4::rotZ(kPi / 2) * Matrix4::translation(Vector3(2, 0, 0));
  expectNear(blendMatrices(a, b, 1.0), b, 1e-9);
  Matrix4 h = blendMatrices(a, b, 0.5);
  expectNear(h.transformDirection(Vector3(1, 0, 0)),
             Vector3(std::cos(kPi / 4), std::sin(kPi / 4), 0));
  expectNear(h.position(), Vector3(1, 0, 0));
}

// Reference words of the 1998 generator, computed with an independent script
// from the published algorithm and checked against another MT19937 core.
struct Reference {
  int index;
  uint32_t word;
  double real;
};

constexpr Reference kSeed4357[] = {
    {0, 3510405877u, 0.8173300600185361},    {1, 4290933890u, 0.9990608997175147},
    {2, 2191955339u, 0.5103543725587322},    {3, 564929546u, 0.13153290984489324},
    {4, 152112058u, 0.03541634837990076},    {623, 730882493u, 0.1701718413201561},
    {624, 2222118351u, 0.5173772460588667},  {625, 4107301035u, 0.9563055438819121},
    {1247, 3705639611u, 0.8627864559792882}, {1248, 1244107692u, 0.2896663947705334},
    {1299, 1495935118u, 0.3482995364694622}};

constexpr Reference kSeed1[] = {{0, 3796174982u, 0.883865864687568},
                                {1, 4182529786u, 0.973821102402597},
                                {624, 1141860845u, 0.26586019556640184},
                                {1248, 2005995233u, 0.4670571613747294}};

template <size_t N>
void expectSequence(MersenneTwister& g, const Reference (&ref)[N], bool reals) {
  int drawn = 0;
  for (const Reference& r : ref) {
    for (; drawn < r.index; ++drawn) g.nextWord();
    ++drawn;
    if (reals) {
      EXPECT_EQ(g.nextReal(), r.real) << "draw " << r.index;
    } else {
      EXPECT_EQ(g.nextWord(), r.word) << "draw " << r.index;
    }
  }
}

TEST(MersenneTwisterTest, MatchesReferenceAcrossRegenerations) {
  MersenneTwister seeded(4357);
  expectSequence(seeded, kSeed4357, false);
  // Never seeded: the first draw seeds with 4357.
  MersenneTwister unseeded;
  expectSequence(unseeded, kSeed4357, true);
  MersenneTwister one(1);
  expectSequence(one, kSeed1, false);
  one.seed(4357);  // reseeding restarts the sequence
  EXPECT_EQ(one.nextWord(), kSeed4357[0].word);
}

const VariableTable kVars{{'x', 0.25}, {'t', 2.0}, {'f', 10.0}, {'a', 0.5}, {'i', 3.0},
                          {'n', 4.0}};

// Value of a text that must evaluate without failure.
double valueOf(const std::string& text, const VariableTable& vars = kVars) {
  bool failed = false;
  const double v = evaluateExpression(text, vars, failed);
  EXPECT_FALSE(failed) << "'" << text << "' failed";
  return v;
}

bool fails(const std::string& text, const VariableTable& vars = kVars) {
  bool failed = false;
  evaluateExpression(text, vars, failed);
  return failed;
}

TEST(ExpressionTest, OperatorsNumbersAndVariables) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"2+3*4", 14},    {"(2+3)*4", 20},  {"-2*3", -6},      {"2*-3", -6},
      {"2--3", 5},      {"8/4/2", 1},     {"8-4-2", 2},      {"1+8/4*3-6/2", 4},
      {"-(1+2)*-(x)", 0.75},              {"x*t+f/i-n", 0.25 * 2.0 + 10.0 / 3.0 - 4.0},
      {"", 0},          {"1.2.3", 1.2},   {"3.", 3},         {".5", 0.5},
      {".", 0},         {"007.25", 7.25}, {"(2)(3)+", 5},  // operands and operators are counted
  };
  for (const auto& c : cases) EXPECT_EQ(valueOf(c.text), c.value) << c.text;
  EXPECT_TRUE(std::isinf(valueOf("1/0")));
  EXPECT_TRUE(std::isnan(valueOf("sqrt(0-1)")));
  EXPECT_TRUE(std::isinf(valueOf(std::string(400, '9'))));
  EXPECT_EQ(valueOf("0." + std::string(400, '0') + "1"), 0.0);
  for (const char* bad : {"y", "xx", "1e3", "x * 2", "sin (x)", "sinx", "sin", "()", "+2",
                          "--2", "2*/3", "2x", "2(3)", "(2)(3)", "2+", "*2"})
    EXPECT_TRUE(fails(bad)) << bad;
  // A variable that the table lacks is a plain word.
  EXPECT_TRUE(fails("x", VariableTable{{'t', 1.0}}));
  // Of two NaNs a product keeps the right one and a sum the left one, as ever.
  const bool sign = std::signbit(valueOf("0/0"));
  EXPECT_EQ(std::signbit(valueOf("0/0*-(0/0)")), !sign);
  EXPECT_EQ(std::signbit(valueOf("0/0+-(0/0)")), sign);
}

TEST(ExpressionTest, FunctionsByName) {
  const double v = 0.3;
  const struct {
    const char* name;
    double value;
  } cases[] = {
      {"id", v},           {"sin", std::sin(v)},   {"cos", std::cos(v)},   {"tan", std::tan(v)},
      {"asin", std::asin(v)}, {"acos", std::acos(v)}, {"atan", std::atan(v)},
      {"sinh", std::sinh(v)}, {"cosh", std::cosh(v)}, {"tanh", std::tanh(v)},
      {"exp", std::exp(v)}, {"exp2", v},           {"log", std::log(v)},   {"sqr", v * v},
      {"sqrt", std::sqrt(v)}, {"ceil", 1},         {"floor", 0},           {"abs", v},
      {"phi", v * 0.6180339},
  };
  for (const auto& c : cases)
    EXPECT_EQ(valueOf(std::string(c.name) + "(0.3)"), c.value) << c.name;
  EXPECT_EQ(valueOf("sin()"), 0.0);
  EXPECT_DOUBLE_EQ(valueOf("-cos(x*2)+1"), 1.0 - std::cos(0.5));
  EXPECT_EQ(valueOf("floor(2.5)+ceil(2.5)+abs(0-2)"), 7.0);
}

TEST(ExpressionTest, FailureAnywhereFailsTheWholeText) {
  for (const char* bad : {"sin(*)+1", "1+(y)", "cos(x+sqrt(2x))"}) EXPECT_TRUE(fails(bad)) << bad;
  // The flag belongs to the caller: a later good text does not clear it.
  bool failed = true;
  evaluateExpression("1", kVars, failed);
  EXPECT_TRUE(failed);
  // A missing closing parenthesis runs to the end; only the check sees it.
  EXPECT_EQ(valueOf("(1+2"), 3.0);
  EXPECT_FALSE(checkExpression("(1+2", kVars));
  EXPECT_FALSE(checkExpression("1+2)", kVars));
  EXPECT_TRUE(checkExpression("sin(x)*(1+2)", kVars));
  EXPECT_TRUE(checkExpression("1/x", VariableTable{{'x', 0.0}}));
}

TEST(ExpressionTest, ASplitTextEvaluatesAsTheTextEveryTime) {
  // Failures, random draws in order and unclosed groups alike, over and over.
  for (const char* text : {"rnd(x)+rndabs(2)*sin(t)-(f/i", "sin", "2x+rnd(1)", "-(x", "((x)*2)+",
                           "x*-rnd(rnd(3))/(n-4)", "abs(x)(t)", "a+q*f", "x"}) {
    const CompiledExpression compiled(text);
    sharedRandom().seed(7);
    std::vector<double> once;
    std::vector<bool> onceFailed;
    for (int k = 0; k < 3; ++k) {
      bool failed = false;
      once.push_back(evaluateExpression(text, kVars, failed));
      onceFailed.push_back(failed);
    }
    // Through the table and through the plain fields alike.
    const CurveVariables fields{0.25, 2.0, 10.0, 0.5, 3.0, 4.0};
    sharedRandom().seed(7);
    for (int k = 0; k < 6; ++k) {
      bool failed = false;
      const double v = k < 3 ? compiled.evaluate(kVars, failed) : compiled.evaluate(fields, failed);
      EXPECT_TRUE(v == once[k % 3] || (std::isnan(v) && std::isnan(once[k % 3]))) << text;
      EXPECT_EQ(failed, onceFailed[k % 3]) << text;
      if (k == 2) sharedRandom().seed(7);
    }
  }
}

TEST(ExpressionTest, NestingBeyondTheBoundFailsWithoutRecursingOn) {
  auto nested = [](int levels, const std::string& open, const std::string& core) {
    std::string s;
    for (int k = 0; k < levels; ++k) s += open;
    return s + core + std::string(static_cast<size_t>(levels), ')');
  };
  EXPECT_EQ(valueOf(nested(kDefaultExpressionDepth, "(", "x")), 0.25);
  EXPECT_TRUE(fails(nested(kDefaultExpressionDepth + 1, "(", "x")));
  // Deep enough to overflow the stack if recursion followed the text.
  bool failed = false;
  EXPECT_EQ(evaluateExpression(nested(100000, "(", "1"), kVars, failed), 0.0);
  EXPECT_TRUE(failed);
  EXPECT_FALSE(checkExpression(std::string(100000, '('), kVars));
  // Only a text beyond the depth is remembered, not one merely invalid; the
  // depth is the caller's to set.
  resetExpressionDepthExceeded();
  EXPECT_TRUE(fails("2x"));
  EXPECT_FALSE(expressionDepthExceeded());
  EXPECT_TRUE(fails(nested(kDefaultExpressionDepth + 1, "(", "x")));
  EXPECT_TRUE(expressionDepthExceeded());
  setMaxExpressionDepth(kDefaultExpressionDepth + 1);
  EXPECT_EQ(valueOf(nested(kDefaultExpressionDepth + 1, "(", "x")), 0.25);
  setMaxExpressionDepth(kDefaultExpressionDepth);
  resetExpressionDepthExceeded();
  EXPECT_EQ(translateFileExpression(nested(100000, "(", "frame")).size(), 200005u);
}

TEST(ExpressionTest, RandomFunctionsDrawLeftToRightArgumentFirst) {
  sharedRandom().seed(4357);
  MersenneTwister ref(4357);
  const double r0 = ref.nextReal(), r1 = ref.nextReal(), r2 = ref.nextReal();
  EXPECT_EQ(valueOf("rnd(1)+rndabs(rnd(2))"), (r0 - 0.5) * 2.0 + r2 * ((r1 - 0.5) * 2.0 * 2.0));
  // rnd of 0 is 0 but still consumes a number.
  EXPECT_EQ(valueOf("rnd(0)"), 0.0);
  ref.nextReal();
  EXPECT_EQ(valueOf("rndabs(1)"), ref.nextReal());
  // A failing text still draws for every rnd it reaches.
  EXPECT_TRUE(fails("xx+rnd(1)"));
  ref.nextReal();
  EXPECT_EQ(sharedRandom().nextReal(), ref.nextReal());
}

TEST(ExpressionTest, TranslatesFileForm) {
  const struct {
    const char* file;
    const char* translated;
  } cases[] = {
      {"sin(frame)", "sin(f)"},       {"2*iter+chdrn", "2*i+n"},  {"x*rec", "x*0"},
      {"frame * 2", "f"},             {"frame*2\tjunk", "f*2"},   {"sin(ftime*3)", "sin(a*3)"},
      {"(frame)+((iter))", "(f)+((i))"}, {"frames+xframe", "frames+xframe"},
      {"cos(x", "cos(x)"},            {"", ""},                   {"sin(sin(frame))", "sin(sin(f))"},
  };
  for (const auto& c : cases) EXPECT_EQ(translateFileExpression(c.file), c.translated) << c.file;
  EXPECT_DOUBLE_EQ(valueOf(translateFileExpression("frame*iter-rec")), 30.0);
}

TEST(CurveTest, DefaultAndLinearCurvesClampTheirPosition) {
  const CurveParameter d;
  EXPECT_EQ(d.point(2), nullptr);  // past the points: none, not a read beyond them
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
  // Two smooth points alone are a straight line.
  const CurveParameter two(0, 4, std::map<double, double>{{0, 2}, {1, 4}}, false, "");
  EXPECT_EQ(two.evaluateCurve(0.25), 2.5);
}

// Corner ends with a smooth middle point need the cubic solve for t.
TEST(CurveTest, CornerToSmoothSegmentsSolveForTheBezierParameter) {
  test::LogRecorder log;
  const CurveParameter c(0, 1, std::map<double, double>{{0, 0}, {0.5, 1}, {1, 0}}, true, "");
  // Left segment: x(t) = (2t^2 - t^3) / 2 and y(t) = 3t^2 - 2t^3, at t = 1/4 and 1/2.
  EXPECT_NEAR(c.evaluateCurve(0.0546875), 0.15625, 1e-9);
  EXPECT_NEAR(c.evaluateCurve(0.1875), 0.5, 1e-9);
  for (double x = 0.01; x < 0.5; x += 0.06)
    EXPECT_NEAR(c.evaluateCurve(1 - x), c.evaluateCurve(x), 1e-9) << x;
  EXPECT_TRUE(log.errors.empty());
  // No root in (0, 1) is reported and the evaluation goes on.
  EXPECT_TRUE(std::isnan(c.evaluateCurve(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(log.errors.size(), 1u);
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
  EXPECT_EQ(p.evaluate(0.5), 0.3);
  for (const auto& [text, value] :
       std::vector<std::pair<const char*, double>>{{"x*2+1", 1.6}, {"sin", std::sin(0.3)}}) {
    ASSERT_TRUE(p.setExpression(text)) << text;
    EXPECT_DOUBLE_EQ(p.evaluate(0.5), value) << text;
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
  EXPECT_TRUE(p.drawsRandom());
  const CurveParameter copy = p;
  p.setExpression("id");
  EXPECT_EQ(copy.expression(), "x+rnd(1)");
  EXPECT_TRUE(copy.drawsRandom());
  EXPECT_FALSE(p.drawsRandom());
  EXPECT_FALSE(p.setExpression("rnd(x"));
  EXPECT_FALSE(p.drawsRandom());
  ASSERT_TRUE(p.setExpression("rndabs"));
  EXPECT_TRUE(p.drawsRandom());
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
  for (double x : {0.0, 0.5, 1.0}) EXPECT_EQ(one.evaluate(x), 1.0);
  EXPECT_EQ(makeLinearParameter(0, 0, "cos", 0, 1).evaluate(0.7), 1.0);
  EXPECT_DOUBLE_EQ(makeLinearParameter(0.5, 0.5, "cos(x)", 0, 1).evaluate(0.2), std::cos(0.5));
  CurveParameter frame = makeLinearParameter(LinearRecord{1, 2, "frame*2", -5, 5});
  EXPECT_EQ(frame.evaluate(0.5), 0.0);
  frame.frameValue = 1.5;
  EXPECT_EQ(frame.evaluate(0.5), 3.0);
  EXPECT_EQ(makeLinearParameter(1, 3, "iter*x", 0, 5).evaluate(0.5), 2.0);
}

}  // namespace
}  // namespace syv
