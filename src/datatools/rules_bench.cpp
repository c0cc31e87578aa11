// Finding the validation rule of a cell among 10,000 rule ranges: 1,000
// rules of ten ranges each, scattered over the sheet, asked at cells that
// are mostly outside every rule, as the entry check and the input message
// ask for every cell the user reaches.

#include "datatools/validation.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <benchmark/benchmark.h>

namespace {

void BM_FindRuleAmongTenThousandRanges(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Sheet& sheet = books.active()->active();
  std::vector<model::ValidationRule> rules(1000);
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFFFFFF;
  };
  for (model::ValidationRule& r : rules) {
    r.allow = model::kAllowWholeNumber;
    for (int k = 0; k < 10; ++k) {
      const auto row = static_cast<std::uint16_t>(next() % 65000);
      const auto column = static_cast<std::uint8_t>(next() % 250);
      r.ranges.push_back({row, column, static_cast<std::uint16_t>(row + next() % 20),
                          static_cast<std::uint8_t>(column + next() % 4)});
    }
  }
  sheet.validations = rules;
  const model::Sheet& s = sheet;
  (void)datatools::findRule(s, 0, 0); // builds the index
  int found = 0;
  for (auto _ : state) {
    const int at = datatools::findRule(s, static_cast<int>(next() % 65536), static_cast<int>(next() % 256));
    found += at >= 0;
    benchmark::DoNotOptimize(at);
  }
  state.counters["hits"] = found;
}
BENCHMARK(BM_FindRuleAmongTenThousandRanges)->Unit(benchmark::kNanosecond);

} // namespace
