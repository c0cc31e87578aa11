#include "app/app_test_util.h"

#include "app/command_table.h"
#include "app/menu_state.h"
#include "app/status_bar.h"
#include "model/services.h"
#include "model/sheet_list.h"
#include "model/undo.h"

namespace app {
namespace {

using NavigationTest = AppTest;

TEST_F(NavigationTest, ArrowStepsSkipHiddenLinesAndStopAtEdges) {
  model::setRowHeightPoints(sheet(), 1, 3, 0); // rows 2-4 hidden
  model::setColumnWidthChars(sheet(), 2, 2, 0); // column C hidden
  const struct {
    int row, column;
    unsigned key;
    int wantRow, wantColumn;
  } rows[] = {
      {0, 0, VK_DOWN, 4, 0},   // over the hidden rows
      {4, 0, VK_UP, 0, 0},
      {0, 0, VK_UP, 0, 0},     // top edge
      {0, 0, VK_LEFT, 0, 0},   // left edge
      {0, 1, VK_RIGHT, 0, 3},  // over the hidden column
      {65535, 255, VK_DOWN, 65535, 255},
      {65535, 255, VK_RIGHT, 65535, 255},
  };
  for (const auto& r : rows) {
    select(r.row, r.column, r.row, r.column, r.row, r.column);
    key(r.key);
    EXPECT_EQ(active(), (CellPos{static_cast<std::uint16_t>(r.wantRow), static_cast<std::uint8_t>(r.wantColumn)}))
        << r.row << "," << r.column << " key " << r.key;
    EXPECT_EQ(sel(), range(r.wantRow, r.wantColumn, r.wantRow, r.wantColumn));
  }
}

TEST_F(NavigationTest, AMoveRepaintsTheTwoCellsAndTheHeadersOnly) {
  select(3, 2, 3, 2, 3, 2); // C4
  window.invalidated.clear();
  key(VK_DOWN);
  const platform::Rect c4 = view::cellRect(sheet(), app.layout, 3, 2);
  const platform::Rect c5 = view::cellRect(sheet(), app.layout, 4, 2);
  bool coversC4 = false, coversC5 = false;
  for (const platform::Rect& r : window.invalidated) {
    EXPECT_LT(r.width() * r.height(), app.layout.cells.width() * app.layout.cells.height() / 4)
        << r.left << "," << r.top << " " << r.right << "," << r.bottom;
    coversC4 = coversC4 || (r.left <= c4.left && r.top <= c4.top && r.right >= c4.right && r.bottom >= c4.bottom);
    coversC5 = coversC5 || (r.left <= c5.left && r.top <= c5.top && r.right >= c5.right && r.bottom >= c5.bottom);
  }
  EXPECT_TRUE(coversC4);
  EXPECT_TRUE(coversC5);
}

TEST_F(NavigationTest, ArrowsEnterAndLeaveMergedRangesAsOneCell) {
  ASSERT_TRUE(model::addMergedRange(sheet(), range(1, 0, 2, 1))); // A2:B3
  key(VK_DOWN);
  EXPECT_EQ(active(), (CellPos{1, 0}));
  EXPECT_EQ(sel(), range(1, 0, 2, 1));
  key(VK_DOWN); // from the range's bottom edge
  EXPECT_EQ(active(), (CellPos{3, 0}));
  select(1, 0, 2, 1, 1, 0);
  key(VK_RIGHT); // from its right edge
  EXPECT_EQ(active(), (CellPos{1, 2}));
}

TEST_F(NavigationTest, ShiftArrowsGrowAndShrinkFromTheActiveCell) {
  const struct {
    std::vector<unsigned> keys;
    model::CellRange want;
  } rows[] = {
      {{VK_DOWN}, range(0, 0, 1, 0)},
      {{VK_DOWN, VK_UP}, range(0, 0, 0, 0)},
      {{VK_DOWN, VK_DOWN, VK_RIGHT}, range(0, 0, 2, 1)},
      {{VK_UP}, range(0, 0, 0, 0)}, // nothing above row 1
  };
  for (const auto& r : rows) {
    select(0, 0, 0, 0, 0, 0);
    for (unsigned k : r.keys)
      key(k, platform::kModShift);
    EXPECT_EQ(sel(), r.want) << r.keys.size();
    EXPECT_EQ(active(), (CellPos{0, 0}));
  }
  // From C3 upwards and back down: the top edge moves.
  select(2, 2, 2, 2, 2, 2);
  key(VK_UP, platform::kModShift);
  key(VK_UP, platform::kModShift);
  EXPECT_EQ(sel(), range(0, 2, 2, 2));
  key(VK_DOWN, platform::kModShift);
  EXPECT_EQ(sel(), range(1, 2, 2, 2));
}

TEST_F(NavigationTest, ShiftArrowTakesInMergedRangesWhole) {
  ASSERT_TRUE(model::addMergedRange(sheet(), range(1, 1, 2, 2))); // B2:C3
  select(0, 1, 0, 1, 0, 1);
  key(VK_DOWN, platform::kModShift);
  EXPECT_EQ(sel(), range(0, 1, 2, 2));
}

TEST_F(NavigationTest, EnterAndTabWalkInsideTheSelection) {
  // Sent as the window sends them: the key-down, then the character.
  const struct {
    unsigned key;
    unsigned mods;
    std::vector<CellPos> visits;
  } rows[] = {
      {VK_RETURN, 0, {{1, 0}, {0, 1}, {1, 1}, {0, 0}}},
      {VK_TAB, 0, {{0, 1}, {1, 0}, {1, 1}, {0, 0}}},
      {VK_RETURN, platform::kModShift, {{1, 1}, {0, 1}, {1, 0}, {0, 0}}},
      {VK_TAB, platform::kModShift, {{1, 1}, {1, 0}, {0, 1}, {0, 0}}},
  };
  for (const auto& r : rows) {
    select(0, 0, 1, 1, 0, 0);
    for (const CellPos& want : r.visits) {
      key(r.key, r.mods);
      EXPECT_EQ(active(), want) << r.key << " " << r.mods;
      EXPECT_EQ(sel(), range(0, 0, 1, 1));
    }
  }
}

TEST_F(NavigationTest, EnterWalkSkipsHiddenRowsAndInnerMergedCells) {
  model::setRowHeightPoints(sheet(), 1, 1, 0); // row 2 hidden
  ASSERT_TRUE(model::addMergedRange(sheet(), range(2, 1, 3, 1))); // B3:B4
  select(0, 0, 3, 1, 0, 0);
  std::vector<CellPos> seen;
  for (int i = 0; i < 5; ++i) {
    key(VK_RETURN);
    seen.push_back(active());
  }
  const std::vector<CellPos> want = {{2, 0}, {3, 0}, {0, 1}, {2, 1}, {0, 0}};
  EXPECT_EQ(seen, want);
}

TEST_F(NavigationTest, CtrlArrowJumpsToTheEdgesOfData) {
  set(0, 0, u"1");
  set(1, 0, u"2");
  set(2, 0, u"3");
  set(9, 0, u"x");
  set(4, 3, u"y");
  const struct {
    int row, column;
    unsigned key;
    int wantRow, wantColumn;
  } rows[] = {
      {0, 0, VK_DOWN, 2, 0},      // to the end of the block
      {2, 0, VK_DOWN, 9, 0},      // to the next filled cell
      {9, 0, VK_DOWN, 65535, 0},  // nothing below: the sheet's edge
      {5, 0, VK_UP, 2, 0},        // up to the block's end
      {4, 0, VK_RIGHT, 4, 3},
      {4, 3, VK_RIGHT, 4, 255},
      {0, 5, VK_DOWN, 65535, 5},  // an empty column
  };
  for (const auto& r : rows) {
    select(r.row, r.column, r.row, r.column, r.row, r.column);
    key(r.key, platform::kModControl);
    EXPECT_EQ(active(), (CellPos{static_cast<std::uint16_t>(r.wantRow), static_cast<std::uint8_t>(r.wantColumn)}))
        << r.row << "," << r.column;
  }
  // Shift extends from the selection's edge.
  select(0, 0, 0, 0, 0, 0);
  key(VK_DOWN, platform::kModControl | platform::kModShift);
  EXPECT_EQ(sel(), range(0, 0, 2, 0));
  key(VK_DOWN, platform::kModControl | platform::kModShift);
  EXPECT_EQ(sel(), range(0, 0, 9, 0));
  EXPECT_EQ(active(), (CellPos{0, 0}));
}

TEST_F(NavigationTest, EndModeJumpsOnceAndShowsItsIndicator) {
  set(3, 0, u"x");
  key(VK_END);
  EXPECT_TRUE(app.endMode);
  EXPECT_EQ(app.statusText[kStatusEndPart], u"END");
  key(VK_DOWN);
  EXPECT_EQ(active(), (CellPos{3, 0}));
  EXPECT_FALSE(app.endMode);
  EXPECT_EQ(app.statusText[kStatusEndPart], u"");
  key(VK_END);
  key(VK_END); // toggles off again
  EXPECT_FALSE(app.endMode);
  key(VK_END);
  dispatch_command(app, 203, CommandSource::Menu); // any command leaves End mode
  EXPECT_FALSE(app.endMode);
}

TEST_F(NavigationTest, LastCellCountsCellsRowsColumnsAndMergedRanges) {
  key(VK_END, platform::kModControl);
  EXPECT_EQ(active(), (CellPos{0, 0})); // empty sheet
  set(4, 1, u"x");
  model::set_row_record(sheet(), 7, model::kLineCustomHeight, 400);
  ASSERT_TRUE(model::addMergedRange(sheet(), range(2, 3, 3, 5)));
  key(VK_END, platform::kModControl);
  EXPECT_EQ(active(), (CellPos{7, 5}));
  select(1, 1, 1, 1, 1, 1);
  key(VK_END, platform::kModControl | platform::kModShift);
  EXPECT_EQ(sel(), range(1, 1, 7, 5));
  select(0, 0, 0, 0, 0, 0);
  key(VK_END);
  key(VK_HOME); // End, Home
  EXPECT_EQ(active(), (CellPos{7, 5}));
}

TEST_F(NavigationTest, HomeKeysRespectFrozenPanes) {
  select(5, 6, 5, 6, 5, 6);
  key(VK_HOME);
  EXPECT_EQ(active(), (CellPos{5, 0}));
  sheet().flags |= model::kSheetPanesFrozen;
  sheet().scrollPaneRow = 2;
  sheet().scrollPaneColumn = 1;
  select(5, 6, 5, 6, 5, 6);
  key(VK_HOME);
  EXPECT_EQ(active(), (CellPos{5, 1}));
  key(VK_HOME, platform::kModControl);
  EXPECT_EQ(active(), (CellPos{2, 1}));
  select(5, 6, 5, 6, 5, 6);
  key(VK_HOME, platform::kModShift);
  EXPECT_EQ(sel(), range(5, 1, 5, 6));
}

TEST_F(NavigationTest, PageKeysMoveByWholeRows) {
  // 566 pixels of cells hold 33 whole rows of 17 pixels.
  key(VK_NEXT);
  EXPECT_EQ(sheet().topRow, 32);
  EXPECT_EQ(active(), (CellPos{32, 0}));
  key(VK_NEXT);
  EXPECT_EQ(sheet().topRow, 64);
  key(VK_PRIOR);
  EXPECT_EQ(sheet().topRow, 31);
  EXPECT_EQ(active().row, 31);
  key(VK_PRIOR);
  key(VK_PRIOR);
  EXPECT_EQ(sheet().topRow, 0);
}

TEST_F(NavigationTest, ScrollMessagesAndTheWheelMoveTheTopRow) {
  main_window_proc(app, WM_VSCROLL, SB_LINEDOWN, kIdVerticalScroll);
  EXPECT_EQ(sheet().topRow, 1);
  main_window_proc(app, WM_VSCROLL, SB_LINEUP, kIdVerticalScroll);
  main_window_proc(app, WM_VSCROLL, SB_LINEUP, kIdVerticalScroll);
  EXPECT_EQ(sheet().topRow, 0); // never above the first row
  main_window_proc(app, WM_VSCROLL, makeWParam(SB_THUMBTRACK, 500), kIdVerticalScroll);
  EXPECT_EQ(sheet().topRow, 500);
  main_window_proc(app, WM_HSCROLL, makeWParam(SB_THUMBPOSITION, 300), kIdHorizontalScroll);
  EXPECT_EQ(sheet().leftColumn, 255);
  // Three notches in one message still scroll one row.
  main_window_proc(app, WM_MOUSEWHEEL, makeWParam(0, static_cast<unsigned>(-360) & 0xFFFF), 0);
  EXPECT_EQ(sheet().topRow, 501);
  main_window_proc(app, WM_MOUSEWHEEL, makeWParam(0, 360), 0);
  EXPECT_EQ(sheet().topRow, 500);
  EXPECT_EQ(active(), (CellPos{0, 0})); // scrolling leaves the active cell
}

TEST_F(NavigationTest, MovingOffScreenScrollsTheActiveCellIntoView) {
  select(32, 0, 32, 0, 32, 0);
  EXPECT_EQ(sheet().topRow, 0);
  key(VK_DOWN); // row 34 is only partly visible
  EXPECT_EQ(sheet().topRow, 1);
  key(VK_DOWN, platform::kModControl);
  EXPECT_EQ(sheet().topRow, 65535 - 32);
  key(VK_HOME, platform::kModControl);
  EXPECT_EQ(sheet().topRow, 0);
}

TEST_F(NavigationTest, SheetAndWorkbookKeys) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(book(), 2, std::nullopt, model::SheetKind::Worksheet, false));
  model::activate_sheet(book(), 0);
  ASSERT_TRUE(model::hide_sheet(book(), 1));
  key(VK_NEXT, platform::kModControl);
  EXPECT_EQ(book().activeSheet, 2); // the hidden sheet is passed over
  key(VK_PRIOR, platform::kModControl);
  EXPECT_EQ(book().activeSheet, 0);
  model::Workbook* first = books.active();
  ASSERT_TRUE(books.new_workbook(nullptr));
  key(VK_TAB, platform::kModControl);
  EXPECT_EQ(books.active(), first);
  key(VK_TAB, platform::kModControl | platform::kModShift);
  EXPECT_NE(books.active(), first);
}

