// The number gatherer: its four options, the extensions, the
// walk over arguments, arrays and references, and the array companions.

#include "functions/families.h"
#include "functions/gather.h"

#include "formula/compiled_formula.h"
#include "formula/rewrite.h"
#include "functions/function_test_util.h"
#include "model/sheet.h"

#include <optional>
#include <string>
#include <vector>

namespace functions::testing {
namespace {

using model::CellRange;
using model::SheetRange;

class GatherTest : public FunctionTest {
protected:
  // The math family supplies SUBTOTAL for the skip-subtotals cases.
  GatherTest() : FunctionTest(registerMathFunctions) {}

  EvalContext context() { return EvalContext{book, 0, 999, 25}; }

  static CellValue ref(std::string_view a1, std::string_view b1, int sheet = -1) {
    const auto [r1, c1] = at(a1);
    const auto [r2, c2] = at(b1);
    return CellValue::reference(
        SheetRange::of(static_cast<std::int16_t>(sheet),
                       CellRange{static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1),
                                 static_cast<std::uint16_t>(r2), static_cast<std::uint8_t>(c2)}));
  }

  static CellValue row(std::vector<CellValue> items) {
    const auto n = static_cast<std::uint16_t>(items.size());
    return CellValue::array(1, n, std::move(items));
  }

  /// Gathers one argument; returns the numbers, `stopped` tells the error.
  std::vector<double> gather(const CellValue &arg, const GatherOptions &o,
                             CellValue *error = nullptr) {
    EvalContext ctx = context();
    NumberList list;
    const bool ok = gatherArgument(arg, ctx, o, list);
    EXPECT_EQ(ok, !list.stopped());
    if (error)
      *error = list.error;
    return list.numbers;
  }

  void hideRow(int row) {
    model::setRowHeightPoints(book->sheet(0), static_cast<std::uint16_t>(row),
                              static_cast<std::uint16_t>(row), 0);
  }

