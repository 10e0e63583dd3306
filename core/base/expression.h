// The expression language of curve parameters.
//
// A text is split at its groups and operators and reduced by precedence; it is
// valid exactly when a trial evaluation does not fail. Two written forms exist: the internal form read here, whose
// variables are single characters, and the file form with long variable names,
// which translateFileExpression rewrites into the internal form.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace syv {

// Values of the single-character variables; the evaluator only reads it.
// Tables built by the system have the keys x, t, f, a, i and n.
using VariableTable = std::map<char, double>;

// The six variables of a curve's expression as plain fields: what a table of
// exactly those keys gives, without building one per point.
struct CurveVariables {
  double x = 0.0, t = 0.0, f = 0.0, a = 0.0, i = 0.0, n = 0.0;
};

// 0: not a function name; 1 to 21: the functions, in the order of functionIdOf.
using FunctionId = int;

// Deepest nesting of groups and function arguments that evaluation follows;
// a deeper text fails and is remembered (expressionDepthExceeded), so that an
// import can refuse the file rather than use a default in its place. Texts
// come from files, so the recursion must be bounded. Process-wide, as the
// random generator is; at most kMaxExpressionDepthLimit.
constexpr int kDefaultExpressionDepth = 256;
constexpr int kMaxExpressionDepthLimit = 10000;
void setMaxExpressionDepth(int depth);
int maxExpressionDepth();
// True once an evaluation since the last reset went beyond the depth.
bool expressionDepthExceeded();
void resetExpressionDepthExceeded();

// Evaluates an internal-form text. Sets `failed` when the text is not a valid
// expression (the flag is never cleared here; the caller owns it); the result
// is then 0.0 or a meaningless partial value. Arithmetic faults are no failure:
// they give IEEE infinities and NaNs. Never logs. Draws from the shared random
// generator once per rnd or rndabs, left to right, argument before function.
double evaluateExpression(const std::string& text, const VariableTable& variables, bool& failed);

class Parens;

// An internal-form text split once, for texts evaluated many times (a curve's
// expression at every point). Gives exactly what evaluateExpression gives,
// random draws included; the cost of an evaluation no longer depends on how
// the text is spelt, and the split is linear in its length.
class CompiledExpression {
 public:
  explicit CompiledExpression(const std::string& text);
  double evaluate(const VariableTable& variables, bool& failed) const;
  double evaluate(const CurveVariables& variables, bool& failed) const;
  // What checkExpression says of the text it was split from.
  bool check(const VariableTable& variables) const;
  bool check(const CurveVariables& variables) const;

 private:
  // An operand (a number or variable in place, or a group's node) or a sign.
  struct Step {
    enum Kind : uint8_t { kNumber, kVariable, kNode, kNegate, kFail } kind;
    char join = 0;  // in a balanced group, the operator before this operand
    char variable = 0;
    uint8_t function = 0;  // applied to the operand when not 0
    uint32_t node = 0;     // kNode: the group's node; kVariable: the place of a curve variable
    double value = 0.0;
  };
  struct Node {
    enum Kind : uint8_t { kSequence, kNumber, kVariable, kTooDeep } kind = kSequence;
    char variable = 0;
    uint8_t slot = 0;  // kVariable: as in Step::node
    bool balanced = false;  // as many operands as operators plus one
    double value = 0.0;
    std::vector<Step> steps;
  };
  uint32_t compile(std::string_view text, const Parens& parens, int depth);
  bool leaf(std::string_view text, int depth, Step& step) const;
  template <typename Variables>
  double evaluateNode(uint32_t index, const Variables& variables, bool& failed) const;
  template <typename Variables>
  bool checkWith(const Variables& variables) const;

  std::vector<Node> nodes_;
  bool parenthesesBalance_ = false;
};

// True when the text has as many "(" as ")" and evaluates without failure.
// Unbalanced texts are rejected before evaluation, so they draw no random number.
bool checkExpression(const std::string& text, const VariableTable& variables);

// 1 "id", 2 "sin", 3 "cos", 4 "tan", 5 "asin", 6 "acos", 7 "atan", 8 "sinh",
// 9 "cosh", 10 "tanh", 11 "exp", 12 "exp2", 13 "log", 14 "sqr", 15 "sqrt",
// 16 "ceil", 17 "floor", 18 "rndabs", 19 "rnd", 20 "abs", 21 "phi"; else 0.
FunctionId functionIdOf(const std::string& name);
bool isFunctionName(const std::string& name);

// The function `id` applied to v. Ids outside 1..21 give v back; "exp2" gives
// v back too. rnd and rndabs draw one number from the shared generator.
double applyFunction(FunctionId id, double v);

// Rewrites a file-form text into the internal form: frame -> f, ftime -> a,
// iter -> i, chdrn -> n, rec -> 0. The text ends at its first white space.
std::string translateFileExpression(const std::string& text);

}  // namespace syv