TEST_F(NavigationTest, F9RecalculatesEveryWorksheet) {
  set(0, 0, u"=RAND()");
  const double before = model::cell_at(sheet(), 0, 0)->value.numberValue();
  key(VK_F9);
  model::CellRecord* c = model::cell_at(sheet(), 0, 0);
  ASSERT_NE(c, nullptr);
  if (c->calcState == model::CalcState::NotValid)
    model::modelServices().computeCell(book(), 0, *c);
  EXPECT_NE(c->value.numberValue(), before);
}

TEST_F(NavigationTest, MouseSelectsCellsRangesAndWholeLines) {
  click(cellCentre(2, 1));
  EXPECT_EQ(active(), (CellPos{2, 1}));
  click(cellCentre(4, 3), MK_SHIFT);
  EXPECT_EQ(sel(), range(2, 1, 4, 3));
  EXPECT_EQ(active(), (CellPos{2, 1}));
  // Drag from B2 to C5.
  const platform::Point a = cellCentre(1, 1), b = cellCentre(4, 2);
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(a.x, a.y));
  main_window_proc(app, WM_MOUSEMOVE, MK_LBUTTON, makePointParam(b.x, b.y));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(b.x, b.y));
  EXPECT_EQ(sel(), range(1, 1, 4, 2));
  EXPECT_FALSE(window.captured);
  click({24 + 56 * 2 + 20, 8}); // column header C
  EXPECT_EQ(sel(), range(0, 2, 65535, 2));
  click({10, 17 + 17 * 3 + 8}); // row header 4
  EXPECT_EQ(sel(), range(3, 0, 3, 255));
  click({5, 5}); // corner box
  EXPECT_EQ(sel(), range(0, 0, 65535, 255));
  EXPECT_EQ(active(), (CellPos{0, 0}));
}

