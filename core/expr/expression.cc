#include "core/expr/expression.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "core/expr/random.h"

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

// Splits at the operators and at parenthesised groups; a group without its
// closing parenthesis runs to the end of the text.
void tokenize(std::string_view text, std::vector<Token>& out) {
  size_t wordStart = 0, i = 0;
  const size_t n = text.size();
  auto flushWord = [&](size_t end) {
    if (end > wordStart) out.push_back({text.substr(wordStart, end - wordStart), false});
  };
  while (i < n) {
    const char c = text[i];
    if (c == '(') {
      flushWord(i);
      size_t j = i + 1;
      int depth = 1;
      for (; j < n; ++j) {
        if (text[j] == '(') {
          ++depth;
        } else if (text[j] == ')' && --depth == 0) {
          break;
        }
      }
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

double evaluate(std::string_view text, const VariableTable& variables, bool& failed, int depth) {
  if (depth > kMaxExpressionDepth) {
    failed = true;
    return 0.0;
  }
  if (isNumberText(text)) return numberValue(text);
  if (text.size() == 1) {
    const auto it = variables.find(text[0]);
    if (it != variables.end()) return it->second;
  }

  std::vector<Token> tokens;
  tokenize(text, tokens);

  std::vector<double> operands;
  std::vector<char> operators;
  bool negate = false, afterOperator = false;
  // The walk goes on after a failure so that later rnd calls still draw,
  // keeping the generator's sequence the same whatever the outcome.
  for (size_t k = 0; k < tokens.size(); ++k) {
    const std::string_view t = tokens[k].text;
    if (t.empty()) break;
    if (isOperatorToken(t)) {
      if (k > 0 && !afterOperator) {
        operators.push_back(t[0]);
        afterOperator = true;
      } else if (t[0] == '-') {
        negate = true;
      } else {
        failed = true;
      }
      continue;
    }
    if (const FunctionId id = functionIdOfView(t)) {
      if (k + 1 < tokens.size()) {
        double v = applyFunction(id, evaluate(tokens[k + 1].text, variables, failed, depth + 1));
        if (negate) v = -v;
        negate = false;
        operands.push_back(v);
        ++k;
      }
    } else if (t.size() == text.size()) {
      failed = true;  // a lone word that is neither number nor variable
    } else {
      double v = evaluate(t, variables, failed, depth + 1);
      if (negate) v = -v;
      negate = false;
      operands.push_back(v);
    }
    afterOperator = false;
  }

  if (operands.size() != operators.size() + 1) {
    failed = true;
    return 0.0;
  }
  // Products first, then sums, each pass left-associative.
  std::vector<double> terms;
  std::vector<char> additive;
  terms.reserve(operands.size());
  terms.push_back(operands[0]);
  for (size_t k = 0; k < operators.size(); ++k) {
    const char op = operators[k];
    const double right = operands[k + 1];
    if (op == '*') {
      terms.back() *= right;
    } else if (op == '/') {
      terms.back() /= right;
    } else {
      additive.push_back(op);
      terms.push_back(right);
    }
  }
  double result = terms[0];
  for (size_t k = 0; k < additive.size(); ++k)
    result = additive[k] == '+' ? result + terms[k + 1] : result - terms[k + 1];
  return result;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string translate(std::string_view text, int depth) {
  size_t end = 0;
  while (end < text.size() && !isSpace(text[end])) ++end;
  text = text.substr(0, end);
  // Beyond the depth bound the rest stays as written; evaluating it fails anyway.
  if (depth > kMaxExpressionDepth) return std::string(text);

  std::vector<Token> tokens;
  tokenize(text, tokens);
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
      piece = translate(t, depth + 1);
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

double evaluateExpression(const std::string& text, const VariableTable& variables, bool& failed) {
  return evaluate(text, variables, failed, 0);
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

std::string translateFileExpression(const std::string& text) { return translate(text, 0); }

}  // namespace syv
