// Menu state rules and the bar settings kept between runs.

#include "app/bar_settings.h"
#include "app/command_table.h"
#include "app/menu_state.h"
#include "app/menu_table.h"
#include "fileformats/open_save.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

#include <set>

namespace app {
namespace {

class MenuStateTest : public ::testing::Test {
protected:
  MenuStateTest() : scope(ui), app(books, window) { fileformats::recentFiles() = {}; }
  ~MenuStateTest() override {
    menuQueries() = {};
    fileformats::recentFiles() = {};
  }
  model::Sheet& sheet() { return books.active()->active(); }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope;
  platform::HeadlessWindowServices window;
  model::WorkbookList books;
  App app;
};

TEST_F(MenuStateTest, WithoutWorkbookOnlyNewOpenRecentAndExit) {
  fileformats::recentFiles().slots[0] = u"C:\\data\\q1.xls";
  fileformats::recentFiles().slots[1] = u"/home/u/budget.csv";
  const MenuState menu = update_menu(app);
  // File: New, Open, the recent files and Exit; the bars belong to the window.
  const std::set<int> expected = {110, 111, 127, 118, 119, 216, 217, 218};
  for (const auto& [id, item] : menu.items)
    EXPECT_EQ(item.enabled, expected.count(id) == 1) << id;
  for (const MenuEntry& e : kMainMenu)
    if (e.kind == MenuEntry::Item) {
      EXPECT_TRUE(menu.items.count(e.id)) << e.id;
    }
  ASSERT_EQ(menu.recentFiles.size(), 2u);
  EXPECT_EQ(menu.recentFiles[0], (std::pair<int, std::u16string>{118, u"q1.xls"}));
  EXPECT_EQ(menu.recentFiles[1], (std::pair<int, std::u16string>{119, u"budget.csv"}));
  EXPECT_TRUE(menu.windows.empty());
  EXPECT_EQ(menu.checkedWindow, -1);
}

TEST_F(MenuStateTest, UnbuiltCommandsStayDisabled) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  window.clipboard = u"text";
  ASSERT_TRUE(model::push_undo(*books.active(), 0, model::kUndoRowHeight));
  const MenuState menu = update_menu(app);
  model::undoList().clear();
  for (const auto& [id, item] : menu.items)
    if (!findCommand(id)) {
      EXPECT_FALSE(item.enabled) << id;
    }
  // Built ones with a workbook and a worksheet.
  for (const int id :
       {110, 111, 112, 113, 114, 117, 127, 163, 164, 165, 166, 192, 193, 196, 203, 205, 211, 213, 216, 220, 230})
    EXPECT_TRUE(menu.items.at(id).enabled) << id;
}

TEST_F(MenuStateTest, UndoText) {
  const struct {
    std::optional<std::u16string> label;
    std::u16string_view text;
  } kRows[] = {
      {std::nullopt, u"撤消"},
      {u"行高", u"撤消 行高\tCtrl+Z"},
      {u"单变量求解    ", u"撤消 单变量求解    \tCtrl+Z"},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(undo_menu_text(row.label), row.text);
  ASSERT_TRUE(books.new_workbook(nullptr));
  model::undoList().clear();
  EXPECT_EQ(update_menu(app).items[130].text, u"撤消");
  // The label of the newest entry of the one undo list.
  ASSERT_TRUE(model::push_undo(*books.active(), 0, model::kUndoRowHeight));
  ASSERT_TRUE(model::push_undo(*books.active(), 0, model::kUndoGridlines));
  EXPECT_EQ(update_menu(app).items[130].text, u"撤消 网格线\tCtrl+Z");
  model::undoList().clear();
}

TEST_F(MenuStateTest, WhileEditingCutCopyAndPasteAreTheFormulaBars) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  app.editMode = EditMode::Entry;
  MenuState menu = update_menu(app);
  EXPECT_TRUE(menu.items.at(131).enabled);
  EXPECT_TRUE(menu.items.at(132).enabled);
  EXPECT_FALSE(menu.items.at(133).enabled); // nothing to paste
  EXPECT_FALSE(menu.items.at(134).enabled); // paste special is never the bar's
  window.clipboard = u"text";
  EXPECT_TRUE(update_menu(app).items.at(133).enabled);
  app.editMode = EditMode::None;
  menu = update_menu(app);
  for (const int id : {131, 132, 133})
    EXPECT_EQ(menu.items.at(id).enabled, findCommand(id) != nullptr) << id;
}

TEST_F(MenuStateTest, ProtectItemText) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  const struct {
    bool isProtected;
    std::uint16_t verifier;
    std::u16string_view text;
  } kRows[] = {
      {false, 0, u"保护…(&P)"},
      {false, 0xCC3D, u"保护…(&P)"},
      {true, 0xCC3D, u"解除保护…(&P)"},
      {true, 0, u"解除保护(&P)"},
  };
  for (const auto& row : kRows) {
    sheet().flags = row.isProtected ? (sheet().flags | model::kSheetProtected)
                                    : (sheet().flags & ~model::kSheetProtected);
    sheet().protectionVerifier = row.verifier;
    MenuState menu = update_menu(app);
    EXPECT_EQ(menu.items[210].text, row.text) << row.isProtected << " " << row.verifier;
    EXPECT_EQ(menu.items[210].checked, row.isProtected);
  }
}

