#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/base/expression.h"
#include "core/base/random.h"

namespace syv {
namespace {

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
  EXPECT_EQ(functionIdOf("Sin"), 0);
  EXPECT_FALSE(isFunctionName("sin "));
  EXPECT_EQ(applyFunction(22, 5.0), 5.0);
}

TEST(ExpressionTest, FailureAnywhereFailsTheWholeText) {
  EXPECT_TRUE(fails("sin(*)+1"));
  EXPECT_TRUE(fails("1+(y)"));
  EXPECT_TRUE(fails("cos(x+sqrt(2x))"));
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
  EXPECT_FALSE(checkExpression("2x", kVars));
}

TEST(ExpressionTest, ASplitTextEvaluatesAsTheTextEveryTime) {
  // Failures, random draws in order and unclosed groups alike, over and over.
  for (const char* text : {"rnd(x)+rndabs(2)*sin(t)-(f/i", "sin", "2x+rnd(1)", "-(x", "((x)*2)+",
                           "x*-rnd(rnd(3))/(n-4)", "abs(x)(t)"}) {
    const CompiledExpression compiled(text);
    sharedRandom().seed(7);
    std::vector<double> once;
    std::vector<bool> onceFailed;
    for (int k = 0; k < 3; ++k) {
      bool failed = false;
      once.push_back(evaluateExpression(text, kVars, failed));
      onceFailed.push_back(failed);
    }
    sharedRandom().seed(7);
    for (int k = 0; k < 3; ++k) {
      bool failed = false;
      const double v = compiled.evaluate(kVars, failed);
      EXPECT_TRUE(v == once[k] || (std::isnan(v) && std::isnan(once[k]))) << text;
      EXPECT_EQ(failed, onceFailed[k]) << text;
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
  EXPECT_DOUBLE_EQ(valueOf(nested(kDefaultExpressionDepth, "abs(", "x")), 0.25);
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

}  // namespace
}  // namespace syv
