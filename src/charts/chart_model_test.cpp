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
