// The define-names dialog: the list, the proposed definition, Add, Delete
// and OK as a scripted user drives them.

#include "dialogs/names_dialog.h"

#include "edit/names.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/undo.h"
#include "model/workbook_list.h"
#include "platform/dialog.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

namespace dialogs {
namespace {

using platform::DialogAction;

class NamesDialog : public ::testing::Test {
protected:
  NamesDialog() : m_uiScope(ui), m_hostScope(host) {
    formula::installFormulaEngine();
    model::undoList().clear();
    EXPECT_TRUE(books.new_workbook(nullptr));
    book().active().selectionFirst = model::packCell(0, 1);
    book().active().selectionLast = model::packCell(2, 1);
  }
  ~NamesDialog() override { model::undoList().clear(); }

  model::Workbook& book() { return *books.active(); }
  const platform::ControlState& afterInit() { return host.runs().back().afterInit.at(0); }
  const platform::ControlState& final() { return host.runs().back().final.at(0); }

  platform::HeadlessUiServices ui;
  platform::ScriptedDialogHost host;
  model::WorkbookList books;

private:
  platform::ScopedUiServices m_uiScope;
  platform::ScopedDialogHost m_hostScope;
};

TEST_F(NamesDialog, TheDefinitionStartsWithTheSelection) {
  host.queue({});
  EXPECT_FALSE(defineNames(book()));
  EXPECT_EQ(host.runs().back().title, u"定义名称");
  EXPECT_EQ(afterInit().text(kNamesDefinition), u"=Sheet1!$B$1:$B$3");
}

TEST_F(NamesDialog, AddIsStoredAtOnceAndCancelKeepsIt) {
  host.queue({DialogAction::setText(kNamesName, u"Total  "), DialogAction::setText(kNamesDefinition, u"=a1:A3"),
              DialogAction::press(kNamesAdd), DialogAction::cancel()});
  EXPECT_TRUE(defineNames(book()));
  ASSERT_EQ(book().names.size(), 1u);
  EXPECT_EQ(book().names[0].name, u"Total") << "trailing spaces go";
  EXPECT_EQ(book().names[0].formula, u"=Sheet1!$A$1:$A$3");
  EXPECT_EQ(final().itemCount(kNamesList), 1);
}

TEST_F(NamesDialog, InvalidNamesAreRefusedAndTheDialogStaysOpen) {
  host.queue({DialogAction::setText(kNamesName, u"A1"), DialogAction::ok(), DialogAction::setText(kNamesName, u"Rate"),
              DialogAction::setText(kNamesDefinition, u"=0.05"), DialogAction::ok()});
  EXPECT_TRUE(defineNames(book()));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, edit::kMessageBadName);
  EXPECT_EQ(host.runs().back().refusedOks, 1);
  ASSERT_EQ(book().names.size(), 1u);
  EXPECT_EQ(book().names[0].name, u"Rate");
}

TEST_F(NamesDialog, ChoosingAnItemShowsItAndDeleteRemovesIt) {
  ASSERT_TRUE(edit::storeName(book(), 0, u"Beta", u"=Sheet1!$C$3", 0));
  ASSERT_TRUE(edit::storeName(book(), 0, u"alpha", u"=2", 0));
  model::DefinedName local;
  local.name = u"Print_Area";
  local.sheetIndex = 1;
  local.formula = u"=Sheet1!$A$1:$B$2";
  book().names.push_back(local);
  model::names_changed(book());
  host.queue({DialogAction::select(kNamesList, 1), DialogAction::press(kNamesDelete), DialogAction::ok()});
  EXPECT_TRUE(defineNames(book()));
  const auto& init = afterInit();
  ASSERT_EQ(init.itemCount(kNamesList), 3);
  EXPECT_EQ(init.itemText(kNamesList, 0), u"alpha");
  EXPECT_EQ(init.itemText(kNamesList, 1), u"Beta");
  EXPECT_EQ(init.itemText(kNamesList, 2), u"Sheet1!Print_Area");
  ASSERT_EQ(book().names.size(), 2u);
  EXPECT_EQ(book().names[0].name, u"alpha");
  EXPECT_EQ(final().text(kNamesName), u"");
}

TEST_F(NamesDialog, ANameDefinedInTheDialogIsUsedByAFormula) {
  ASSERT_TRUE(model::set_cell(book(), 0, 0, 1, u"4", 15, false, true));
  ASSERT_TRUE(model::set_cell(book(), 0, 0, 3, u"=Price*2", 15, false, true));
  host.queue({DialogAction::setText(kNamesName, u"Price"), DialogAction::setText(kNamesDefinition, u"B1"),
              DialogAction::ok()});
  EXPECT_TRUE(defineNames(book()));
  model::CellRecord* c = model::cell_at(book().active(), 0, 3);
  formula::computeCell(book(), 0, *c);
  ASSERT_TRUE(c->value.isNumber());
  EXPECT_EQ(c->value.numberValue(), 8);
}

} // namespace
} // namespace dialogs
