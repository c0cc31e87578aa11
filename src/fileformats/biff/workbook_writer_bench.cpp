// Saving and opening large binary workbooks: 65,536 rows of ten numbers,
// 65,536 rows of five strings and 20,000 rows of five numbers and five
// formulas filled down. Throughput is bytes of workbook stream; the
// open benchmarks also report peak_heap_MB, the most heap the open held at
// once beyond what was allocated before it (the file's bytes excluded).

#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"

#include "formula/recalc.h"
#include "model/sheet.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

// Heap accounting for the peak counter: every allocation carries its size in
// a header in front of it.
std::atomic<size_t> g_liveBytes{0};
std::atomic<size_t> g_peakBytes{0};
constexpr size_t kHeader = alignof(std::max_align_t);

void* countedAllocate(size_t n) {
  void* block = std::malloc(n + kHeader);
  if (!block)
    throw std::bad_alloc();
  *static_cast<size_t*>(block) = n;
  const size_t live = g_liveBytes += n;
  size_t peak = g_peakBytes.load();
  while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void countedFree(void* p) noexcept {
  if (!p)
    return;
  char* block = static_cast<char*>(p) - kHeader;
  g_liveBytes -= *reinterpret_cast<size_t*>(block);
  std::free(block);
}

void* operator new(size_t n) { return countedAllocate(n); }
void* operator new[](size_t n) { return countedAllocate(n); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, size_t) noexcept { countedFree(p); }
void operator delete[](void* p, size_t) noexcept { countedFree(p); }

namespace {

std::unique_ptr<model::Workbook> makeBook(bool strings) {
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  auto sheet = std::make_unique<model::Sheet>();
  model::sheet_init(*sheet, model::SheetKind::Worksheet);
  sheet->name = u"Data";
  const int columns = strings ? 5 : 10;
  for (int r = 0; r < 65536; ++r)
    for (int c = 0; c < columns; ++c) {
      std::u16string text;
      model::CellValue value;
      if (strings) {
        text = platform::fromUtf8("item " + std::to_string(r) + "-" + std::to_string(c));
        value = model::CellValue::string(text);
      } else {
        // Whole numbers, hundredths and values without a short form.
        const double x = c % 3 == 0 ? r : c % 3 == 1 ? r + 0.25 : r / 7.0;
        text = platform::fromUtf8(std::to_string(x));
        value = model::CellValue::number(x);
      }
      model::CellRecord *cell = model::append_cell(sheet->cells, static_cast<std::uint16_t>(r),
                                                   static_cast<std::uint8_t>(c), text, 15);
      cell->value = std::move(value);
      cell->calcState = model::CalcState::ValueValid;
    }
  book->sheets.push_back(std::move(sheet));
  return book;
}

void saveBench(benchmark::State &state, bool strings) {
  const auto book = makeBook(strings);
  const size_t streamSize = biff::writeWorkbookStream(*book, 8).size();
  for (auto _ : state) {
    std::vector<std::uint8_t> file;
    if (!biff::writeBinaryWorkbook(*book, 8, file))
      state.SkipWithError("write failed");
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * streamSize));
}

void readBench(benchmark::State &state, bool strings) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  formula::installFormulaEngine();
  const auto book = makeBook(strings);
  std::vector<std::uint8_t> file;
  if (!biff::writeBinaryWorkbook(*book, 8, file))
    state.SkipWithError("write failed");
  const size_t streamSize = biff::writeWorkbookStream(*book, 8).size();
  const size_t expectedCells = book->sheet(0).cells.count();
  size_t peak = 0;
  for (auto _ : state) {
    const size_t before = g_liveBytes.load();
    g_peakBytes = before;
    model::Workbook back;
    model::seedWorkbookTables(back, model::Font{});
    if (!biff::readBinaryWorkbook(file, back) || back.sheetCount() != 1 ||
        back.sheet(0).cells.count() != expectedCells)
      state.SkipWithError("read failed");
    peak = std::max(peak, g_peakBytes.load() - before);
    benchmark::DoNotOptimize(back.sheets.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * streamSize));
  state.counters["peak_heap_MB"] = static_cast<double>(peak) / 1e6;
}