  static GatherOptions options(bool numbersOnly, bool stopAtErrors) {
    GatherOptions o;
    o.numbersOnly = numbersOnly;
    o.stopAtErrors = stopAtErrors;
    return o;
  }
};

using Numbers = std::vector<double>;

TEST_F(GatherTest, DefaultsAreSumsOptions) {
  const GatherOptions o;
  EXPECT_TRUE(o.numbersOnly);
  EXPECT_TRUE(o.stopAtErrors);
  EXPECT_FALSE(o.skipSubtotals);
  EXPECT_EQ(o.hiddenRows, HiddenRows::All);
  EXPECT_FALSE(o.convertDirect);
  EXPECT_FALSE(o.textAsZero);
}

TEST_F(GatherTest, DirectValues) {
  EXPECT_EQ(gather(CellValue::number(4), {}), Numbers{4});
  // Direct strings, booleans and empties were converted by the argument
  // letter already; what is left is ignored.
  EXPECT_EQ(gather(CellValue::string(u"3"), {}), Numbers{});
  EXPECT_EQ(gather(CellValue::boolean(true), {}), Numbers{});
  EXPECT_EQ(gather(CellValue(), {}), Numbers{});
  CellValue error;
  EXPECT_EQ(gather(CellValue::error(ErrorCode::NA), {}, &error), Numbers{});
  EXPECT_EQ(error, CellValue::error(ErrorCode::NA));
  EXPECT_EQ(gather(CellValue::error(ErrorCode::NA), options(true, false), &error), Numbers{});
  EXPECT_TRUE(error.isEmpty());
}

TEST_F(GatherTest, ConvertDirectForRawArguments) {
  GatherOptions o;
  o.convertDirect = true;
  EXPECT_EQ(gather(CellValue::string(u"3"), o), Numbers{3});
  EXPECT_EQ(gather(CellValue::boolean(true), o), Numbers{1});
  EXPECT_EQ(gather(CellValue::boolean(false), o), Numbers{0});
  CellValue error;
  EXPECT_EQ(gather(CellValue::string(u"\"x"), o, &error), Numbers{});
  EXPECT_EQ(error, CellValue::error(ErrorCode::Value));
  EXPECT_EQ(gather(CellValue::nameText(u"x"), o, &error), Numbers{});
  EXPECT_EQ(error, CellValue::error(ErrorCode::Name));
  // Without stop-at-errors a failed conversion is ignored like any error.
  o.stopAtErrors = false;
  EXPECT_EQ(gather(CellValue::nameText(u"x"), o, &error), Numbers{});
  EXPECT_TRUE(error.isEmpty());
}

TEST_F(GatherTest, ArraysInRowMajorOrder) {
  const CellValue a = CellValue::array(2, 3,
                                       {CellValue::number(1), CellValue::string(u"a"),
                                        CellValue::boolean(true), CellValue::number(2),
                                        CellValue::error(ErrorCode::Div0), CellValue::number(3)});
  CellValue error;
  EXPECT_EQ(gather(a, {}, &error), (Numbers{1, 2}));
  EXPECT_EQ(error, CellValue::error(ErrorCode::Div0));
  EXPECT_EQ(gather(a, options(true, false), &error), (Numbers{1, 2, 3}));
  // numbers-only clear: each element converted; "a" is not a number.
  EXPECT_EQ(gather(a, options(false, false)), (Numbers{1, 1, 2, 3}));
  EXPECT_EQ(gather(a, options(false, true), &error), (Numbers{1}));
  EXPECT_EQ(error.kind(), model::ValueKind::Error);
  GatherOptions z = options(false, false);
  z.textAsZero = true;
  EXPECT_EQ(gather(a, z), (Numbers{1, 0, 1, 2, 3}));
  // Text that reads as a number converts when numbers-only is clear.
  EXPECT_EQ(gather(row({CellValue::string(u"2.5"), CellValue::string(u"1/2/2000")}),
                   options(false, true)),
            (Numbers{2.5, 36527}));
}

TEST_F(GatherTest, ReferenceTakesNumbersOnlyAndStopsAtErrors) {
  set("A1", u"1");
  set("A2", u"text");
  set("A3", u"TRUE");
  set("A4", u"=NA()");
  set("A5", u"5");
  CellValue error;
  EXPECT_EQ(gather(ref("A1", "A5"), {}, &error), Numbers{1});
  EXPECT_EQ(error, CellValue::error(ErrorCode::NA));
  EXPECT_EQ(gather(ref("A1", "A5"), options(true, false), &error), (Numbers{1, 5}));
  EXPECT_TRUE(error.isEmpty());
  // numbers-only clear: TRUE gives 1; "text" does not read and is an error.
  EXPECT_EQ(gather(ref("A1", "A5"), options(false, false)), (Numbers{1, 1, 5}));
  EXPECT_EQ(gather(ref("A1", "A5"), options(false, true), &error), (Numbers{1}));
  EXPECT_TRUE(error.isError());
  GatherOptions a = options(false, false);
  a.textAsZero = true;
  EXPECT_EQ(gather(ref("A1", "A5"), a), (Numbers{1, 0, 1, 5}));
  // Referenced text is skipped even with convertDirect (it is not direct).
  GatherOptions d;
  d.convertDirect = true;
  set("A4", u"4");
  EXPECT_EQ(gather(ref("A1", "A5"), d), (Numbers{1, 4, 5}));
}

TEST_F(GatherTest, ReferenceWalksStoredCellsRowByRow) {
  set("B1", u"2");
  set("A2", u"3");
  set("C2", u"5");
  set("A1", u"1");
  set("D1", u"99"); // outside the area
  set("C3", u"6");
  EXPECT_EQ(gather(ref("A1", "C3"), {}), (Numbers{1, 2, 3, 5, 6}));
  // An area that starts to the right of stored cells of its rows.
  EXPECT_EQ(gather(ref("B1", "C2"), {}), (Numbers{2, 5}));
  // Empty areas and areas past the last cell.
  EXPECT_EQ(gather(ref("F1", "G100"), {}), Numbers{});
  EXPECT_EQ(gather(ref("A100", "IV65536"), {}), Numbers{});
}

TEST_F(GatherTest, NarrowAreaInWideRows) {
  // 30 cells per row: the walk steps over a few outside cells and jumps
  // over many, on both sides of the area.
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 30; ++c)
      ASSERT_TRUE(
          model::set_cell(*book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c),
                          platform::fromUtf8(std::to_string(r * 100 + c)), 15, false, true));
  EXPECT_EQ(gather(ref("M1", "N4"), {}), (Numbers{12, 13, 112, 113, 212, 213, 312, 313}));
  EXPECT_EQ(gather(ref("B2", "B3"), {}), (Numbers{101, 201}));
  EXPECT_EQ(gather(ref("AC1", "AD2"), {}), (Numbers{28, 29, 128, 129}));
  EXPECT_EQ(gather(ref("A4", "A4"), {}), (Numbers{300}));
}

