#include "formula/recalc.h"

#include "formula/array_block_lookup.h"
#include "formula/chain_replay.h"
#include "formula/compiled_formula.h"
#include "formula/reader.h"
#include "platform/unicode.h"
#include "formula/formula_test_util.h"

#include <optional>
#include <string>

namespace formula {
namespace {

using namespace formula::testing;
using model::CalcState;
using model::VolatilityClass;

class RecalcTest : public EngineTest {};

TEST_F(RecalcTest, EntryComputesAndPropagates) {
  set("A1", u"2");
  set("B1", u"=A1*10");
  set("C1", u"=B1+A1");
  EXPECT_EQ(show(value("C1")), "22");
  set("A1", u"3");
  // Dependents were marked and compute again when read.
  EXPECT_EQ(cell("B1")->calcState, CalcState::NotValid);
  EXPECT_EQ(cell("C1")->calcState, CalcState::NotValid);
  EXPECT_EQ(show(value("C1")), "33");
  EXPECT_EQ(cell("B1")->calcState, CalcState::ValueValid); // computed on the way
}

TEST_F(RecalcTest, CellKindsFromText) {
  book->cellFormats.push_back(book->cellFormats[15]);
  book->cellFormats.back().numberFormatIndex = 49; // Text
  const auto textFormat = static_cast<std::uint16_t>(book->cellFormats.size() - 1);
  set("A1", u"'123");
  set("A2", u"");
  set("A3", u"TRUE");
  set("A4", u"#N/A");
  set("A5", u"=A99");
  ASSERT_TRUE(model::set_cell(*book, 0, 5, 0, u"=1+1", textFormat, false, true));
  set("B1", u"=A1&\"x\"");
  EXPECT_EQ(show(value("A1")), "\"123\"");
  EXPECT_EQ(cell("A1")->input.view(), u"'123");
  EXPECT_EQ(show(value("A2")), "<empty>");
  EXPECT_EQ(show(value("A3")), "TRUE");
  EXPECT_EQ(show(value("A4")), "#N/A");
  EXPECT_EQ(show(value("A5")), "0"); // an empty result is stored as 0
  EXPECT_EQ(show(value("A6")), "\"=1+1\""); // text format: stays text, no precedents
  EXPECT_EQ(cell("A6")->precedents, nullptr);
  // A file's number-like string in a text-formatted cell keeps its
  // apostrophe in the input text only.
  ASSERT_TRUE(model::set_cell(*book, 0, 6, 0, u"'12  ", textFormat, false, true));
  EXPECT_EQ(show(value("A7")), "\"12  \"");
  EXPECT_EQ(show(value("B1")), "\"123x\"");
}

TEST_F(RecalcTest, ScanFindsPrecedentsNamesAndVolatility) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Data Sheet", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  book->names.push_back({0, 0, 0, u"Base", u"=$C$3", {}});
  book->names.push_back({0, 0, 0, u"Calc", u"=C3+C4", {}});
  set("A1", u"=SUM(A2:B3)+'Data Sheet'!A1+Base+Calc+A2:B3+\"D4\"+RAND()+EDATE(1,1)");
  const model::CellRecord* c = cell("A1");
  ASSERT_NE(c->precedents, nullptr);
  const model::PrecedentList& p = *c->precedents;
  ASSERT_EQ(p.size(), 3u) << "duplicates, strings and formula names add nothing";
  EXPECT_EQ(p[0], (model::SheetRange{-1, model::packCell(1, 0), model::packCell(2, 1)}));
  EXPECT_EQ(p[1], (model::SheetRange{1, model::packCell(0, 0), model::packCell(0, 0)}));
  EXPECT_EQ(p[2], (model::SheetRange{-1, model::packCell(2, 2), model::packCell(2, 2)}));
  EXPECT_EQ(c->volatility, VolatilityClass::Volatile);
  ASSERT_EQ(book->addInNames.size(), 1u);
  EXPECT_EQ(book->addInNames[0], u"EDATE");

