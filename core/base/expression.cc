#include "core/base/expression.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "core/base/random.h"

namespace syv {

namespace {

// Every token is a substring of the text it came from, so views suffice.
struct Token {
  std::string_view text;
  bool group = false;
};

bool isOperator(char c) { return c == '+' || c == '-' || c == '*' || c == '/'; }

bool isOperatorToken(std::string_view t) { return t.size() == 1 && isOperator(t[0]); }

bool isNumberText(std::string_view t) {
  for (char c : t)
    if ((c < '0' || c > '9') && c != '.') return false;
  return true;
}

// Digits with at most one point, stopping at the next character: "1.2.3" is
// 1.2, "." and "" are 0. Texts without an exponent cannot underflow to
// anything but 0, so a range error with an integer digit means overflow.
double numberValue(std::string_view t) {
  double v = 0.0;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::fixed);
  if (r.ec == std::errc::result_out_of_range) {
    for (char c : t) {
      if (c == '.') break;
      if (c != '0') return HUGE_VAL;
    }
    return 0.0;
  }
  if (r.ec != std::errc()) return 0.0;
  return v;
}

}  // namespace

// The closing parenthesis of every opening one in a whole text, found once,
// so that splitting a group never scans what a deeper level scans again.
class Parens {
 public:
  explicit Parens(std::string_view text) : base_(text.data()), match_(text.size(), kNone) {
    std::vector<size_t> open;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '(') {
        open.push_back(i);
      } else if (text[i] == ')' && !open.empty()) {
        match_[open.back()] = i;
        open.pop_back();
      }
    }
  }
  // Where the group opened at `at` closes inside `text`, or text.size().
  size_t close(std::string_view text, size_t at) const {
    const size_t offset = static_cast<size_t>(text.data() - base_);
    const size_t m = match_[offset + at];
    return m != kNone && m < offset + text.size() ? m - offset : text.size();
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  const char* base_;
  std::vector<size_t> match_;
};

namespace {

// Splits at the operators and at parenthesised groups, a token at a time; a
// group without its closing parenthesis runs to the end of the text.
class Tokenizer {
 public:
  Tokenizer(std::string_view text, const Parens& parens) : text_(text), parens_(parens) {}
  bool next(Token& token) {
    const size_t n = text_.size();
    const size_t start = i_;
    while (i_ < n) {
      const char c = text_[i_];
      if (c == '(' || isOperator(c)) {
        if (i_ > start) break;  // the word before it first
        if (c == '(') {
          const size_t j = parens_.close(text_, i_);
          token = {text_.substr(i_ + 1, j - i_ - 1), true};
          i_ = j < n ? j + 1 : n;
        } else {
          token = {text_.substr(i_, 1), false};
          ++i_;
        }
        return true;
      }
      ++i_;
    }
    if (i_ == start) return false;
    token = {text_.substr(start, i_ - start), false};
    return true;
  }

 private:
  std::string_view text_;
  const Parens& parens_;
  size_t i_ = 0;
};

FunctionId functionIdOfView(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "id",   "sin",   "cos",  "tan", "asin", "acos",  "atan",   "sinh", "cosh", "tanh", "exp",
      "exp2", "log",   "sqr",  "sqrt", "ceil", "floor", "rndabs", "rnd", "abs",  "phi"};
  for (int k = 0; k < 21; ++k)
    if (name == kNames[k]) return k + 1;
  return 0;
}

int gMaxDepth = kDefaultExpressionDepth;
bool gDepthExceeded = false;

constexpr char kCurveVariableNames[] = "xtfain";
constexpr uint32_t kCurveVariableCount = 6;

uint32_t slotOf(char c) {
  uint32_t k = 0;
  while (k < kCurveVariableCount && kCurveVariableNames[k] != c) ++k;
  return k;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string translate(std::string_view text, const Parens& parens, int depth) {
  size_t end = 0;
  while (end < text.size() && !isSpace(text[end])) ++end;
  text = text.substr(0, end);
  // Beyond the depth bound the rest stays as written; evaluating it fails anyway.
  if (depth > gMaxDepth) return std::string(text);

  Tokenizer tokens(text, parens);
  std::string out;
  out.reserve(text.size());
  for (Token token; tokens.next(token);) {
    const std::string_view t = token.text;
    const char* word = t == "frame"   ? "f"
                       : t == "ftime" ? "a"
                       : t == "iter"  ? "i"
                       : t == "chdrn" ? "n"
                       : t == "rec"   ? "0"
                                      : nullptr;
    if (token.group) out += '(';
    if (word) {
      out += word;
    } else if (token.group) {
      out += translate(t, parens, depth + 1);
    } else {
      out += t;  // a word or an operator translates to itself
    }
    if (token.group) out += ')';
  }
  return out;
}

}  // namespace

