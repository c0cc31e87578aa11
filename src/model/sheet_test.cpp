#include "model/sheet.h"

#include <gtest/gtest.h>

namespace model {
namespace {

TEST(Sheet, InitialStateByKind) {
  const struct {
    SheetKind kind;
    std::uint32_t flags;
  } rows[] = {
      {SheetKind::Worksheet, 0x0F},
      {SheetKind::Macro, 0x2F}, // macro sheets show formulas
      {SheetKind::Module, 0x2F},
  };
  for (const auto& row : rows) {
    Sheet s;
    s.flags = 0xFFFF;
    s.zoom = 55;
    s.cells.append(1, 1);
    s.mergedRanges.push_back(CellRange{0, 0, 1, 1});
    sheet_init(s, row.kind);
    EXPECT_EQ(s.flags, row.flags);
    EXPECT_EQ(s.zoom, 100);
    EXPECT_TRUE(s.cells.empty());
    EXPECT_TRUE(s.mergedRanges.empty());
    EXPECT_EQ(s.selectedObject, -1);
  }
}

TEST(Sheet, SizesWithoutRecordsAreTheDefaults) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  EXPECT_EQ(column_width(s, 0), 2048); // 8 characters
  EXPECT_EQ(row_height(s, 65535), 255);
  EXPECT_EQ(row_record(s, 7).flags, kLineDefaultSize);
  EXPECT_EQ(column_record(s, 7).formatIndex, 15);
  EXPECT_TRUE(s.rows.empty()); // asking creates nothing
}

TEST(Sheet, RecordsHiddenAndDefaultBits) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  set_column_record(s, 3, 0, 3000);
  set_column_record(s, 1, kLineHidden, 3000);
  set_column_record(s, 2, kLineDefaultSize, 9999); // size ignored
  set_row_record(s, 10, 0, 600);
  EXPECT_EQ(column_width(s, 3), 3000);
  EXPECT_EQ(column_width(s, 1), 0);
  EXPECT_EQ(column_width(s, 2), 2048);
  EXPECT_EQ(row_height(s, 10), 600);
  ASSERT_EQ(s.columns.size(), 3u);
  EXPECT_EQ(s.columns[0].column, 1); // kept sorted
  EXPECT_EQ(s.columns[2].column, 3);
}

TEST(Sheet, PixelOffsetsCountRunsAndRecords) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  const PixelScale scale{7, 96};
  // Default column: MulDiv(7, 2048, 256) = 56 px; default row: MulDiv(255, 96, 1440) = 17 px.
  EXPECT_EQ(column_px(s, 0, scale), 56);
  EXPECT_EQ(row_px(s, 0, scale), 17);
  EXPECT_EQ(column_offset_px(s, 10, 0, scale), 560);
  EXPECT_EQ(row_offset_px(s, 1000, 0, scale), 17000);
  EXPECT_EQ(column_offset_px(s, 256, 0, scale), 56 * 256); // the far edge

  set_column_record(s, 2, 0, 256 * 20);     // 140 px
  set_column_record(s, 4, kLineHidden, 0);  // 0 px
  EXPECT_EQ(column_offset_px(s, 6, 0, scale), 56 * 4 + 140);
  EXPECT_EQ(column_offset_px(s, 2, 512, scale), 112 + 70); // half of column 2

  set_row_record(s, 0, 0, 510); // 34 px
  EXPECT_EQ(row_offset_px(s, 2, 128, scale), 34 + 17 + 8);

  // At zoom 200 both factors double.
  EXPECT_EQ(row_offset_px(s, 1, 0, PixelScale{14, 192}), 68);
}