  set("B1", u"=INFO(\"osversion\")");
  EXPECT_EQ(cell("B1")->volatility, VolatilityClass::Info);
  set("B2", u"=CELL(\"width\")");
  EXPECT_EQ(cell("B2")->volatility, VolatilityClass::Cell);
  set("B3", u"plain RAND() text");
  EXPECT_EQ(cell("B3")->volatility, VolatilityClass::None);
}

model::SheetRange area(int r1, int c1, int r2, int c2) {
  return model::SheetRange{-1, model::packCell(static_cast<std::uint16_t>(r1), static_cast<std::uint8_t>(c1)),
                           model::packCell(static_cast<std::uint16_t>(r2), static_cast<std::uint8_t>(c2))};
}

// A filled column reads as a filled copy of its first cell: each copy names
// the cells of its own text, absolute parts staying and relative parts
// moving, duplicates counted once wherever they meet.
TEST_F(RecalcTest, FilledCopiesNameTheirOwnCells) {
  using model::SheetRange;
  struct Shape {
    std::string (*text)(int row); // row is 1-based
    std::vector<SheetRange> (*names)(int row);
    VolatilityClass volatility;
  };
  const Shape shapes[] = {
      {[](int r) { return "=SUM(A" + std::to_string(r) + ":C" + std::to_string(r) + ")+$B$2+D" + std::to_string(r + 1); },
       [](int r) -> std::vector<SheetRange> { return {area(r - 1, 0, r - 1, 2), area(1, 1, 1, 1), area(r, 3, r, 3)}; },
       VolatilityClass::None},
      {[](int r) { return "=$A$3+A" + std::to_string(r); },
       [](int r) -> std::vector<SheetRange> {
         if (r == 3)
           return {area(2, 0, 2, 0)};
         return {area(2, 0, 2, 0), area(r - 1, 0, r - 1, 0)};
       },
       VolatilityClass::None},
      {[](int r) { return "=OFFSET(B" + std::to_string(r) + ",1,0)&\"A1\""; },
       [](int r) -> std::vector<SheetRange> { return {area(r - 1, 1, r - 1, 1)}; }, VolatilityClass::Volatile},
      {[](int r) { return "=SUM($A" + std::to_string(r) + ":B$4)"; },
       [](int r) -> std::vector<SheetRange> { return {area(std::min(r, 4) - 1, 0, std::max(r, 4) - 1, 1)}; },
       VolatilityClass::None},
  };
  for (const Shape& shape : shapes) {
    for (int r = 1; r <= 8; ++r) {
      const std::string at = "F" + std::to_string(r);
      const std::u16string text = platform::fromUtf8(shape.text(r));
      SCOPED_TRACE(platform::toUtf8(text));
      set(at, text);
      const model::CellRecord* c = cell(at);
      ASSERT_NE(c, nullptr);
      ASSERT_NE(c->precedents, nullptr);
      EXPECT_EQ(*c->precedents, shape.names(r));
      EXPECT_EQ(c->volatility, shape.volatility);
    }
  }
  // Alike but not a copy: the absolute part differs, so it is read anew.
  set("G1", u"=$A$1+B1");
  set("G2", u"=$A$5+B2");
  ASSERT_NE(cell("G2")->precedents, nullptr);
  EXPECT_EQ(*cell("G2")->precedents, (std::vector<SheetRange>{area(4, 0, 4, 0), area(1, 1, 1, 1)}));
  // The cell below a formula, alike but for its ending or its operators, is
  // read on its own: text when it is no formula, the next formula a copy again.
  struct Below {
    std::u16string_view text;
    bool formula;
  };
  const Below column[] = {{u"=SUM(A1:B1)*2", true},  {u"=SUM(A2:B2*2", false}, {u"=SUM(A3:B3)*2", true},
                          {u"=SUM(A4:B4)*2)", false}, {u"=SUM(A5:B5)**2", false}, {u"=SUM(A6:B6)*2", true},
                          {u"=SUM(A7:B7)*\"2", false}};
  for (size_t i = 0; i < std::size(column); ++i) {
    const std::string at = "H" + std::to_string(i + 1);
    SCOPED_TRACE(at);
    set(at, column[i].text);
    EXPECT_EQ(cell(at)->isFormula, column[i].formula);
    if (column[i].formula) {
      ASSERT_NE(cell(at)->precedents, nullptr);
      EXPECT_EQ(*cell(at)->precedents, (std::vector<SheetRange>{area(static_cast<int>(i), 0, static_cast<int>(i), 1)}));
      EXPECT_EQ(show(value(at)), "0");
    } else {
      EXPECT_EQ(cell(at)->precedents, nullptr);
      EXPECT_EQ(show(value(at)), "\"" + platform::toUtf8(column[i].text) + "\"");
    }
  }
}

// A reference through a range of sheets depends on the area of each sheet
// between its two, in either order.
TEST_F(RecalcTest, SheetRangeReferencesDependOnEverySheetOfTheRange) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Two", model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(*book, 2, u"Three 3", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  const std::u16string first = book->sheet(0).name;
  set("A1", u"=SUM(" + first + u":Two!B2)+'Three 3:Two'!C1:C2");
  const model::CellRecord* c = cell("A1");
  ASSERT_NE(c->precedents, nullptr);
  const model::PrecedentList& p = *c->precedents;
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0], (model::SheetRange{0, model::packCell(1, 1), model::packCell(1, 1)}));
  EXPECT_EQ(p[1], (model::SheetRange{1, model::packCell(1, 1), model::packCell(1, 1)}));
  EXPECT_EQ(p[2], (model::SheetRange{1, model::packCell(0, 2), model::packCell(1, 2)}));
  EXPECT_EQ(p[3], (model::SheetRange{2, model::packCell(0, 2), model::packCell(1, 2)}));
}