TEST_F(NavigationTest, DraggingBelowThePaneStartsTheAutoScrollTimer) {
  const platform::Point a = cellCentre(1, 1);
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(a.x, a.y));
  main_window_proc(app, WM_MOUSEMOVE, MK_LBUTTON, makePointParam(a.x, 590));
  ASSERT_TRUE(window.timers.count(1));
  EXPECT_EQ(window.timers[1], 250);
  const int before = sheet().topRow;
  main_window_proc(app, WM_TIMER, 1, 0);
  EXPECT_EQ(sheet().topRow, before + 1);
  EXPECT_GT(sel().lastRow, 30);
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(a.x, 590));
  EXPECT_FALSE(window.timers.count(1));
}

TEST_F(NavigationTest, DraggingAColumnBorderSetsItsWidth) {
  // The border between A and B is at x = 24 + 56 = 80.
  main_window_proc(app, WM_MOUSEMOVE, 0, makePointParam(80, 8));
  EXPECT_EQ(window.cursor, platform::CursorShape::SizeColumns);
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(80, 8));
  main_window_proc(app, WM_MOUSEMOVE, MK_LBUTTON, makePointParam(24 + 140, 8));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(24 + 140, 8));
  EXPECT_EQ(model::column_width(sheet(), 0), 20 * 256); // 140 pixels of 7
  EXPECT_NE(book().modified, 0);
  // Row border between rows 1 and 2 at y = 17 + 17 = 34; drag to 30 points.
  main_window_proc(app, WM_LBUTTONDOWN, MK_LBUTTON, makePointParam(10, 34));
  main_window_proc(app, WM_LBUTTONUP, 0, makePointParam(10, 17 + 40));
  EXPECT_EQ(model::row_height(sheet(), 0), 600); // 40 px at 96 dpi = 30 pt
}

