#include "edit/fill.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/range_guard.h"

#include <cmath>

namespace edit {
namespace {

using model::CellRange;

class FillTest : public EditTest {};

TEST_F(FillTest, FillDownShiftsRelativeReferences) {
  set(0, 0, u"=B1*2+$C$1");
  ASSERT_TRUE(fill(book(), 0, range(0, 0, 4, 0), FillDirection::Down));
  EXPECT_EQ(input(1, 0), u"=B2*2+$C$1");
  EXPECT_EQ(input(4, 0), u"=B5*2+$C$1");
  set(4, 1, u"7");
  EXPECT_EQ(number(4, 0), 14);
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoFillDown);
  EXPECT_EQ(model::undoList().newestLabel().value_or(u""), model::undo_label(model::kUndoFillDown));
}

TEST_F(FillTest, EachDirectionTakesItsSourceLine) {
  struct Case {
    FillDirection direction;
    CellRange sel;
    int sourceRow, sourceColumn; // the cell whose text every cell gets
    int action;
  };
  const Case cases[] = {
      {FillDirection::Down, range(0, 0, 2, 0), 0, 0, model::kUndoFillDown},
      {FillDirection::Up, range(0, 0, 2, 0), 2, 0, model::kUndoFillUp},
      {FillDirection::Right, range(0, 0, 0, 2), 0, 0, model::kUndoFillRight},
      {FillDirection::Left, range(0, 0, 0, 2), 0, 2, model::kUndoFillLeft},
  };
  for (const Case& c : cases) {
    model::undoList().clear();
    for (int r = 0; r <= 2; ++r)
      for (int col = 0; col <= 2; ++col)
        set(r, col, u"cell" + std::u16string(1, static_cast<char16_t>(u'0' + r * 3 + col)));
    const std::u16string expected = input(c.sourceRow, c.sourceColumn);
    ASSERT_TRUE(fill(book(), 0, c.sel, c.direction));
    for (int r = c.sel.firstRow; r <= c.sel.lastRow; ++r)
      for (int col = c.sel.firstColumn; col <= c.sel.lastColumn; ++col)
        EXPECT_EQ(input(r, col), expected) << r << "," << col;
    EXPECT_EQ(model::undoList().newest()->action, c.action);
  }
}

TEST_F(FillTest, FillUpShiftsReferencesUpward) {
  set(4, 0, u"=B5");
  ASSERT_TRUE(fill(book(), 0, range(0, 0, 4, 0), FillDirection::Up));
  EXPECT_EQ(input(0, 0), u"=B1");
  EXPECT_EQ(input(3, 0), u"=B4");
}

TEST_F(FillTest, UndoOfFillDownEmptiesTheWholeWrittenRange) {
  set(0, 0, u"x");
  ASSERT_TRUE(fill(book(), 0, range(0, 0, 99, 0), FillDirection::Down));
  EXPECT_EQ(input(99, 0), u"x");
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(input(0, 0), u"x");
  for (int r = 1; r < 100; ++r)
    ASSERT_EQ(cell(r, 0), nullptr) << r;
}

TEST_F(FillTest, RefusedFillsLeaveNoEntry) {
  set(0, 0, u"1");
  set(1, 0, u"2");
  ASSERT_TRUE(model::addMergedRange(sheet(), range(3, 0, 3, 1)));
  EXPECT_FALSE(fill(book(), 0, range(0, 0, 4, 0), FillDirection::Down));
  ASSERT_EQ(ui.shown().size(), 1u);
  EXPECT_EQ(ui.shown()[0].text, model::kMessageMergedCells);
  EXPECT_TRUE(model::undoList().empty());
  // A protected sheet keeps its locked cells as they are.
  sheet().mergedRanges.clear();
  sheet().flags |= model::kSheetProtected;
  ui.clearShown();
  EXPECT_FALSE(fill(book(), 0, range(0, 0, 1, 0), FillDirection::Down));
  EXPECT_EQ(ui.shown().at(0).text, model::kMessageCellProtected);
  EXPECT_EQ(input(1, 0), u"2");
  EXPECT_TRUE(model::isCellLocked(book(), sheet(), 1, 0));
  EXPECT_TRUE(model::undoList().empty());
  SeriesOptions o;
  o.rows = false;
  EXPECT_FALSE(fill_series(book(), 0, range(0, 0, 3, 0), o));
  EXPECT_EQ(input(1, 0), u"2");
  EXPECT_TRUE(model::undoList().empty());
}

struct SeriesCase {
  const char* name;
  std::u16string_view first;
  SeriesType type;
  DateUnit unit;
  std::optional<double> step;
  std::optional<double> stop;
  std::vector<double> expected; // B1, C1, ... until the first empty cell
};

const SeriesCase kSeries[] = {
    {"LinearStepTwo", u"1", SeriesType::Linear, DateUnit::Day, 2, std::nullopt, {3, 5, 7, 9}},
    {"LinearStopSix", u"1", SeriesType::Linear, DateUnit::Day, 2, 6, {3, 5}},
    {"LinearDefaultStep", u"4", SeriesType::Linear, DateUnit::Day, std::nullopt, std::nullopt, {5, 6, 7, 8}},
    {"LinearDownToStop", u"10", SeriesType::Linear, DateUnit::Day, -3, 2, {7, 4}},
    {"GrowthDoubling", u"3", SeriesType::Growth, DateUnit::Day, 2, std::nullopt, {6, 12, 24, 48}},
    {"GrowthShrinkingStops", u"100", SeriesType::Growth, DateUnit::Day, 0.5, 10, {50, 25, 12.5}},
    {"GrowthAlternatingStops", u"1", SeriesType::Growth, DateUnit::Day, -2, 10, {-2, 4, -8}},
    {"GrowthStopsBeforeInfinity", u"1E+300", SeriesType::Growth, DateUnit::Day, 1e10, std::nullopt, {}},
    // 31 January 2001 is 36922; 31 February rolls over to 3 March (36953),
    // and each step goes on from there: 3 April, 3 May, 3 June.
    {"DateMonthRollsOver", u"36922", SeriesType::Date, DateUnit::Month, 1, std::nullopt, {36953, 36984, 37014, 37045}},
    // Friday 5 January 2024 (45296): Monday 8, Tuesday 9, Wednesday 10.
    {"DateWeekdaySkipsTheWeekend", u"45296", SeriesType::Date, DateUnit::Weekday, 1, std::nullopt, {45299, 45300, 45301, 45302}},
    {"DateDaysOfAWeek", u"45296", SeriesType::Date, DateUnit::Day, 7, std::nullopt, {45303, 45310, 45317, 45324}},
    // 29 February 2024 (45351) plus a year: 29 February 2025 is 1 March (45717).
    {"DateYearFromLeapDay", u"45351", SeriesType::Date, DateUnit::Year, 1, std::nullopt, {45717, 46082, 46447, 46813}},
};

class SeriesCases : public EditTest, public ::testing::WithParamInterface<SeriesCase> {};

TEST_P(SeriesCases, FillsTheRow) {
  const SeriesCase& c = GetParam();
  set(0, 0, c.first);
  SeriesOptions o;
  o.rows = true;
  o.type = c.type;
  o.unit = c.unit;
  o.step = c.step;
  o.stop = c.stop;
  ASSERT_TRUE(fill_series(book(), 0, range(0, 0, 0, 4), o));
  for (size_t i = 0; i < 4; ++i) {
    if (i < c.expected.size())
      EXPECT_DOUBLE_EQ(number(0, static_cast<int>(i) + 1), c.expected[i]) << i;
    else
      EXPECT_EQ(cell(0, static_cast<int>(i) + 1), nullptr) << i;
  }
  EXPECT_EQ(model::undoList().newest()->action, model::kUndoFillSeries);
  ASSERT_TRUE(undo(books).undone);
  EXPECT_EQ(cell(0, 1), nullptr);
}

INSTANTIATE_TEST_SUITE_P(All, SeriesCases, ::testing::ValuesIn(kSeries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FillTest, SeriesSkipsLinesWithoutANumberAndKeepsTheFirstCellsFormat) {
  set(0, 0, u"1");
  set(1, 0, u"text");
  const int format = model::findOrAddFormat(book(), u"0.00");
  model::CellFormat f = book().cellFormats[15];
  f.numberFormatIndex = static_cast<std::uint16_t>(format);
  const int cellFormat = model::findOrAddCellFormat(book(), f);
  ASSERT_GE(cellFormat, 0);
  set(2, 0, u"10", static_cast<std::uint16_t>(cellFormat));
  SeriesOptions o;
  o.rows = true;
  ASSERT_TRUE(fill_series(book(), 0, range(0, 0, 2, 2), o));
  EXPECT_EQ(input(0, 2), u"3");
  EXPECT_EQ(cell(1, 1), nullptr);
  EXPECT_EQ(input(2, 1), u"11");
  EXPECT_EQ(cell(2, 1)->formatIndex, cellFormat);
}

TEST_F(FillTest, DefaultStepAndDirection) {
  set(0, 0, u"2");
  set(0, 1, u"5.5");
  set(1, 0, u"word");
  EXPECT_EQ(defaultSeriesStep(sheet(), range(0, 0, 0, 4), true), u"3.5");
  EXPECT_EQ(defaultSeriesStep(sheet(), range(0, 0, 0, 0), true), u"1");
  EXPECT_EQ(defaultSeriesStep(sheet(), range(0, 0, 3, 0), false), u"1") << "the next cell down holds text";
  EXPECT_EQ(defaultSeriesStep(sheet(), range(1, 0, 3, 0), false), u"");
  EXPECT_TRUE(defaultSeriesRows(range(0, 0, 0, 4)));
  EXPECT_TRUE(defaultSeriesRows(range(0, 0, 3, 3)));
  EXPECT_FALSE(defaultSeriesRows(range(0, 0, 4, 1)));
}

TEST_F(FillTest, AddWorkdays) {
  struct Case {
    double from;
    int days;
    double expected;
  };
  // 45296 is Friday 5 January 2024, 45297 the Saturday, 45299 the Monday.
  const Case cases[] = {
      {45296, 0, 45296}, {45296, 1, 45299}, {45299, -1, 45296}, {45294, 5, 45301},
      {45297, 1, 45299}, {45297, -1, 45296}, {45296, 10, 45310}, {45299, -6, 45289},
  };
  for (const Case& c : cases)
    EXPECT_EQ(add_workdays(c.from, c.days), c.expected) << c.from << " + " << c.days;
}

} // namespace
} // namespace edit