// Sheets One, Two, "Three 3" and Four with numbers in B2:C3 (B2 is 1, 10,
// 100, 1000), a text in D1 and a chart sheet between Two and "Three 3".
class SheetRangeTest : public RecalcTest {
protected:
  SheetRangeTest() {
    EXPECT_TRUE(model::rename_sheet(*book, 0, u"One"));
    EXPECT_TRUE(model::insert_sheet(*book, 1, u"Two", model::SheetKind::Worksheet, false));
    EXPECT_TRUE(model::insert_sheet(*book, 2, u"Chart", model::SheetKind::Chart, false));
    EXPECT_TRUE(model::insert_sheet(*book, 3, u"Three 3", model::SheetKind::Worksheet, false));
    EXPECT_TRUE(model::insert_sheet(*book, 4, u"Four", model::SheetKind::Worksheet, false));
    book->activeSheet = 0;
    double b2 = 1;
    for (int s : {0, 1, 3, 4}) {
      set("B2", platform::fromUtf8(std::to_string(static_cast<int>(b2))), s);
      set("C3", u"2", s);
      set("D1", u"text", s);
      b2 *= 10;
    }
  }
};

// In functions that take references the area counts on every sheet from
// the first to the last in the workbook's order; where one value is needed
// the reference is #VALUE!, as a list of areas is. (The statistical
// functions' tests take the other functions through such references.)
TEST_F(SheetRangeTest, ComputeOverEverySheetOfTheRange) {
  const struct {
    std::u16string_view formula;
    const char* value;
  } kRows[] = {
      {u"=SUM(One:'Three 3'!B2)", "111"},
      {u"=SUM('Three 3':One!B2)", "111"},            // either end first
      {u"=SUM('One:Three 3'!B2)", "111"},
      {u"=SUM('One':'Three 3'!B2)", "111"},
      {u"=SUM(One:Four!B2:C3)", "1119"},
      {u"=SUM(Two:Two!B2)", "10"},
      {u"=Two:Two!B2*2", "20"},
      {u"=SUM(One:Two!B2,Four!B2,5)", "1016"},
      {u"=One:Two!B2", "#VALUE!"},
      {u"=One:Two!B2+1", "#VALUE!"},
      {u"=ABS(One:Two!B2)", "#VALUE!"},
      {u"=SUM(One:Nowhere!B2)", "#REF!"},            // no such sheet: not a reference
      {u"=SUM((One:Two!B2,B3))", "#VALUE!"},          // a list of areas is on one sheet
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(platform::toUtf8(row.formula));
    set("F1", row.formula, 0);
    EXPECT_EQ(show(value("F1")), row.value);
  }
}