TEST_F(NavigationTest, DoubleClickOnAColumnBorderFitsTheColumn) {
  set(0, 0, u"a rather long text for one column");
  main_window_proc(app, WM_LBUTTONDBLCLK, MK_LBUTTON, makePointParam(80, 8));
  EXPECT_GT(model::column_width(sheet(), 0), model::kDefaultColumnWidth);
}

TEST_F(NavigationTest, RightClickOutsideTheSelectionReselectsAndOffersTheBuiltCommands) {
  select(0, 0, 1, 1, 0, 0);
  window.popupChoices.push_back(0);
  const platform::Point p = cellCentre(5, 5);
  main_window_proc(app, WM_RBUTTONDOWN, MK_RBUTTON, makePointParam(p.x, p.y));
  EXPECT_EQ(sel(), range(5, 5, 5, 5));
  ASSERT_EQ(window.popupsShown.size(), 1u);
  const std::vector<platform::PopupItem> items = window.popupsShown[0];
  const auto find = [&](int id) {
    for (const auto& item : items)
      if (item.id == id)
        return &item;
    return static_cast<const platform::PopupItem*>(nullptr);
  };
  ASSERT_NE(find(160), nullptr);
  EXPECT_EQ(find(160)->text, u"插入…(&I)");
  ASSERT_NE(find(142), nullptr);
  EXPECT_TRUE(find(142)->enabled);
  EXPECT_TRUE(find(131)->enabled);
  // On a row header: the row commands, and choosing one runs it.
  set(5, 5, u"x");
  window.popupChoices.push_back(142);
  main_window_proc(app, WM_RBUTTONDOWN, MK_RBUTTON, makePointParam(10, 17 + 17 * 5 + 8));
  EXPECT_EQ(sel(), range(5, 0, 5, 255));
  EXPECT_NE(find(0), nullptr); // separators
  const auto& rowItems = window.popupsShown.back();
  EXPECT_TRUE(std::any_of(rowItems.begin(), rowItems.end(), [](const auto& i) { return i.id == 161; }));
  EXPECT_EQ(input(5, 5), u"");
}