TEST_F(GatherTest, BlankStoredCellsAreNeverTaken) {
  set("A1", u"1");
  model::storeCellInput(book->sheet(0), 1, 0, u"", 20); // a formatted blank
  set("A3", u"3");
  EXPECT_EQ(gather(ref("A1", "A3"), {}), (Numbers{1, 3}));
  EXPECT_EQ(gather(ref("A1", "A3"), options(false, true)), (Numbers{1, 3}));
  int visited = 0, empties = 0;
  EvalContext ctx = context();
  forEachArgumentValue(ref("A1", "A3"), ctx, {}, [&](const CellValue &v, ValueSource s) {
    EXPECT_EQ(s, ValueSource::Cell);
    ++visited;
    empties += v.isEmpty();
    return true;
  });
  EXPECT_EQ(visited, 3);
  EXPECT_EQ(empties, 1);
}

TEST_F(GatherTest, MultiAreaReferencesInTurn) {
  set("A1", u"1");
  set("A2", u"2");
  set("C1", u"3");
  std::vector<SheetRange> areas{ref("C1", "C1").referenceValue(), ref("A1", "A2").referenceValue()};
  EXPECT_EQ(gather(CellValue::areas(areas), {}), (Numbers{3, 1, 2}));
  // The same cell twice counts twice.
  areas.push_back(ref("A1", "A1").referenceValue());
  EXPECT_EQ(gather(CellValue::areas(areas), {}), (Numbers{3, 1, 2, 1}));
}

TEST_F(GatherTest, OtherSheetsAndMissingSheets) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, std::nullopt, model::SheetKind::Worksheet, false));
  ASSERT_GE(book->sheetCount(), 2);
  ASSERT_TRUE(model::set_cell(*book, 1, 0, 0, u"7", 15, false, true));
  EXPECT_EQ(gather(ref("A1", "A5", 1), {}), Numbers{7});
  EXPECT_EQ(gather(ref("A1", "A5", 90), {}), Numbers{});
}

TEST_F(GatherTest, StaleFormulasAreComputedFirst) {
  set("A1", u"2");
  set("A2", u"=A1*10");
  model::CellRecord *c = model::cell_at(book->sheet(0), 1, 0);
  ASSERT_NE(c, nullptr);
  c->value = CellValue::number(-1); // an old value that must not be used
  c->calcState = model::CalcState::NotValid;
  EXPECT_EQ(gather(ref("A1", "A2"), {}), (Numbers{2, 20}));
  EXPECT_NE(c->calcState, model::CalcState::NotValid);
}

TEST_F(GatherTest, CircularCellUsesItsLastValueAndSetsTheFlag) {
  set("A1", u"5");
  model::CellRecord *c = model::cell_at(book->sheet(0), 0, 0);
  c->calcState = model::CalcState::OnPath;
  book->circular = 0;
  EXPECT_EQ(gather(ref("A1", "A1"), {}), Numbers{5});
  EXPECT_EQ(book->circular, 1);
  c->calcState = model::CalcState::ValueValid;
}

TEST_F(GatherTest, SkipSubtotals) {
  set("A1", u"1");
  set("A2", u"=subtotal(9,A1)"); // any case
  set("A3", u"=SUM(A1)+1");
  EXPECT_EQ(gather(ref("A1", "A3"), {}), (Numbers{1, 1, 2}));
  GatherOptions o;
  o.skipSubtotals = true;
  EXPECT_EQ(gather(ref("A1", "A3"), o), (Numbers{1, 2}));
  // Text cells that merely mention the word are not formulas.
  set("A4", u"SUBTOTAL(");
  set("A5", u"4");
  EXPECT_EQ(gather(ref("A1", "A5"), o), (Numbers{1, 2, 4}));
}

