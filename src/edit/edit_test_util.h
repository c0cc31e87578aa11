#pragma once
// A workbook list with the formula engine, headless window services and
// helpers to put and read cells, for the editing commands' tests.

#include "edit/clipboard.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace edit {

class EditTest : public ::testing::Test {
protected:
  EditTest() : scope(ui) {
    formula::installFormulaEngine();
    model::undoList().clear();
    model::undoList().setByteCap(model::UndoList::kDefaultByteCap);
    free_clipboard();
    EXPECT_TRUE(books.new_workbook(nullptr));
  }
  ~EditTest() override {
    model::undoList().clear();
    model::undoList().setByteCap(model::UndoList::kDefaultByteCap);
    free_clipboard();
  }

  model::Workbook& book() { return *books.active(); }
  model::Sheet& sheet() { return book().active(); }
  int sheetIndex() { return book().activeSheet; }

  static model::CellRange range(int r1, int c1, int r2, int c2) {
    return {static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1), static_cast<std::uint16_t>(r2),
            static_cast<std::uint8_t>(c2)};
  }
  void set(int row, int column, std::u16string_view text, std::uint16_t format = 15) {
    ASSERT_TRUE(model::set_cell(book(), sheetIndex(), static_cast<std::uint16_t>(row),
                                static_cast<std::uint8_t>(column), text, format, false, true));
  }
  // A typed entry as the commit makes it: its undo entry, then the cell.
  void type(int row, int column, std::u16string_view text) {
    ASSERT_TRUE(model::push_undo_range(book(), sheetIndex(), model::kUndoInput, range(row, column, row, column)));
    set(row, column, text);
  }
  model::CellRecord* cell(int row, int column) {
    return model::cell_at(sheet(), static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
  }
  std::u16string input(int row, int column) {
    const model::CellRecord* c = cell(row, column);
    return c && !c->input.isNull() ? std::u16string(c->input.view()) : std::u16string();
  }
  double number(int row, int column) {
    model::CellRecord* c = cell(row, column);
    if (!c)
      return 0;
    formula::computeCell(book(), sheetIndex(), *c);
    return c->value.isNumber() ? c->value.numberValue() : -999999;
  }
  void select(const model::CellRange& r) {
    sheet().selectionFirst = model::packCell(r.firstRow, r.firstColumn);
    sheet().selectionLast = model::packCell(r.lastRow, r.lastColumn);
    sheet().activeRow = r.firstRow;
    sheet().activeColumn = r.firstColumn;
  }
  bool pasteAt(const model::CellRange& r, const PasteOptions& o = {}) {
    select(r);
    return paste(books, window, o, true);
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  platform::HeadlessWindowServices window;
  model::WorkbookList books;
};

} // namespace edit
