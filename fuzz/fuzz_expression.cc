// Arbitrary text through translation, validation and evaluation. The first
// bytes pick the variable values (NaN and infinities included).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/base/curve.h"
#include "core/base/expression.h"

namespace {

double pick(uint8_t b) {
  static const double kValues[] = {0.0,  1.0,  -1.0, 0.5,  1e300, -1e-300,
                                   3.14159, 1e-8, std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::quiet_NaN(), 42.0};
  constexpr size_t kCount = sizeof(kValues) / sizeof(kValues[0]);
  return b < kCount ? kValues[b] : (b - 128) / 7.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  syv::VariableTable vars;
  const char keys[] = {'x', 't', 'f', 'a', 'i', 'n'};
  for (int k = 0; k < 6; ++k) vars[keys[k]] = pick(data[k]);
  const std::string text(reinterpret_cast<const char*>(data + 6), size - 6);

  const std::string internal = syv::translateFileExpression(text);
  for (char c : internal)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') std::abort();
  // Beyond the depth bound the rest stays untranslated, so only shallower texts are fixed points
  // (the number of "(" bounds the depth).
  if (std::count(text.begin(), text.end(), '(') < syv::kDefaultExpressionDepth &&
      syv::translateFileExpression(internal) != internal)
    std::abort();

  for (const std::string* s : {&text, &internal}) {
    bool failed = false;
    syv::evaluateExpression(*s, vars, failed);
    // Failure depends on the structure alone, never on values or random draws.
    const bool balanced = std::count(s->begin(), s->end(), '(') == std::count(s->begin(), s->end(), ')');
    if (balanced && syv::checkExpression(*s, vars) == failed) std::abort();
  }

  syv::CurveParameter p(-1, 1, std::map<double, double>{{0.0, vars['x']}, {0.5, vars['t']},
                                                        {1.0, vars['f']}},
                        (data[0] & 1) != 0, internal);
  p.frameValue = vars['f'];
  for (double x : {0.0, 0.3, 0.77, 1.0}) p.evaluate(x);
  syv::makeLinearParameter(vars['a'], vars['i'], text, -1, 1).evaluate(0.5);
  return 0;
}