TEST_F(GatherTest, HiddenRowModes) {
  for (int r = 1; r <= 4; ++r)
    set("A" + std::to_string(r), std::u16string(1, static_cast<char16_t>(u'0' + r)));
  hideRow(1); // A2
  GatherOptions o;
  EXPECT_EQ(gather(ref("A1", "A4"), o), (Numbers{1, 2, 3, 4}));
  o.hiddenRows = HiddenRows::SkipHidden;
  EXPECT_EQ(gather(ref("A1", "A4"), o), (Numbers{1, 3, 4}));
  o.hiddenRows = HiddenRows::SkipFiltered;
  EXPECT_EQ(gather(ref("A1", "A4"), o), (Numbers{1, 2, 3, 4})); // no AutoFilter
  book->sheet(0).flags |= model::kSheetAutoFilter;
  EXPECT_EQ(gather(ref("A1", "A4"), o), (Numbers{1, 3, 4}));
  // Hidden rows of arrays and direct values do not exist.
  EXPECT_EQ(gather(row({CellValue::number(1), CellValue::number(2)}), o), (Numbers{1, 2}));
}

TEST_F(GatherTest, GatherNumbersWalksArgumentsFromFirst) {
  set("A1", u"10");
  Arguments args;
  args[0] = CellValue::number(9); // e.g. SUBTOTAL's function number
  args[1] = ref("A1", "A1");
  args[2] = CellValue(); // an empty optional argument
  args[3] = CellValue::number(3);
  args.count = 4;
  EvalContext ctx = context();
  NumberList list;
  EXPECT_TRUE(gatherNumbers(args, 1, ctx, {}, list));
  EXPECT_EQ(list.numbers, (Numbers{10, 3}));
  list.clear();
  EXPECT_TRUE(gatherNumbers(args, 0, ctx, {}, list));
  EXPECT_EQ(list.numbers, (Numbers{9, 10, 3}));
  args[2] = CellValue::error(ErrorCode::Num);
  list.clear();
  EXPECT_FALSE(gatherNumbers(args, 0, ctx, {}, list));
  EXPECT_EQ(list.numbers, (Numbers{9, 10}));
  EXPECT_EQ(list.error, CellValue::error(ErrorCode::Num));
}

TEST_F(GatherTest, StreamingGivesTheSameNumbers) {
  set("A1", u"1");
  set("A2", u"x");
  set("A3", u"TRUE");
  set("A4", u"4");
  Arguments args;
  args[0] = ref("A1", "A4");
  args[1] = row({CellValue::number(7), CellValue::string(u"8")});
  args[2] = CellValue::number(9);
  args.count = 3;
  for (bool numbersOnly : {true, false}) {
    GatherOptions o = options(numbersOnly, false);
    EvalContext ctx = context();
    NumberList list;
    EXPECT_TRUE(gatherNumbers(args, 0, ctx, o, list));
    Numbers streamed;
    CellValue error;
    EXPECT_TRUE(
        forEachGatheredNumber(args, 0, ctx, o, error, [&](double x) { streamed.push_back(x); }));
    EXPECT_EQ(streamed, list.numbers);
    EXPECT_TRUE(error.isEmpty());
  }
  set("A2", u"=1/0");
  EvalContext ctx = context();
  Numbers streamed;
  CellValue error;
  EXPECT_FALSE(
      forEachGatheredNumber(args, 0, ctx, {}, error, [&](double x) { streamed.push_back(x); }));
  EXPECT_EQ(streamed, Numbers{1});
  EXPECT_EQ(error, CellValue::error(ErrorCode::Div0));
}

TEST_F(GatherTest, VisitorStopsEarlyAndReportsSources) {
  set("A1", u"1");
  set("A2", u"2");
  EvalContext ctx = context();
  std::vector<ValueSource> sources;
  auto record = [&](const CellValue &, ValueSource s) {
    sources.push_back(s);
    return sources.size() < 2;
  };
  EXPECT_TRUE(forEachArgumentValue(CellValue(), ctx, {}, record));
  EXPECT_FALSE(forEachArgumentValue(ref("A1", "A2"), ctx, {}, record));
  EXPECT_EQ(sources, (std::vector<ValueSource>{ValueSource::Direct, ValueSource::Cell}));
  sources.clear();
  EXPECT_FALSE(forEachArgumentValue(
      row({CellValue::number(1), CellValue::number(2), CellValue::number(3)}), ctx, {}, record));
  EXPECT_EQ(sources.size(), 2u);
}