TEST_F(NavigationTest, HyperlinksWithoutClosingBracketAreInvalid) {
  sheet().hyperlinks.push_back({model::packCell(2, 2), u"[nowhere.xls"});
  select(2, 2, 2, 2, 2, 2);
  key(VK_RETURN);
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, u"Invalid link");
}

TEST_F(NavigationTest, HyperlinkToAReferenceInTheSameFileSelectsIt) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::u16string_view(u"Data"), model::SheetKind::Worksheet, false));
  model::activate_sheet(book(), 0);
  sheet().hyperlinks.push_back({model::packCell(0, 0), u"[]Data!B2:C3"});
  click(cellCentre(0, 0));
  EXPECT_EQ(book().activeSheet, 1);
  EXPECT_EQ(sel(), range(1, 1, 2, 2));
  sheet().hyperlinks.push_back({model::packCell(4, 4), u"[]NoSuchSheet!A1"});
  click(cellCentre(4, 4));
  ASSERT_FALSE(ui.shown().empty());
  EXPECT_EQ(ui.shown().back().text, u"Invalid link");
}

TEST_F(NavigationTest, TabClicksActivateSheets) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, std::nullopt, model::SheetKind::Worksheet, false));
  model::activate_sheet(book(), 0);
  app.relayout();
  const auto tabs = view::tabPlaces(book(), app.layout);
  ASSERT_EQ(tabs.size(), 2u);
  click({tabs[1].left + tabs[1].width / 2, app.layout.tabBar.top + 5});
  EXPECT_EQ(book().activeSheet, 1);
  window.popupChoices.push_back(1000); // the sheet list on a double click
  main_window_proc(app, WM_LBUTTONDBLCLK, MK_LBUTTON,
                   makePointParam(tabs[1].left + 5, app.layout.tabBar.top + 5));
  EXPECT_EQ(book().activeSheet, 0);
}