// 20,000 rows: five numbers, then five formulas filled down the columns,
// as a program writes an ordinary sheet.
std::unique_ptr<model::Workbook> makeFilledBook() {
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  auto sheet = std::make_unique<model::Sheet>();
  model::sheet_init(*sheet, model::SheetKind::Worksheet);
  sheet->name = u"Data";
  const char *shapes[] = {"=SUM(A#:E#)", "=AVERAGE(A#:E#)*2", "=IF(A#>B#,A#,B#)",
                          "=VLOOKUP(A#,$A$1:$E$2000,3,FALSE)", "=ROUND(C#/3,2)"};
  for (int r = 0; r < 20000; ++r) {
    const std::string n = std::to_string(r + 1);
    for (int c = 0; c < 10; ++c) {
      std::string text = c < 5 ? std::to_string((r * 7 + c * 3) % 2000 + 1) : shapes[c - 5];
      for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#'))
        text.replace(at, 1, n);
      model::CellRecord *cell = model::append_cell(sheet->cells, static_cast<std::uint16_t>(r),
                                                   static_cast<std::uint8_t>(c), platform::fromUtf8(text), 15);
      cell->value = model::CellValue::number(r + c);
      cell->isFormula = c >= 5;
      cell->calcState = model::CalcState::ValueValid;
    }
  }
  book->sheets.push_back(std::move(sheet));
  return book;
}