TEST_F(MenuStateTest, CommentAndDeleteTexts) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  EXPECT_EQ(update_menu(app).items[169].text, u"批注(&M)");
  model::DrawingObject note; // a comment on B5, in the sheet's object list
  note.kind = model::kObjectComment;
  note.row = 4;
  note.column = 1;
  sheet().objects.push_back(note);
  EXPECT_EQ(update_menu(app).items[169].text, u"批注(&M)");
  sheet().activeRow = 4;
  sheet().activeColumn = 1;
  EXPECT_EQ(update_menu(app).items[169].text, u"编辑批注(&M)");

  const struct {
    std::uint32_t first, last;
    bool whole;
  } kRows[] = {
      {model::packCell(0, 0), model::packCell(3, 3), false},
      {model::packCell(2, 0), model::packCell(5, 255), true},      // rows 3-6
      {model::packCell(0, 4), model::packCell(65535, 4), true},    // column E
      {model::packCell(1, 0), model::packCell(65535, 254), false}, // not from row 1, not to IV
      {model::packCell(65535, 255), model::packCell(0, 0), true},  // whole sheet, corners swapped
  };
  for (const auto& row : kRows) {
    sheet().selectionFirst = row.first;
    sheet().selectionLast = row.last;
    MenuState menu = update_menu(app);
    EXPECT_EQ(menu.items[144].text, row.whole ? u"删除(&D)" : u"删除…(&D)")
        << row.first << " " << row.last;
    EXPECT_EQ(menu.items[160].text, row.whole ? u"单元格(&E)" : u"单元格…(&E)");
  }
}

TEST_F(MenuStateTest, ChecksFollowFlagsAndBars) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  sheet().flags = model::kSheetShowHeaders | model::kSheetShowFormulas;
  books.active()->showHorizontalScrollBar = 0;
  app.bars.statusBar = false;
  MenuState menu = update_menu(app);
  EXPECT_FALSE(menu.items[203].checked);
  EXPECT_TRUE(menu.items[204].checked);
  EXPECT_TRUE(menu.items[211].checked);
  EXPECT_FALSE(menu.items[220].checked);
  EXPECT_TRUE(menu.items[213].checked);
  EXPECT_FALSE(menu.items[214].checked);
  EXPECT_TRUE(menu.items[215].checked);
  EXPECT_TRUE(menu.items[216].checked);
  EXPECT_TRUE(menu.items[217].checked);
  EXPECT_FALSE(menu.items[218].checked);
}

