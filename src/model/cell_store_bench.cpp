// Cell store workloads: loading a sheet in file order, typing or pasting in
// random order, looking cells up, and the memory a numeric cell costs.

#include "model/sheet.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace model;

std::u16string numberText(int i) {
  std::u16string s;
  for (char c : std::to_string(i * 7 + 0.25))
    s += static_cast<char16_t>(c);
  return s.substr(0, 9);
}

// 20,000 merged ranges added one by one, each checked against those before
// it, as a paste of a block full of merged cells adds them: two-row ranges
// across the columns, then three-row ranges in shuffled order below them,
// and every range once more (each refused as overlapping).
void BM_AddMergedRanges_OneByOne(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<CellRange> ranges;
  for (int i = 0; i < count / 2; ++i) {
    const auto row = static_cast<std::uint16_t>(2 * (i / kColumnCount));
    const auto column = static_cast<std::uint8_t>(i % kColumnCount);
    ranges.push_back({row, column, static_cast<std::uint16_t>(row + 1), column});
  }
  const int below = 2 * (count / 2 / kColumnCount + 1);
  std::vector<CellRange> shuffled;
  for (int i = 0; i < count - count / 2; ++i) {
    const auto row = static_cast<std::uint16_t>(below + 3 * (i / kColumnCount));
    const auto column = static_cast<std::uint8_t>(i % kColumnCount);
    shuffled.push_back({row, column, static_cast<std::uint16_t>(row + 2), column});
  }
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  ranges.insert(ranges.end(), shuffled.begin(), shuffled.end());
  for (auto _ : state) {
    auto sheet = std::make_unique<Sheet>();
    sheet_init(*sheet, SheetKind::Worksheet);
    size_t added = 0;
    for (const CellRange& r : ranges)
      added += addMergedRange(*sheet, r) ? 1 : 0;
    for (const CellRange& r : ranges)
      added += addMergedRange(*sheet, r) ? 1 : 0;
    if (added != ranges.size())
      state.SkipWithError("wrong merged range count");
    benchmark::DoNotOptimize(sheet->mergedRanges.size());
  }
  state.SetItemsProcessed(state.iterations() * 2 * count);
}
BENCHMARK(BM_AddMergedRanges_OneByOne)->Arg(20000)->Unit(benchmark::kMillisecond);

// Load order: 65,536 rows x 16 columns of numbers, as a file reader appends them.
void BM_Append_LoadOrder(benchmark::State& state) {
  const std::u16string text = u"12345.678";
  for (auto _ : state) {
    auto sheet = std::make_unique<Sheet>();
    sheet_init(*sheet, SheetKind::Worksheet);
    for (int r = 0; r < 65536; ++r)
      for (int c = 0; c < 16; ++c) {
        CellRecord* rec = append_cell(sheet->cells, static_cast<std::uint16_t>(r),
                                      static_cast<std::uint8_t>(c), text, 15);
        rec->value = CellValue::number(12345.678);
        rec->calcState = CalcState::ValueValid;
      }
    if (sheet->cells.count() != 65536u * 16)
      state.SkipWithError("wrong cell count");
    // Closing the workbook is another workload.
    state.PauseTiming();
    sheet.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 65536 * 16);
}
BENCHMARK(BM_Append_LoadOrder)->Unit(benchmark::kMillisecond);

// The same 1,048,576 cells stored through the input path in random order.
void BM_StoreInput_RandomOrder(benchmark::State& state) {
  std::vector<std::uint32_t> order(65536u * 16);
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  const std::u16string text = u"12345.678";
  for (auto _ : state) {
    Sheet sheet;
    sheet_init(sheet, SheetKind::Worksheet);
    for (std::uint32_t k : order)
      storeCellInput(sheet, static_cast<std::uint16_t>(k / 16), static_cast<std::uint8_t>(k % 16),
                     text, 15);
    // The store must come out sorted and complete.
    std::uint32_t expected = 0;
    bool sorted = true;
    sheet.cells.forEach([&](const CellRecord& c) {
      sorted &= c.row == expected / 16 && c.column == expected % 16;
      ++expected;
    });
    if (!sorted || expected != order.size())
      state.SkipWithError("store out of order");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(order.size()));
}
BENCHMARK(BM_StoreInput_RandomOrder)->Unit(benchmark::kMillisecond);

// Looking up random cells of a 1,000,000-cell sheet (62,500 rows x 16 columns).
void BM_FindCell_MillionCells(benchmark::State& state) {
  Sheet sheet;
  sheet_init(sheet, SheetKind::Worksheet);
  for (int r = 0; r < 62500; ++r)
    for (int c = 0; c < 16; ++c)
      sheet.cells.append(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
  std::mt19937 rng(3);
  std::vector<std::pair<std::uint16_t, std::uint8_t>> keys(4096);
  for (auto& k : keys)
    k = {static_cast<std::uint16_t>(rng() % 62500), static_cast<std::uint8_t>(rng() % 20)};
  size_t i = 0, found = 0;
  for (auto _ : state) {
    const auto& k = keys[i++ & 4095];
    const auto s = find_cell(sheet.cells, k.first, k.second);
    found += s.found;
    benchmark::DoNotOptimize(s);
  }
  // Columns 16-19 are never stored, so about a fifth of the lookups miss.
  if (i >= 4096 && (found == 0 || found == i))
    state.SkipWithError("lookups all hit or all missed");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindCell_MillionCells);

// Heap bytes per stored numeric cell, its input text included.
void BM_Memory_NumericCell(benchmark::State& state) {
  double bytesPerCell = 0;
  for (auto _ : state) {
    const size_t before = mallinfo2().uordblks;
    auto* sheet = new Sheet;
    sheet_init(*sheet, SheetKind::Worksheet);
    const int cells = 65536 * 16;
    for (int k = 0; k < cells; ++k) {
      CellRecord* rec = append_cell(sheet->cells, static_cast<std::uint16_t>(k / 16),
                                    static_cast<std::uint8_t>(k % 16), numberText(k), 15);
      rec->value = CellValue::number(k * 7 + 0.25);
    }
    const size_t after = mallinfo2().uordblks;
    bytesPerCell = static_cast<double>(after - before) / cells;
    delete sheet;
  }
  state.counters["bytes_per_cell"] = bytesPerCell;
}
BENCHMARK(BM_Memory_NumericCell)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