// A change on any sheet of the range reaches the formula, and so do sheets
// that join or leave it: inserted or moved between its ends, moved away or
// deleted. Deleting an end narrows the range to the next sheet inside it;
// renaming an end renames it in the text.
TEST_F(SheetRangeTest, FollowChangesAndSheetOperations) {
  set("A1", u"=SUM(One:'Three 3'!B2)", 4);
  set("A2", u"=A1*2", 4);
  EXPECT_EQ(show(value("A2", 4)), "222");
  set("B2", u"20", 1); // the middle sheet
  EXPECT_EQ(show(value("A1", 4)), "121");
  EXPECT_EQ(show(value("A2", 4)), "242");

  ASSERT_TRUE(model::insert_sheet(*book, 2, u"New", model::SheetKind::Worksheet, false));
  set("B2", u"5000", 2);
  EXPECT_EQ(show(value("A1", 5)), "5121");
  EXPECT_EQ(show(value("A2", 5)), "10242");

  // Four (now 5) moves between the ends, then New moves past the last.
  book->activeSheet = 5;
  ASSERT_TRUE(model::move_active_sheet(*book, 1));
  EXPECT_EQ(show(value("A1", 1)), "6121");
  book->activeSheet = 3;
  ASSERT_TRUE(model::move_active_sheet(*book, 6));
  EXPECT_EQ(book->sheet(5).name, u"New");
  EXPECT_EQ(show(value("A1", 1)), "1121");

  // One, Four, Two, Chart, Three 3, New: deleting Two (inside) and One (an end).
  book->activeSheet = 2;
  ASSERT_TRUE(model::delete_active_sheet(*book));
  EXPECT_EQ(show(value("A1", 1)), "1101");
  book->activeSheet = 0;
  ASSERT_TRUE(model::delete_active_sheet(*book));
  EXPECT_EQ(cell("A1", 0)->input.view(), u"=SUM('Four:Three 3'!B2)");
  EXPECT_EQ(show(value("A1", 0)), "1100");
  EXPECT_EQ(show(value("A2", 0)), "2200");

  book->activeSheet = 2;
  ASSERT_TRUE(model::rename_active_sheet(*book, u"Third"));
  EXPECT_EQ(cell("A1", 0)->input.view(), u"=SUM('Four:Third'!B2)");
  EXPECT_EQ(show(value("A1", 0)), "1100");

  // Deleting one end of a two-sheet range leaves the other alone.
  set("A3", u"=SUM(Four:Chart!B2)", 2);
  book->activeSheet = 0;
  ASSERT_TRUE(model::delete_active_sheet(*book));
  EXPECT_EQ(cell("A3", 1)->input.view(), u"=SUM(Chart!B2)");
}

// The chain recorded after one input changed computes the same values
// again when that input changes, and says when it cannot: a volatile
// formula, or a cell reached only while a formula computes.
TEST_F(RecalcTest, RecordedChainsReplayOrRefuse) {
  struct Case {
    const char* name;
    std::u16string target;
    bool replayable;
  };
  const Case cases[] = {
      {"plain", u"=B2*B2+B1", true},
      {"through a range", u"=SUM(B1:B2)*2", true},
      {"volatile", u"=INDIRECT(\"B2\")*B1", false},
      {"lookup and an empty cell", u"=VLOOKUP(B1,D1:E9,2,FALSE)+B2+Z9", true},
      {"read by the reader", u"=B2*B2+B1%", true},
  };
  set("D1", u"2");
  set("E1", u"10");
  set("D2", u"10");
  set("E2", u"=D2*2");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    set("A1", u"1");
    set("B1", u"=A1*2");
    set("B2", u"=B1+A1");
    set("C1", u"=A1+100"); // depends on the input, not read by the target
    set("B3", k.target);
    const model::CellValue before = value("B3");
    set("A1", u"5");
    ComputedChain chain;
    {
      const ChainRecording recording(chain);
      (void)value("B3");
    }
    EXPECT_EQ(chain.replayable, k.replayable);
    if (!k.replayable)
      continue;
    ASSERT_EQ(chain.cells.size(), 3u);
    EXPECT_EQ(chain.cells.back().second, cell("B3"));
    // Back to 1 by the value alone, then the chain again.
    cell("A1")->value = model::CellValue::number(1);
    recomputeChain(*book, chain);
    EXPECT_EQ(cell("B3")->value, before);
    EXPECT_EQ(cell("C1")->calcState, CalcState::NotValid) << "left for the ordinary recalculation";
    // Prepared once, the chain computes as the reader reads it, probe after probe.
    ChainReplay replay(*book, chain);
    for (const double x : {5.0, -3.5, 5.0, 1.0}) {
      cell("A1")->value = model::CellValue::number(x);
      replay.recompute();
      EvalContext ctx;
      ctx.book = book;
      ctx.row = 2;
      ctx.column = 1;
      EXPECT_EQ(show(cell("B3")->value), show(evaluateFormula(cell("B3")->input.view(), ctx))) << x;
    }
    EXPECT_EQ(cell("B3")->value, before);
    set("A1", u"1");
  }
}