TEST_F(MenuStateTest, ChartSheetDisablesCellCommands) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  model::Workbook& book = *books.active();
  ASSERT_TRUE(model::insert_sheet(book, 1, std::nullopt, model::SheetKind::Chart, false));
  MenuState menu = update_menu(app);
  for (const int id : {192, 193, 196, 203, 204, 211, 220})
    EXPECT_FALSE(menu.items[id].enabled) << id;
  EXPECT_TRUE(menu.items[205].enabled); // zoom applies to any sheet
  EXPECT_TRUE(menu.items[145].enabled); // Sheet1 is another visible worksheet
  // Format edits the chart; a chart object needs a worksheet, a chart sheet does not.
  EXPECT_TRUE(menu.items[190].enabled);
  EXPECT_TRUE(menu.items[164].enabled);
  EXPECT_FALSE(menu.items[165].enabled);
}

TEST_F(MenuStateTest, WindowListChecksTheActiveWorkbook) {
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_TRUE(books.new_workbook(nullptr));
  ASSERT_TRUE(books.new_workbook(nullptr));
  books.activate_workbook(1);
  const MenuState menu = update_menu(app);
  ASSERT_EQ(menu.windows.size(), 3u);
  EXPECT_EQ(menu.windows[0], (std::pair<int, std::u16string>{230, u"Book1"}));
  EXPECT_EQ(menu.windows[2], (std::pair<int, std::u16string>{232, u"Book3"}));
  EXPECT_EQ(menu.checkedWindow, 231);
  EXPECT_TRUE(menu.items.at(231).checked);
  EXPECT_FALSE(menu.items.at(230).checked);
  EXPECT_EQ(menu.items.count(233), 0u);
}

// ---- bar settings ----

TEST(BarSettings, CmdBarDataLayout) {
  BarLayout layout;
  layout.bands[kToolBarBand] = {1, kBandChildEdge | kBandGripperAlways, 300, true};
  layout.bands[kFormulaBarBand] = {0, kBandBreak | kBandChildEdge, 0x01020304, false};
  const std::array<std::uint8_t, 24> expected = {
      0x01, 0x00, 0x00, 0x00, // tool bar: position 1
      0x8C, 0x00, 0x00, 0x00, // style 0x84 with the hidden bit 0x08
      0x2C, 0x01, 0x00, 0x00, // width 300
      0x00, 0x00, 0x00, 0x00, // formula bar: position 0
      0x05, 0x00, 0x00, 0x00, // style 0x05, shown
      0x04, 0x03, 0x02, 0x01, // width 0x01020304
  };
  EXPECT_EQ(encodeCmdBarData(layout), expected);
  const std::optional<BarLayout> back = decodeCmdBarData(expected);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, layout);
  EXPECT_EQ(back->firstBand(), kFormulaBarBand);
}

TEST(BarSettings, MissingOrMalformedValuesGiveDefaults) {
  const BarLayout defaults = defaultBarLayout(640);
  EXPECT_EQ(defaults.bands[kToolBarBand],
            (BandLayout{0, kBandChildEdge | kBandGripperAlways, 640, false}));
  EXPECT_EQ(defaults.bands[kFormulaBarBand],
            (BandLayout{1, kBandBreak | kBandChildEdge | kBandGripperAlways, 640, false}));
  EXPECT_EQ(defaults.firstBand(), kToolBarBand);

  const std::u16string good(48, u'0');
  const std::u16string kTexts[] = {
      good.substr(0, 46),     // 23 bytes
      good + u"00",           // 25 bytes
      good.substr(0, 47),     // half a byte
      u"zz" + good.substr(2), // not hex
      u"",                    // no bytes
  };
  for (const auto& text : kTexts) {
    platform::MemorySettingsStore store;
    store.setValue(kOptionsGroup, kCmdBarDataKey, text);
    BarState bars;
    bars.toolBar = false;
    EXPECT_EQ(load_bar_settings(store, bars, 640), defaults) << text.size();
    EXPECT_TRUE(bars.toolBar);
    EXPECT_TRUE(bars.formulaBar);
  }
  platform::MemorySettingsStore empty;
  BarState bars;
  EXPECT_EQ(load_bar_settings(empty, bars, 640), defaults);
  EXPECT_TRUE(bars.statusBar);
  EXPECT_EQ(bars.summaryFunction, 0);
}

