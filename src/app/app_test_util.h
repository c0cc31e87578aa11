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

  // What the Qt window sends: each message goes to the widget with the
  // keyboard focus (the grid's window procedure or the formula bar's).
  void post(unsigned msg, WParam wParam) {
    if (window.focus == platform::FocusTarget::FormulaBar)
      formula_bar_proc(app, msg, wParam, 0);
    else
      main_window_proc(app, msg, wParam, 0);
  }
  // The character a key types after its key-down; 0 for none.
  static char16_t characterOf(unsigned vk) {
    switch (vk) {
    case VK_RETURN: return u'\r';
    case VK_TAB: return u'\t';
    case VK_ESCAPE: return 0x1B;
    case VK_BACK: return u'\b';
    case VK_DECIMAL: return u'.';
    default: return 0;
    }
  }
  // A key as the window sends it: the key-down, then its character, both to
  // where the focus is when each arrives. Alt with a key types nothing (a
  // menu mnemonic); Ctrl with a letter types its control character (Ctrl+J
  // a line feed, Ctrl+M a carriage return) and Ctrl+Enter still types '\r'.
  void key(unsigned vk, unsigned mods = 0) {
    window.heldModifiers = mods;
    post(WM_KEYDOWN, vk);
    char16_t ch = 0;
    if (!(mods & platform::kModControl))
      ch = mods & platform::kModAlt ? 0 : characterOf(vk);
    else if (vk >= 'A' && vk <= 'Z')
      ch = static_cast<char16_t>(vk - 'A' + 1);
    else if (vk == VK_RETURN)
      ch = u'\r';
    if (ch != 0)
      post(WM_CHAR, ch);
    window.heldModifiers = 0;
  }
  // Typed text: each character's key-down (letters, digits and ".") and the
  // character itself.
  void type(std::u16string_view text) {
    for (char16_t ch : text) {
      unsigned vk = 0;
      if (ch >= u'a' && ch <= u'z')
        vk = ch - u'a' + 'A';
      else if ((ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9'))
        vk = ch;
      else if (ch == u'.')
        vk = VK_OEM_PERIOD;
      if (vk != 0)
        post(WM_KEYDOWN, vk);
      post(WM_CHAR, ch);
    }
  }
  static platform::Point cellCentre(int row, int column) { return {24 + 56 * column + 28, 17 + 17 * row + 8}; }
  // A click on the grid: the grid takes the focus first (and the window
  // procedure hears of it), then the button goes down and up.
  void click(platform::Point p, unsigned mk = 0) {
    if (window.focus != platform::FocusTarget::Grid) {
      window.focus = platform::FocusTarget::Grid;
      main_window_proc(app, WM_SETFOCUS, 0, 0);
    }
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
