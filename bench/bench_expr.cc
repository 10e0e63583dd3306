// Evaluations per second of typical parameter expressions and of curves.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "core/base/curve.h"
#include "core/base/expression.h"

namespace {

const char* const kTexts[] = {"x*x+0.5", "sin(x*3)", "x+rnd(0.1)*f", "-cos(x*2)/(1+sqr(t))"};

void BM_EvaluateExpression(benchmark::State& state) {
  const std::string text = kTexts[state.range(0)];
  state.SetLabel(text);
  const syv::VariableTable vars{{'x', 0.4}, {'t', 0.2}, {'f', 3.0},
                                {'a', 0.0}, {'i', 1.0}, {'n', 1.0}};
  bool failed = false;
  for (auto _ : state) benchmark::DoNotOptimize(syv::evaluateExpression(text, vars, failed));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluateExpression)->DenseRange(0, 3);

// Whole parameter evaluations: curve value, then the expression.
void BM_ParameterWithExpression(benchmark::State& state) {
  const syv::CurveParameter p(0, 1, 0.2, 0.9, "x*x+0.5");
  double x = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.evaluate(x));
    x = x > 1.0 ? 0.0 : x + 0.001;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParameterWithExpression);

// Curves alone: 0 is a straight line, 1 smooth points (no cubic solve),
// 2 corner ends with smooth middle points (cubic solve on the end segments).
void BM_EvaluateCurve(benchmark::State& state) {
  const std::map<double, double> points{{0, 0.1}, {0.2, 0.5}, {0.45, 0.3}, {0.7, 0.9}, {1, 0.4}};
  const syv::CurveParameter curves[] = {syv::CurveParameter(0, 1, 0.2, 0.9, ""),
                                        syv::CurveParameter(0, 1, points, false, ""),
                                        syv::CurveParameter(0, 1, points, true, "")};
  const syv::CurveParameter& c = curves[state.range(0)];
  double x = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c.evaluateCurve(x));
    x = x > 1.0 ? 0.0 : x + 0.001;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvaluateCurve)->DenseRange(0, 2);

}  // namespace
