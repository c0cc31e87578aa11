// The sheet dialogs: what they list and what a choice comes back as.

#include "dialogs/prompt_dialog.h"
#include "dialogs/sheet_dialogs.h"
#include "model/sheet_list.h"
#include "model/workbook_list.h"
#include "platform/ui_services.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using platform::DialogAction;

class SheetDialogs : public ::testing::Test {
protected:
  SheetDialogs() : m_uiScope(ui), m_hostScope(host) {
    EXPECT_TRUE(books.new_workbook(nullptr));
    // Sheet1 Sheet2 Sheet3 Sheet4 with Sheet2 and Sheet4 hidden.
    for (int i = 0; i < 3; ++i)
      EXPECT_TRUE(model::insert_sheet(book(), book().sheetCount(), std::nullopt,
                                      model::SheetKind::Worksheet, false));
    book().sheet(1).hidden = 1;
    book().sheet(3).hidden = 1;
    book().activeSheet = 0;
    ui.clearShown();
  }

  model::Workbook& book() { return *books.active(); }

  std::vector<std::u16string> items(int id) const {
    const auto& s = host.runs().back().afterInit.at(0);
    std::vector<std::u16string> out;
    for (int i = 0; i < s.itemCount(id); ++i)
      out.push_back(s.itemText(id, i));
    return out;
  }

  platform::HeadlessUiServices ui;
  platform::ScriptedDialogHost host;
  model::WorkbookList books;

private:
  platform::ScopedUiServices m_uiScope;
  platform::ScopedDialogHost m_hostScope;
};

TEST_F(SheetDialogs, RenameRefusesBadNamesWithTheSheetListMessages) {
  const struct {
    std::u16string_view name;
    std::u16string_view message; // empty: accepted
  } kRows[] = {
      {u"Budget", {}},
      {u"sheet1", {}}, // its own name in other letter case
      {u"Sheet 9", {}},
      {u"SHEET3", u"Name must be unique"},
      {u"sheet2", u"Name must be unique"}, // hidden sheets count too
      {u"a/b", u"Name contains invalid characters"},
      {u"a*b", u"Name contains invalid characters"},
      {u"a:b", u"Name contains invalid characters"},
      {u"a?b", u"Name contains invalid characters"},
      {u"a\\b", u"Name contains invalid characters"},
      {u"", u"Name contains invalid characters"},
  };
  for (const auto& row : kRows) {
    ui.clearShown();
    host.queue(
        {DialogAction::setText(kPromptEdit, row.name), DialogAction::ok(), DialogAction::cancel()});
    const std::optional<std::u16string> got = askSheetName(book(), 0);
    if (row.message.empty()) {
      EXPECT_EQ(got, std::u16string(row.name)) << platform::toUtf8(row.name);
      EXPECT_TRUE(ui.shown().empty()) << platform::toUtf8(row.name);
    } else {
      EXPECT_EQ(got, std::nullopt) << platform::toUtf8(row.name);
      ASSERT_EQ(ui.shown().size(), 1u) << platform::toUtf8(row.name);
      EXPECT_EQ(ui.shown()[0].text, row.message);
      EXPECT_FALSE(ui.shown()[0].caption.has_value());
    }
  }
  // The dialog opens on the current name, and never takes more than 31 characters.
  EXPECT_EQ(host.runs().back().afterInit[0].text(kPromptEdit), u"Sheet1");
  host.queue({DialogAction::setText(kPromptEdit, std::u16string(40, u'x')), DialogAction::ok()});
  EXPECT_EQ(askSheetName(book(), 0), std::u16string(31, u'x'));
  EXPECT_EQ(askSheetName(book(), 7), std::nullopt);
}

