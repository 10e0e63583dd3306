#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/expr/expression.h"
#include "core/expr/random.h"

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

TEST(ExpressionTest, PrecedenceAssociativityAndUnaryMinus) {
  EXPECT_EQ(valueOf("2+3*4"), 14.0);
  EXPECT_EQ(valueOf("(2+3)*4"), 20.0);
  EXPECT_EQ(valueOf("-2*3"), -6.0);
  EXPECT_EQ(valueOf("2*-3"), -6.0);
  EXPECT_EQ(valueOf("2--3"), 5.0);
  EXPECT_EQ(valueOf("8/4/2"), 1.0);
  EXPECT_EQ(valueOf("8-4-2"), 2.0);
  EXPECT_EQ(valueOf("1+8/4*3-6/2"), 4.0);
  EXPECT_EQ(valueOf("-(1+2)*-(x)"), 0.75);
  EXPECT_EQ(valueOf("x*t+f/i-n"), 0.25 * 2.0 + 10.0 / 3.0 - 4.0);
  EXPECT_TRUE(std::isinf(valueOf("1/0")));
  EXPECT_TRUE(std::isnan(valueOf("sqrt(0-1)")));
}

TEST(ExpressionTest, NumbersVariablesAndWords) {
  EXPECT_EQ(valueOf(""), 0.0);
  EXPECT_EQ(valueOf("x"), 0.25);
  EXPECT_EQ(valueOf("1.2.3"), 1.2);
  EXPECT_EQ(valueOf("3."), 3.0);
  EXPECT_EQ(valueOf(".5"), 0.5);
  EXPECT_EQ(valueOf("."), 0.0);
  EXPECT_EQ(valueOf("007.25"), 7.25);
  EXPECT_TRUE(std::isinf(valueOf(std::string(400, '9'))));
  EXPECT_EQ(valueOf("0." + std::string(400, '0') + "1"), 0.0);
  for (const char* bad : {"y", "xx", "1e3", "x * 2", "sin (x)", "sinx", "sin", "()", "+2",
                          "--2", "2*/3", "2x", "2(3)", "(2)(3)", "2+", "*2"})
    EXPECT_TRUE(fails(bad)) << bad;
  // A variable that the table lacks is a plain word.
  EXPECT_TRUE(fails("x", VariableTable{{'t', 1.0}}));
}

TEST(ExpressionTest, FunctionsAndTheirArguments) {
  EXPECT_EQ(valueOf("sin()"), 0.0);
  EXPECT_DOUBLE_EQ(valueOf("sin(x)"), std::sin(0.25));
  EXPECT_DOUBLE_EQ(valueOf("-cos(x*2)+1"), 1.0 - std::cos(0.5));
  EXPECT_DOUBLE_EQ(valueOf("sqr(sqrt(t))"), 2.0);
  EXPECT_EQ(valueOf("floor(2.5)+ceil(2.5)+abs(0-2)"), 7.0);
  EXPECT_EQ(valueOf("phi(1)"), 0.6180339);
  EXPECT_EQ(valueOf("exp2(3)"), 3.0);
  EXPECT_EQ(valueOf("id(x)"), 0.25);
  const double v = 0.3;
  const double expected[] = {v,           std::sin(v),  std::cos(v),  std::tan(v),
                             std::asin(v), std::acos(v), std::atan(v), std::sinh(v),
                             std::cosh(v), std::tanh(v), std::exp(v),  v,
                             std::log(v),  v * v,        std::sqrt(v), 1.0,
                             0.0,          -1.0,         -1.0,         v,
                             v * 0.6180339};
  const char* names[] = {"id",   "sin",  "cos",  "tan",   "asin",   "acos", "atan",
                         "sinh", "cosh", "tanh", "exp",   "exp2",   "log",  "sqr",
                         "sqrt", "ceil", "floor", "rndabs", "rnd",   "abs",  "phi"};
  for (int id = 1; id <= 21; ++id) {
    EXPECT_EQ(functionIdOf(names[id - 1]), id);
    if (id == 18 || id == 19) continue;  // random, checked below
    EXPECT_EQ(applyFunction(id, v), expected[id - 1]) << names[id - 1];
  }
  EXPECT_EQ(functionIdOf("Sin"), 0);
  EXPECT_FALSE(isFunctionName("sin "));
  EXPECT_EQ(applyFunction(0, 5.0), 5.0);
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

TEST(ExpressionTest, NestingBeyondTheBoundFailsWithoutRecursingOn) {
  auto nested = [](int levels, const std::string& open, const std::string& core) {
    std::string s;
    for (int k = 0; k < levels; ++k) s += open;
    s += core;
    s += std::string(static_cast<size_t>(levels), ')');
    return s;
  };
  EXPECT_EQ(valueOf(nested(kMaxExpressionDepth, "(", "x")), 0.25);
  EXPECT_TRUE(fails(nested(kMaxExpressionDepth + 1, "(", "x")));
  EXPECT_DOUBLE_EQ(valueOf(nested(kMaxExpressionDepth, "abs(", "x")), 0.25);
  // Deep enough to overflow the stack if recursion followed the text.
  bool failed = false;
  EXPECT_EQ(evaluateExpression(nested(100000, "(", "1"), kVars, failed), 0.0);
  EXPECT_TRUE(failed);
  EXPECT_FALSE(checkExpression(std::string(100000, '('), kVars));
  const std::string deep = translateFileExpression(nested(100000, "(", "frame"));
  EXPECT_EQ(deep.size(), 200005u);
  EXPECT_EQ(translateFileExpression(nested(3, "sin(", "frame")), "sin(sin(sin(f)))");
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
  EXPECT_EQ(translateFileExpression("sin(frame)"), "sin(f)");
  EXPECT_EQ(translateFileExpression("2*iter+chdrn"), "2*i+n");
  EXPECT_EQ(translateFileExpression("frame/100"), "f/100");
  EXPECT_EQ(translateFileExpression("x*rec"), "x*0");
  EXPECT_EQ(translateFileExpression("frame * 2"), "f");
  EXPECT_EQ(translateFileExpression("frame*2\tjunk"), "f*2");
  EXPECT_EQ(translateFileExpression("sin(ftime*3)"), "sin(a*3)");
  EXPECT_EQ(translateFileExpression("(frame)+((iter))"), "(f)+((i))");
  EXPECT_EQ(translateFileExpression("frames+xframe"), "frames+xframe");
  EXPECT_EQ(translateFileExpression("cos(x"), "cos(x)");
  EXPECT_EQ(translateFileExpression(""), "");
  EXPECT_DOUBLE_EQ(valueOf(translateFileExpression("frame*iter-rec")), 30.0);
}

}  // namespace
}  // namespace syv