// A kept form holds while its text and the defined names stay: a name
// that takes a word of the text is read as the name from then on.
TEST_F(RecalcTest, KeptFormulasFollowTheirTextAndTheNames) {
  set("B2", u"4");
  set("C1", u"=B2+1");
  EXPECT_EQ(show(value("C1")), "5");
  set("C1", u"=B2*10");
  EXPECT_EQ(show(value("C1")), "40");
  book->names.push_back({0, 0, 0, u"B2", u"=7", {}});
  model::names_changed(*book);
  recalcAll(*book);
  EXPECT_EQ(show(value("C1")), "70");
}

// Volatility comes from the functions a formula calls, in any case, also
// when a defined name shares a function's word.
TEST_F(RecalcTest, VolatilityFromTheFunctionsCalled) {
  book->names.push_back({0, 0, 0, u"Now", u"=$C$3", {}});
  book->names.push_back({0, 0, 0, u"Rate", u"=$C$4", {}});
  book->names.push_back({0, 0, 0, u"Twice", u"=C4*2", {}});
  const struct {
    const char* where;
    std::u16string_view formula;
    VolatilityClass expected;
  } rows[] = {
      {"B1", u"=index(A1:A3,1)", VolatilityClass::Volatile},
      {"B2", u"=1+RandBetween(1,2)", VolatilityClass::Volatile},
      {"B3", u"=Rate+today()", VolatilityClass::Volatile},
      {"B4", u"=Twice+OFFSET(A1,1,1)", VolatilityClass::Volatile},
      {"B5", u"=NOW()", VolatilityClass::Volatile},       // the name Now is only a word
      {"B6", u"=Now+1", VolatilityClass::None},
      {"B7", u"=CELL(\"row\")+RAND()", VolatilityClass::Volatile}, // the strongest stands
      {"B8", u"=RAND()+INFO(\"numfile\")", VolatilityClass::Volatile},
      {"B9", u"=info(\"numfile\")+CELL(\"row\")", VolatilityClass::Info},
      {"B10", u"=RANDOM(1)+\"NOW()\"", VolatilityClass::None},
      {"B11", u"=SUM(Rate,A1)", VolatilityClass::None},
  };
  for (const auto& row : rows) {
    set(row.where, row.formula);
    EXPECT_EQ(cell(row.where)->volatility, row.expected) << platform::toUtf8(row.formula);
  }
}

TEST_F(RecalcTest, DoubledQuotesKeepAFormulaAndHideReferencesInside) {
  set("C3", u"5");
  set("A1", u"=\"A1\"\"&B2\"&C3");
  const model::CellRecord* c = cell("A1");
  ASSERT_TRUE(c->isFormula) << "a doubled quote must not make the formula text";
  ASSERT_NE(c->precedents, nullptr);
  ASSERT_EQ(c->precedents->size(), 1u);
  EXPECT_EQ((*c->precedents)[0], (model::SheetRange{-1, model::packCell(2, 2), model::packCell(2, 2)}));
  EXPECT_EQ(platform::toUtf8(value("A1").stringValue()), "A1\"&B25");
}