TEST_F(GatherTest, ArgumentArrayShapes) {
  set("A1", u"1");
  set("B2", u"x");
  EvalContext ctx = context();
  const CellValue a = argumentArray(ref("A1", "B2"), ctx);
  ASSERT_TRUE(a.isArray());
  EXPECT_EQ(a.arrayRows(), 2);
  EXPECT_EQ(a.arrayColumns(), 2);
  EXPECT_EQ(a.arrayItem(0, 0), CellValue::number(1));
  EXPECT_TRUE(a.arrayItem(0, 1).isEmpty());
  EXPECT_EQ(a.arrayItem(1, 1), CellValue::string(u"x"));
  const CellValue single = argumentArray(ref("A1", "A1"), ctx);
  ASSERT_TRUE(single.isArray());
  EXPECT_EQ(single.arrayItem(0, 0), CellValue::number(1));
  const CellValue scalar = argumentArray(CellValue::number(4), ctx);
  ASSERT_TRUE(scalar.isArray());
  EXPECT_EQ(scalar.arrayItem(0, 0), CellValue::number(4));
  EXPECT_EQ(argumentArray(CellValue::areas(
                              {ref("A1", "A1").referenceValue(), ref("B1", "B1").referenceValue()}),
                          ctx),
            CellValue::error(ErrorCode::Value));
  const CellValue oneArea =
      argumentArray(CellValue::areas({ref("A1", "B1").referenceValue()}), ctx);
  ASSERT_TRUE(oneArea.isArray());
  EXPECT_EQ(oneArea.arrayColumns(), 2);
  EXPECT_EQ(argumentArray(CellValue::error(ErrorCode::Ref), ctx), CellValue::error(ErrorCode::Ref));
}

TEST_F(GatherTest, Pairs) {
  EvalContext ctx = context();
  std::vector<double> xs, ys;
  CellValue error;
  const CellValue x = row(
      {CellValue::number(1), CellValue::string(u"a"), CellValue::number(3), CellValue::number(4)});
  const CellValue y = CellValue::array(
      4, 1, {CellValue::number(5), CellValue::number(6), CellValue(), CellValue::number(8)});
  ASSERT_TRUE(gatherPairs(x, y, ctx, xs, ys, error));
  EXPECT_EQ(xs, (Numbers{1, 4}));
  EXPECT_EQ(ys, (Numbers{5, 8}));
  xs.clear();
  ys.clear();
  EXPECT_FALSE(gatherPairs(x, row({CellValue::number(1)}), ctx, xs, ys, error));
  EXPECT_EQ(error, CellValue::error(ErrorCode::NA));
  EXPECT_FALSE(gatherPairs(row({CellValue::number(1), CellValue::error(ErrorCode::Div0)}),
                           row({CellValue::error(ErrorCode::Num), CellValue::number(1)}), ctx, xs,
                           ys, error));
  EXPECT_EQ(error, CellValue::error(ErrorCode::Num));
}

TEST_F(GatherTest, Matrices) {
  EvalContext ctx = context();
  NumberMatrix m;
  CellValue error;
  ASSERT_TRUE(numberMatrix(CellValue::array(2, 2,
                                            {CellValue::number(1), CellValue::number(2),
                                             CellValue::number(3), CellValue::number(4)}),
                           ctx, m, error));
  EXPECT_EQ(m.rows, 2);
  EXPECT_EQ(m.columns, 2);
  EXPECT_EQ(m.at(1, 0), 3);
  EXPECT_FALSE(numberMatrix(row({CellValue::number(1), CellValue()}), ctx, m, error));
  EXPECT_EQ(error, CellValue::error(ErrorCode::Value));
  // An error element wins over an earlier non-number.
  EXPECT_FALSE(
      numberMatrix(row({CellValue::string(u"a"), CellValue::error(ErrorCode::NA)}), ctx, m, error));
  EXPECT_EQ(error, CellValue::error(ErrorCode::NA));
  set("A1", u"2");
  ASSERT_TRUE(numberMatrix(ref("A1", "A1"), ctx, m, error));
  EXPECT_EQ(m.items, Numbers{2});
}

