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

// Splits at the operators and at parenthesised groups; a group without its
// closing parenthesis runs to the end of the text.
void tokenize(std::string_view text, const Parens& parens, std::vector<Token>& out) {
  size_t wordStart = 0, i = 0;
  const size_t n = text.size();
  auto flushWord = [&](size_t end) {
    if (end > wordStart) out.push_back({text.substr(wordStart, end - wordStart), false});
  };
  while (i < n) {
    const char c = text[i];
    if (c == '(') {
      flushWord(i);
      const size_t j = parens.close(text, i);
      out.push_back({text.substr(i + 1, j - i - 1), true});
      i = j < n ? j + 1 : n;
      wordStart = i;
    } else if (isOperator(c)) {
      flushWord(i);
      out.push_back({text.substr(i, 1), false});
      wordStart = ++i;
    } else {
      ++i;
    }
  }
  flushWord(n);
}

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

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string translate(std::string_view text, const Parens& parens, int depth) {
  size_t end = 0;
  while (end < text.size() && !isSpace(text[end])) ++end;
  text = text.substr(0, end);
  // Beyond the depth bound the rest stays as written; evaluating it fails anyway.
  if (depth > gMaxDepth) return std::string(text);

  std::vector<Token> tokens;
  tokenize(text, parens, tokens);
  std::string out;
  out.reserve(text.size());
  for (const Token& token : tokens) {
    std::string_view t = token.text;
    std::string piece;
    if (t == "frame") {
      piece = "f";
    } else if (t == "ftime") {
      piece = "a";
    } else if (t == "iter") {
      piece = "i";
    } else if (t == "chdrn") {
      piece = "n";
    } else if (t == "rec") {
      piece = "0";
    } else if (t.size() != text.size()) {
      piece = translate(t, parens, depth + 1);
    } else {
      piece = std::string(t);
    }
    if (token.group) {
      out += '(';
      out += piece;
      out += ')';
    } else {
      out += piece;
    }
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
  const Parens parens(text);
  compile(text, parens, 0);
}

uint32_t CompiledExpression::compile(std::string_view text, const Parens& parens, int depth) {
  const auto index = static_cast<uint32_t>(nodes_.size());
  nodes_.emplace_back();
  if (depth > gMaxDepth) {
    nodes_[index].kind = Node::kTooDeep;
    return index;
  }
  if (isNumberText(text)) {
    nodes_[index].kind = Node::kNumber;
    nodes_[index].value = numberValue(text);
    return index;
  }
  if (text.size() == 1) {
    // Any single character that is not a variable fails as a text.
    nodes_[index].kind = Node::kVariable;
    nodes_[index].variable = text[0];
    return index;
  }
  std::vector<Token> tokens;
  tokenize(text, parens, tokens);
  std::vector<Step> steps;
  std::vector<char> operators;
  size_t operands = 0;
  bool afterOperator = false;
  for (size_t k = 0; k < tokens.size(); ++k) {
    const std::string_view t = tokens[k].text;
    if (t.empty()) break;
    if (isOperatorToken(t)) {
      if (k > 0 && !afterOperator) {
        operators.push_back(t[0]);
        afterOperator = true;
      } else if (t[0] == '-') {
        steps.push_back({Step::kNegate, 0, 0});
      } else {
        steps.push_back({Step::kFail, 0, 0});
      }
      continue;
    }
    if (const FunctionId id = functionIdOfView(t)) {
      if (k + 1 < tokens.size()) {
        steps.push_back({Step::kOperand, compile(tokens[k + 1].text, parens, depth + 1), id});
        ++operands;
        ++k;
      }
    } else if (t.size() == text.size()) {
      steps.push_back({Step::kFail, 0, 0});  // a lone word that is neither number nor variable
    } else {
      steps.push_back({Step::kOperand, compile(t, parens, depth + 1), 0});
      ++operands;
    }
    afterOperator = false;
  }
  Node& node = nodes_[index];
  node.kind = Node::kSequence;
  node.balanced = operands == operators.size() + 1;
  node.steps = std::move(steps);
  for (char op : operators)
    if (op == '+' || op == '-') node.additive.push_back(op);
  node.operators = std::move(operators);
  return index;
}

double CompiledExpression::evaluate(const VariableTable& variables, bool& failed) const {
  std::vector<double> stack;
  return evaluateNode(0, variables, failed, stack);
}

double CompiledExpression::evaluateNode(uint32_t index, const VariableTable& variables,
                                        bool& failed, std::vector<double>& stack) const {
  const Node& node = nodes_[index];
  switch (node.kind) {
    case Node::kTooDeep:
      gDepthExceeded = true;
      failed = true;
      return 0.0;
    case Node::kNumber:
      return node.value;
    case Node::kVariable: {
      const auto it = variables.find(node.variable);
      if (it != variables.end()) return it->second;
      failed = true;
      return 0.0;
    }
    case Node::kSequence:
      break;
  }
  // The walk goes on after a failure so that later rnd calls still draw,
  // keeping the generator's sequence the same whatever the outcome.
  const size_t base = stack.size();
  bool negate = false;
  for (const Step& step : node.steps) {
    if (step.kind == Step::kNegate) {
      negate = true;
    } else if (step.kind == Step::kFail) {
      failed = true;
    } else {
      double v = evaluateNode(step.node, variables, failed, stack);
      if (step.function != 0) v = applyFunction(step.function, v);
      if (negate) v = -v;
      negate = false;
      stack.push_back(v);
    }
  }
  if (!node.balanced) {
    stack.resize(base);
    failed = true;
    return 0.0;
  }
  // Products first, then sums, each pass left-associative: the terms replace
  // the operands in place.
  size_t terms = base;
  for (size_t k = 0; k < node.operators.size(); ++k) {
    const char op = node.operators[k];
    const double right = stack[base + k + 1];
    if (op == '*') {
      stack[terms] *= right;
    } else if (op == '/') {
      stack[terms] /= right;
    } else {
      stack[++terms] = right;
    }
  }
  double result = stack[base];
  for (size_t k = 0; k < node.additive.size(); ++k)
    result = node.additive[k] == '+' ? result + stack[base + 1 + k] : result - stack[base + 1 + k];
  stack.resize(base);
  return result;
}

double evaluateExpression(const std::string& text, const VariableTable& variables, bool& failed) {
  return CompiledExpression(text).evaluate(variables, failed);
}

bool checkExpression(const std::string& text, const VariableTable& variables) {
  long balance = 0;
  for (char c : text) {
    if (c == '(') ++balance;
    if (c == ')') --balance;
  }
  if (balance != 0) return false;
  bool failed = false;
  evaluateExpression(text, variables, failed);
  return !failed;
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