TEST_F(RecalcTest, CyclesEndAndSetTheCircularFlag) {
  set("A1", u"=B1+1");
  set("B1", u"=A1+1");
  // Entering the second computes it from the first's old value and leaves
  // both stale; the next read (a repaint) meets the loop and flags it.
  EXPECT_EQ(show(cell("B1")->value), "2");
  EXPECT_EQ(cell("A1")->calcState, CalcState::NotValid);
  EXPECT_EQ(book->circular, 0);
  value("A1");
  EXPECT_EQ(book->circular, 1);
  // Neither loops; each keeps a value computed from the other's old one.
  EXPECT_EQ(show(cell("B1")->value), "2"); // from A1's value of 1 before the loop
  EXPECT_EQ(show(cell("A1")->value), "3");

  book->circular = 0;
  set("C1", u"=E1");
  set("D1", u"=C1");
  set("E1", u"=D1"); // three cells
  value("C1");
  EXPECT_EQ(book->circular, 1);
}

TEST_F(RecalcTest, OtherSheetsAndVolatileCells) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, std::nullopt, model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  set("A1", u"1");
  set("A1", u"=Sheet1!A1*2", 1);
  set("B1", u"=RAND()", 1);
  set("C1", u"=5", 1);
  EXPECT_EQ(show(value("A1", 1)), "2");
  value("B1", 1);
  value("C1", 1);
  set("Z9", u"x"); // a change nothing names
  EXPECT_EQ(cell("A1", 1)->calcState, CalcState::ValueValid);
  EXPECT_EQ(cell("B1", 1)->calcState, CalcState::NotValid); // volatile: every change
  EXPECT_EQ(cell("C1", 1)->calcState, CalcState::ValueValid);
  set("A1", u"4");
  EXPECT_EQ(cell("A1", 1)->calcState, CalcState::NotValid);
  EXPECT_EQ(show(value("A1", 1)), "8");

  // Scrolling refreshes the volatile cells of a sheet and what depends on them.
  set("D1", u"=B1", 1);
  value("B1", 1);
  value("D1", 1);
  refreshVolatile(*book, 1, false);
  EXPECT_EQ(cell("B1", 1)->calcState, CalcState::NotValid);
  EXPECT_EQ(cell("D1", 1)->calcState, CalcState::NotValid);
  EXPECT_EQ(cell("C1", 1)->calcState, CalcState::ValueValid);
}

// A formula through a name follows the name's cells: those of a reference,
// and any a name defined by a formula may read (such formulas compute again
// on every change). A constant's name reads no cells.
TEST_F(RecalcTest, NameDependencies) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Sheet2", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  book->names.push_back({0, 0, 0, u"Base", u"=$C$3", {}});
  book->names.push_back({0, 0, 0, u"Twice", u"=Sheet1!$C$3*2+SUM(Sheet1!$D$1:$D$2)", {}});
  book->names.push_back({0, 0, 0, u"Alias", u"=Base", {}});
  book->names.push_back({0, 0, 2, u"Local", u"=Sheet2!$A$1+1", {}});
  book->names.push_back({0, 0, 0, u"Half", u"=0.5", {}});
  book->names.push_back({0, 0, 0, u"Word", u"=\"C3\"&#REF!", {}});
  model::names_changed(*book);
  set("C3", u"10");
  set("A1", u"=Base*2");
  set("A2", u"=Twice+1");
  set("A3", u"=Alias+1");
  set("A4", u"=Sheet2!Local*Half");
  set("A5", u"=Half+1");
  set("A6", u"=ISERROR(Word)");
  EXPECT_EQ(show(value("A1")), "20");
  EXPECT_EQ(show(value("A2")), "21");
  EXPECT_EQ(show(value("A3")), "11");
  EXPECT_EQ(show(value("A4")), "0.5");
  set("C3", u"11");
  EXPECT_EQ(cell("A1")->calcState, CalcState::NotValid);
  EXPECT_EQ(show(value("A1")), "22");
  EXPECT_EQ(show(value("A2")), "23");
  EXPECT_EQ(show(value("A3")), "12");
  set("D2", u"5");
  EXPECT_EQ(show(value("A2")), "28");
  set("A1", u"3", 1);
  EXPECT_EQ(show(value("A4")), "2");
  EXPECT_EQ(cell("A5")->volatility, VolatilityClass::None);
  EXPECT_EQ(cell("A6")->volatility, VolatilityClass::None);
}

