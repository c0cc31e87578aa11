// The insert-function dialog: its categories, its lists and the call text.

#include "dialogs/insert_function_dialog.h"
#include "platform/dialog.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace dialogs {
namespace {

using platform::DialogAction;

std::vector<std::u16string> names(const std::vector<const formula::FunctionEntry*>& list) {
  std::vector<std::u16string> out;
  for (const auto* e : list)
    out.emplace_back(e->name);
  return out;
}

bool lists(int category, bool macroSheet, std::u16string_view name) {
  const auto n = names(functionsInCategory(category, macroSheet));
  return std::find(n.begin(), n.end(), name) != n.end();
}

TEST(InsertFunction, CategoriesOfWorksheetsAndMacroSheets) {
  const std::vector<std::u16string_view> kWorksheet = {
      u"全部",   u"财务", u"日期与时间", u"数学与三角函数", u"统计", u"查找与引用",
      u"数据库", u"文本", u"逻辑",       u"信息",           u"工程"};
  std::vector<std::u16string_view> got;
  for (const auto& c : functionCategories(false))
    got.push_back(c.name);
  EXPECT_EQ(got, kWorksheet);
  const auto macro = functionCategories(true);
  ASSERT_EQ(macro.size(), 13u);
  EXPECT_EQ(macro[11].code, 11);
  EXPECT_EQ(macro[11].name, u"Macro control");
  EXPECT_EQ(macro[12].name, u"Macro command");
}

TEST(InsertFunction, FinancialListMergesBuiltinAndAddInEntriesByName) {
  const std::vector<std::u16string> kFinancial = {
      u"ACCRINT",    u"ACCRINTM",  u"AMORDEGRC",  u"AMORLINC",   u"COUPDAYBS",  u"COUPDAYS",
      u"COUPDAYSNC", u"COUPNCD",   u"COUPNUM",    u"COUPPCD",    u"CUMIPMT",    u"CUMPRINC",
      u"DB",         u"DDB",       u"DISC",       u"DOLLARDE",   u"DOLLARFR",   u"DURATION",
      u"EFFECT",     u"FV",        u"FVSCHEDULE", u"INTRATE",    u"IPMT",       u"IRR",
      u"ISPMT",      u"MDURATION", u"MIRR",       u"NOMINAL",    u"NPER",       u"NPV",
      u"ODDFPRICE",  u"ODDFYIELD", u"ODDLPRICE",  u"ODDLYIELD",  u"PMT",        u"PPMT",
      u"PRICE",      u"PRICEDISC", u"PRICEMAT",   u"PV",         u"RATE",       u"RECEIVED",
      u"SLN",        u"SYD",       u"TBILLEQ",    u"TBILLPRICE", u"TBILLYIELD", u"VDB",
      u"XIRR",       u"XNPV",      u"YIELD",      u"YIELDDISC",  u"YIELDMAT"};
  EXPECT_EQ(names(functionsInCategory(1, false)), kFinancial);
}

TEST(InsertFunction, MacroControlListsIfAmongItsOwn) {
  const std::vector<std::u16string> kMacroControl = {
      u"ARGUMENT", u"BREAK",    u"ELSE",   u"ELSE.IF", u"END.IF",   u"FOR",
      u"FOR.CELL", u"GOTO",     u"HALT",   u"IF",      u"NEXT",     u"PAUSE",
      u"RESTART",  u"RESULT",   u"RESUME", u"RETURN",  u"SET.NAME", u"SET.VALUE",
      u"STEP",     u"VOLATILE", u"WAIT",   u"WHILE"};
  EXPECT_EQ(names(functionsInCategory(11, true)), kMacroControl);
  EXPECT_TRUE(lists(8, false, u"IF")); // and under logical as always
}

TEST(InsertFunction, WhatAllListsOnEachKindOfSheet) {
  const struct {
    std::u16string_view name;
    bool onWorksheet;
    bool onMacroSheet;
  } kRows[] = {
      {u"SUM", true, true},
      {u"ACCRINT", true, true}, // add-in
      {u"CALL", true, true},    // listed under "all" alone
      {u"IF", true, true},
      {u"ASC", false, false}, // recognised but not offered
      {u"GETPIVOTDATA", false, false},
      {u"GOTO", false, true},   // macro control
      {u"ABSREF", false, true}, // macro command
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(lists(0, false, row.name), row.onWorksheet) << platform::toUtf8(row.name);
    EXPECT_EQ(lists(0, true, row.name), row.onMacroSheet) << platform::toUtf8(row.name);
  }
  for (int category = 1; category <= 12; ++category)
    EXPECT_FALSE(lists(category, true, u"CALL")) << category;
  for (bool macro : {false, true}) {
    const auto all = names(functionsInCategory(0, macro));
    EXPECT_TRUE(std::ranges::adjacent_find(all, std::ranges::greater_equal{}) == all.end())
        << "sorted without duplicates";
  }
}

TEST(InsertFunction, CallTextDropsSpacesAndDotsAndSelectsTheFirstArgument) {
  auto entry = [](std::u16string_view name) {
    const formula::FunctionEntry* e = formula::findFunction(name);
    EXPECT_NE(e, nullptr) << platform::toUtf8(name);
    return e;
  };
  const struct {
    std::u16string_view function;
    bool withEquals;
    std::u16string_view separator;
    std::u16string_view text;
    std::u16string_view selected;
  } kRows[] = {
      {u"SUM", true, u",", u"=SUM(number1,[number2,])", u"number1"},
      {u"SUM", false, u";", u"SUM(number1;[number2;])", u"number1"},
      {u"ADDRESS", true, u",", u"=ADDRESS(row_num,column_num,[abs_num],[a1],[sheet_text])",
       u"row_num"},
      {u"NOW", true, u",", u"=NOW()", u""},
      {u"A1.R1C1", false, u",", u"A1.R1C1([logical])", u"logical"},
      {u"ACCRINT", true, u",",
       u"=ACCRINT(issue,first_interest,settlement,rate,par,frequency,[basis])", u"issue"},
  };
  for (const auto& row : kRows) {
    const formula::FunctionEntry* e = entry(row.function);
    if (!e)
      continue;
    const FunctionCall call = functionCallText(*e, row.withEquals, row.separator);
    EXPECT_EQ(call.text, row.text) << platform::toUtf8(row.function);
    ASSERT_LE(call.selectionStart, call.selectionEnd);
    ASSERT_LE(call.selectionEnd, static_cast<int>(call.text.size()));
    EXPECT_EQ(call.text.substr(static_cast<size_t>(call.selectionStart),
                               static_cast<size_t>(call.selectionEnd - call.selectionStart)),
              row.selected)
        << platform::toUtf8(row.function);
    if (row.selected.empty()) {
      EXPECT_EQ(call.selectionStart, static_cast<int>(call.text.size()));
    }
  }
}

TEST(InsertFunction, DialogChoosesFromTheSelectedCategory) {
  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost scope(host);

  // Maths and trigonometry is the fourth category.
  const auto maths = names(functionsInCategory(3, false));
  const auto sum = std::find(maths.begin(), maths.end(), u"SUM");
  ASSERT_NE(sum, maths.end());
  host.queue({DialogAction::select(kCategoryList, 3),
              DialogAction::select(kFunctionList, static_cast<int>(sum - maths.begin())),
              DialogAction::ok()});
  const formula::FunctionEntry* chosen = askFunction(false);
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->name, u"SUM");
  const auto& run = host.runs().back();
  EXPECT_EQ(run.title, u"粘贴函数");
  EXPECT_EQ(run.final[0].text(kSignatureText), u"SUM(number1, [number2, ...])");
  EXPECT_EQ(run.final[0].itemCount(kFunctionList), static_cast<int>(maths.size()));
  // It opens on "all" with the first function selected.
  EXPECT_EQ(run.afterInit[0].selection(kCategoryList), 0);
  EXPECT_EQ(run.afterInit[0].selection(kFunctionList), 0);
  EXPECT_EQ(run.afterInit[0].itemCount(kCategoryList), 11);

  // A double click chooses; Cancel chooses nothing.
  host.queue({DialogAction::select(kCategoryList, 8), DialogAction::doubleClick(kFunctionList, 0)});
  chosen = askFunction(false);
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->name, names(functionsInCategory(8, false)).front());
  host.queue({DialogAction::cancel()});
  EXPECT_EQ(askFunction(true), nullptr);
  EXPECT_EQ(host.runs().back().afterInit[0].itemCount(kCategoryList), 13);
}

} // namespace
} // namespace dialogs
