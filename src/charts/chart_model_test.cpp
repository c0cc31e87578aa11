#include "charts/chart_model.h"

#include "edit/edit_test_util.h"
#include "edit/undo_command.h"
#include "model/set_cell.h"
#include "model/sheet.h"
#include "model/sheet_list.h"
#include "model/workbook.h"

#include <cmath>

namespace charts {
namespace {

struct ScaleCase {
  double a, b;
  double minimum, maximum, step;
};

TEST(AutoScale, Examples) {
  const ScaleCase cases[] = {
      {3, 87, 0, 100, 10},
      {102, 118, 0, 130, 10},
      {-7, 12, -10, 20, 10},
      {10, 100, 0, 110, 10},
      // Equal data: step 0.2; low 5 > 0 and equal to a, so t = 0.6 and
      // minimum 4.4; high 5 has no headroom, so 5.2; 4.4 is above two
      // thirds of 5.2 and stays.
      {5, 5, 4.4, 5.2, 0.2},
  };
  for (const ScaleCase& c : cases) {
    const AxisScale s = autoScale(c.a, c.b);
    EXPECT_NEAR(s.minimum, c.minimum, 1e-9) << c.a << ".." << c.b;
    EXPECT_NEAR(s.maximum, c.maximum, 1e-9) << c.a << ".." << c.b;
    EXPECT_NEAR(s.step, c.step, 1e-9) << c.a << ".." << c.b;
  }
}

TEST(AutoScale, NonFiniteBoundsGiveAUsableScale) {
  const AxisScale s = autoScale(NAN, INFINITY);
  EXPECT_LT(s.minimum, s.maximum);
  EXPECT_GT(s.step, 0);
}

SeriesData numbers(std::initializer_list<double> v) {
  SeriesData d;
  d.hasData = true;
  d.values = v;
  for (size_t i = 0; i < d.values.size(); ++i)
    d.categories.push_back(model::CellValue::number(static_cast<double>(i + 1)));
  return d;
}

TEST(ScaleAxis, LogarithmicAxisSpansWholeDecades) {
  ChartModel c;
  c.valueAxis.flags |= kAxisLogarithmic;
  scaleAxis(c, true, {numbers({0.5, 3000, -4})});
  EXPECT_NEAR(c.valueAxis.minimum, 0.1, 1e-12);
  EXPECT_NEAR(c.valueAxis.maximum, 10000, 1e-9);
  EXPECT_EQ(c.valueAxis.step, 0);
}

TEST(ScaleAxis, FixedMaximumReplacesTheComputedOne) {
  ChartModel c;
  c.valueAxis.flags |= kAxisMaximumFixed;
  c.valueAxis.maximum = 100;
  scaleAxis(c, true, {numbers({10, 20})});
  EXPECT_EQ(c.valueAxis.minimum, 0);
  EXPECT_EQ(c.valueAxis.maximum, 100);
  EXPECT_EQ(c.valueAxis.step, 10);
}

TEST(ScaleAxis, FixedMinimumAndStepAboveTheRangeGrowTheMaximum) {
  ChartModel c;
  c.valueAxis.flags |= kAxisMinimumFixed | kAxisStepFixed;
  c.valueAxis.minimum = 50;
  c.valueAxis.step = 1000;
  scaleAxis(c, true, {numbers({10, 20})});
  EXPECT_EQ(c.valueAxis.minimum, 50);
  EXPECT_EQ(c.valueAxis.maximum, 1050);
}

TEST(ScaleAxis, AreaChartsScaleTheStackedValues) {
  ChartModel c;
  c.type = kChartArea;
  scaleAxis(c, true, {numbers({40, 40}), numbers({47, 10})});
  // Stacked top 87: the same scale as data 0..87 (3..87 example).
  EXPECT_EQ(c.valueAxis.maximum, 100);
}

TEST(ScaleAxis, XAxisOfScatterUsesTheCategories) {
  ChartModel c;
  c.type = kChartScatter;
  SeriesData d = numbers({1, 2});
  d.categories = {model::CellValue::number(-7), model::CellValue::number(12)};
  scaleAxis(c, false, {d});
  EXPECT_EQ(c.categoryAxis.minimum, -10);
  EXPECT_EQ(c.categoryAxis.maximum, 20);
}

TEST(SeriesLabel, UnnamedSeriesAreNumbered) {
  ChartModel c;
  c.series.resize(3);
  c.series[0].name = u"Sales";
  EXPECT_EQ(seriesLabel(c, 0), u"Sales");
  EXPECT_EQ(seriesLabel(c, 2), u"系列 3");
}

TEST(Colours, OneRuleForIndexesAboveThePalette) {
  const struct {
    std::uint32_t in;
    std::uint16_t out;
  } cases[] = {{0, 0}, {63, 63}, {64, 8}, {65, 9}, {77, 77}, {78, 9}, {79, 8}, {81, 8}, {0x7FFF, 77}, {70, 77}, {0xFFFFFFFF, 77}};
  for (const auto& c : cases)
    EXPECT_EQ(normaliseColourIndex(c.in), c.out) << c.in;
  model::Workbook book;
  book.palette = model::kDefaultPalette;
  book.palette[24] = 0x123456;
  EXPECT_EQ(chartColourRgb(book, 0x7FFF, 24), 0x123456u);
  EXPECT_EQ(chartColourRgb(book, 64, 24), book.palette[8]);
  EXPECT_EQ(chartColourRgb(book, 100000, 24), 0x123456u);
}

TEST(LabelKinds, PercentOnlyOnRoundCharts) {
  EXPECT_EQ(effectiveLabelKind(kChartColumn, kLabelPercent), kLabelValue);
  EXPECT_EQ(effectiveLabelKind(kChartLine, kLabelCategoryPercent), kLabelCategory);
  EXPECT_EQ(effectiveLabelKind(kChartPie, kLabelCategoryPercent), kLabelCategoryPercent);
  EXPECT_EQ(effectiveLabelKind(kChartColumn, kLabelBubbleSize), kLabelValue);
  EXPECT_EQ(effectiveLabelKind(kChartBubble, kLabelBubbleSize), kLabelBubbleSize);
}

TEST(Normalise, FileValuesFollowTheDialogRules) {
  ChartModel c;
  c.legendPlacement = 7;
  c.valueAxis.flags |= kAxisStepFixed | kAxisMinimumFixed | kAxisMaximumFixed;
  c.valueAxis.step = 0;
  c.valueAxis.minimum = 10;
  c.valueAxis.maximum = 5;
  c.categoryAxis.flags |= kAxisLogarithmic | kAxisMinimumFixed;
  c.categoryAxis.minimum = 0;
  c.series.resize(1);
  c.series[0].lineColour = 0x7FFF;
  c.series[0].marker = 40;
  c.series[0].name = std::u16string(300, u'x');
  normaliseChart(c);
  EXPECT_EQ(c.legendPlacement, kLegendRight);
  EXPECT_FALSE(c.valueAxis.has(kAxisStepFixed));
  EXPECT_FALSE(c.valueAxis.has(kAxisMaximumFixed));
  EXPECT_TRUE(c.valueAxis.has(kAxisMinimumFixed));
  EXPECT_EQ(c.categoryAxis.minimum, 1);
  EXPECT_EQ(c.series[0].lineColour, kAutomaticColour);
  EXPECT_EQ(c.series[0].marker, kMarkerNone);
  EXPECT_EQ(c.series[0].name->size(), 255u);
}

class EvaluateTest : public edit::EditTest {};

TEST_F(EvaluateTest, ValuesBecomeNumbersAndCategoriesKeepText) {
  set(0, 0, u"North");
  set(1, 0, u"South");
  set(2, 0, u"TRUE");
  set(0, 1, u"12");
  set(1, 1, u"word");
  set(2, 1, u"TRUE");
  set(3, 1, u"=1/0");
  ChartModel c;
  c.series.resize(2);
  c.series[0].values = u"=B1:B4";
  c.series[0].categories = u"=A1:A4";
  c.series[1].values = u"B1:B2";
  const std::vector<SeriesData> d = evaluateSeries(c, book(), sheetIndex());
  ASSERT_EQ(d.size(), 2u);
  ASSERT_TRUE(d[0].hasData);
  EXPECT_EQ(d[0].values, (std::vector<double>{12, 0, 1, 0}));
  ASSERT_EQ(d[0].categories.size(), 4u);
  EXPECT_EQ(d[0].categories[0].stringValue(), u"North");
  EXPECT_TRUE(d[0].categories[2].isNumber());
  EXPECT_TRUE(d[0].categories[3].isEmpty());
  // No categories reference: 1..n.
  ASSERT_EQ(d[1].categories.size(), 2u);
  EXPECT_EQ(d[1].categories[1].numberValue(), 2);
}

TEST_F(EvaluateTest, UnusableReferencesGiveNoData) {
  ChartModel c;
  c.series.resize(3);
  c.series[0].values = u"=Gone!A1:A3";
  c.series[1].values = u"=1/0";
  const std::vector<SeriesData> d = evaluateSeries(c, book(), sheetIndex());
  EXPECT_FALSE(d[0].hasData);
  EXPECT_FALSE(d[1].hasData);
  EXPECT_FALSE(d[2].hasData);
}

TEST_F(EvaluateTest, ArrayConstantsAndLongColumnsAreCapped) {
  ChartModel c;
  c.series.resize(2);
  c.series[0].values = u"={1,2;3,4}";
  c.series[1].values = u"=A1:B65536";
  const std::vector<SeriesData> d = evaluateSeries(c, book(), sheetIndex());
  EXPECT_EQ(d[0].values, (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(d[1].values.size(), kMaxSeriesPoints);
}

TEST_F(EvaluateTest, RenamingASheetRewritesChartSeries) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Data", model::SheetKind::Worksheet, false));
  ASSERT_TRUE(model::insert_sheet(book(), 2, u"Chart1", model::SheetKind::Chart, false));
  ChartModel c;
  c.series.resize(1);
  c.series[0].values = u"=Data!$B$1:$B$3";
  c.series[0].categories = u"=Data!A1:A3";
  book().sheet(0).objects.push_back(makeChartObject(c, {}));
  setSheetChart(book().sheet(2), c);
  book().activeSheet = 1;
  ASSERT_TRUE(model::rename_active_sheet(book(), u"New Data"));
  const ChartModel* embedded = chartOf(book().sheet(0).objects[0]);
  ASSERT_NE(embedded, nullptr);
  EXPECT_EQ(embedded->series[0].values, u"='New Data'!$B$1:$B$3");
  EXPECT_EQ(embedded->series[0].categories, u"='New Data'!A1:A3");
  EXPECT_EQ(chartOfSheet(book().sheet(2))->series[0].values, u"='New Data'!$B$1:$B$3");
}

TEST_F(EvaluateTest, ASeriesOnADeletedSheetHasNoDataUntilTheDeletionIsUndone) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Data", model::SheetKind::Worksheet, false));
  for (int r = 0; r < 3; ++r)
    ASSERT_TRUE(model::set_cell(book(), 1, static_cast<std::uint16_t>(r), 1, std::u16string(1, u'4' + r), 15,
                                false, false));
  ASSERT_TRUE(model::insert_sheet(book(), 2, u"Chart1", model::SheetKind::Chart, false));
  ChartModel c;
  c.series.resize(1);
  c.series[0].values = u"=Data!$B$1:$B$3";
  book().sheet(0).objects.push_back(makeChartObject(c, {}));
  setSheetChart(book().sheet(2), c);
  auto valuesOf = [&] {
    std::vector<std::vector<double>> out;
    const int chartSheet = model::find_sheet(book(), u"Chart1");
    for (const ChartModel* m : {chartOf(book().sheet(0).objects[0]), chartOfSheet(book().sheet(chartSheet))}) {
      EXPECT_NE(m, nullptr);
      if (!m)
        return out;
      const std::vector<SeriesData> d = evaluateSeries(*m, book(), 0);
      out.push_back(d.empty() || !d[0].hasData ? std::vector<double>{} : d[0].values);
    }
    return out;
  };
  const std::vector<double> data{4, 5, 6};
  ASSERT_EQ(valuesOf(), (std::vector<std::vector<double>>{data, data}));
  book().activeSheet = 1;
  ASSERT_TRUE(model::delete_active_sheet(book()));
  // Nothing is drawn from a sheet that is gone, and nothing else stands in.
  EXPECT_EQ(valuesOf(), (std::vector<std::vector<double>>{{}, {}}));
  ASSERT_TRUE(edit::undo(books).undone);
  EXPECT_EQ(valuesOf(), (std::vector<std::vector<double>>{data, data}));
}


struct GuessCase {
  model::CellRange block;
  bool made;
  const char16_t* categories; // null: none
  const char16_t* values;
};

TEST(GuessSeries, FollowsTheShapeOfTheBlock) {
  const GuessCase cases[] = {
      // One column of several rows: values only.
      {{1, 1, 4, 1}, true, nullptr, u"=Sheet1!$B$2:$B$5"},
      // Two columns: categories from the first, values from the second.
      {{0, 0, 3, 1}, true, u"=Sheet1!$A$1:$A$4", u"=Sheet1!$B$1:$B$4"},
      // Two columns of one row: a single row gives values only.
      {{2, 0, 2, 1}, true, nullptr, u"=Sheet1!$A$3:$B$3"},
      // Many columns, two rows: the first row names the categories.
      {{0, 0, 1, 3}, true, u"=Sheet1!$A$1:$D$1", u"=Sheet1!$A$2:$D$2"},
      // Many columns, one row.
      {{0, 2, 0, 5}, true, nullptr, u"=Sheet1!$C$1:$F$1"},
      // One cell, or three columns by three rows: the user defines them.
      {{0, 0, 0, 0}, false, nullptr, nullptr},
      {{0, 0, 2, 2}, false, nullptr, nullptr},
  };
  for (const GuessCase& c : cases) {
    const std::optional<ChartSeries> s = guessSeries(u"Sheet1", c.block);
    ASSERT_EQ(s.has_value(), c.made) << c.block.lastRow << "," << +c.block.lastColumn;
    if (!s)
      continue;
    EXPECT_FALSE(s->name);
    EXPECT_EQ(s->values, std::u16string(c.values));
    EXPECT_EQ(s->categories.has_value(), c.categories != nullptr);
    if (c.categories) {
      EXPECT_EQ(*s->categories, std::u16string(c.categories));
    }
    EXPECT_EQ(s->lineColour, kAutomaticColour);
    EXPECT_EQ(s->labelKind, kLabelNone);
  }
  // A name that needs quotes gets them.
  EXPECT_EQ(guessSeries(u"My Data", {0, 0, 1, 0})->values, u"='My Data'!$A$1:$A$2");
}

TEST(NewChart, AddsFourFontsAndShowsValueGridlines) {
  model::Workbook book;
  model::Font base;
  base.face = u"宋体";
  model::seedWorkbookTables(book, base);
  const size_t before = book.fonts.size();
  const std::optional<ChartModel> c = newChart(book);
  ASSERT_TRUE(c);
  ASSERT_EQ(book.fonts.size(), before + 4);
  auto font = [&](std::uint16_t i) { return book.fonts.at(i); };
  EXPECT_EQ(c->legendFont, before);
  EXPECT_EQ(c->extraFont1, before);
  EXPECT_EQ(c->valueAxis.labelFont, before + 1);
  EXPECT_EQ(c->extraFont2, before + 1);
  EXPECT_EQ(font(c->titleFont).heightTwips, 240);
  EXPECT_EQ(font(c->titleFont).weight, 700);
  EXPECT_EQ(font(c->titleFont).face, u"宋体");
  EXPECT_EQ(font(c->valueAxis.titleFont).heightTwips, 200);
  EXPECT_EQ(font(c->valueAxis.titleFont).weight, 700);
  EXPECT_EQ(c->fonts.size(), 4u);
  EXPECT_TRUE(c->valueAxis.has(kAxisGridlines));
  EXPECT_FALSE(c->categoryAxis.has(kAxisGridlines));
  EXPECT_TRUE(c->series.empty());

  // Labels reuse the chart's own 10-point normal font; a chart without one adds it.
  ChartModel copy = *c;
  EXPECT_EQ(dataLabelFont(book, copy), std::optional<std::uint16_t>(c->legendFont));
  EXPECT_EQ(book.fonts.size(), before + 4);
  ChartModel bare;
  const std::optional<std::uint16_t> added = dataLabelFont(book, bare);
  ASSERT_TRUE(added);
  EXPECT_EQ(*added, before + 4);
  EXPECT_EQ(bare.fonts.size(), 1u);
  EXPECT_EQ(font(*added).heightTwips, 200);
  EXPECT_EQ(font(*added).weight, 400);

  // A full font table refuses.
  book.fonts.resize(0x7FFE);
  EXPECT_FALSE(newChart(book));
}

TEST_F(EvaluateTest, ValidSeriesReferences) {
  ASSERT_TRUE(model::insert_sheet(book(), 1, u"Chart1", model::SheetKind::Chart, false));
  const std::u16string sheet1 = book().sheet(0).name;
  struct {
    std::u16string text;
    int sheet;
    bool valid;
  } cases[] = {
      {u"=" + sheet1 + u"!$B$1:$B$4", 0, true},
      {u"B1:B4", 0, true},
      {u"={1,2,3}", 0, true},
      {u"", 0, false},
      {u"=", 0, false},
      {u"hello", 0, false},
      {u"=1+", 0, false},
      {u"42", 0, false},
      {u"=Nowhere!A1:A3", 0, false},
      {u"=Chart1!A1:A3", 0, false},
      // Unqualified on a chart sheet: there are no cells to read.
      {u"A1:A3", 1, false},
      {u"=" + sheet1 + u"!A1:A3", 1, true},
  };
  int i = 0;
  for (const auto& c : cases)
    EXPECT_EQ(validSeriesReference(c.text, book(), c.sheet), c.valid) << "case " << i++;
}

TEST(Payload, CopiesDeeplyAndListsReferences) {
  ChartModel c;
  c.series.resize(1);
  c.series[0].values = u"=Sheet1!$B$1:$B$3";
  c.series[0].categories = u"={1,2,3}";
  c.series[0].cached = kCachedCategories;
  model::DrawingObject o = makeChartObject(c, {});
  model::DrawingObject copy = o;
  chartOf(copy)->series[0].values = u"=X";
  EXPECT_EQ(*chartOf(o)->series[0].values, u"=Sheet1!$B$1:$B$3");
  std::vector<std::u16string> seen;
  o.payload.get()->forEachReference([&](std::u16string& t) { seen.push_back(t); });
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"=Sheet1!$B$1:$B$3"}));
  model::DrawingObject other;
  EXPECT_EQ(chartOf(other), nullptr);
}

} // namespace
} // namespace charts