TEST_F(NavigationTest, MacroShortcutRunsTheCommandMacroWithThatKey) {
  std::u16string ran;
  model::modelServices().runMacro = [&](model::Workbook&, std::u16string_view name, const model::MacroCaller&) { ran = name; };
  model::DefinedName n;
  n.name = u"Tidy";
  n.flags = model::kNameCommandMacro;
  n.shortcut = u'q';
  book().names.push_back(n);
  key('Q', platform::kModControl);
  EXPECT_EQ(ran, u"Tidy");
  ran.clear();
  key('C', platform::kModControl); // an accelerator, never a shortcut
  EXPECT_EQ(ran, u"");
  model::modelServices().runMacro = nullptr;
}


// ---- selection, panes and scrolling on real sheets ----

const platform::PopupItem* itemOf(const std::vector<platform::PopupItem>& items, int id) {
  for (const auto& item : items)
    if (item.id == id)
      return &item;
  return nullptr;
}

TEST_F(NavigationTest, ShiftClickOnAHeaderKeepsTheActiveCell) {
  const struct {
    int row, column;       // the active cell before
    platform::Point at;    // the header clicked with Shift
    model::CellRange want; // the selection after
  } rows[] = {
      {5, 1, {24 + 56 * 3 + 20, 8}, range(0, 1, 65535, 3)},      // column header D from B6
      {5, 3, {24 + 56 * 1 + 20, 8}, range(0, 1, 65535, 3)},      // backwards, B from D6
      {3, 2, {10, 17 + 17 * 7 + 8}, range(3, 0, 7, 255)},        // row header 8 from C4
      {9, 4, {10, 17 + 17 * 2 + 8}, range(2, 0, 9, 255)},        // row header 3 from E10
  };
  for (const auto& r : rows) {
    select(r.row, r.column, r.row, r.column, r.row, r.column);
    click(r.at, MK_SHIFT);
    EXPECT_EQ(sel(), r.want) << r.row << "," << r.column;
    EXPECT_EQ(active(), (CellPos{static_cast<std::uint16_t>(r.row), static_cast<std::uint8_t>(r.column)}))
        << r.row << "," << r.column;
  }
}

