// Finding the validation rule of a cell among 10,000 rule ranges: 1,000
// rules of ten ranges each, scattered over the sheet, asked at cells that
// are mostly outside every rule, as the entry check and the input message
// ask for every cell the user reaches. And "下一条" of the data form over a
// list of 100,000 formulas (10,000 records of ten formula fields).

#include "datatools/data_form.h"
#include "datatools/validation.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
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

void BM_DataFormNextOverHundredThousandFormulas(benchmark::State& state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  formula::installFormulaEngine();
  model::WorkbookList books;
  (void)books.new_workbook(nullptr);
  model::Workbook& book = *books.active();
  constexpr int kRecords = 10000;
  for (int c = 0; c < 11; ++c)
    (void)model::set_cell(book, 0, 0, static_cast<std::uint8_t>(c), u"F" + std::u16string(1, u'A' + c), 15, false, false);
  for (int r = 1; r <= kRecords; ++r) {
    const std::string n = std::to_string(r);
    (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), 0, std::u16string(n.begin(), n.end()), 15, false,
                          false);
    for (int c = 1; c < 11; ++c) {
      const std::string f = "=" + std::string(1, static_cast<char>('A' + c - 1)) + n + "*2";
      (void)model::set_cell(book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                            std::u16string(f.begin(), f.end()), 15, false, false);
    }
  }
  formula::computeStaleFormulas(book);
  datatools::DataForm form;
  if (!datatools::openDataForm(book, 0, model::CellRange{0, 0, 0, 0}, 0, 0, form)) {
    state.SkipWithError("the form did not open");
    return;
  }
  for (auto _ : state) {
    if (!datatools::stepRecord(book, form, true)) {
      state.PauseTiming();
      form.current = form.block.firstRow + 1;
      datatools::showRecord(book, form);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(form.fields[10].text.data());
  }
  state.counters["modified"] = book.modified;
}
BENCHMARK(BM_DataFormNextOverHundredThousandFormulas)->Unit(benchmark::kMicrosecond);

} // namespace
