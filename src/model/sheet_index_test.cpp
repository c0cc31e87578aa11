// The indexes a sheet keeps over its row and column records and its merged
// ranges, checked against a plain walk after every step of random sequences
// of hiding, showing, sizing, merging and unmerging.

#include "model/line_index.h"
#include "model/range_index.h"
#include "model/sheet.h"
#include "platform/text_metrics.h"

#include <gtest/gtest.h>

#include <random>

namespace model {
namespace {

// The references: what a walk of every line or range gives.
bool rowHidden(const Sheet& s, int row) { return (row_record(s, static_cast<std::uint16_t>(row)).flags & kLineHidden) != 0; }
bool columnHidden(const Sheet& s, int column) {
  return (column_record(s, static_cast<std::uint8_t>(column)).flags & kLineHidden) != 0;
}
int walkMergedRangeAt(const Sheet& s, int row, int column) {
  for (size_t i = 0; i < s.mergedRanges.size(); ++i)
    if (s.mergedRanges[i].contains(row, column))
      return static_cast<int>(i);
  return -1;
}

TEST(RangeIndex, FindsTheFirstRangeHoldingACell) {
  // Overlapping ranges (a damaged file's) answer with the first in the list.
  const std::vector<CellRange> ranges = {{10, 2, 20, 4}, {0, 0, 0, 255}, {15, 3, 30, 3}, {15, 3, 15, 3}, {65535, 255, 65535, 255}};
  const RangeIndex index(ranges);
  const struct {
    int row, column, expected;
  } kCases[] = {
      {10, 2, 0}, {20, 4, 0}, {21, 4, -1}, {9, 2, -1}, {0, 0, 1}, {0, 255, 1}, {1, 0, -1},
      {15, 3, 0}, {25, 3, 2}, {31, 3, -1}, {25, 4, -1}, {65535, 255, 4}, {65535, 254, -1},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(index.find(c.row, c.column), c.expected) << c.row << "," << c.column;
  EXPECT_EQ(RangeIndex().find(0, 0), -1);
  EXPECT_EQ(RangeIndex(std::vector<CellRange>{}).find(0, 0), -1);
}

// A merged range is refused when it shares a cell with one already there
// (a corner, a crossing, one inside the other) or is inverted; touching
// edges are fine. Added one by one past the sizes at which the index merges
// its parts, every answer agrees with a walk of the list.
TEST(MergedRanges, OverlapRulesAndTheIndexAgreeWithAWalk) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  ASSERT_TRUE(addMergedRange(s, CellRange{10, 2, 12, 4}));
  const struct {
    CellRange range;
    bool added;
  } kRows[] = {
      {{12, 4, 13, 5}, false}, {{8, 0, 10, 2}, false},  {{11, 3, 11, 3}, false},
      {{0, 3, 65535, 3}, false}, {{9, 0, 20, 255}, false}, {{13, 2, 14, 4}, true},
      {{10, 5, 12, 6}, true},  {{5, 6, 4, 6}, false},   {{9, 2, 9, 4}, true},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(addMergedRange(s, row.range), row.added)
        << row.range.firstRow << "," << int(row.range.firstColumn);
  std::mt19937 rng(11);
  for (int i = 0; i < 3000; ++i) {
    const int r = static_cast<int>(rng() % 400), c = static_cast<int>(rng() % 256);
    const CellRange m{static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                      static_cast<std::uint16_t>(r + rng() % 3),
                      static_cast<std::uint8_t>(std::min(255, c + static_cast<int>(rng() % 3)))};
    bool free = true;
    for (const CellRange& o : s.mergedRanges.items())
      free = free && !o.intersects(m);
    ASSERT_EQ(addMergedRange(s, m), free) << i;
    const int qr = static_cast<int>(rng() % 402), qc = static_cast<int>(rng() % 256);
    ASSERT_EQ(merged_range_at(s, static_cast<std::uint16_t>(qr), static_cast<std::uint8_t>(qc)),
              walkMergedRangeAt(s, qr, qc)) << i;
  }
}

TEST(LineIndex, JumpsRunsAndSumsOffsets) {
  // Rows 2-4 hidden, 5 at 600 twips, 6 hidden, 8 with the default flag:
  // at 96 pixels per inch the default 255 twips is 17 pixels, 600 is 40.
  const std::vector<RowRecord> rows = {{2, kLineHidden, 255}, {3, kLineHidden, 255}, {4, kLineHidden | kLineDefaultSize, 255},
                                       {5, 0, 600}, {6, kLineHidden, 900}, {8, kLineDefaultSize, 1}};
  const LineIndex index(rows);
  const struct {
    int line, nextShown;
    long long offset;
  } kCases[] = {
      {0, 0, 0}, {1, 1, 17}, {2, 5, 34}, {3, 5, 34}, {4, 5, 34}, {5, 5, 34}, {6, 7, 74},
      {7, 7, 74}, {8, 8, 91}, {9, 9, 108}, {10, 10, 125}, {65536, 65536, 74 + 17LL * (65536 - 7) },
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(index.nextShown(c.line), c.nextShown) << c.line;
    EXPECT_EQ(index.offset(c.line, 255, 96, 1440), c.offset) << c.line;
  }
  // Another scale (twice the pixels per inch) and default size give their own sums.
  EXPECT_EQ(index.offset(10, 255, 192, 1440), 34 + 34 + 80 + 34 + 34 + 34);
  EXPECT_EQ(index.offset(10, 300, 96, 1440), 20 + 20 + 40 + 20 + 20 + 20);
  EXPECT_EQ(index.offset(10, 255, 96, 1440), 125);
}

// One random step on a sheet: hide, show or size a run of rows or columns,
// change the default row height, or merge or unmerge a range.
void randomStep(Sheet& s, std::mt19937& rng, int rowSpan) {
  std::uniform_int_distribution<int> kind(0, 8);
  std::uniform_int_distribution<int> rowPick(0, rowSpan);
  std::uniform_int_distribution<int> columnPick(0, kMaxColumn);
  std::uniform_int_distribution<int> length(0, 40);
  const int r1 = rowPick(rng), r2 = std::min(kMaxRow, r1 + length(rng));
  const int c1 = columnPick(rng), c2 = std::min(kMaxColumn, c1 + length(rng) / 8);
  const auto row = [](int r) { return static_cast<std::uint16_t>(r); };
  const auto column = [](int c) { return static_cast<std::uint8_t>(c); };
  switch (kind(rng)) {
  case 0: setRowHeightPoints(s, row(r1), row(r2), 0); break;
  case 1:
    for (int r = r1; r <= r2; ++r) {
      const RowRecord old = row_record(s, row(r));
      set_row_record(s, row(r), old.flags & ~kLineHidden, old.size);
    }
    break;
  case 2: setRowHeightPoints(s, row(r1), row(r2), 1 + r1 % 40); break;
  case 3: setColumnWidthChars(s, column(c1), column(c2), 0); break;
  case 4:
    for (int c = c1; c <= c2; ++c) {
      const ColumnRecord old = column_record(s, column(c));
      set_column_record(s, column(c), old.flags & ~kLineHidden, old.size);
    }
    break;
  case 5: setColumnWidthChars(s, column(c1), column(c2), 1 + c1 % 20); break;
  case 6: setRowHeightPoints(s, 0, kMaxRow, 10 + r1 % 10); break;
  case 7: (void)addMergedRange(s, CellRange{row(r1), column(c1), row(std::min(r2, r1 + 3)), column(c2)}); break;
  case 8:
    if (!s.mergedRanges.empty())
      s.mergedRanges.erase(s.mergedRanges.begin() + static_cast<long>(rng() % s.mergedRanges.size()));
    break;
  }
}

TEST(SheetIndexes, AgreeWithAWalkAfterEveryChange) {
  const struct {
    unsigned seed;
    int steps;
    int rowSpan; // rows the steps touch
    PixelScale scale;
  } kCases[] = {
      {1, 60, 200, {7, 96}},
      {2, 60, 2000, {8, 120}},
      {3, 100, 60, {5, 72}},
      {4, 40, kMaxRow, {7, 96}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.seed);
    std::mt19937 rng(c.seed);
    Sheet s;
    sheet_init(s, SheetKind::Worksheet);
    std::uniform_int_distribution<int> rowPick(0, std::min(kMaxRow, c.rowSpan + 50));
    std::uniform_int_distribution<int> columnPick(0, kMaxColumn);
    for (int step = 0; step < c.steps; ++step) {
      randomStep(s, rng, c.rowSpan);
      // The walk: every line's size and whether it is hidden, summed and
      // scanned from the end.
      std::vector<long long> rowOffsets(kRowCount + 1, 0), columnOffsets(kColumnCount + 1, 0);
      std::vector<int> rowNext(kRowCount + 1, kRowCount), columnNext(kColumnCount + 1, kColumnCount);
      for (int i = 0; i < kRowCount; ++i)
        rowOffsets[i + 1] = rowOffsets[i] + row_px(s, static_cast<std::uint16_t>(i), c.scale);
      for (int i = kMaxRow; i >= 0; --i)
        rowNext[i] = rowHidden(s, i) ? rowNext[i + 1] : i;
      for (int i = 0; i < kColumnCount; ++i)
        columnOffsets[i + 1] = columnOffsets[i] + column_px(s, static_cast<std::uint8_t>(i), c.scale);
      for (int i = kMaxColumn; i >= 0; --i)
        columnNext[i] = columnHidden(s, i) ? columnNext[i + 1] : i;
      // Lines near the changes, the ends of the sheet and random ones.
      for (int probe = 0; probe < 40; ++probe) {
        const int r = probe == 0 ? 0 : probe == 1 ? kMaxRow : rowPick(rng);
        const int col = probe == 0 ? 0 : probe == 1 ? kMaxColumn : columnPick(rng);
        ASSERT_EQ(nextShownRow(s, r), rowNext[r]) << "step " << step << " row " << r;
        ASSERT_EQ(nextShownColumn(s, col), columnNext[col]) << "step " << step << " column " << col;
        ASSERT_EQ(merged_range_at(s, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(col)),
                  walkMergedRangeAt(s, r, col))
            << "step " << step << " cell " << r << "," << col;
        ASSERT_EQ(row_offset_px(s, r, 0, c.scale), rowOffsets[r]) << "step " << step << " row " << r;
        ASSERT_EQ(column_offset_px(s, col, 0, c.scale), columnOffsets[col]) << "step " << step << " column " << col;
      }
      ASSERT_EQ(row_offset_px(s, kRowCount, 0, c.scale), rowOffsets[kRowCount]);
      ASSERT_EQ(column_offset_px(s, kColumnCount, 0, c.scale), columnOffsets[kColumnCount]);
      // Every merged range answers for its own corners.
      for (size_t i = 0; i < s.mergedRanges.size(); ++i) {
        const CellRange& m = s.mergedRanges[i];
        ASSERT_EQ(merged_range_at(s, m.lastRow, m.lastColumn), walkMergedRangeAt(s, m.lastRow, m.lastColumn));
        ASSERT_EQ(merged_range_at(s, m.firstRow, m.firstColumn), static_cast<int>(i));
      }
    }
  }
}

// A list copied to another sheet, a list replaced whole and a list changed
// through a loop over its records each answer from their own records.
TEST(SheetIndexes, FollowCopiesAndWholeReplacements) {
  Sheet a;
  sheet_init(a, SheetKind::Worksheet);
  setRowHeightPoints(a, 10, 19, 0);
  ASSERT_TRUE(addMergedRange(a, CellRange{1, 1, 2, 2}));
  EXPECT_EQ(nextShownRow(a, 10), 20);
  EXPECT_EQ(merged_range_at(a, 2, 2), 0);

  Sheet b;
  sheet_init(b, SheetKind::Worksheet);
  b.rows = a.rows;
  b.mergedRanges = a.mergedRanges;
  EXPECT_EQ(nextShownRow(b, 10), 20);
  EXPECT_EQ(merged_range_at(b, 2, 2), 0);
  setRowHeightPoints(b, 20, 29, 0);
  b.mergedRanges.clear();
  EXPECT_EQ(nextShownRow(b, 10), 30);
  EXPECT_EQ(nextShownRow(a, 10), 20);
  EXPECT_EQ(merged_range_at(b, 2, 2), -1);
  EXPECT_EQ(merged_range_at(a, 2, 2), 0);

  a.rows = std::vector<RowRecord>{{5, kLineHidden, 255}};
  EXPECT_EQ(nextShownRow(a, 10), 10);
  EXPECT_EQ(nextShownRow(a, 5), 6);
  for (RowRecord& r : a.rows)
    r.flags &= ~kLineHidden;
  EXPECT_EQ(nextShownRow(a, 5), 5);

  a.mergedRanges = std::vector<CellRange>{{7, 7, 9, 9}};
  EXPECT_EQ(merged_range_at(a, 8, 8), 0);
  a.mergedRanges[0].lastRow = 7;
  EXPECT_EQ(merged_range_at(a, 8, 8), -1);
}

} // namespace
} // namespace model
