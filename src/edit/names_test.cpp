#include "edit/names.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/sheet_list.h"
#include "platform/unicode.h"

namespace edit {
namespace {

class NamesTest : public EditTest {
protected:
  const model::DefinedName* name(std::u16string_view text) {
    for (const model::DefinedName& n : book().names)
      if (platform::equalsIgnoreCase(n.name, text) && n.sheetIndex == 0)
        return &n;
    return nullptr;
  }
  bool store(std::u16string_view text, std::optional<std::u16string_view> definition, char16_t shortcut = 0) {
    return storeName(book(), 0, text, definition, shortcut);
  }
};

TEST_F(NamesTest, TypedNamesThatWouldChangeWhatFormulasReadAreInvalid) {
  const struct {
    std::u16string_view name;
    bool valid;
  } rows[] = {
      {u"Rate", true},   {u"税率", true},   {u"_total", true}, {u"Total2", true}, {u"A1B", true},
      {u"IW1", true},    // past column IV: not a reference
      {u"A1", false},    {u"a1", false},    {u"$B$2", false},  {u"IV65536", false},
      {u"1st", false},   {u"my rate", false}, {u"a+b", false},  {u"x!y", false},
      {u"TRUE", false},  {u"false", false}, {u"", false},      {u"(x", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(isValidTypedName(row.name), row.valid) << std::string(row.name.begin(), row.name.end());
}

TEST_F(NamesTest, ReferencesAreStoredAbsoluteAndSheetQualified) {
  const struct {
    std::u16string_view typed;
    std::u16string_view stored;
  } rows[] = {
      {u"=Sheet1!A1:A3", u"=Sheet1!$A$1:$A$3"},
      {u"=b2", u"=Sheet1!$B$2"},
      {u"C3:A1", u"=Sheet1!$A$1:$C$3"},
      {u"=0.05", u"=0.05"},
      {u"=SUM(A1:A3)", u"=SUM(A1:A3)"},
      {u"42", u"=42"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(canonicalDefinition(book(), 0, row.typed), row.stored) << std::string(row.typed.begin(), row.typed.end());
  EXPECT_EQ(absoluteReference(book(), 0, range(0, 0, 0, 0)), u"=Sheet1!$A$1");
}

TEST_F(NamesTest, AddChangeAndDeleteWithUndo) {
  ASSERT_TRUE(store(u"Total", u"=Sheet1!$A$1:$A$3"));
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoInsertName);
  ASSERT_TRUE(store(u"total", u"=Sheet1!$B$1"));
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoUpdateName);
  ASSERT_EQ(book().names.size(), 1u);
  EXPECT_EQ(book().names[0].name, u"Total") << "the same entry changes";
  EXPECT_EQ(book().names[0].formula, u"=Sheet1!$B$1");
  ASSERT_TRUE(store(u"TOTAL", std::nullopt));
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoDeleteName);
  EXPECT_TRUE(book().names.empty());
  EXPECT_FALSE(store(u"Missing", std::nullopt));

  ASSERT_TRUE(undo(books).undone);
  ASSERT_NE(name(u"Total"), nullptr);
  EXPECT_EQ(name(u"Total")->formula, u"=Sheet1!$B$1");
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(name(u"Total")->formula, u"=Sheet1!$A$1:$A$3");
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(name(u"Total"), nullptr);
}

TEST_F(NamesTest, RedefiningANameBringsItsUsersUpToDate) {
  set(0, 0, u"=Rate*100");
  set(0, 1, u"=A1+1"); // depends on a user
  ASSERT_TRUE(store(u"Rate", u"=0.05"));
  EXPECT_NEAR(number(0, 0), 5, 1e-9);
  EXPECT_NEAR(number(0, 1), 6, 1e-9);
  ASSERT_TRUE(store(u"Rate", u"=0.07"));
  EXPECT_NEAR(number(0, 0), 7, 1e-9);
  EXPECT_NEAR(number(0, 1), 8, 1e-9);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_NEAR(number(0, 0), 5, 1e-9);
  EXPECT_NEAR(number(0, 1), 6, 1e-9);
}

TEST_F(NamesTest, ANameDefinedAfterItsUsersReachesThem) {
  set(0, 0, u"=Total*2");
  set(0, 1, u"3");
  ASSERT_TRUE(store(u"Total", canonicalDefinition(book(), 0, u"B1")));
  EXPECT_EQ(number(0, 0), 6);
  set(0, 1, u"4");
  EXPECT_EQ(number(0, 0), 8) << "the user depends on the named cell now";
  ASSERT_TRUE(store(u"Total", std::nullopt));
  const model::CellRecord* c = cell(0, 0);
  formula::computeCell(book(), 0, *cell(0, 0));
  EXPECT_TRUE(c->value.isError()) << "a deleted name reads as text again";
}

TEST_F(NamesTest, SelfReferringNamesGiveAnErrorValue) {
  set(0, 0, u"=Rate");
  set(0, 1, u"=A2");
  ASSERT_TRUE(store(u"Rate", u"=Rate+1"));
  formula::computeCell(book(), 0, *cell(0, 0));
  EXPECT_TRUE(cell(0, 0)->value.isError());
  ASSERT_TRUE(store(u"A2x", u"=B2x+1"));
  ASSERT_TRUE(store(u"B2x", u"=A2x+1"));
  set(1, 0, u"=A2x");
  formula::computeCell(book(), 0, *cell(1, 0));
  EXPECT_TRUE(cell(1, 0)->value.isError());
}

TEST_F(NamesTest, LocalNamesAreNeverOverwrittenByAGlobalOne) {
  model::DefinedName local;
  local.name = u"Print_Area";
  local.sheetIndex = 1;
  local.formula = u"=Sheet1!$A$1:$B$2";
  book().names.push_back(local);
  model::names_changed(book());
  ASSERT_TRUE(store(u"print_area", u"=Sheet1!$C$3"));
  ASSERT_EQ(book().names.size(), 2u);
  EXPECT_EQ(book().names[0].formula, u"=Sheet1!$A$1:$B$2");
  EXPECT_EQ(book().names[1].sheetIndex, 0);
}

TEST_F(NamesTest, ANameOfAMacroSheetCellIsACommandMacro) {
  ASSERT_TRUE(model::insert_sheet(book(), book().sheetCount(), std::nullopt, model::SheetKind::Macro, false));
  const std::u16string macroSheet = book().sheet(book().sheetCount() - 1).name;
  ASSERT_TRUE(store(u"Go", canonicalDefinition(book(), 0, u"=" + macroSheet + u"!A1"), u'g'));
  ASSERT_NE(name(u"Go"), nullptr);
  EXPECT_TRUE(name(u"Go")->flags & model::kNameCommandMacro);
  EXPECT_EQ(name(u"Go")->shortcut, u'g');
  ASSERT_TRUE(store(u"Go", u"=Sheet1!$A$1", u'g'));
  EXPECT_FALSE(name(u"Go")->flags & model::kNameCommandMacro);
  EXPECT_EQ(name(u"Go")->shortcut, 0);
}

} // namespace
} // namespace edit