TEST(Sheet, ExplicitWidthsAndHeights) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  setColumnWidthChars(s, 0, 1, 10.5);
  EXPECT_EQ(column_width(s, 0), 2688); // 10.5 * 256
  EXPECT_EQ(column_record(s, 1).flags & (kLineDefaultSize | kLineHidden), 0u);
  setColumnWidthChars(s, 1, 1, 0);
  EXPECT_EQ(column_width(s, 1), 0);

  setRowHeightPoints(s, 4, 4, 20.02); // 400.4 twips, rounded half up
  EXPECT_EQ(row_height(s, 4), 400);
  EXPECT_TRUE(row_record(s, 4).flags & kLineCustomHeight);

  // All rows: the sheet default changes and every record returns to it.
  setRowHeightPoints(s, 0, 65535, 15);
  EXPECT_EQ(s.defaultRowHeight, 300);
  EXPECT_EQ(row_height(s, 4), 300);
  EXPECT_EQ(row_height(s, 60000), 300);
  EXPECT_EQ(s.flags & kSheetGlobalRowHeight, 0u);
}

TEST(Sheet, MergedRangesAndHyperlinks) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  ASSERT_TRUE(addMergedRange(s, CellRange{1, 1, 2, 3}));
  EXPECT_FALSE(addMergedRange(s, CellRange{2, 3, 4, 4})); // overlaps
  EXPECT_EQ(merged_range_at(s, 2, 2), 0);
  EXPECT_EQ(merged_range_at(s, 3, 2), -1);

  s.hyperlinks.push_back({packCell(0, 0), u"other.xls"});
  s.hyperlinks.push_back({packCell(0, 1), u"[b.xls]Sheet1!A1"});
  ASSERT_NE(hyperlinkAt(s, 0, 0), nullptr);
  storeCellInput(s, 0, 0, u"new", 15); // new input drops the cell's link only
  EXPECT_EQ(hyperlinkAt(s, 0, 0), nullptr);
  EXPECT_NE(hyperlinkAt(s, 0, 1), nullptr);
}

TEST(Sheet, StoringInputResetsTheCell) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  CellRecord& c = storeCellInput(s, 3, 4, u"=RAND()", 21);
  c.value = CellValue::number(0.5);
  c.calcState = CalcState::DisplayValid;
  c.display.assign(u"0.5");
  c.precedents = std::make_unique<PrecedentList>();
  CellRecord& again = storeCellInput(s, 3, 4, u"'123", 15);
  EXPECT_EQ(&again, &c);
  EXPECT_EQ(again.input.view(), u"'123"); // the apostrophe stays in the input
  EXPECT_TRUE(again.value.isEmpty());
  EXPECT_TRUE(again.display.isNull());
  EXPECT_EQ(again.precedents, nullptr);
  EXPECT_EQ(again.calcState, CalcState::NotValid);
  EXPECT_EQ(again.volatility, VolatilityClass::None);
  EXPECT_EQ(again.formatIndex, 15);
  EXPECT_EQ(s.cells.count(), 1u);
}

TEST(Sheet, LoadingAppendsWithVolatility) {
  CellTable t;
  append_cell(t, 0, 0, u"1", 15);
  CellRecord* f = append_cell(t, 0, 1, u"=TODAY()", 22);
  EXPECT_EQ(f->volatility, VolatilityClass::Volatile);
  EXPECT_EQ(f->formatIndex, 22);
  EXPECT_EQ(t.count(), 2u);
}

TEST(Sheet, PasswordVerifier) {
  const struct {
    std::u16string_view password;
    std::uint16_t verifier;
  } rows[] = {
      {u"", 0x0000},           // no password
      {u"abcdefghij", 0xFEF1}, // the worked example of the file format's documentation
      {u"password", 0x83AF},
  };
  for (const auto& row : rows)
    EXPECT_EQ(passwordVerifier(row.password), row.verifier);
  // Only the first 255 characters count.
  const std::u16string longer(300, u'a');
  EXPECT_EQ(passwordVerifier(longer), passwordVerifier(longer.substr(0, 255)));
}

TEST(Sheet, UsedRange) {
  Sheet s;
  sheet_init(s, SheetKind::Worksheet);
  CellRange r;
  EXPECT_FALSE(usedRange(s, r));
  s.cells.findOrInsert(2, 9);
  s.cells.findOrInsert(7, 1);
  ASSERT_TRUE(usedRange(s, r));
  EXPECT_EQ(r, (CellRange{0, 0, 7, 9}));
}

} // namespace
} // namespace model