TEST_F(NavigationTest, RightClickOnAHeaderKeepsTheActiveRowOrColumn) {
  select(5, 1, 5, 1, 5, 1); // B6
  window.popupChoices.push_back(0);
  main_window_proc(app, WM_RBUTTONDOWN, MK_RBUTTON, makePointParam(24 + 56 * 3 + 20, 8)); // D
  EXPECT_EQ(sel(), range(0, 3, 65535, 3));
  EXPECT_EQ(active(), (CellPos{5, 3}));
  window.popupChoices.push_back(0);
  main_window_proc(app, WM_RBUTTONDOWN, MK_RBUTTON, makePointParam(10, 17 + 17 * 8 + 8)); // row 9
  EXPECT_EQ(sel(), range(8, 0, 8, 255));
  EXPECT_EQ(active(), (CellPos{8, 3}));
}

TEST_F(NavigationTest, TheContextMenusDeleteFollowsTheSelection) {
  const auto deleteText = [&](platform::Point p) {
    window.popupChoices.push_back(0);
    main_window_proc(app, WM_RBUTTONDOWN, MK_RBUTTON, makePointParam(p.x, p.y));
    const platform::PopupItem* item = itemOf(window.popupsShown.back(), 144);
    return item ? item->text : std::u16string(u"(none)");
  };
  EXPECT_EQ(deleteText({5, 5}), u"删除(&D)"); // the corner box: the whole sheet
  EXPECT_EQ(sel(), range(0, 0, 65535, 255));
  select(2, 0, 2, 0, 2, 0);
  EXPECT_EQ(deleteText(cellCentre(6, 6)), u"删除…(&D)"); // one cell
  click({10, 17 + 17 * 3 + 8}); // row 4 whole
  EXPECT_EQ(deleteText(cellCentre(3, 2)), u"删除(&D)"); // a cell of the selected row
  click({24 + 56 * 2 + 20, 8}); // column C whole
  EXPECT_EQ(deleteText(cellCentre(7, 2)), u"删除(&D)");
  EXPECT_EQ(deleteText({24 + 56 * 2 + 20, 8}), u"删除(&D)");
}

