#pragma once
// An App on one new workbook with headless window services, and helpers to
// post keys, characters and clicks as the window system would.

#include "app/app.h"
#include "app/cell_entry.h"
#include "app/message_map.h"
#include "app/navigation.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/set_cell.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace app {

// Fixed metrics: rows are 17 pixels, columns 56, the header band 17 pixels
// high and the row headers 24 pixels wide, so cell (r, c) spans
// x 24 + 56c .. and y 17 + 17r ...
class AppTest : public ::testing::Test {
protected:
  AppTest() : scope(ui) {
    formula::installFormulaEngine();
    functions::registerAllFunctions();
    EXPECT_TRUE(books.new_workbook(nullptr));
    app.layoutInput = view::LayoutInput{{0, 0, 800, 600}, 0, 0, 17, 17};
    app.relayout();
  }

  model::Workbook& book() { return *books.active(); }
  model::Sheet& sheet() { return book().active(); }

  void key(unsigned vk, unsigned mods = 0) {
    window.heldModifiers = mods;
    if (app.editMode != EditMode::None)
      formula_bar_proc(app, WM_KEYDOWN, vk, 0);
    else
      main_window_proc(app, WM_KEYDOWN, vk, 0);
    window.heldModifiers = 0;
  }
  void type(std::u16string_view text) {
    for (char16_t ch : text) {
      if (app.editMode != EditMode::None)
        formula_bar_proc(app, WM_CHAR, ch, 0);
      else
        main_window_proc(app, WM_CHAR, ch, 0);
    }
  }
  static platform::Point cellCentre(int row, int column) { return {24 + 56 * column + 28, 17 + 17 * row + 8}; }
  void click(platform::Point p, unsigned mk = 0) {
    main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON | mk, makePointParam(p.x, p.y));
    main_window_proc(app, WM_LBUTTONUP, mk, makePointParam(p.x, p.y));
  }
  void set(int row, int column, std::u16string_view text) {
    ASSERT_TRUE(model::set_cell(book(), book().activeSheet, static_cast<std::uint16_t>(row),
                                static_cast<std::uint8_t>(column), text, 15, false, true));
  }
  std::u16string input(int row, int column) {
    const model::CellRecord* c = model::cell_at(sheet(), static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
    return c && !c->input.isNull() ? std::u16string(c->input.view()) : std::u16string();
  }
  CellPos active() { return activeCell(sheet()); }
  model::CellRange sel() { return selection(sheet()); }
  static model::CellRange range(int r1, int c1, int r2, int c2) {
    return {static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1), static_cast<std::uint16_t>(r2),
            static_cast<std::uint8_t>(c2)};
  }
  void select(int r1, int c1, int r2, int c2, int ar, int ac) {
    set_selection(app, range(r1, c1, r2, c2),
                  CellPos{static_cast<std::uint16_t>(ar), static_cast<std::uint8_t>(ac)}, false);
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  platform::HeadlessWindowServices window;
  model::WorkbookList books;
  App app{books, window};
};

} // namespace app