TEST_F(SheetDialogs, UnhideListsOnlyHiddenSheets) {
  host.queue({DialogAction::ok()});
  EXPECT_EQ(askUnhideSheet(book()), 1);
  EXPECT_EQ(host.runs().back().title, u"取消隐藏");
  EXPECT_EQ(host.runs().back().afterInit[0].text(kSheetListLabel), u"取消隐藏工作表");
  EXPECT_EQ(items(kSheetList), (std::vector<std::u16string>{u"Sheet2", u"Sheet4"}));

  host.queue({DialogAction::select(kSheetList, 1), DialogAction::ok()});
  EXPECT_EQ(askUnhideSheet(book()), 3);
  host.queue({DialogAction::doubleClick(kSheetList, 1)});
  EXPECT_EQ(askUnhideSheet(book()), 3);
  host.queue({DialogAction::select(kSheetList, 1), DialogAction::cancel()});
  EXPECT_EQ(askUnhideSheet(book()), std::nullopt);

  // Nothing hidden: no dialog at all.
  book().sheet(1).hidden = 0;
  book().sheet(3).hidden = 0;
  const size_t runs = host.runs().size();
  EXPECT_EQ(askUnhideSheet(book()), std::nullopt);
  EXPECT_EQ(host.runs().size(), runs);
}

TEST_F(SheetDialogs, MoveOrCopyMapsTheVisibleListToSheetPositions) {
  const struct {
    int item;
    bool copy;
    int before;
  } kRows[] = {
      {0, false, 0}, // Sheet1
      {1, false, 2}, // Sheet3: hidden Sheet2 is not listed
      {2, true, 4},  // "( 移至最后 )"
      {1, true, 2},
  };
  for (const auto& row : kRows) {
    host.queue({DialogAction::select(kSheetList, row.item),
                DialogAction::check(kCopyCheck, row.copy), DialogAction::ok()});
    const std::optional<MoveOrCopy> got = askMoveOrCopy(book());
    ASSERT_TRUE(got.has_value()) << row.item;
    EXPECT_EQ(got->before, row.before) << row.item;
    EXPECT_EQ(got->copy, row.copy) << row.item;
  }
  EXPECT_EQ(items(kSheetList),
            (std::vector<std::u16string>{u"Sheet1", u"Sheet3", u"( 移至最后 )"}));
  const auto& first = host.runs().back().afterInit[0];
  EXPECT_EQ(host.runs().back().title, u"移动或复制工作表");
  EXPECT_EQ(first.text(kSheetListLabel), u"将选定工作表移至");
  EXPECT_EQ(first.text(kSheetListBeforeLabel), u"下列选定工作表之前：");
  EXPECT_EQ(first.text(kCopyCheck), u"建立副本");
  EXPECT_EQ(first.selection(kSheetList), 0);
  EXPECT_FALSE(first.checked(kCopyCheck));

  host.queue({DialogAction::cancel()});
  EXPECT_EQ(askMoveOrCopy(book()), std::nullopt);
}

TEST_F(SheetDialogs, TabColourOffersNoneThenThePalette) {
  book().palette[8] = 0x00332211; // shown as #112233
  host.queue({DialogAction::ok()});
  EXPECT_EQ(askTabColour(book(), 0), 0);
  const auto& s = host.runs().back().afterInit[0];
  EXPECT_EQ(host.runs().back().title, u"标签颜色");
  EXPECT_EQ(s.text(kSheetListLabel), u"标签颜色：");
  ASSERT_EQ(s.itemCount(kTabColourList), 57);
  EXPECT_EQ(s.itemText(kTabColourList, 0), u"无");
  EXPECT_EQ(s.itemText(kTabColourList, 1), u"#112233");
  EXPECT_EQ(s.find(kTabColourList)->itemColours.at(1), 0x00332211u);
  EXPECT_EQ(s.selection(kTabColourList), 0);

  const struct {
    std::uint8_t current;
    int pick; // -1: OK without touching the list
    std::optional<std::uint8_t> result;
  } kRows[] = {
      {0, 1, 8}, {0, 56, 63}, {10, -1, 10}, {10, 0, 0}, {3, -1, std::nullopt},
  };
  for (const auto& row : kRows) {
    std::vector<DialogAction> script;
    if (row.pick >= 0)
      script.push_back(DialogAction::select(kTabColourList, row.pick));
    script.push_back(DialogAction::ok());
    host.queue(script);
    EXPECT_EQ(askTabColour(book(), row.current), row.result) << int(row.current) << " " << row.pick;
  }
}

} // namespace
} // namespace dialogs
