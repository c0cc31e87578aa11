#include "formula/function_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace formula {
namespace {

using model::CellValue;
using model::ErrorCode;

std::string narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

/// A variadic type string: `head` followed by `count` copies of `repeated`.
std::string repeat(std::string_view head, int count, char repeated) {
  return std::string(head) + std::string(static_cast<size_t>(count), repeated);
}

const FunctionEntry& entry(std::u16string_view name) {
  const FunctionEntry* e = findFunction(name);
  EXPECT_NE(e, nullptr) << narrow(name);
  static const FunctionEntry kMissing{};
  return e != nullptr ? *e : kMissing;
}

CellValue callHandler(FunctionHandler handler, Arguments args = {}) {
  CellValue result;
  EvalContext ctx;
  handler(args, result, ctx);
  return result;
}

// ---------------------------------------------------------------------------
// Shape of the table.

TEST(FunctionTable, CountsOfTheArrays) {
  EXPECT_EQ(builtinFunctions().size(), 720u);
  EXPECT_EQ(addInFunctions().size(), 112u);
  EXPECT_EQ(constants().size(), 9u);

  auto computing = [](std::span<const FunctionEntry> entries) {
    return std::ranges::count(entries, true, &FunctionEntry::computes);
  };
  EXPECT_EQ(computing(builtinFunctions()) + computing(addInFunctions()), 398);
  EXPECT_EQ(builtinFunctions().size() + addInFunctions().size() -
                static_cast<size_t>(computing(builtinFunctions()) + computing(addInFunctions())),
            434u);
}

TEST(FunctionTable, EachArrayIsStrictlySortedByCodeUnits) {
  for (auto entries : {builtinFunctions(), addInFunctions()}) {
    for (size_t i = 1; i < entries.size(); ++i) {
      EXPECT_LT(entries[i - 1].name, entries[i].name)
          << narrow(entries[i - 1].name) << " / " << narrow(entries[i].name);
    }
  }
  const auto k = constants();
  for (size_t i = 1; i < k.size(); ++i) EXPECT_LT(k[i - 1].name, k[i].name);
  // Names order by code unit: a dot sorts before letters.
  EXPECT_LT(entry(u"ACTIVATE").name, entry(u"ACTIVATE.NEXT").name);
  EXPECT_LT(entry(u"ACTIVATE.NEXT").name, entry(u"ACTIVE.CELL").name);
  EXPECT_LT(&entry(u"ACTIVATE"), &entry(u"ACTIVATE.NEXT"));
  EXPECT_LT(&entry(u"ACTIVATE.NEXT"), &entry(u"ACTIVE.CELL"));
}

TEST(FunctionTable, NoNameIsInBothArrays) {
  for (const FunctionEntry& a : addInFunctions()) {
    EXPECT_FALSE(std::ranges::binary_search(builtinFunctions(), a.name, {}, &FunctionEntry::name))
        << narrow(a.name);
  }
}

TEST(FunctionTable, TypeStringsUseOnlyTheTableLettersAndAtMostThirty) {
  const std::string_view letters = "ABCDLNPQRSTUabcelnpqrs";
  for (auto entries : {builtinFunctions(), addInFunctions()}) {
    for (const FunctionEntry& e : entries) {
      SCOPED_TRACE(narrow(e.name));
      EXPECT_LE(e.argTypes.size(), 30u);
      for (char c : e.argTypes) EXPECT_NE(letters.find(c), letters.npos) << c;
    }
  }
}

TEST(FunctionTable, NamesAreUpperCase) {
  for (auto entries : {builtinFunctions(), addInFunctions()}) {
    for (const FunctionEntry& e : entries) {
      EXPECT_FALSE(e.name.empty());
      for (char16_t c : e.name) EXPECT_FALSE(c >= u'a' && c <= u'z') << narrow(e.name);
    }
  }
}

TEST(FunctionTable, TokenFormsAndAddInPackedWords) {
  for (const FunctionEntry& e : builtinFunctions()) {
    SCOPED_TRACE(narrow(e.name));
    EXPECT_NE(e.tokenForm, TokenForm::AddIn);
    EXPECT_FALSE(isAddIn(e));
    EXPECT_GE(functionNumber(e), 0);
  }
  for (const FunctionEntry& e : addInFunctions()) {
    SCOPED_TRACE(narrow(e.name));
    EXPECT_EQ(e.tokenForm, TokenForm::AddIn);
    EXPECT_TRUE(isAddIn(e));
    EXPECT_EQ(functionNumber(e), -1);
    EXPECT_EQ(e.packed >> 16, 0u);
    EXPECT_EQ(static_cast<std::uint32_t>(category(e)), e.packed);
    EXPECT_EQ(suggestedFormat(e), 0);
  }
  struct Case {
    std::u16string_view name;
    TokenForm form;
  };
  // From function_token_forms.tsv.
  const Case cases[] = {
      {u"ABS", TokenForm::Fixed},        {u"SUM", TokenForm::Variable},
      {u"IF", TokenForm::Variable},      {u"TRUE", TokenForm::Fixed},
      {u"FALSE", TokenForm::Fixed},      {u"ACTIVATE", TokenForm::Variable},
      {u"DCOUNT", TokenForm::Fixed},     {u"ROUNDUP", TokenForm::Fixed},
      {u"GET.CELL", TokenForm::Variable}, {u"ACCRINT", TokenForm::AddIn},
      {u"ANOVA1", TokenForm::AddIn},     {u"ATTACH.TOOLBARS?", TokenForm::Variable},
  };
  for (const Case& c : cases) EXPECT_EQ(entry(c.name).tokenForm, c.form) << narrow(c.name);
}

// ---------------------------------------------------------------------------
// Values typed by hand from the function reference and the file format's
// documentation, independently of the table in the source.

TEST(FunctionTable, SpotChecksAgainstTheReference) {
  struct Case {
    std::u16string_view name;
    std::string types;
    int number; // -1: add-in
    int category;
    int format;
    bool computes;
  };
  const Case cases[] = {
      {u"ABS", "N", 24, 3, 0, true},
      {u"ADDRESS", "NNnls", 219, 5, 0, true},
      {u"AND", repeat("P", 29, 'p'), 36, 8, 0, true},
      {u"CALL", repeat("SSs", 27, 'a'), 150, 0, 0, true},
      {u"CHOOSE", repeat("NAa", 27, 'a'), 100, 5, 0, true},
      {u"CONCATENATE", repeat("S", 29, 's'), 336, 7, 0, true},
      {u"COUNT", repeat("R", 29, 'r'), 0, 4, 0, true},
      {u"COUNTA", repeat("B", 29, 'b'), 169, 4, 0, true},
      {u"COUNTIF", "CA", 346, 3, 0, true},
      {u"DATE", "NNN", 65, 2, 14, true},
      {u"DCOUNT", "CaC", 40, 6, 0, true},
      {u"FONT.PROPERTIES", "ssnlllllnnlnnn", 33149, 12, 0, true},
      {u"GET.OBJECT", "Nnnnn", 246, 12, 0, true},
      {u"HLOOKUP", "AQNl", 101, 5, 0, true},
      {u"IF", "Lee", 1, 8, 0, true},
      {u"INDEX", "Unnn", 29, 5, 0, true},
      {u"INPUT", "Snssnns", 104, 12, 0, true},
      {u"IRR", "Qn", 62, 1, 9, true},
      {u"ISREF", "D", 105, 9, 0, true},
      {u"NOW", "", 74, 2, 22, true},
      {u"NPV", repeat("NRr", 27, 'r'), 11, 1, 8, true},
      {u"ON.SHEET", "ssl", 33239, 12, 0, true},
      {u"SORT", "ncncncnnnl", 32807, 12, 0, true},
      {u"SUBTOTAL", repeat("NCc", 27, 'c'), 344, 3, 0, true},
      {u"SUM", repeat("R", 29, 'r'), 4, 3, 255, true},
      {u"SUMPRODUCT", repeat("Q", 29, 'q'), 228, 3, 0, true},
      {u"TRUE", "", 34, 8, 0, true},
      {u"TYPE", "T", 86, 9, 0, true},
      {u"VDB", "NNNNNnl", 222, 1, 8, true},
      {u"VLOOKUP", "AQNl", 102, 5, 0, true},
      {u"WAIT", "n", 32917, 11, 0, true},
      {u"WORKBOOK.NAME", "SS", 33154, 12, 0, true},
      {u"ZTEST", "QNn", 324, 4, 0, true},
      // Add-in entries of the table.
      {u"FVSCHEDULE", "NU", -1, 1, 0, true},
      {u"GCD", repeat("R", 28, 'r'), -1, 3, 0, true},
      {u"IMSUM", repeat("B", 28, 'b'), -1, 10, 0, true},
      {u"ISEVEN", "N", -1, 9, 0, true},
      {u"NETWORKDAYS", "NNr", -1, 2, 0, true},
      {u"ODDFPRICE", "NNNNNNNNn", -1, 1, 0, true},
      {u"SERIESSUM", "NNNQ", -1, 3, 0, true},
      // FOR keeps its counter in the running macro, so it computes.
      {u"FOR", "BBBb", 171, 11, 0, true},
      // Recognised-only entries.
      {u"A1.R1C1", "b", 32798, 12, 0, false},
      {u"ATTACH.TOOLBARS?", "", 33091, 12, 0, false},
      {u"FALSE", "", 35, 8, 0, false},
      {u"FORMULA.REPLACE", "bbbbbbbbbbb", 32898, 12, 0, false},
      {u"GET.CELL", "Bb", 185, 12, 0, false},
      {u"REGISTER", repeat("B", 29, 'b'), 149, 12, 0, false},
      {u"ANOVA1", "Bbbbb", -1, 255, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.name));
    const FunctionEntry& e = entry(c.name);
    EXPECT_EQ(e.name, c.name);
    EXPECT_EQ(e.argTypes, c.types);
    EXPECT_EQ(functionNumber(e), c.number);
    EXPECT_EQ(static_cast<int>(category(e)), c.category);
    EXPECT_EQ(suggestedFormat(e), c.format);
    EXPECT_EQ(e.computes, c.computes);
    EXPECT_EQ(isAddIn(e), c.number == -1);
  }
}