// A cell through another sheet's local name follows that name's cells,
// the sheet's new name, and the sheet's deletion.
TEST_F(RecalcTest, AnotherSheetsLocalNameIsFollowed) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Sheet2", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  book->names.push_back({0, 0, 0, u"Rate", u"=Sheet1!$C$3", {}});
  book->names.push_back({0, 0, 2, u"Rate", u"=Sheet2!$C$3", {}});
  model::names_changed(*book);
  set("C3", u"1");
  set("C3", u"10", 1);
  set("A1", u"=Sheet2!Rate*2+Rate");
  set("A2", u"='Sheet2'!Rate");
  EXPECT_EQ(show(value("A1")), "21");
  EXPECT_EQ(show(value("A2")), "10");
  set("C3", u"11", 1);
  EXPECT_EQ(cell("A1")->calcState, CalcState::NotValid);
  EXPECT_EQ(cell("A2")->calcState, CalcState::NotValid);
  EXPECT_EQ(show(value("A1")), "23");
  EXPECT_EQ(show(value("A2")), "11");

  book->activeSheet = 1;
  ASSERT_TRUE(model::rename_active_sheet(*book, u"Rates2"));
  EXPECT_EQ(cell("A1")->input.view(), u"=Rates2!Rate*2+Rate");
  EXPECT_EQ(cell("A2")->input.view(), u"='Rates2'!Rate");
  recalcAll(*book);
  EXPECT_EQ(show(value("A1")), "23");

  ASSERT_TRUE(model::delete_active_sheet(*book));
  recalcAll(*book);
  EXPECT_EQ(cell("A1")->input.view(), u"=Rates2!Rate*2+Rate");
  EXPECT_EQ(show(value("A1")), "#NAME?");
}

TEST_F(RecalcTest, LongChainsComputeWithoutDeepRecursion) {
  constexpr int kRows = 20000;
  for (int r = 1; r <= kRows; ++r) {
    const std::string row = std::to_string(r);
    set("A" + row, platform::fromUtf8(row));
    set("B" + row, r == 1 ? u"=A1" : platform::fromUtf8("=B" + std::to_string(r - 1) + "+A" + row));
  }
  recalcAll(*book);
  EXPECT_EQ(show(value("B" + std::to_string(kRows))), show(num(kRows * (kRows + 1.0) / 2)));
  set("A1", u"2");
  EXPECT_EQ(show(value("B" + std::to_string(kRows))), show(num(kRows * (kRows + 1.0) / 2 + 1)));
}

TEST_F(RecalcTest, SheetOperationsKeepFormulasRight) {
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"Data", model::SheetKind::Worksheet, false));
  book->activeSheet = 0;
  set("A1", u"3", 1);
  set("A1", u"=Data!A1+'Data'!A1");
  EXPECT_EQ(show(value("A1")), "6");
  book->activeSheet = 1;
  ASSERT_TRUE(model::rename_active_sheet(*book, u"New Data"));
  EXPECT_EQ(cell("A1")->input.view(), u"='New Data'!A1+'New Data'!A1");

  // A reference to a sheet that appears later becomes valid then.
  set("B1", u"=Later!A1+1");
  EXPECT_EQ(show(value("B1")), "#NAME?");
  ASSERT_TRUE(model::insert_sheet(*book, 2, u"Later", model::SheetKind::Worksheet, false));
  set("A1", u"41", 2);
  EXPECT_EQ(show(value("B1")), "42");
}