// Kept steps (formulas computed without reading their text again) against
// the reader, with every function family installed.
class KeptStepsTest : public FunctionTest {
protected:
  KeptStepsTest() : FunctionTest(registerAllFunctions) {}
  model::CellRecord* cell(std::string_view a1) {
    const auto [r, c] = at(a1);
    return book->sheet(0).cells.at(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
  }
  model::CellValue value(std::string_view a1) {
    model::CellRecord* c = cell(a1);
    if (!c)
      return {};
    formula::computeCell(*book, 0, *c);
    return c->value;
  }
};

// The kept steps give the reader's values for every operator, sign, value
// kind and function call, errors and empty arguments included; other texts
// are left to the reader.
TEST_F(KeptStepsTest, ComputeAsTheReaderDoes) {
  set("A1", u"3");
  set("A2", u"-2.5");
  set("B1", u"x");
  set("B2", u"TRUE");
  set("B3", u"#N/A");
  // A small table in E1:G5: keys, texts, numbers.
  const char16_t* keys[] = {u"1", u"2", u"3", u"x", u"5"};
  const char16_t* texts[] = {u"a", u"b", u"c", u"d", u"e"};
  for (int r = 0; r < 5; ++r) {
    const std::u16string row = std::u16string(1, static_cast<char16_t>(u'1' + r));
    set("E" + platform::toUtf8(row), keys[r]);
    set("F" + platform::toUtf8(row), texts[r]);
    set("G" + platform::toUtf8(row), std::u16string(u"=E") + row + u"*10");
  }
  const std::u16string_view kept[] = {
      // arithmetic over numbers and single cells
      u"=1+2*3", u"=-A1^2", u"=A1&B1", u"=A1=B1", u"=(A1-A2)/2", u"=--5", u"=2*-5", u"=1E3+A1", u"=A1/0",
      u"=A9", u"=B1+1", u"=A1<>B1", u"=B2*A1", u"=B3+1", u"=1+B3", u"=A1>=A2", u"=+A1", u"=((A1))",
      u"=2^-1", u"=.5*A2", u"=A1-A1", u"=A9&A9", u"=-A9",
      // texts, constants and areas
      u"=\"a\"&A1", u"=\"He said \"\"hi\"\"\"", u"=\"a b%!{\"&\"\"", u"=TRUE+1", u"=#N/A", u"=A1:A2",
      u"=E1:E5", u"=E3:G3", u"=A1:A2+1",
      // the sheet's own functions
      u"=SUM(A1:E1)", u"=SUM(A1)", u"=SUM(A1,B1,B2)", u"=SUM(B1)", u"=SUM(\"3\",1)", u"=SUM(B3:B3)",
      u"=SUM(A1:A2,,4)", u"=AVERAGE(A1:E1)*2", u"=AVERAGE(B1)", u"=IF(A1>A2,A1,A2)",
      u"=IF(A1,\"yes\",\"no\")", u"=IF(B1,1,2)", u"=IF(A9,1)", u"=IF(TRUE,,3)", u"=IF(FALSE,1)",
      u"=VLOOKUP(A1,$E$1:$G$5,3,FALSE)", u"=VLOOKUP(99,E1:G5,2,FALSE)", u"=VLOOKUP(\"X\",E1:G5,2,FALSE)",
      u"=VLOOKUP(2.5,E1:G5,3)", u"=HLOOKUP(3,E3:G4,2,FALSE)", u"=MATCH(3,E1:E5,0)", u"=MATCH(B1,E1:E5,0)",
      u"=INDEX(E1:G5,2,3)", u"=INDEX(E1:G5,9,1)", u"=ROUND(A1/7,2)", u"=ROUND(A2,0)", u"=ROUND(C1/3,2)",
      u"=ROW()", u"=COLUMN(B1:C1)", u"=ROWS(A1:B3)", u"=ISREF(A1)", u"=ISBLANK(A9)", u"=ISERROR(B3)",
      u"=N(B1)", u"=T(A1)", u"=CONCATENATE(\"a\",A1,B2)", u"=LEN(\"He said \"\"hi\"\"\")", u"=UPPER(B1)",
      u"=MAX(A1:A2,10)", u"=MIN(B1)", u"=COUNT(A1:B3)", u"=COUNTA(A1:B3)", u"=COUNTIF(E1:E5,\">2\")",
      u"=SUMIF(E1:E5,\">2\",G1:G5)", u"=SUMPRODUCT(E1:E3,G1:G3)", u"=ABS(-A1)", u"=MOD(A1,2)", u"=PI()*2",
      u"=TRUE()", u"=NOT(B2)", u"=AND(TRUE,)", u"=OR(A1>5,B2)", u"=CHOOSE(2,\"a\",\"b\",\"c\")",
      u"=CHOOSE(9,1)", u"=INDIRECT(\"A1\")+1", u"=OFFSET(A1,1,0)", u"=SUM(OFFSET(A1,0,0,2,1))", u"=1/0",
      u"=NA()", u"=ERROR.TYPE(B3)", u"=ROUND(SUM(A1:A2)/AVERAGE(E1:E5),3)", u"=DATE(2024,1,31)",
      u"=ISNUMBER(MATCH(\"c\",F1:F5,0))", u"=SUM(G1:G5)/COUNT(G1:G5)", u"=LEFT(F1:F5)",
      u"=ABS(E1:E5)", u"=IFERROR(1/0,\"z\")",
  };
  formula::EvalContext ctx;
  ctx.book = book;
  ctx.row = 9;
  ctx.column = 3;
  for (const std::u16string_view text : kept) {
    SCOPED_TRACE(platform::toUtf8(text));
    set("D10", text);
    const model::CellRecord* c = cell("D10");
    const std::optional<model::CellValue> computed = formula::computeKept(*book, *c, text, ctx);
    EXPECT_TRUE(computed.has_value());
    if (computed) {
      EXPECT_EQ(show(*computed), show(formula::evaluateFormula(text, ctx)));
      EXPECT_NE(show(*computed), "#NAME?") << "every function is installed";
    }
  }
  // A cell met through text computes on the way, its steps above the
  // running ones: the places move, the operands must not.
  std::u16string deep = u"=A1";
  for (int i = 1; i <= 28; ++i)
    deep = u"=" + platform::fromUtf8(std::to_string(i)) + u"+(" + deep.substr(1) + u")";
  set("A5", deep);
  set("A1", u"4");
  ASSERT_EQ(cell("A5")->calcState, model::CalcState::NotValid);
  {
    const std::u16string_view text = u"=INDIRECT(\"A5\")*2";
    set("D10", text);
    cell("A5")->calcState = model::CalcState::NotValid;
    const std::optional<model::CellValue> computed = formula::computeKept(*book, *cell("D10"), text, ctx);
    ASSERT_TRUE(computed.has_value());
    EXPECT_EQ(show(*computed), "820"); // (4 + 1 + ... + 28) * 2
  }
  const std::u16string_view others[] = {
      u"=A1 +1",       u"=A1%",       u"=Sheet1!A1",     u"=A1,A2",   u"={1}",     u"=(A1",
      u"=A1)",         u"=1E400",     u"=SUM(Sheet1!A1)", u"=IF(1)",  u"=SUM(1,2", u"=ROUND(1)",
      u"=SUM(A1:A2 A1)", u"=\"open", u"=ROUND(A2,)", u"=NOSUCH(1)",     u"=SUM({1,2})", u"=SUM(A:A)", u"=COUNTA(1:1)",
  };
  for (const std::u16string_view text : others) {
    SCOPED_TRACE(platform::toUtf8(text));
    set("D11", text);
    EXPECT_FALSE(formula::computeKept(*book, *cell("D11"), text, ctx).has_value());
  }
}

// A sheet of kept formulas recalculates to the reader's values, and again
// after its inputs change.
TEST_F(KeptStepsTest, FollowTheirInputs) {
  for (int r = 1; r <= 30; ++r) {
    const std::u16string n = platform::fromUtf8(std::to_string(r));
    set("A" + std::to_string(r), platform::fromUtf8(std::to_string(r % 7 + 1)));
    set("B" + std::to_string(r), platform::fromUtf8(std::to_string(r * 3 % 11) + ".5"));
    set("C" + std::to_string(r), u"=SUM(A" + n + u":B" + n + u")");
    set("D" + std::to_string(r), u"=VLOOKUP(A" + n + u",$A$1:$C$10,3,FALSE)");
    set("E" + std::to_string(r), u"=IF(C" + n + u">10,ROUND(C" + n + u"/3,2),\"low\")");
  }
  const auto check = [&] {
    for (int r = 1; r <= 30; ++r)
      for (const char* column : {"C", "D", "E"}) {
        const std::string at = column + std::to_string(r);
        SCOPED_TRACE(at);
        formula::EvalContext ctx;
        ctx.book = book;
        ctx.row = static_cast<std::uint16_t>(r - 1);
        ctx.column = static_cast<std::uint8_t>(*column - 'A');
        EXPECT_EQ(show(value(at.c_str())), show(formula::evaluateFormula(cell(at.c_str())->input.view(), ctx)));
      }
  };
  check();
  set("A3", u"9");
  set("B1", u"x");
  check();
}

// Steps made for one cell serve the copies of its formula elsewhere (a
// filled column, a filled row): each copy computes as the reader reads its
// own text, absolute parts staying, relative parts moving, near the edges
// of the sheet too; a text that only looks alike gets steps of its own.
TEST_F(KeptStepsTest, MovedCopiesComputeAsTheReaderDoes) {
  for (int r = 1; r <= 12; ++r)
    for (const char* column : {"A", "B", "C", "D", "E"}) {
      const int k = r * 7 + (*column - 'A') * 3;
      set(column + std::to_string(r), platform::fromUtf8(k % 5 == 0 ? "x" : std::to_string(k % 13) + ".25"));
    }
  set("IV1", u"40");
  set("IU65536", u"7");
  set("A65536", u"-3");
  const std::u16string_view templates[] = {
      u"=A5+B4*$C$1",     u"=SUM(A5:E5)",      u"=AVERAGE(A5:E5)*2", u"=IF(A5>B5,A5,B5)",
      u"=VLOOKUP(A5,$A$1:$E$12,3,FALSE)",     u"=ROUND(C5/3,2)",    u"=SUM($A5:A$1)",
      u"=A5:A5+1",        u"=$A5:A5*2",        u"=SUM(B$2:C6)",      u"=E5&\"x\"&$B$3",
      u"=ROW()+COLUMN()", u"=A4-A6",           u"=COUNT(A1:E12)+A$5", u"=-$E5^2",
      u"=MATCH(B5,B1:B12,0)",
  };
  // Each copy's place: the cell the formula was written for (G6), copies down
  // and across, and copies at the sheet's edges.
  const std::pair<int, int> places[] = {{5, 6},  {6, 6},  {7, 6}, {8, 6},     {5, 7},     {5, 8},     {9, 7},
                                        {0, 6},  {1, 6},  {2, 6}, {65535, 6}, {65534, 6}, {5, 255},   {65535, 254},
                                        {4, 6},  {3, 6},  {0, 0}, {65535, 0}, {0, 255},   {65535, 255}};
  for (const std::u16string_view written : templates) {
    for (const auto& [row, column] : places) {
      const std::optional<std::u16string> moved =
          formula::rewriteFormula(formula::RewriteMode::Offset, *book, 0, written, CellRange{}, row - 5, column - 6);
      ASSERT_TRUE(moved.has_value());
      SCOPED_TRACE(platform::toUtf8(*moved) + " at row " + std::to_string(row + 1) + " column " +
                   std::to_string(column + 1));
      ASSERT_TRUE(model::set_cell(*book, 0, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column),
                                  *moved, 15, false, true));
      model::CellRecord* c =
          book->sheet(0).cells.at(static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column));
      ASSERT_NE(c, nullptr);
      formula::EvalContext ctx{book, 0, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column)};
      const model::CellValue read = formula::evaluateFormula(*moved, ctx);
      const std::string reader = show(read);
      formula::computeCell(*book, 0, *c);
      // A cell holds 0 where its formula gives nothing.
      EXPECT_EQ(show(c->value), read.isEmpty() ? "0" : reader);
      if (const std::optional<model::CellValue> kept = formula::computeKept(*book, *c, *moved, ctx))
        EXPECT_EQ(show(*kept), reader);
      else
        EXPECT_NE(moved->find(u"#REF!"), std::u16string::npos) << "copies of kept formulas are kept";
    }
    for (const auto& [row, column] : places)
      (void)model::set_cell(*book, 0, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(column), u"", 15,
                            false, true);
  }
  // Alike but for their absolute parts, or for a relative part that does not
  // move with the cell: each reads its own cells.
  set("H1", u"=$A$1+A1");
  set("H2", u"=$A$2+A2");
  set("H3", u"=$A$2+A1");
  set("H4", u"=A4+A4");
  set("H5", u"=A5+A6");
  set("I5", u"=A5+A6");
  set("I6", u"=B6+B7");
  for (const char* at : {"H1", "H2", "H3", "H4", "H5", "I5", "I6"}) {
    SCOPED_TRACE(at);
    const auto [r, c] = this->at(at);
    formula::EvalContext ctx{book, 0, static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c)};
    EXPECT_EQ(show(value(at)), show(formula::evaluateFormula(cell(at)->input.view(), ctx)));
  }
}

} // namespace
} // namespace functions::testing
