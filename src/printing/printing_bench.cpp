// Page breaking of a whole sheet: 65,536 rows by 256 columns, a cell at
// IV65536, on A4 paper at 600 dpi; and the same with every tenth row
// hidden and some rows and columns of their own height and width.

#include "printing/page_breaks.h"

#include <benchmark/benchmark.h>

namespace {

// A4 less 5 mm margins at 600 dpi; "0" of Arial 10 is 46 pixels there.
constexpr model::PixelScale kScale{46, 600};
constexpr int kWidth = 4724, kHeight = 6779;

void BM_BreakWholeSheet(benchmark::State& state) {
  model::Sheet sheet;
  model::append_cell(sheet.cells, model::kMaxRow, model::kMaxColumn, u"x", 15);
  if (state.range(0)) {
    for (int r = 0; r < model::kRowCount; r += 10)
      model::set_row_record(sheet, static_cast<std::uint16_t>(r), model::kLineHidden | model::kLineDefaultSize, 0);
    for (int r = 5; r < model::kRowCount; r += 100)
      model::set_row_record(sheet, static_cast<std::uint16_t>(r), model::kLineCustomHeight, 600);
    for (int c = 3; c < model::kColumnCount; c += 7)
      model::setColumnWidthChars(sheet, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c), 20);
  }
  model::CellRange block;
  if (!printing::printBlock(sheet, printing::PrintRange::All, block))
    state.SkipWithError("no block");
  size_t pages = 0;
  for (auto _ : state) {
    const printing::PageBreaks b = printing::breakPages(sheet, block, true, kScale, kWidth, kHeight);
    pages = b.pageCount();
    benchmark::DoNotOptimize(pages);
  }
  state.counters["pages"] = static_cast<double>(pages);
}
BENCHMARK(BM_BreakWholeSheet)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
