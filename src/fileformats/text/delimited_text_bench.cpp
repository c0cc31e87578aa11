#include "fileformats/text/delimited_text.h"

#include "formula/recalc.h"
#include "platform/ui_services.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// 65,536 rows of ten numbers, or of five words.
std::string makeCsv(bool numbers) {
  std::string s;
  unsigned seed = 12345;
  for (int r = 0; r < 65535; ++r) {
    const int columns = numbers ? 10 : 5;
    for (int c = 0; c < columns; ++c) {
      seed = seed * 1103515245u + 12345u;
      if (c)
        s += ',';
      if (numbers)
        s += std::to_string(static_cast<int>(seed % 1000000) - 500000) + "." +
             std::to_string(seed % 100);
      else
        s += "word" + std::to_string(seed % 10000) + " text";
    }
    s += "\r\n";
  }
  return s;
}

std::unique_ptr<model::Workbook> importBook(const std::string& csv) {
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(csv.data()), csv.size());
  if (!textfile::importDelimitedText(bytes, textfile::DelimitedKind::Csv, *book, u"bench",
                                     {.codePage = 1252}))
    return nullptr;
  return book;
}

void importCsv(benchmark::State& state) {
  formula::installFormulaEngine();
  const std::string csv = makeCsv(state.range(0) != 0);
  for (auto _ : state) {
    auto book = importBook(csv);
    if (!book)
      state.SkipWithError("import failed");
    benchmark::DoNotOptimize(book);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * csv.size()));
}

void exportCsv(benchmark::State& state) {
  formula::installFormulaEngine();
  const std::string csv = makeCsv(state.range(0) != 0);
  auto book = importBook(csv);
  if (!book) {
    state.SkipWithError("import failed");
    return;
  }
  size_t bytes = 0;
  for (auto _ : state) {
    // Display texts are cached by the cells; drop them so every pass formats again.
    book->sheet(0).cells.forEach([](model::CellRecord& c) {
      c.display.reset();
      c.calcState = model::CalcState::ValueValid;
    });
    const std::string out =
        textfile::exportDelimitedText(*book, textfile::DelimitedKind::Csv, {.codePage = 1252});
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK(importCsv)->Arg(1)->Arg(0)->ArgNames({"numbers"})->Unit(benchmark::kMillisecond);
BENCHMARK(exportCsv)->Arg(1)->Arg(0)->ArgNames({"numbers"})->Unit(benchmark::kMillisecond);

} // namespace