// Saving the filled sheet: each formula's tokens.
void BM_Save_FilledFormulas20000x5(benchmark::State &state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  formula::installFormulaEngine();
  const auto book = makeFilledBook();
  for (auto _ : state) {
    std::vector<std::uint8_t> file;
    if (!biff::writeBinaryWorkbook(*book, 8, file))
      state.SkipWithError("write failed");
    benchmark::DoNotOptimize(file.data());
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Save_FilledFormulas20000x5)->Unit(benchmark::kMillisecond);

// Opening it: each formula's text and the cells it names.
void BM_Open_FilledFormulas20000x5(benchmark::State &state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  formula::installFormulaEngine();
  const auto book = makeFilledBook();
  std::vector<std::uint8_t> file;
  if (!biff::writeBinaryWorkbook(*book, 8, file))
    state.SkipWithError("write failed");
  for (auto _ : state) {
    model::Workbook back;
    model::seedWorkbookTables(back, model::Font{});
    if (!biff::readBinaryWorkbook(file, back) || back.sheetCount() != 1)
      state.SkipWithError("read failed");
    const model::CellRecord *last = model::cell_at(back.sheet(0), 19999, 9);
    if (!last || last->input.view() != u"=ROUND(C20000/3,2)" || !last->precedents)
      state.SkipWithError("the last formula read back wrong");
    benchmark::DoNotOptimize(back.sheets.data());
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Open_FilledFormulas20000x5)->Unit(benchmark::kMillisecond);

// 40,000 formulas each naming a name nothing defines: each becomes a
// hidden placeholder name, found again through a hash, not a list search.
void BM_Save_UndefinedNames40000(benchmark::State &state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  formula::installFormulaEngine();
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  auto sheet = std::make_unique<model::Sheet>();
  model::sheet_init(*sheet, model::SheetKind::Worksheet);
  sheet->name = u"Names";
  for (int r = 0; r < 40000; ++r) {
    const std::u16string text = platform::fromUtf8("=Undefined" + std::to_string(r) + "+1");
    model::CellRecord *cell = model::append_cell(sheet->cells, static_cast<std::uint16_t>(r), 0, text, 15);
    cell->value = model::CellValue::error(model::ErrorCode::Name);
    cell->calcState = model::CalcState::ValueValid;
  }
  book->sheets.push_back(std::move(sheet));
  for (auto _ : state) {
    std::vector<std::uint8_t> file;
    if (!biff::writeBinaryWorkbook(*book, 8, file))
      state.SkipWithError("write failed");
    benchmark::DoNotOptimize(file.data());
  }
}

void BM_Save_Numbers65536x10(benchmark::State &s) { saveBench(s, false); }
void BM_Save_Strings65536x5(benchmark::State &s) { saveBench(s, true); }
void BM_Open_Numbers65536x10(benchmark::State &s) { readBench(s, false); }
void BM_Open_Strings65536x5(benchmark::State &s) { readBench(s, true); }
BENCHMARK(BM_Save_Numbers65536x10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save_UndefinedNames40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save_Strings65536x5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open_Numbers65536x10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open_Strings65536x5)->Unit(benchmark::kMillisecond);

// 40,000 single-cell array formulas, one per row: each cell finds its block
// through an index, not a walk of every block.
void BM_Save_ArrayFormulas40000(benchmark::State &state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  formula::installFormulaEngine();
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  auto sheet = std::make_unique<model::Sheet>();
  model::sheet_init(*sheet, model::SheetKind::Worksheet);
  sheet->name = u"Arrays";
  for (int r = 0; r < 40000; ++r) {
    const auto row = static_cast<std::uint16_t>(r);
    model::append_cell(sheet->cells, row, 0, u"2", 15)->value = model::CellValue::number(2);
    model::CellRecord *cell = model::append_cell(sheet->cells, row, 1, u"=SUM(A1:A3*2)", 15);
    cell->value = model::CellValue::number(4);
    cell->calcState = model::CalcState::ValueValid;
    sheet->arrayFormulas.push_back({model::CellRange::cell(row, 1), u""});
  }
  book->sheets.push_back(std::move(sheet));
  for (auto _ : state) {
    std::vector<std::uint8_t> file;
    if (!biff::writeBinaryWorkbook(*book, 8, file))
      state.SkipWithError("write failed");
    benchmark::DoNotOptimize(file.data());
  }
}
BENCHMARK(BM_Save_ArrayFormulas40000)->Unit(benchmark::kMillisecond);

} // namespace

// Opening a sheet with 10,000 comments, each an object with its text and a
// NOTE tying it to its cell.
void BM_Open_Comments10000(benchmark::State &state) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  formula::installFormulaEngine();
  auto book = std::make_unique<model::Workbook>();
  model::seedWorkbookTables(*book, model::Font{});
  auto sheet = std::make_unique<model::Sheet>();
  model::sheet_init(*sheet, model::SheetKind::Worksheet);
  sheet->name = u"Notes";
  for (int r = 0; r < 10000; ++r) {
    model::DrawingObject o;
    o.kind = model::kObjectComment;
    o.row = static_cast<std::uint16_t>(r);
    o.column = 1;
    o.anchor.first = {2, 0, static_cast<std::uint16_t>(r), 0};
    o.anchor.last = {4, 0, static_cast<std::uint16_t>(r + 4), 0};
    o.text = platform::fromUtf8("comment on row " + std::to_string(r + 1));
    o.author = u"Bench";
    sheet->objects.push_back(std::move(o));
  }
  book->sheets.push_back(std::move(sheet));
  std::vector<std::uint8_t> file;
  if (!biff::writeBinaryWorkbook(*book, 8, file))
    state.SkipWithError("write failed");
  for (auto _ : state) {
    model::Workbook back;
    model::seedWorkbookTables(back, model::Font{});
    if (!biff::readBinaryWorkbook(file, back) || back.sheet(0).objects.size() != 10000)
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(back.sheets.data());
  }
}
BENCHMARK(BM_Open_Comments10000)->Unit(benchmark::kMillisecond);
