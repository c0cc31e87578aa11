#include "model/undo.h"

#include "model/failing_allocator_test_util.h"
#include "model/services.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace model {
namespace {

class UndoTest : public ::testing::Test {
protected:
  UndoTest() : scope(ui) {
    modelServices() = {};
    undoList().clear();
    EXPECT_TRUE(books.new_workbook(nullptr));
  }
  ~UndoTest() override { undoList().clear(); }

  Workbook& book() { return *books.active(); }
  void put(Sheet& s, int row, int column, std::u16string_view text, std::uint16_t format = 15) {
    storeCellInput(s, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column), text, format);
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  WorkbookList books;
};

TEST(UndoLabels, EveryActionHasTheMenuLabel) {
  const struct {
    int action;
    std::u16string_view label;
  } rows[] = {
      {kUndoInput, u"输入内容"},      {kUndoClear, u"清除"},
      {kUndoDeleteWorksheet, u"删除工作表"}, {kUndoRowHeight, u"行高"},
      {kUndoRenameSheet, u"重命名工作表"}, {kUndoZoom, u"显示比例"},
      {kUndoShowFormulas, u"显示公式"},   {kUndoEditComment, u"edit comment"},
      {kUndoUnhideSheet, u"取消隐藏工作表"}, {kUndoValidation, u"validation"},
      {kUndoGoalSeek, u"单变量求解    "}, // four trailing blanks
      {-1, u""},                          {kUndoActionCount, u""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(undo_label(row.action), row.label) << row.action;
}

TEST_F(UndoTest, SixteenEntriesAtMostTheOldestGoesFirst) {
  // 17 changes: the first (zoom) falls off, the other 16 stay in order.
  ASSERT_TRUE(push_undo(book(), 0, kUndoZoom));
  for (int i = 0; i < 16; ++i)
    ASSERT_TRUE(push_undo(book(), 0, kUndoGridlines));
  ASSERT_EQ(undoList().size(), 16u);
  for (size_t i = 0; i < undoList().size(); ++i)
    EXPECT_EQ(undoList().at(i).action, kUndoGridlines);
  EXPECT_EQ(undoList().newestLabel(), std::u16string(u"网格线"));
  undoList().clear();
  EXPECT_EQ(undoList().newestLabel(), std::nullopt);
}

TEST_F(UndoTest, EntriesNameTheirSheetByIdWhateverItsPosition) {
  ASSERT_TRUE(insert_sheet(book(), 1, u"Data", SheetKind::Worksheet, false));
  const std::uint32_t dataId = book().sheet(1).id;
  undoList().clear();
  book().sheet(1).zoom = 150;
  ASSERT_TRUE(push_undo(book(), 1, kUndoZoom));
  // Two sheets arrive in front of it and it moves to the end.
  ASSERT_TRUE(insert_sheet(book(), 0, u"A", SheetKind::Worksheet, false));
  ASSERT_TRUE(insert_sheet(book(), 0, u"B", SheetKind::Worksheet, false));
  book().activeSheet = 3;
  ASSERT_TRUE(move_active_sheet(book(), 0));
  const UndoEntry& e = undoList().at(0);
  EXPECT_EQ(e.sheetId, dataId);
  EXPECT_EQ(e.sheetIndex, 1); // where it stood then
  ASSERT_EQ(sheetIndexOfId(book(), e.sheetId), 0);
  EXPECT_EQ(book().sheet(0).name, u"Data");
  EXPECT_EQ(e.view.zoom, 150);
  EXPECT_EQ(e.workbookId, book().id);
  EXPECT_EQ(sheetIndexOfId(book(), 0xFFFFFFFF), -1);
}

TEST_F(UndoTest, ViewStateIsKeptAndPutBack) {
  Sheet& s = book().active();
  s.zoom = 75;
  s.flags = (s.flags & ~kSheetShowGridlines) | kSheetProtected | kSheetAutoFilter; // bit 7 is not view state
  s.activeRow = 9;
  s.activeColumn = 3;
  s.selectionFirst = packCell(9, 3);
  s.selectionLast = packCell(12, 4);
  s.topRow = 5;
  s.protectionVerifier = 0xCE4B;
  const SheetViewState v = captureViewState(s);
  s.name = u"Renamed";
  s.zoom = 200;
  s.flags = 0x0F;
  s.activeRow = s.topRow = 0;
  s.selectionFirst = s.selectionLast = 0;
  s.protectionVerifier = 0;
  restoreViewState(s, v);
  EXPECT_EQ(s.name, u"Sheet1");
  EXPECT_EQ(s.zoom, 75);
  EXPECT_EQ(s.flags, (0x0Fu & ~kSheetShowGridlines) | kSheetProtected); // bit 7 left as it was
  EXPECT_EQ(s.activeRow, 9);
  EXPECT_EQ(s.topRow, 5);
  EXPECT_EQ(s.selectionLast, packCell(12, 4));
  EXPECT_EQ(s.protectionVerifier, 0xCE4B);
}

TEST_F(UndoTest, RangeSnapshotHoldsTheCellsAndTheRecordsThatMeetTheRange) {
  Sheet& s = book().active();
  put(s, 1, 1, u"in", 21);
  put(s, 2, 2, u"=B2*2");
  put(s, 5, 5, u"out");
  put(s, 0, 1, u"above");
  s.arrayFormulas.push_back({CellRange{2, 1, 3, 1}, u""});   // meets the range
  s.arrayFormulas.push_back({CellRange{10, 0, 11, 0}, u""}); // does not
  ASSERT_TRUE(addMergedRange(s, CellRange{3, 2, 4, 3}));
  s.hyperlinks.push_back({packCell(1, 2), u"a.xls"});
  s.hyperlinks.push_back({packCell(9, 9), u"b.xls"});
  ValidationRule v;
  v.ranges = {CellRange{0, 0, 1, 1}};
  s.validations.push_back(v);
  ConditionalFormat f;
  f.ranges = {CellRange{8, 8, 9, 9}};
  s.conditionalFormats.push_back(f);
  DrawingObject note;
  note.kind = kObjectComment;
  note.row = 2;
  note.column = 1;
  note.text = u"check";
  s.objects.push_back(note);
  set_column_record(s, 2, 0, 4000);
  set_column_record(s, 7, 0, 4000);

  ASSERT_TRUE(push_undo_range(book(), 0, kUndoInput, CellRange{1, 1, 3, 2}));
  const SavedRange& snap = *undoList().newest()->snapshot;
  EXPECT_EQ(snap.range, (CellRange{1, 1, 3, 2}));
  ASSERT_EQ(snap.cells.size(), 2u);
  EXPECT_EQ(snap.cells[0].input, u"in");
  EXPECT_EQ(snap.cells[0].formatIndex, 21);
  EXPECT_EQ(snap.cells[1].input, u"=B2*2");
  EXPECT_EQ(snap.cells[1].row, 2);
  ASSERT_EQ(snap.arrayFormulas.size(), 1u);
  EXPECT_EQ(snap.arrayFormulas[0].range, (CellRange{2, 1, 3, 1}));
  ASSERT_EQ(snap.mergedRanges.size(), 1u);
  ASSERT_EQ(snap.hyperlinks.size(), 1u);
  EXPECT_EQ(snap.hyperlinks[0].target, u"a.xls");
  EXPECT_EQ(snap.validations.size(), 1u);
  EXPECT_TRUE(snap.conditionalFormats.empty());
  ASSERT_EQ(snap.comments.size(), 1u);
  EXPECT_EQ(snap.comments[0].text, u"check");
  ASSERT_EQ(snap.columns.size(), 1u);
  EXPECT_EQ(snap.columns[0].column, 2);
}

TEST_F(UndoTest, ClearOfWholeColumnsSnapshotsOnlyUpToTheLastUsedRow) {
  Sheet& s = book().active();
  put(s, 3, 0, u"x");
  set_row_record(s, 7, 0, 400);
  const CellRange columns{0, 0, static_cast<std::uint16_t>(kMaxRow), 2};
  const struct {
    UndoAction action;
    int lastRow;
  } rows[] = {
      {kUndoClear, 7},        // lowered to the row record
      {kUndoCellFormat, 7},
      {kUndoInput, kMaxRow},  // typing keeps the range it writes
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(push_undo_range(book(), 0, row.action, columns));
    EXPECT_EQ(undoList().newest()->snapshot->range.lastRow, row.lastRow) << row.action;
  }
}

TEST_F(UndoTest, RowAndColumnRecordsGoIntoTheNewestEntryOfTheSameSheet) {
  Sheet& s = book().active();
  set_row_record(s, 2, kLineCustomHeight, 600);
  set_row_record(s, 9, kLineCustomHeight, 700);
  set_column_record(s, 4, 0, 5000);
  ASSERT_TRUE(push_undo(book(), 0, kUndoRowHeight));
  ASSERT_TRUE(save_row_records(book(), 0, CellRange{0, 0, 5, 255}));
  ASSERT_TRUE(save_column_records(book(), 0, CellRange{0, 3, 0, 4}));
  const UndoEntry& e = *undoList().newest();
  ASSERT_EQ(e.rows.size(), 1u);
  EXPECT_EQ(e.rows[0].size, 600);
  ASSERT_EQ(e.columns.size(), 1u);
  EXPECT_EQ(e.columns[0].column, 4);
  // Another sheet's records never go into this entry.
  ASSERT_TRUE(insert_sheet(book(), 1, u"Other", SheetKind::Worksheet, false));
  EXPECT_FALSE(save_row_records(book(), 1, CellRange{0, 0, 5, 255}));
}

TEST_F(UndoTest, DeletingASheetKeepsTheWholeSheetInItsEntry) {
  ASSERT_TRUE(insert_sheet(book(), 1, u"Gone", SheetKind::Worksheet, false));
  Sheet& gone = book().sheet(1);
  put(gone, 0, 0, u"kept");
  DrawingObject box;
  gone.objects.push_back(box);
  gone.pageSetup.header = u"H";
  undoList().clear();
  ASSERT_TRUE(delete_active_sheet(book()));
  ASSERT_EQ(undoList().size(), 1u);
  const UndoEntry& e = *undoList().newest();
  EXPECT_EQ(e.action, kUndoDeleteWorksheet);
  EXPECT_EQ(e.sheetIndex, 1);
  ASSERT_NE(e.detachedSheet, nullptr);
  EXPECT_EQ(e.detachedSheet->name, u"Gone");
  ASSERT_NE(cell_at(*e.detachedSheet, 0, 0), nullptr);
  EXPECT_EQ(cell_at(*e.detachedSheet, 0, 0)->input.view(), u"kept");
  EXPECT_EQ(e.detachedSheet->objects.size(), 1u);
  EXPECT_EQ(e.detachedSheet->pageSetup.header, u"H");
}

TEST_F(UndoTest, SheetCommandsRecordTheirActions) {
  ASSERT_TRUE(insert_sheet(book(), 1, u"S2", SheetKind::Worksheet, true));
  ASSERT_TRUE(hide_sheet(book(), 1));
  ASSERT_TRUE(unhide_sheet(book(), 1));
  ASSERT_TRUE(rename_active_sheet(book(), u"Renamed"));
  ASSERT_TRUE(insert_sheet(book(), 2, std::nullopt, SheetKind::Macro, true));
  ASSERT_TRUE(delete_active_sheet(book()));
  const int want[] = {kUndoInsertWorksheet, kUndoHideSheet, kUndoUnhideSheet, kUndoRenameSheet,
                      kUndoInsertMacroSheet, kUndoDeleteMacroSheet};
  ASSERT_EQ(undoList().size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i)
    EXPECT_EQ(undoList().at(i).action, want[i]) << i;
  // The inserted sheet's entry names the new sheet.
  EXPECT_EQ(undoList().at(0).sheetId, book().sheet(1).id);
}

TEST_F(UndoTest, ClosingAWorkbookDropsItsEntriesOnly) {
  const std::uint64_t first = book().id;
  ASSERT_TRUE(push_undo(book(), 0, kUndoZoom));
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_TRUE(push_undo(book(), 0, kUndoGridlines));
  ASSERT_TRUE(push_undo(book(), 0, kUndoHeaders));
  EXPECT_FALSE(books.close_workbook()); // unmodified: closes without asking
  ASSERT_EQ(undoList().size(), 1u);
  EXPECT_EQ(undoList().at(0).workbookId, first);
}

TEST_F(UndoTest, WhenRecordingFailsTheSheetCommandDoesNotRun) {
  ASSERT_TRUE(insert_sheet(book(), 1, u"Second", SheetKind::Worksheet, false));
  undoList().clear();
  const struct {
    const char* what;
    bool (*command)(Workbook&);
  } rows[] = {
      {"hide", [](Workbook& b) { return hide_sheet(b, 1); }},
      {"rename", [](Workbook& b) { return rename_active_sheet(b, u"New name"); }},
      {"delete", [](Workbook& b) { return delete_active_sheet(b); }},
      {"insert", [](Workbook& b) {
         return insert_sheet(b, 0, u"Inserted", SheetKind::Worksheet, true);
       }},
  };
  for (const auto& row : rows) {
    ui.clearShown();
    testalloc::failNextAllocationOf(sizeof(UndoEntry));
    EXPECT_FALSE(row.command(book())) << row.what;
    EXPECT_FALSE(testalloc::armed()) << row.what << ": the recorder never allocated its entry";
    ASSERT_EQ(ui.shown().size(), 1u) << row.what;
    EXPECT_EQ(ui.shown()[0].text, u"Insufficient memory");
    EXPECT_TRUE(undoList().empty()) << row.what;
    EXPECT_EQ(book().sheetCount(), 2) << row.what;
    EXPECT_EQ(book().sheet(1).name, u"Second") << row.what;
    EXPECT_EQ(book().sheet(1).hidden, 0) << row.what;
    EXPECT_EQ(book().modified, 0) << row.what;
  }
}

} // namespace
} // namespace model