void setMaxExpressionDepth(int depth) {
  gMaxDepth = std::clamp(depth, 1, kMaxExpressionDepthLimit);
}
int maxExpressionDepth() { return gMaxDepth; }
bool expressionDepthExceeded() { return gDepthExceeded; }
void resetExpressionDepthExceeded() { gDepthExceeded = false; }

// Every decision of the evaluation but the values is fixed by the text, so
// the split is made once: a node per group, a step per token.
CompiledExpression::CompiledExpression(const std::string& text) {
  long balance = 0;
  for (char c : text) {
    if (c == '(') ++balance;
    if (c == ')') --balance;
  }
  parenthesesBalance_ = balance == 0;
  const Parens parens(text);
  compile(text, parens, 0);
}

// A number or a single character at a depth within the bound needs no node.
bool CompiledExpression::leaf(std::string_view text, int depth, Step& step) const {
  if (depth > gMaxDepth) return false;
  if (isNumberText(text)) {
    step.kind = Step::kNumber;
    step.value = numberValue(text);
    return true;
  }
  if (text.size() != 1) return false;
  // Any single character that is not a variable fails as a text.
  step.kind = Step::kVariable;
  step.variable = text[0];
  step.node = slotOf(text[0]);
  return true;
}

uint32_t CompiledExpression::compile(std::string_view text, const Parens& parens, int depth) {
  const auto index = static_cast<uint32_t>(nodes_.size());
  nodes_.emplace_back();
  if (depth > gMaxDepth) {
    nodes_[index].kind = Node::kTooDeep;
    return index;
  }
  Step only{};
  if (leaf(text, depth, only)) {
    Node& node = nodes_[index];
    node.kind = only.kind == Step::kNumber ? Node::kNumber : Node::kVariable;
    node.value = only.value;
    node.variable = only.variable;
    node.slot = static_cast<uint8_t>(only.node);
    return index;
  }
  auto operand = [&](std::string_view t, FunctionId function) {
    Step step{};
    if (!leaf(t, depth + 1, step)) {
      step.kind = Step::kNode;
      step.node = compile(t, parens, depth + 1);
    }
    step.function = static_cast<uint8_t>(function);
    return step;
  };
  Tokenizer tokens(text, parens);
  std::vector<Step> steps;
  std::vector<char> operators;
  size_t operands = 0;
  bool afterOperator = false;
  Token token;
  for (bool first = true; tokens.next(token); first = false) {
    const std::string_view t = token.text;
    if (t.empty()) break;
    if (isOperatorToken(t)) {
      if (!first && !afterOperator) {
        operators.push_back(t[0]);
        afterOperator = true;
      } else {
        steps.push_back({t[0] == '-' ? Step::kNegate : Step::kFail});
      }
      continue;
    }
    if (const FunctionId id = functionIdOfView(t)) {
      Token argument;
      if (tokens.next(argument)) {
        steps.push_back(operand(argument.text, id));
        ++operands;
      }
    } else if (t.size() == text.size()) {
      steps.push_back({Step::kFail});  // a lone word that is neither number nor variable
    } else {
      steps.push_back(operand(t, 0));
      ++operands;
    }
    afterOperator = false;
  }
  Node& node = nodes_[index];
  node.kind = Node::kSequence;
  node.balanced = operands == operators.size() + 1;
  if (node.balanced) {
    size_t k = 0;
    for (Step& step : steps)
      if (step.kind != Step::kNegate && step.kind != Step::kFail) {
        step.join = k == 0 ? 0 : operators[k - 1];
        ++k;
      }
  }
  node.steps = std::move(steps);
  return index;
}

namespace {

inline bool lookUp(const VariableTable& variables, char name, uint32_t, double& value) {
  const auto it = variables.find(name);
  if (it == variables.end()) return false;
  value = it->second;
  return true;
}

// A curve's variables by their place in kCurveVariableNames.
struct CurveFields {
  double value[kCurveVariableCount];
};

inline bool lookUp(const CurveFields& variables, char, uint32_t slot, double& value) {
  if (slot >= kCurveVariableCount) return false;
  value = variables.value[slot];
  return true;
}

// When both operands are NaN the one kept depends on the operand order the
// compiler picks for these commutative operations: the order of the builds
// before is fixed here, the right one of a product, the left one of a sum.
double product(double left, double right) { return std::isnan(right) ? right : left * right; }
double sum(double left, double right) { return std::isnan(left) ? left : left + right; }

CurveFields fieldsOf(const CurveVariables& v) { return {{v.x, v.t, v.f, v.a, v.i, v.n}}; }

}  // namespace

