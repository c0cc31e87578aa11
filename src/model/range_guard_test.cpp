#include "model/range_guard.h"

#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace model {
namespace {

class RangeGuardTest : public ::testing::Test {
protected:
  RangeGuardTest() : scope(ui) { EXPECT_TRUE(books.new_workbook(nullptr)); }
  Workbook& book() { return *books.active(); }
  Sheet& sheet() { return book().active(); }
  std::uint16_t unlockedFormat() {
    CellFormat f = book().cellFormats[kDefaultCellFormat];
    f.flags &= ~kFormatLocked;
    return static_cast<std::uint16_t>(findOrAddCellFormat(book(), f));
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  WorkbookList books;
};

TEST_F(RangeGuardTest, ProtectionRefusesARangeWithALockedCell) {
  const std::uint16_t open = unlockedFormat();
  storeCellInput(sheet(), 0, 0, u"unlocked", open);
  storeCellInput(sheet(), 1, 0, u"locked", kDefaultCellFormat);
  set_column_format(sheet(), 3, open); // column D is unlocked, empty cells included
  const struct {
    bool protectedSheet;
    CellRange range;
    GuardRefusal want;
  } rows[] = {
      {false, CellRange{1, 0, 1, 0}, GuardRefusal::None},       // not protected
      {true, CellRange{0, 0, 0, 0}, GuardRefusal::None},        // the unlocked cell
      {true, CellRange{1, 0, 1, 0}, GuardRefusal::Protected},   // the locked cell
      {true, CellRange{0, 0, 1, 0}, GuardRefusal::Protected},   // one of them locked
      {true, CellRange{5, 3, 9000, 3}, GuardRefusal::None},     // the unlocked column
      {true, CellRange{5, 2, 5, 3}, GuardRefusal::Protected},   // an empty cell of column C
  };
  for (const auto& row : rows) {
    sheet().flags = row.protectedSheet ? (sheet().flags | kSheetProtected) : (sheet().flags & ~kSheetProtected);
    EXPECT_EQ(checkRange(book(), sheet(), row.range, kGuardProtection), row.want)
        << row.range.firstRow << "," << int(row.range.firstColumn);
  }
  EXPECT_FALSE(isCellLocked(book(), sheet(), 0, 0));
  EXPECT_TRUE(isCellLocked(book(), sheet(), 1, 0));
  EXPECT_FALSE(isCellLocked(book(), sheet(), 400, 3));
}

TEST_F(RangeGuardTest, ArrayFormulasRefusePartialOverlap) {
  sheet().arrayFormulas.push_back({CellRange{1, 1, 3, 1}, u""}); // B2:B4
  const struct {
    CellRange range;
    unsigned checks;
    int activeRow, activeColumn;
    GuardRefusal want;
  } rows[] = {
      {CellRange{1, 1, 3, 1}, kGuardArrayPart, 0, 0, GuardRefusal::None},       // exactly the array
      {CellRange{0, 0, 5, 5}, kGuardArrayPart, 0, 0, GuardRefusal::None},       // holds it whole
      {CellRange{2, 1, 5, 1}, kGuardArrayPart, 0, 0, GuardRefusal::ArrayPart},  // half of it
      {CellRange{3, 0, 3, 3}, kGuardArrayPart, 0, 0, GuardRefusal::ArrayPart},
      {CellRange{2, 1, 2, 1}, kGuardArrayEntry, 2, 1, GuardRefusal::ArrayPart}, // typing into B3
      {CellRange{1, 1, 3, 1}, kGuardArrayEntry, 2, 1, GuardRefusal::None},      // the whole array selected
      {CellRange{0, 0, 0, 0}, kGuardArrayEntry, 0, 0, GuardRefusal::None},
  };
  for (const auto& row : rows) {
    sheet().activeRow = static_cast<std::uint16_t>(row.activeRow);
    sheet().activeColumn = static_cast<std::uint8_t>(row.activeColumn);
    EXPECT_EQ(checkRange(book(), sheet(), row.range, row.checks), row.want) << row.range.firstRow;
  }
}

TEST_F(RangeGuardTest, MergedCellsByTheCommandsRule) {
  ASSERT_TRUE(addMergedRange(sheet(), CellRange{0, 0, 1, 1})); // A1:B2
  const struct {
    CellRange range;
    unsigned checks;
    GuardRefusal want;
  } rows[] = {
      {CellRange{0, 0, 3, 3}, kGuardMergedPart, GuardRefusal::None},         // holds it whole
      {CellRange{1, 1, 3, 3}, kGuardMergedPart, GuardRefusal::MergedCells},  // cuts it
      {CellRange{0, 0, 3, 3}, kGuardMergedAny, GuardRefusal::MergedCells},   // fill: any merge refuses
      {CellRange{0, 0, 3, 3}, kGuardMergedArray, GuardRefusal::ArrayMerged},
      {CellRange{5, 5, 6, 6}, kGuardMergedAny | kGuardMergedArray, GuardRefusal::None},
  };
  for (const auto& row : rows)
    EXPECT_EQ(checkRange(book(), sheet(), row.range, row.checks), row.want) << row.checks;
}

TEST_F(RangeGuardTest, AutoFilterRefusesItsColumns) {
  sheet().flags |= kSheetAutoFilter;
  sheet().autoFilter = {0, 2, 50, 4, {}}; // C1:E51
  EXPECT_EQ(checkRange(book(), sheet(), CellRange{0, 3, kMaxRow, 3}, kGuardAutoFilterColumns),
            GuardRefusal::AutoFilter);
  EXPECT_EQ(checkRange(book(), sheet(), CellRange{0, 5, kMaxRow, 6}, kGuardAutoFilterColumns),
            GuardRefusal::None);
  sheet().flags &= ~kSheetAutoFilter;
  EXPECT_EQ(checkRange(book(), sheet(), CellRange{0, 3, kMaxRow, 3}, kGuardAutoFilterColumns),
            GuardRefusal::None);
}

TEST_F(RangeGuardTest, ChecksRunInOrderAndTheFirstRefusalShowsItsMessage) {
  sheet().flags |= kSheetProtected;
  sheet().arrayFormulas.push_back({CellRange{0, 0, 1, 0}, u""});
  const struct {
    unsigned checks;
    std::u16string_view text;
    bool productCaption;
  } rows[] = {
      {kGuardProtection | kGuardArrayPart, u"单元格被保护，\n请先解除保护再修改。", false},
      {kGuardArrayPart, u"直接修改会破坏数组公式！\n编辑后请按 Ctrl+Shift+回车！", false},
  };
  for (const auto& row : rows) {
    ui.clearShown();
    EXPECT_FALSE(guard_range(book(), sheet(), CellRange{1, 0, 2, 0}, row.checks));
    ASSERT_EQ(ui.shown().size(), 1u);
    EXPECT_EQ(ui.shown()[0].text, row.text);
    EXPECT_EQ(ui.shown()[0].caption.has_value(), row.productCaption);
  }
  ui.clearShown();
  ASSERT_TRUE(addMergedRange(sheet(), CellRange{5, 5, 5, 6}));
  EXPECT_FALSE(guard_range(book(), sheet(), CellRange{5, 5, 5, 5}, kGuardMergedArray));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"Array formulas are not valid in merged cells");
  EXPECT_EQ(ui.shown()[0].caption, std::u16string(u"Cellwick"));
  ui.clearShown();
  sheet().flags &= ~kSheetProtected;
  sheet().activeRow = sheet().activeColumn = 9;
  EXPECT_TRUE(guard_range(book(), sheet(), CellRange{9, 9, 9, 9}, ~0u)); // nothing there to refuse
  EXPECT_TRUE(ui.shown().empty());
}

} // namespace
} // namespace model