TEST_F(NavigationTest, SmallWheelStepsAddUpToANotch) {
  const auto wheel = [&](int delta) {
    main_window_proc(app, WM_MOUSEWHEEL, makeWParam(0, static_cast<unsigned>(delta) & 0xFFFF), 0);
    return static_cast<int>(sheet().topRow);
  };
  sheet().topRow = 10;
  const struct {
    int delta;
    int wantTop;
  } rows[] = {
      {-30, 10}, {-30, 10}, {-30, 10}, {-30, 11}, // four quarter notches: one line
      {-100, 11}, {-40, 12},                      // 140: one line, 20 kept
      {50, 12},                                   // turning back forgets the 20
      {50, 12}, {20, 11},                         // 120 up: one line
      {-120, 12}, {-360, 13}, {240, 12},          // a notch or more: one line each
      {-119, 12}, {119, 12}, {1, 11},             // turning back starts again from 0
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(wheel(rows[i].delta), rows[i].wantTop) << "message " << i << " delta " << rows[i].delta;
}

TEST_F(NavigationTest, TabAndEnterPassHiddenLinesWhole) {
  // All columns but A and D hidden, and rows 2-60000.
  model::setColumnWidthChars(sheet(), 1, 2, 0);
  model::setColumnWidthChars(sheet(), 4, 255, 0);
  model::setRowHeightPoints(sheet(), 1, 59999, 0);
  select(0, 0, 65535, 255, 0, 0);
  const struct {
    unsigned key, mods;
    int wantRow, wantColumn;
  } rows[] = {
      {VK_TAB, 0, 0, 3},                 // A1 -> D1
      {VK_TAB, 0, 60000, 0},             // -> A60001, over the hidden rows
      {VK_TAB, platform::kModShift, 0, 3},
      {VK_RETURN, 0, 60000, 3},          // down column D
      {VK_RETURN, 0, 60001, 3},
      {VK_RETURN, platform::kModShift, 60000, 3},
      {VK_RETURN, platform::kModShift, 0, 3},
      {VK_RETURN, platform::kModShift, 65535, 0}, // up past the top: the end of A
  };
  for (const auto& r : rows) {
    key(r.key, r.mods);
    EXPECT_EQ(active(), (CellPos{static_cast<std::uint16_t>(r.wantRow), static_cast<std::uint8_t>(r.wantColumn)}))
        << "key " << r.key << " mods " << r.mods;
    EXPECT_EQ(sel(), range(0, 0, 65535, 255)); // the walk keeps the selection
  }
  // One visible cell in the whole selection: the walk comes back and stays.
  model::setColumnWidthChars(sheet(), 3, 3, 0);
  model::setRowHeightPoints(sheet(), 60000, 65535, 0);
  select(0, 0, 65535, 255, 0, 0);
  key(VK_TAB);
  EXPECT_EQ(active(), (CellPos{0, 0}));
  key(VK_RETURN);
  EXPECT_EQ(active(), (CellPos{0, 0}));
  // From a cell on a hidden line the walk goes on to the next visible cell.
  select(0, 0, 65535, 255, 5, 7);
  key(VK_TAB);
  EXPECT_EQ(active(), (CellPos{0, 0}));
}

TEST_F(NavigationTest, FreezingAtTheTopLeftCellShownDoesNothing) {
  model::undoList().clear();
  sheet().topRow = 10;
  sheet().leftColumn = 2;
  select(10, 2, 10, 2, 10, 2);
  EXPECT_TRUE(dispatch_command(app, 220, CommandSource::Menu));
  EXPECT_FALSE(sheet().flags & model::kSheetPanesFrozen);
  EXPECT_FALSE(update_menu(app).items[220].checked);
  EXPECT_EQ(model::undoList().size(), 0u);
  EXPECT_EQ(sheet().topRow, 10);
}

TEST_F(NavigationTest, FreezingBelowTheWindowScrollsTheActiveCellIntoViewFirst) {
  // 33 rows show whole in the 566 pixels under the headers.
  sheet().activeRow = 100;
  sheet().activeColumn = 40;
  sheet().selectionFirst = sheet().selectionLast = model::packCell(100, 40);
  EXPECT_TRUE(dispatch_command(app, 220, CommandSource::Menu));
  ASSERT_TRUE(sheet().flags & model::kSheetPanesFrozen);
  EXPECT_EQ(sheet().scrollPaneRow, 100);
  EXPECT_EQ(sheet().scrollPaneColumn, 40);
  EXPECT_GT(sheet().frozenRow, 60);    // from the row the window shows first
  EXPECT_GT(sheet().frozenColumn, 20);
  app.relayout();
  // The frozen panes leave room for the scrolling one, which still scrolls.
  EXPECT_LT(app.layout.frozenHeight, app.layout.cells.height());
  EXPECT_LT(app.layout.frozenWidth, app.layout.cells.width());
  main_window_proc(app, WM_VSCROLL, SB_LINEDOWN, kIdVerticalScroll);
  EXPECT_EQ(sheet().topRow, 101);
  app.relayout();
  EXPECT_EQ(app.layout.topRow, 101);
}

} // namespace
} // namespace app