// Products and sums are taken as the operands come, each left-associative and
// the products before the sums, so no operand is kept: a text's length costs
// no memory at evaluation.
template <typename Variables>
double CompiledExpression::evaluateNode(uint32_t index, const Variables& variables,
                                        bool& failed) const {
  const Node& node = nodes_[index];
  switch (node.kind) {
    case Node::kTooDeep:
      gDepthExceeded = true;
      failed = true;
      return 0.0;
    case Node::kNumber:
      return node.value;
    case Node::kVariable: {
      double value = 0.0;
      if (lookUp(variables, node.variable, node.slot, value)) return value;
      failed = true;
      return 0.0;
    }
    case Node::kSequence:
      break;
  }
  // The walk goes on after a failure so that later rnd calls still draw,
  // keeping the generator's sequence the same whatever the outcome.
  bool negate = false;
  double term = 0.0, total = 0.0;
  char pending = 0;  // the + or - before the term being multiplied, once there is one
  for (const Step& step : node.steps) {
    double v = 0.0;
    switch (step.kind) {
      case Step::kNegate:
        negate = true;
        continue;
      case Step::kFail:
        failed = true;
        continue;
      case Step::kNumber:
        v = step.value;
        break;
      case Step::kVariable:
        if (!lookUp(variables, step.variable, step.node, v)) {
          v = 0.0;
          failed = true;
        }
        break;
      case Step::kNode:
        v = evaluateNode(step.node, variables, failed);
        break;
    }
    if (step.function != 0) v = applyFunction(step.function, v);
    if (negate) v = -v;
    negate = false;
    if (step.join == '*') {
      term = product(term, v);
    } else if (step.join == '/') {
      term /= v;
    } else {
      if (step.join != 0) {
        total = pending == 0 ? term : (pending == '+' ? sum(total, term) : total - term);
        pending = step.join;
      }
      term = v;
    }
  }
  if (!node.balanced) {
    failed = true;
    return 0.0;
  }
  if (pending == 0) return term;
  return pending == '+' ? sum(total, term) : total - term;
}

double CompiledExpression::evaluate(const VariableTable& variables, bool& failed) const {
  return evaluateNode(0, variables, failed);
}

double CompiledExpression::evaluate(const CurveVariables& variables, bool& failed) const {
  return evaluateNode(0, fieldsOf(variables), failed);
}

// Unbalanced texts are refused before evaluation, so they draw no random number.
template <typename Variables>
bool CompiledExpression::checkWith(const Variables& variables) const {
  if (!parenthesesBalance_) return false;
  bool failed = false;
  evaluateNode(0, variables, failed);
  return !failed;
}

bool CompiledExpression::check(const VariableTable& variables) const {
  return checkWith(variables);
}

bool CompiledExpression::check(const CurveVariables& variables) const {
  return checkWith(fieldsOf(variables));
}

double evaluateExpression(const std::string& text, const VariableTable& variables, bool& failed) {
  return CompiledExpression(text).evaluate(variables, failed);
}

bool checkExpression(const std::string& text, const VariableTable& variables) {
  return CompiledExpression(text).check(variables);
}

FunctionId functionIdOf(const std::string& name) { return functionIdOfView(name); }

bool isFunctionName(const std::string& name) { return functionIdOf(name) != 0; }

double applyFunction(FunctionId id, double v) {
  switch (id) {
    case 2: return std::sin(v);
    case 3: return std::cos(v);
    case 4: return std::tan(v);
    case 5: return std::asin(v);
    case 6: return std::acos(v);
    case 7: return std::atan(v);
    case 8: return std::sinh(v);
    case 9: return std::cosh(v);
    case 10: return std::tanh(v);
    case 11: return std::exp(v);
    case 13: return std::log(v);
    case 14: return v * v;
    case 15: return std::sqrt(v);
    case 16: return std::ceil(v);
    case 17: return std::floor(v);
    case 18: {
      const double r = sharedRandom().nextReal();
      return r * v;
    }
    case 19: {
      const double r = sharedRandom().nextReal();
      return (r - 0.5) * v * 2.0;
    }
    case 20: return std::fabs(v);
    case 21: return v * 0.6180339;
    default: return v;  // "id", "exp2" and unknown ids
  }
}

std::string translateFileExpression(const std::string& text) {
  size_t end = 0;
  while (end < text.size() && !isSpace(text[end])) ++end;
  const std::string_view word(text.data(), end);
  return translate(word, Parens(word), 0);
}

}  // namespace syv