TEST(BarSettings, NegativeWidthReadsAsZero) {
  std::array<std::uint8_t, 24> bytes{};
  bytes[8] = bytes[9] = bytes[10] = bytes[11] = 0xFF; // width -1
  const auto layout = decodeCmdBarData(bytes);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->bands[kToolBarBand].width, 0);
}

TEST(BarSettings, StsBarData) {
  const struct {
    std::uint32_t stored;
    bool shown;
    int function;
  } kRows[] = {
      {0x0001, true, 0},  {0x0000, false, 0}, {0x0601, true, 6},
      {0x0400, false, 4}, {0x0901, true, 0}, // no function 9: none
  };
  for (const auto& row : kRows) {
    platform::MemorySettingsStore store;
    store.setDwordValue(kOptionsGroup, kStsBarDataKey, row.stored);
    BarState bars;
    (void)load_bar_settings(store, bars, 100);
    EXPECT_EQ(bars.statusBar, row.shown) << row.stored;
    EXPECT_EQ(bars.summaryFunction, row.function) << row.stored;
  }
  platform::MemorySettingsStore store;
  BarState bars;
  bars.statusBar = false;
  bars.summaryFunction = 5;
  save_bar_settings(store, defaultBarLayout(100), bars);
  EXPECT_EQ(store.dwordValue(kOptionsGroup, kStsBarDataKey), 0x0500u);
  EXPECT_EQ(store.value(kOptionsGroup, kStsBarDataKey), u"1280");
}

TEST(BarSettings, HiddenFormulaBarAndRecentFilesSurviveARestart) {
  platform::HeadlessUiServices ui;
  platform::ScopedUiServices scope(ui);
  platform::HeadlessWindowServices window;
  model::WorkbookList books;
  ASSERT_TRUE(books.new_workbook(nullptr));
  platform::MemorySettingsStore store;
  fileformats::recentFiles() = {};
  {
    App first(books, window);
    const BarLayout layout = load_frame_settings(store, first.bars, 800);
    dispatch_command(first, 217, CommandSource::Menu);
    fileformats::recentFiles().slots[0] = u"/data/q1.xls";
    save_frame_settings(store, layout, first.bars);
  }
  fileformats::recentFiles() = {};
  const auto bytes = store.binaryValue(kOptionsGroup, kCmdBarDataKey);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 24u);
  App second(books, window);
  const BarLayout layout = load_frame_settings(store, second.bars, 800);
  EXPECT_FALSE(second.bars.formulaBar);
  EXPECT_TRUE(second.bars.toolBar);
  EXPECT_TRUE(layout.bands[kFormulaBarBand].hidden);
  EXPECT_EQ(layout.bands[kFormulaBarBand].style, kBandBreak | kBandChildEdge | kBandGripperAlways);
  EXPECT_EQ(fileformats::recentFiles().slots[0], u"/data/q1.xls");
  fileformats::recentFiles() = {};
}

TEST(SettingsText, HexAndDwordForms) {
  const std::array<std::uint8_t, 4> bytes = {0x00, 0xAB, 0x7F, 0x10};
  EXPECT_EQ(platform::hexText(bytes), u"00ab7f10");
  EXPECT_EQ(platform::parseHexText(u"00AB7f10"),
            (std::vector<std::uint8_t>{0x00, 0xAB, 0x7F, 0x10}));
  EXPECT_FALSE(platform::parseHexText(u"abc"));
  EXPECT_FALSE(platform::parseHexText(u"0g"));
  EXPECT_EQ(platform::parseDwordText(u"4294967295"), 0xFFFFFFFFu);
  EXPECT_FALSE(platform::parseDwordText(u"4294967296"));
  EXPECT_FALSE(platform::parseDwordText(u"-1"));
  EXPECT_FALSE(platform::parseDwordText(u""));
  EXPECT_FALSE(platform::parseDwordText(u"12a"));
}

} // namespace
} // namespace app