TEST(FunctionTable, VariadicEntriesTakeThirtyOrTwentyNinePositions) {
  for (std::u16string_view name : {u"SUM", u"AND", u"OR", u"CALL", u"CHOOSE", u"NPV", u"SUBTOTAL",
                                   u"MAX", u"COUNTA", u"SUMPRODUCT"}) {
    EXPECT_EQ(entry(name).argTypes.size(), 30u) << narrow(name);
  }
  for (std::u16string_view name : {u"IMSUM", u"IMPRODUCT", u"GCD", u"LCM", u"MULTINOMIAL"}) {
    EXPECT_EQ(entry(name).argTypes.size(), 29u) << narrow(name);
  }
}

TEST(FunctionTable, SuggestedFormats) {
  struct Case {
    std::u16string_view name;
    int format;
  };
  const Case cases[] = {
      {u"NOW", 22}, {u"SUM", 255}, {u"DATE", 14}, {u"TODAY", 14}, {u"TIME", 20},
      {u"PMT", 8},  {u"DB", 8},    {u"DDB", 8},   {u"FV", 8},     {u"IPMT", 8},
      {u"NPV", 8},  {u"PPMT", 8},  {u"PV", 8},    {u"SLN", 8},    {u"SYD", 8},
      {u"VDB", 8},  {u"IRR", 9},   {u"MIRR", 9},  {u"RATE", 9},   {u"AVERAGE", 0},
      {u"NPER", 0}, {u"DATEVALUE", 0}, {u"ACCRINT", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(suggestedFormat(entry(c.name)), c.format) << narrow(c.name);
  // Those 19 are the only built-in entries with a suggested format.
  EXPECT_EQ(std::ranges::count_if(builtinFunctions(),
                                  [](const FunctionEntry& e) { return suggestedFormat(e) != 0; }),
            19);
}

TEST(FunctionTable, Categories) {
  struct Case {
    std::u16string_view name;
    FunctionCategory category;
  };
  const Case cases[] = {
      {u"CALL", FunctionCategory::All},
      {u"PMT", FunctionCategory::Financial},
      {u"DATEDIF", FunctionCategory::DateTime},
      {u"SUM", FunctionCategory::MathTrig},
      {u"COUNTIF", FunctionCategory::MathTrig},
      {u"AVERAGE", FunctionCategory::Statistical},
      {u"VLOOKUP", FunctionCategory::Lookup},
      {u"DSUM", FunctionCategory::Database},
      {u"LEN", FunctionCategory::Text},
      {u"IF", FunctionCategory::Logical},
      {u"FALSE", FunctionCategory::Logical},
      {u"CELL", FunctionCategory::Information},
      {u"WHILE", FunctionCategory::MacroControl},
      {u"FOR", FunctionCategory::MacroControl},
      {u"GET.CELL", FunctionCategory::MacroCommand},
      {u"EVALUATE", FunctionCategory::MacroCommand},
      {u"ASC", FunctionCategory::Hidden},
      {u"USDOLLAR", FunctionCategory::Hidden},
      {u"ACCRINT", FunctionCategory::Financial},
      {u"EDATE", FunctionCategory::DateTime},
      {u"MROUND", FunctionCategory::MathTrig},
      {u"ISODD", FunctionCategory::Information},
      {u"BESSELJ", FunctionCategory::Engineering},
      {u"REGRESS", FunctionCategory::Hidden},
  };
  for (const Case& c : cases) EXPECT_EQ(category(entry(c.name)), c.category) << narrow(c.name);
  // As an entry category, "all" belongs to CALL alone.
  EXPECT_EQ(std::ranges::count_if(builtinFunctions(),
                                  [](const FunctionEntry& e) {
                                    return category(e) == FunctionCategory::All;
                                  }),
            1);
  // Add-in categories are 1, 2, 3, 9, 10 or 255.
  for (const FunctionEntry& e : addInFunctions()) {
    const int c = static_cast<int>(category(e));
    EXPECT_TRUE(c == 1 || c == 2 || c == 3 || c == 9 || c == 10 || c == 255) << narrow(e.name);
  }
}

// ---------------------------------------------------------------------------
// Templates.

/// Checks a template against its type string: one item per letter, plain for
/// an upper-case letter and bracketed for a lower-case one; a last item
/// "[name, ...]" stands for the rest, which must all be optional.
::testing::AssertionResult templateMatches(const FunctionEntry& e) {
  std::vector<std::u16string> items;
  std::u16string current;
  int depth = 0;
  for (char16_t c : e.argTemplate) {
    if (c == u'[') ++depth;
    if (c == u']') --depth;
    if (c == u',' && depth == 0) {
      items.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!e.argTemplate.empty()) items.push_back(current);
  for (std::u16string& item : items) {
    while (!item.empty() && item.front() == u' ') item.erase(0, 1);
  }
  size_t positions = items.size();
  if (!items.empty() && items.back().ends_with(u", ...]")) {
    positions = items.size() - 1;
    if (positions >= e.argTypes.size()) return ::testing::AssertionFailure() << "tail too late";
    for (size_t i = positions; i < e.argTypes.size(); ++i) {
      if (!(e.argTypes[i] >= 'a' && e.argTypes[i] <= 'z'))
        return ::testing::AssertionFailure() << "required letter in the repeated tail";
    }
  } else if (items.size() != e.argTypes.size()) {
    return ::testing::AssertionFailure() << items.size() << " items for " << e.argTypes.size()
                                         << " letters";
  }
  for (size_t i = 0; i < positions; ++i) {
    const bool bracketed = items[i].starts_with(u"[") && items[i].ends_with(u"]");
    const bool optional = e.argTypes[i] >= 'a' && e.argTypes[i] <= 'z';
    if (items[i].empty() || bracketed != optional)
      return ::testing::AssertionFailure() << "item " << i << " '" << narrow(items[i]) << "'";
  }
  return ::testing::AssertionSuccess();
}

TEST(FunctionTable, TemplatesAgreeWithTheTypeStrings) {
  for (auto entries : {builtinFunctions(), addInFunctions()}) {
    for (const FunctionEntry& e : entries) {
      EXPECT_TRUE(templateMatches(e)) << narrow(e.name) << ": " << narrow(e.argTemplate);
    }
  }
}

TEST(FunctionTable, TemplateExamples) {
  EXPECT_EQ(entry(u"ADDRESS").argTemplate, u"row_num, column_num, [abs_num], [a1], [sheet_text]");
  EXPECT_EQ(entry(u"SUM").argTemplate, u"number1, [number2, ...]");
  EXPECT_EQ(entry(u"VLOOKUP").argTemplate,
            u"lookup_value, table_array, col_index_num, [range_lookup]");
  EXPECT_EQ(entry(u"DCOUNT").argTemplate, u"database, [field], criteria");
  EXPECT_TRUE(entry(u"NOW").argTemplate.empty());
  EXPECT_TRUE(entry(u"ATTACH.TOOLBARS?").argTemplate.empty());
}

// ---------------------------------------------------------------------------
// Lookups.

TEST(FunctionTable, LookupFunctionAt) {
  struct Case {
    std::u16string_view text;
    size_t pos;
    std::u16string_view expected; // empty: not found
  };
  const Case cases[] = {
      {u"=sum(1,2)", 1, u"SUM"},
      {u"SUM(A1:A3)", 0, u"SUM"},
      {u"=Sum(", 1, u"SUM"},
      {u"=A1+SUM(A1)", 4, u"SUM"},
      {u"ACTIVATE(", 0, u"ACTIVATE"},
      {u"ACTIVATE.NEXT(", 0, u"ACTIVATE.NEXT"},
      {u"activate.prev()", 0, u"ACTIVATE.PREV"},
      {u"ACTIVE.CELL()", 0, u"ACTIVE.CELL"},
      {u"ATTACH.TOOLBARS?(", 0, u"ATTACH.TOOLBARS?"},
      {u"ATTACH.TOOLBARS(", 0, u""},
      {u"GET.CELL(1)", 0, u"GET.CELL"},
      {u"A1.R1C1(TRUE)", 0, u"A1.R1C1"},
      {u"LOG10(100)", 0, u"LOG10"},
      {u"LOG(100)", 0, u"LOG"},
      {u"TRUE()", 0, u"TRUE"},
      {u"false()", 0, u"FALSE"},
      {u"=BESSELJ(1,2)", 1, u"BESSELJ"},
      {u"=ztestm(A1,B1)", 1, u"ZTESTM"},
      {u"DELETE.CHART.AUTOFORMAT(", 0, u"DELETE.CHART.AUTOFORMAT"},
      {u"SUM", 0, u""},
      {u"SUM (1)", 0, u""},
      {u"SU(", 0, u""},
      {u"SUMX(", 0, u""},
      {u"XSUM(", 0, u""},
      {u"SUM.(", 0, u""},
      {u"Sheet1!SUM(", 0, u""},
      {u"(", 0, u""},
      {u"", 0, u""},
      {u"SUM(", 7, u""},
      {u"\uFF33\uFF35\uFF2D(", 0, u""}, // full-width letters
      {u"DELETE.CHART.AUTOFORMATS(", 0, u""},
      {u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ(", 0, u""},
      {u"ZTESTM(", 0, u"ZTESTM"},   // the last name of the add-ins
      {u"ZTEST(", 0, u"ZTEST"},     // the last of the built-in names
      {u"ABS(", 0, u"ABS"},         // the first
      {u"ZZ(", 0, u""},
      {u"_SUM(", 0, u""},
      {u"\u007FSUM(", 0, u""},
      {u"\u00C9T(", 0, u""},
      {u"\uFFFF(", 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.text));
    const FunctionEntry* e = lookupFunctionAt(c.text, c.pos);
    if (c.expected.empty()) {
      EXPECT_EQ(e, nullptr) << narrow(e ? e->name : u"");
    } else {
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->name, c.expected);
    }
  }
}

TEST(FunctionTable, LookupFunctionAtFindsEveryEntryInAnyCase) {
  for (auto entries : {builtinFunctions(), addInFunctions()}) {
    for (const FunctionEntry& e : entries) {
      std::u16string lower(e.name);
      for (char16_t& c : lower) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
      }
      EXPECT_EQ(lookupFunctionAt(u"=" + std::u16string(e.name) + u"()", 1), &e) << narrow(e.name);
      EXPECT_EQ(lookupFunctionAt(lower + u"(1)", 0), &e) << narrow(e.name);
      EXPECT_EQ(lookupFunctionAt(e.name, 0), nullptr) << narrow(e.name);
    }
  }
}

TEST(FunctionTable, FindFunctionIsExactAndCaseInsensitive) {
  EXPECT_EQ(findFunction(u"vlookup"), &entry(u"VLOOKUP"));
  EXPECT_EQ(findFunction(u"VLookUp"), &entry(u"VLOOKUP"));
  ASSERT_NE(findFunction(u"ACTIVATE"), nullptr);
  EXPECT_EQ(findFunction(u"ACTIVATE")->name, u"ACTIVATE");
  EXPECT_EQ(findFunction(u"activate.next")->name, u"ACTIVATE.NEXT");
  EXPECT_EQ(findFunction(u"attach.toolbars?")->name, u"ATTACH.TOOLBARS?");
  ASSERT_NE(findFunction(u"ztestm"), nullptr);
  EXPECT_TRUE(isAddIn(*findFunction(u"ztestm")));
  for (std::u16string_view missing :
       {u"", u"ACTIVATE.", u"SUM(", u"SU", u"SUMS", u"NOSUCH", u" SUM", u"SUM ",
        u"ATTACH.TOOLBARS", u"\uFF33UM", u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ"}) {
    EXPECT_EQ(findFunction(missing), nullptr) << narrow(missing);
  }
}

TEST(FunctionTable, FindFunctionByNumber) {
  struct Case {
    int number;
    std::u16string_view expected; // empty: none
  };
  const Case cases[] = {
      {4, u"SUM"},          {102, u"VLOOKUP"},     {32798, u"A1.R1C1"}, {1, u"IF"},
      {0, u"COUNT"},        {34, u"TRUE"},         {35, u"FALSE"},      {32768, u"BEEP"},
      {150, u"CALL"},       {32898, u"FORMULA.REPLACE"}, {33091, u"ATTACH.TOOLBARS?"},
      {33149, u"FONT.PROPERTIES"}, {185, u"GET.CELL"},
      {-1, u""},            {65535, u""},          {65536, u""},        {1 << 20, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    const FunctionEntry* e = findFunctionByNumber(c.number);
    if (c.expected.empty()) {
      EXPECT_EQ(e, nullptr);
    } else {
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->name, c.expected);
    }
  }
  // Every built-in entry is found by its own number, and numbers are unique.
  for (const FunctionEntry& e : builtinFunctions()) {
    EXPECT_EQ(findFunctionByNumber(functionNumber(e)), &e) << narrow(e.name);
  }
}

// ---------------------------------------------------------------------------
// Constants.

TEST(FunctionTable, TheNineConstants) {
  struct Case {
    std::u16string_view name;
    CellValue value;
    int fileCode;
  };
  const Case cases[] = {
      {u"#DIV/0!", CellValue::error(ErrorCode::Div0), -7},
      {u"#N/A", CellValue::error(ErrorCode::NA), -42},
      {u"#NAME?", CellValue::error(ErrorCode::Name), -29},
      {u"#NULL!", CellValue::error(ErrorCode::Null), 0},
      {u"#NUM!", CellValue::error(ErrorCode::Num), -36},
      {u"#REF!", CellValue::error(ErrorCode::Ref), -23},
      {u"#VALUE!", CellValue::error(ErrorCode::Value), -15},
      {u"FALSE", CellValue::boolean(false), 35},
      {u"TRUE", CellValue::boolean(true), 34},
  };
  ASSERT_EQ(constants().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const ConstantEntry& k = constants()[i];
    SCOPED_TRACE(narrow(cases[i].name));
    EXPECT_EQ(k.name, cases[i].name);
    EXPECT_EQ(k.make(), cases[i].value);
    EXPECT_EQ(k.fileCode, cases[i].fileCode);
    EXPECT_EQ(lookupConstantAt(k.name, 0), &k);
  }
}

TEST(FunctionTable, LookupConstantAt) {
  struct Case {
    std::u16string_view text;
    size_t pos;
    std::u16string_view expected; // empty: not found
  };
  const Case cases[] = {
      {u"TRUE", 0, u"TRUE"},
      {u"true", 0, u"TRUE"},
      {u"=1+False", 3, u"FALSE"},
      {u"TRUE)", 0, u"TRUE"},
      {u"TRUE,1", 0, u"TRUE"},
      {u"TRUE;1", 0, u"TRUE"},
      {u"TRUE 1", 0, u"TRUE"},
      {u"TRUE=FALSE", 0, u"TRUE"},
      {u"TRUE=FALSE", 5, u"FALSE"},
      {u"TRUE}", 0, u"TRUE"},
      {u"#N/A", 0, u"#N/A"},
      {u"#n/a+1", 0, u"#N/A"},
      {u"#DIV/0!", 0, u"#DIV/0!"},
      {u"#div/0!*2", 0, u"#DIV/0!"},
      {u"#NAME?", 0, u"#NAME?"},
      {u"#NULL!", 0, u"#NULL!"},
      {u"#NUM!", 0, u"#NUM!"},
      {u"#REF!", 0, u"#REF!"},
      {u"#VALUE!", 0, u"#VALUE!"},
      {u"TRUE(", 0, u""},
      {u"FALSE()", 0, u""},
      {u"TRUEX", 0, u""},
      {u"TRUE1", 0, u""},
      {u"TRUE.X", 0, u""},
      {u"TRUE!A1", 0, u""},
      {u"TRUE_", 0, u""},
      {u"TRU", 0, u""},
      {u"#N/", 0, u""},
      {u"#NA", 0, u""},
      {u"#N/AB", 0, u""},
      {u"#", 0, u""},
      {u"", 0, u""},
      {u"TRUE", 4, u""},
      {u"XTRUE", 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.text));
    const ConstantEntry* k = lookupConstantAt(c.text, c.pos);
    if (c.expected.empty()) {
      EXPECT_EQ(k, nullptr) << narrow(k ? k->name : u"");
    } else {
      ASSERT_NE(k, nullptr);
      EXPECT_EQ(k->name, c.expected);
    }
  }
}

// ---------------------------------------------------------------------------
// Handlers.

void testHandler(Arguments& args, CellValue& result, EvalContext&) {
  result = CellValue::number(static_cast<double>(args.count) + 0.5);
}

TEST(FunctionTable, RecognisedOnlyEntriesAnswerFalse) {
  const FunctionEntry& replace = entry(u"FORMULA.REPLACE");
  EXPECT_FALSE(replace.computes);
  EXPECT_EQ(handlerOf(replace), &recognisedOnlyHandler);
  Arguments args;
  args[0] = CellValue::string(u"a");
  args[1] = CellValue::string(u"b");
  args.count = 2;
  EXPECT_EQ(callHandler(handlerOf(replace), args), CellValue::boolean(false));
  EXPECT_EQ(handlerOf(entry(u"FALSE")), &recognisedOnlyHandler);
  EXPECT_EQ(handlerOf(entry(u"ANOVA1")), &recognisedOnlyHandler);
  EXPECT_EQ(callHandler(recognisedOnlyHandler), CellValue::boolean(false));
  for (auto entries : {builtinFunctions(), addInFunctions()}) {
    for (const FunctionEntry& e : entries) {
      if (!e.computes) EXPECT_EQ(handlerOf(e), &recognisedOnlyHandler) << narrow(e.name);
      else EXPECT_NE(handlerOf(e), &recognisedOnlyHandler) << narrow(e.name);
    }
  }
}

/// Registers handlers for a test and puts back what was there before.
class FunctionTableHandlers : public ::testing::Test {
protected:
  void remember(std::u16string_view name) {
    saved_.push_back({std::u16string(name), handlerOf(entry(name))});
  }
  void TearDown() override {
    for (const auto& [name, handler] : saved_) registerHandler(name, handler);
  }

private:
  std::vector<std::pair<std::u16string, FunctionHandler>> saved_;
};

TEST_F(FunctionTableHandlers, UnregisteredComputingEntriesAnswerName) {
  // Engineering add-ins belong to a family of their own.
  remember(u"BESSELJ");
  ASSERT_TRUE(registerHandler(u"BESSELJ", nullptr));
  const FunctionHandler handler = handlerOf(entry(u"BESSELJ"));
  ASSERT_NE(handler, nullptr);
  EXPECT_NE(handler, &recognisedOnlyHandler);
  EXPECT_EQ(callHandler(handler), CellValue::error(ErrorCode::Name));
}

TEST_F(FunctionTableHandlers, RegisterHandler) {
  remember(u"BESSELJ");
  remember(u"MDETERM");
  EXPECT_TRUE(registerHandler(u"besselj", testHandler));
  EXPECT_EQ(handlerOf(entry(u"BESSELJ")), &testHandler);
  Arguments args;
  args.count = 2;
  EXPECT_EQ(callHandler(handlerOf(entry(u"BESSELJ")), args), CellValue::number(2.5));

  EXPECT_TRUE(registerHandler(u"MDETERM", testHandler));
  EXPECT_EQ(handlerOf(entry(u"MDETERM")), &testHandler);
  // A copy of an entry finds the same slot by its name.
  const FunctionEntry copy = entry(u"MDETERM");
  EXPECT_EQ(handlerOf(copy), &testHandler);

  // Withdrawing the handler brings #NAME? back.
  EXPECT_TRUE(registerHandler(u"MDETERM", nullptr));
  EXPECT_EQ(callHandler(handlerOf(entry(u"MDETERM"))), CellValue::error(ErrorCode::Name));

  // Unknown and recognised-only names are refused and keep answering FALSE.
  EXPECT_FALSE(registerHandler(u"NOSUCH", testHandler));
  EXPECT_FALSE(registerHandler(u"", testHandler));
  EXPECT_FALSE(registerHandler(u"BESSELJ(", testHandler));
  EXPECT_FALSE(registerHandler(u"FORMULA.REPLACE", testHandler));
  EXPECT_FALSE(registerHandler(u"FALSE", testHandler));
  EXPECT_FALSE(registerHandler(u"ANOVA1", testHandler));
  EXPECT_EQ(handlerOf(entry(u"FORMULA.REPLACE")), &recognisedOnlyHandler);
  EXPECT_EQ(handlerOf(entry(u"FALSE")), &recognisedOnlyHandler);
}

TEST(FunctionTable, AnEntryOutsideTheTableHasNoRegisteredHandler) {
  const FunctionEntry stranger{u"NOT.A.FUNCTION", "N", 0, TokenForm::Fixed, true, u"x"};
  EXPECT_EQ(callHandler(handlerOf(stranger)), CellValue::error(ErrorCode::Name));
  const FunctionEntry recognised{u"NOT.A.FUNCTION", "", 0, TokenForm::Fixed, false, u""};
  EXPECT_EQ(handlerOf(recognised), &recognisedOnlyHandler);
}

TEST(FunctionTable, LaterVersionsFunctions) {
  EXPECT_EQ(laterFunctions().size(), 39u);
  for (const FunctionEntry& e : laterFunctions()) {
    SCOPED_TRACE(narrow(e.name));
    EXPECT_TRUE(isPrefixed(e));
    EXPECT_FALSE(isAddIn(e));
    EXPECT_EQ(functionNumber(e), -1);
    EXPECT_EQ(suggestedFormat(e), 0);
    EXPECT_TRUE(e.computes);
    std::u16string lower(e.name);
    for (char16_t& c : lower)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    EXPECT_EQ(lookupFunctionAt(u"=1+" + lower + u"(1)", 3), &e);
    EXPECT_EQ(findFunction(lower), &e);
    EXPECT_EQ(findPrefixedFunction(u"_xlfn." + std::u16string(e.name)), &e);
    EXPECT_EQ(findPrefixedFunction(u"_XLFN." + lower), &e);
  }
  const struct {
    std::u16string_view name;
    FunctionCategory category;
  } categories[] = {
      {u"IFERROR", FunctionCategory::Logical},   {u"XOR", FunctionCategory::Logical},
      {u"SUMIFS", FunctionCategory::MathTrig},   {u"COUNTIFS", FunctionCategory::Statistical},
      {u"CONCAT", FunctionCategory::Text},       {u"DAYS", FunctionCategory::DateTime},
      {u"NORM.S.DIST", FunctionCategory::Statistical},
  };
  for (const auto& c : categories)
    EXPECT_EQ(category(entry(c.name)), c.category) << narrow(c.name);
  for (std::u16string_view notOne :
       {u"IFERROR", u"_xlfn.", u"_xlfn.SUM", u"_xlfn.SINGLE", u"_xlfnIFERROR", u"_xlfn.IFERROR(",
        u"xlfn.IFERROR", u""})
    EXPECT_EQ(findPrefixedFunction(notOne), nullptr) << narrow(notOne);
  // The table's own functions stay as they are.
  EXPECT_EQ(functionNumber(entry(u"SUMIF")), 345);
  EXPECT_FALSE(isPrefixed(entry(u"SUMIF")));
}

} // namespace
} // namespace formula