// A file's formula calling a later version's function this program lacks
// keeps the file's value through recalculation and rescans; text the user
// enters is computed, even when it calls such a function too.
TEST_F(RecalcTest, UnknownLaterFunctionKeepsTheFileValueUntilEdited) {
  auto fromFile = [&](std::string_view a1, std::u16string_view text, double cached) {
    const auto [r, c] = at(a1);
    model::CellRecord& rec = model::storeCellInput(book->sheet(0), static_cast<std::uint16_t>(r),
                                                   static_cast<std::uint8_t>(c), text, 15);
    rec.value = model::CellValue::number(cached);
    scanCell(*book, 0, rec, /*fromFile=*/true);
  };
  fromFile("A1", u"=_xlfn.SINGLE(B1)+1", 5);
  fromFile("A2", u"=IFERROR(1/0,7)", 99); // computed: the function is ours
  fromFile("A3", u"=_xlfn.NOSUCH(1)", 6);
  recalcAll(*book);
  EXPECT_EQ(show(value("A1")), "5");
  EXPECT_NE(show(value("A2")), "99"); // computed, not kept
  // A sheet that appears rescans the formulas naming it; the text stays.
  ASSERT_TRUE(model::insert_sheet(*book, 1, u"SINGLE", model::SheetKind::Worksheet, false));
  recalcAll(*book);
  EXPECT_EQ(show(value("A1")), "5");
  // Entered text computes as in a cell that never held the file's value.
  set("A1", u"=_xlfn.SINGLE(B1)+2");
  set("C1", u"=_xlfn.SINGLE(B1)+2");
  EXPECT_EQ(show(value("A1")), show(value("C1")));
  EXPECT_NE(show(value("A1")), "<empty>");
  set("A3", u"=_xlfn.NOSUCH(1)"); // the same text, entered again
  set("C3", u"=_xlfn.NOSUCH(1)");
  EXPECT_EQ(show(value("A3")), show(value("C3")));
  EXPECT_NE(show(value("A3")), "6");
}


// Hundreds of array blocks: every cell of each takes its own element of its
// block's result, whether the block is found through the index a
// computation builds or by walking the list outside one.
TEST_F(RecalcTest, ArrayBlocksGiveEachCellItsOwnElement) {
  constexpr int kBlocks = 300;
  for (int r = 1; r <= 2 * kBlocks; ++r)
    set("A" + std::to_string(r), std::u16string(1, static_cast<char16_t>(u'0' + r % 10)));
  for (int k = 0; k < kBlocks; ++k) {
    const int top = 2 * k + 1;
    book->sheet(0).arrayFormulas.push_back({model::CellRange{static_cast<std::uint16_t>(top - 1), 1,
                                                             static_cast<std::uint16_t>(top), 1},
                                            u""});
    const std::string text = "=A" + std::to_string(top) + ":A" + std::to_string(top + 1) + "*10";
    const std::u16string formula(text.begin(), text.end());
    set("B" + std::to_string(top), formula);
    set("B" + std::to_string(top + 1), formula);
  }
  computeStaleFormulas(*book);
  for (int r = 1; r <= 2 * kBlocks; ++r)
    ASSERT_EQ(show(value("B" + std::to_string(r))), std::to_string(r % 10 * 10)) << "B" << r;

  // Row 402 (index 401) lies in the block of rows 401-402; column C in none.
  for (bool scoped : {false, true}) {
    SCOPED_TRACE(scoped);
    std::optional<ArrayBlockScope> scope;
    if (scoped)
      scope.emplace();
    const model::CellRange* block = arrayBlockAt(*book, 0, 401, 1);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(*block, (model::CellRange{400, 1, 401, 1}));
    EXPECT_EQ(arrayBlockAt(*book, 0, 401, 2), nullptr);
    EXPECT_EQ(arrayBlockAt(*book, 0, 2 * kBlocks, 1), nullptr);
    EXPECT_EQ(arrayBlockAt(*book, 5, 0, 1), nullptr); // no such sheet
  }
  // A scope left open while the list changes sees the change.
  ArrayBlockScope scope;
  EXPECT_EQ(arrayBlockAt(*book, 0, 0, 2), nullptr);
  book->sheet(0).arrayFormulas.push_back({model::CellRange{0, 2, 1, 2}, u""});
  const model::CellRange* added = arrayBlockAt(*book, 0, 1, 2);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(*added, (model::CellRange{0, 2, 1, 2}));
}

} // namespace
} // namespace formula
