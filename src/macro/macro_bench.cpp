// Speed of the run loop (steps per second) and of a custom function used
// by many worksheet cells.

#include "macro/macro_test_util.h"

#include <benchmark/benchmark.h>

namespace {

class Fixture : public macro::testing::MacroTest {
public:
  void TestBody() override {}
  using MacroTest::book;
  using MacroTest::define;
  using MacroTest::macroSheet;
  using MacroTest::run;
  using MacroTest::set;
  using MacroTest::write;
};

// FOR and NEXT: two steps per turn.
void BM_LoopSteps(benchmark::State& state) {
  Fixture f;
  const auto turns = static_cast<int>(state.range(0));
  f.write("A1", {u"=FOR(\"i\",1," + std::u16string(platform::fromUtf8(std::to_string(turns))) + u")",
                 u"=NEXT()", u"=RETURN(i)"});
  f.define(u"Loop", u"$A$1");
  for (auto _ : state)
    benchmark::DoNotOptimize(f.run(u"Loop"));
  state.counters["steps/s"] =
      benchmark::Counter(2.0 * turns * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoopSteps)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// 10,000 cells calling a custom function, all recomputed.
void BM_CustomFunctionRecalc(benchmark::State& state) {
  Fixture f;
  f.write("A1", {u"=ARGUMENT(\"x\")", u"=IF(x>5000)", u"=RETURN(x*2)", u"=ELSE()", u"=RETURN(x+1)",
                 u"=END.IF()"});
  f.define(u"Twice", u"$A$1");
  const int cells = static_cast<int>(state.range(0));
  for (int r = 0; r < cells; ++r) {
    const std::string row = std::to_string(r + 1);
    f.set("A" + row, platform::fromUtf8(row));
    f.set("B" + row, platform::fromUtf8("=Twice(A" + row + ")"));
  }
  for (auto _ : state) {
    formula::recalcAll(*f.book);
    formula::computeStaleFormulas(*f.book);
  }
  const model::CellRecord* last = f.book->sheet(0).cells.at(static_cast<std::uint16_t>(cells - 1), 1);
  if (!last || !last->value.isNumber() || last->value.numberValue() != 2.0 * cells)
    state.SkipWithError("the custom function gave a wrong value");
}
BENCHMARK(BM_CustomFunctionRecalc)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
