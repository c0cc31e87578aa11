// Display text workloads: what the grid asks of the model on a repaint.

#include "model/display_text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace model;

constexpr int kRows = 50;
constexpr int kColumns = 20;

// One screen: 50 rows x 20 columns, a column each of General numbers,
// "#,##0.00", percentages, dates, red negatives, booleans and text.
std::unique_ptr<Workbook> makeScreen() {
  auto book = std::make_unique<Workbook>();
  seedWorkbookTables(*book, Font{});
  auto sheet = std::make_unique<Sheet>();
  sheet_init(*sheet, SheetKind::Worksheet);
  book->sheets.push_back(std::move(sheet));
  const std::u16string_view codes[] = {u"General", u"#,##0.00", u"0.0%", u"m/d/yy",
                                       u"#,##0_);[Red](#,##0)", u"General", u"@"};
  std::uint16_t formats[std::size(codes)];
  for (size_t i = 0; i < std::size(codes); ++i) {
    CellFormat f;
    f.numberFormatIndex = static_cast<std::uint16_t>(findOrAddFormat(*book, codes[i]));
    book->cellFormats.push_back(f);
    formats[i] = static_cast<std::uint16_t>(book->cellFormats.size() - 1);
  }
  Sheet& s = book->sheet(0);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      CellRecord* cell =
          s.cells.findOrInsert(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
      const int kind = c % 7;
      cell->formatIndex = formats[kind];
      const double x = (r * 37 + c * 11) * 1.618033988749895 - 400;
      if (kind == 5)
        cell->value = CellValue::boolean(r % 2 == 0);
      else if (kind == 6)
        cell->value = CellValue::string(u"Item " + std::u16string(1, u'A' + r % 26));
      else if (kind == 3)
        cell->value = CellValue::number(36526 + r * 3 + c);
      else
        cell->value = CellValue::number(x);
    }
  return book;
}

// A repaint of one screen after a recalculation: every display cache stale,
// each cell formatted into the room its column gives it.
void BM_CellDisplayText_StaleScreen(benchmark::State& state) {
  auto book = makeScreen();
  Sheet& s = book->sheet(0);
  const PixelScale scale;
  size_t chars = 0;
  for (auto _ : state) {
    chars = 0;
    s.cells.forEach([&](CellRecord& cell) {
      cell.calcState = CalcState::ValueValid;
      const int width = availableWidthPx(*book, 0, cell, scale);
      chars += cell_display_text(*book, 0, cell, width).size();
    });
    benchmark::DoNotOptimize(chars);
  }
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
  // 1,000 cells all show something; a wrong fast path that skipped them would not.
  const CellRecord* first = s.cells.at(0, 1);
  if (chars < kRows * kColumns || !first || first->display.view() != u"-382.20") {
    std::fprintf(stderr, "display texts are wrong\n");
    std::abort();
  }
}
BENCHMARK(BM_CellDisplayText_StaleScreen);

// The same screen painted again with nothing changed: the caches answer.
void BM_CellDisplayText_ValidScreen(benchmark::State& state) {
  auto book = makeScreen();
  Sheet& s = book->sheet(0);
  const PixelScale scale;
  size_t chars = 0;
  for (auto _ : state) {
    chars = 0;
    s.cells.forEach([&](CellRecord& cell) {
      const int width = availableWidthPx(*book, 0, cell, scale);
      chars += cell_display_text(*book, 0, cell, width).size();
    });
    benchmark::DoNotOptimize(chars);
  }
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
  if (chars < kRows * kColumns) {
    std::fprintf(stderr, "display texts are wrong\n");
    std::abort();
  }
}
BENCHMARK(BM_CellDisplayText_ValidScreen);

// What a CSV export asks of each cell: the General text of a number, with no
// width to fit. The rows of the 65,536 x 10 benchmark file: whole numbers,
// quarters and sevenths.
void BM_CellPlainText_GeneralNumbers(benchmark::State& state) {
  auto book = std::make_unique<Workbook>();
  seedWorkbookTables(*book, Font{});
  auto sheet = std::make_unique<Sheet>();
  sheet_init(*sheet, SheetKind::Worksheet);
  book->sheets.push_back(std::move(sheet));
  Sheet& s = book->sheet(0);
  constexpr int kNumberRows = 65536;
  for (int r = 0; r < kNumberRows; ++r)
    for (int c = 0; c < 10; ++c) {
      CellRecord* cell = s.cells.append(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
      const int m = c % 3;
      cell->value = CellValue::number(m == 0 ? r : (m == 1 ? r + 0.25 : r / 7.0));
      cell->calcState = CalcState::ValueValid;
    }
  size_t chars = 0;
  for (auto _ : state) {
    chars = 0;
    s.cells.forEach([&](CellRecord& cell) { chars += cell_plain_text(*book, 0, cell).size(); });
    benchmark::DoNotOptimize(chars);
  }
  state.SetItemsProcessed(state.iterations() * kNumberRows * 10);
  // 65535/7 in 15 digits, and no cell cached a text on the way.
  CellRecord* last = s.cells.at(65535, 2);
  if (!last || cell_plain_text(*book, 0, *last) != u"9362.14285714286" ||
      !last->display.isNull()) {
    std::fprintf(stderr, "plain texts are wrong\n");
    std::abort();
  }
}
BENCHMARK(BM_CellPlainText_GeneralNumbers)->Unit(benchmark::kMillisecond);

} // namespace
