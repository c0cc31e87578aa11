// The chart settings and series dialogs as a scripted user drives them:
// what OK stores, what Cancel drops, and each check with its message.

#include "dialogs/chart_dialog.h"

#include "edit/edit_test_util.h"
#include "platform/dialog.h"
#include "view/pickers.h"

namespace dialogs {
namespace {

using charts::ChartModel;
using platform::DialogAction;

constexpr int kAxes = kChartAxesPage;

class ChartDialog : public edit::EditTest {
protected:
  ChartDialog() : hostScope(host) {
    for (int r = 0; r < 4; ++r) {
      set(r, 0, std::u16string(1, static_cast<char16_t>(u'a' + r)));
      set(r, 1, std::u16string(1, static_cast<char16_t>(u'1' + r)));
      set(r, 2, std::u16string(1, static_cast<char16_t>(u'5' + r)));
    }
    chart = *charts::newChart(book());
    chart.series.push_back(*charts::guessSeries(sheet().name, range(0, 0, 3, 1)));
  }
  bool run(std::vector<DialogAction> script, int startPage = kChartTypePage) {
    host.queue(std::move(script));
    return showChartDialog(book(), sheetIndex(), chart, startPage);
  }
  std::vector<std::u16string> messages() const {
    std::vector<std::u16string> out;
    for (const auto& m : ui.shown())
      out.push_back(m.text);
    return out;
  }

  platform::ScriptedDialogHost host;
  platform::ScopedDialogHost hostScope;
  ChartModel chart;
};

TEST_F(ChartDialog, OkStoresTheEditedCopyAndCancelDropsIt) {
  const ChartModel before = chart;
  EXPECT_FALSE(run({DialogAction::check(kChartTypeFirst + charts::kChartLine),
                    DialogAction::setText(kChartTitle, u"Sales", kChartTitlesPage), DialogAction::cancel()}));
  EXPECT_EQ(chart, before);

  EXPECT_TRUE(run({DialogAction::check(kChartTypeFirst + charts::kChartLine),
                   DialogAction::setText(kChartTitle, u"Sales\nQ1", kChartTitlesPage),
                   DialogAction::setText(kChartValueTitle, u"Units", kChartTitlesPage),
                   DialogAction::check(kChartLegendFirst + charts::kLegendTop, true, kChartLegendPage),
                   DialogAction::check(kChartValueAxis + kAxisMaxFixed, true, kAxes),
                   DialogAction::setText(kChartValueAxis + kAxisMax, u"10", kAxes), DialogAction::ok()}));
  EXPECT_EQ(chart.type, charts::kChartLine);
  EXPECT_EQ(chart.title, u"Sales\nQ1");
  EXPECT_EQ(chart.valueAxis.title, u"Units");
  EXPECT_FALSE(chart.categoryAxis.title);
  EXPECT_EQ(chart.legendPlacement, charts::kLegendTop);
  EXPECT_TRUE(chart.valueAxis.has(charts::kAxisMaximumFixed));
  EXPECT_EQ(chart.valueAxis.maximum, 10);
  EXPECT_EQ(chart.series, before.series);
  EXPECT_TRUE(messages().empty());
}

TEST_F(ChartDialog, TheAxesPageShowsTheAutomaticScale) {
  run({DialogAction::cancel()});
  const platform::ControlState& axes = host.runs().back().afterInit.at(kAxes);
  // Values 1..4: range 3, step 1; low 1 equals the minimum, so 0; high 4 + 1.
  EXPECT_EQ(axes.text(kChartValueAxis + kAxisMin), u"0");
  EXPECT_EQ(axes.text(kChartValueAxis + kAxisMax), u"5");
  EXPECT_EQ(axes.text(kChartValueAxis + kAxisStep), u"1");
  EXPECT_TRUE(axes.checked(kChartValueAxis + kAxisGrid));
  // A column chart's category axis has no scale to set.
  EXPECT_TRUE(axes.enabled(kChartCategoryAxis + kAxisGrid));
  EXPECT_FALSE(axes.enabled(kChartCategoryAxis + kAxisMin));
  EXPECT_FALSE(axes.enabled(kChartCategoryAxis + kAxisLog));
  for (const int part : {kAxisMin, kAxisMax, kAxisStep})
    EXPECT_EQ(axes.text(kChartCategoryAxis + part), u"") << "no numbers for a scale that cannot be set";
}

// A series added, edited or deleted in the dialog moves the automatic scale
// the axes page shows; a fixed value stays as typed.
TEST_F(ChartDialog, TheAxesPageFollowsTheSeriesEditedInTheDialog) {
  set(0, 3, u"40");
  set(3, 3, u"12");
  host.queue({DialogAction::check(kChartValueAxis + kAxisMinFixed, true, kAxes),
              DialogAction::setText(kChartValueAxis + kAxisMin, u"-3", kAxes),
              DialogAction::press(kChartSeriesNew, kChartSeriesPage), DialogAction::cancel()});
  host.queue({DialogAction::setText(kSeriesValues, u"D1:D4", 1), DialogAction::ok()});
  (void)showChartDialog(book(), sheetIndex(), chart, kAxes);
  const platform::ControlState& axes = host.runs().at(1).final.at(kAxes); // the series dialog ends first
  EXPECT_EQ(axes.text(kChartValueAxis + kAxisMin), u"-3");
  EXPECT_EQ(axes.text(kChartValueAxis + kAxisMax), u"50");
  EXPECT_EQ(axes.text(kChartValueAxis + kAxisStep), u"10");
  // Switched to XY, the category axis shows its own scale.
  run({DialogAction::check(kChartTypeFirst + charts::kChartScatter), DialogAction::cancel()});
  EXPECT_NE(host.runs().back().final.at(kAxes).text(kChartCategoryAxis + kAxisMax), u"");
}

struct AxisCase {
  bool log, minFixed;
  const char16_t* minimum;
  bool maxFixed;
  const char16_t* maximum;
  bool stepFixed;
  const char16_t* step;
  const char16_t* message; // null: accepted
  double storedMin, storedMax;
};

TEST_F(ChartDialog, AxisChecksOnLeavingThePageAndOnOk) {
  const AxisCase cases[] = {
      {false, true, u"5", true, u"5", false, u"1", u"Maximum must be greater than minimum", 0, 0},
      {false, true, u"6", true, u"2", false, u"1", u"Maximum must be greater than minimum", 0, 0},
      {false, false, u"0", false, u"10", true, u"0", u"Step must be greater than zero", 0, 0},
      {false, false, u"0", false, u"10", true, u"-2", u"Step must be greater than zero", 0, 0},
      {false, true, u"-3", true, u"7", true, u"2", nullptr, -3, 7},
      // Logarithmic: fixed bounds go to whole decades; the step is not asked.
      {true, true, u"0.5", true, u"3000", true, u"0", nullptr, 0.1, 10000},
      {true, true, u"-4", true, u"0", false, u"0", u"Maximum must be greater than minimum", 0, 0},
      {true, true, u"20", true, u"30", false, u"0", nullptr, 10, 100},
      {true, true, u"1000", true, u"1000", false, u"0", u"Maximum must be greater than minimum", 0, 0},
  };
  int i = 0;
  for (const AxisCase& c : cases) {
    SCOPED_TRACE(i++);
    ui.clearShown();
    const ChartModel before = chart;
    const int v = kChartValueAxis;
    std::vector<DialogAction> edits = {
        DialogAction::check(v + kAxisLog, c.log, kAxes),      DialogAction::check(v + kAxisMinFixed, c.minFixed, kAxes),
        DialogAction::setText(v + kAxisMin, c.minimum, kAxes), DialogAction::check(v + kAxisMaxFixed, c.maxFixed, kAxes),
        DialogAction::setText(v + kAxisMax, c.maximum, kAxes), DialogAction::check(v + kAxisStepFixed, c.stepFixed, kAxes),
        DialogAction::setText(v + kAxisStep, c.step, kAxes)};
    // Going to another page is refused exactly when OK is.
    std::vector<DialogAction> leave = edits;
    leave.push_back(DialogAction::check(kChartShowLegend, false, kChartLegendPage));
    leave.push_back(DialogAction::cancel());
    run(leave, kAxes);
    EXPECT_EQ(host.runs().back().refusedLeaves, c.message ? 1 : 0);
    std::vector<DialogAction> ok = edits;
    ok.push_back(DialogAction::ok());
    const bool stored = run(ok, kAxes);
    EXPECT_EQ(stored, c.message == nullptr);
    if (c.message) {
      ASSERT_EQ(messages().size(), 2u);
      EXPECT_EQ(messages()[0], c.message);
      EXPECT_EQ(chart, before);
    } else {
      EXPECT_TRUE(messages().empty());
      EXPECT_DOUBLE_EQ(chart.valueAxis.minimum, c.storedMin);
      EXPECT_DOUBLE_EQ(chart.valueAxis.maximum, c.storedMax);
      EXPECT_EQ(chart.valueAxis.has(charts::kAxisLogarithmic), c.log);
      chart = before;
    }
  }
}

TEST_F(ChartDialog, TypeDecidesWhatTheOtherPagesOffer) {
  run({DialogAction::check(kChartTypeFirst + charts::kChartPie), DialogAction::cancel()});
  const auto& final = host.runs().back().final;
  EXPECT_FALSE(final.at(kAxes).enabled(kChartValueAxis + kAxisShow));
  EXPECT_FALSE(final.at(kChartTitlesPage).enabled(kChartValueTitle));
  EXPECT_TRUE(final.at(kChartTitlesPage).enabled(kChartTitle));
  run({DialogAction::check(kChartTypeFirst + charts::kChartScatter), DialogAction::cancel()});
  const auto& xy = host.runs().back().final;
  EXPECT_TRUE(xy.at(kAxes).enabled(kChartCategoryAxis + kAxisMin));
  EXPECT_EQ(xy.at(kAxes).text(kChartCategoryAxis + kAxisShow), u"数值(X)轴");
  EXPECT_EQ(xy.at(kChartTitlesPage).text(kChartCategoryTitleLabel), u"数值(X)轴");
  EXPECT_EQ(xy.at(kChartSeriesPage).text(kChartSeriesCategoriesLabel), u"X values:");
  // A pie's axes are not read back, whatever their boxes hold.
  const ChartModel before = chart;
  EXPECT_TRUE(run({DialogAction::check(kChartTypeFirst + charts::kChartDoughnut), DialogAction::ok()}));
  EXPECT_EQ(chart.valueAxis.flags, before.valueAxis.flags);
}

TEST_F(ChartDialog, ReopensOnThePageLastUsed) {
  run({DialogAction::check(kChartShowLegend, false, kChartLegendPage), DialogAction::cancel()}, kChartTypePage);
  run({DialogAction::cancel()}, -1);
  EXPECT_EQ(host.runs().back().shownPage, kChartLegendPage);
}

TEST_F(ChartDialog, LegendPlacementIsOfferedOnlyWithTheLegend) {
  run({DialogAction::check(kChartShowLegend, false, kChartLegendPage),
       DialogAction::check(kChartLegendFirst + 1, true, kChartLegendPage), DialogAction::ok()});
  EXPECT_EQ(host.runs().back().badActions, 1); // the placement was disabled
  EXPECT_EQ(chart.showLegend, 0);
  EXPECT_EQ(chart.legendPlacement, charts::kLegendRight);
}

TEST_F(ChartDialog, NewSeriesTakesTheFirstCategoriesAndAllShareTheEditedOnes) {
  const std::u16string first = *chart.series[0].categories;
  // The outer script presses New; the series dialog plays the next one.
  host.queue({DialogAction::press(kChartSeriesNew, kChartSeriesPage), DialogAction::ok()});
  host.queue({DialogAction::setText(kSeriesValues, u"C1:C4", 1), DialogAction::ok()});
  ASSERT_TRUE(showChartDialog(book(), sheetIndex(), chart, kChartSeriesPage));
  ASSERT_EQ(chart.seriesCount(), 2);
  EXPECT_EQ(host.runs().at(0).title, kNewSeriesTitle);
  EXPECT_EQ(host.runs().at(0).afterInit.at(1).text(kSeriesName), u"系列 2");
  EXPECT_EQ(chart.series[1].name, u"系列 2");
  EXPECT_EQ(chart.series[1].values, u"C1:C4");
  EXPECT_EQ(chart.series[1].categories, first);
  EXPECT_EQ(chart.series[1].isNew, 0);

  // Editing the second series' categories gives them to the first as well.
  host.queue({DialogAction::select(kChartSeriesList, 1, kChartSeriesPage),
              DialogAction::press(kChartSeriesEdit, kChartSeriesPage), DialogAction::ok()});
  host.queue({DialogAction::setText(kSeriesCategories, u"=A2:A4", 1), DialogAction::ok()});
  ASSERT_TRUE(showChartDialog(book(), sheetIndex(), chart));
  EXPECT_EQ(host.runs().at(2).title, kEditSeriesTitle);
  EXPECT_EQ(chart.series[0].categories, u"=A2:A4");
  EXPECT_EQ(chart.series[1].categories, u"=A2:A4");
  EXPECT_EQ(host.runs().back().final.at(kChartSeriesPage).text(kChartSeriesValues), u"C1:C4");
}

TEST_F(ChartDialog, DeleteSelectsTheNextSeriesOrThePrevious) {
  chart.series.resize(3);
  chart.series[1].name = u"B";
  chart.series[2].name = u"C";
  run({DialogAction::select(kChartSeriesList, 0, kChartSeriesPage),
       DialogAction::press(kChartSeriesDelete, kChartSeriesPage), DialogAction::cancel()});
  const platform::ControlState& afterFirst = host.runs().back().final.at(kChartSeriesPage);
  EXPECT_EQ(afterFirst.itemCount(kChartSeriesList), 2);
  EXPECT_EQ(afterFirst.itemText(kChartSeriesList, afterFirst.selection(kChartSeriesList)), u"B");
  EXPECT_EQ(chart.seriesCount(), 3); // cancelled
  ASSERT_TRUE(run({DialogAction::select(kChartSeriesList, 2, kChartSeriesPage),
                   DialogAction::press(kChartSeriesDelete, kChartSeriesPage), DialogAction::ok()}));
  const platform::ControlState& afterLast = host.runs().back().final.at(kChartSeriesPage);
  EXPECT_EQ(afterLast.selection(kChartSeriesList), 1);
  ASSERT_EQ(chart.seriesCount(), 2);
  EXPECT_EQ(chart.series[1].name, u"B");
  // Unnamed series are listed by number.
  EXPECT_EQ(afterLast.itemText(kChartSeriesList, 0), u"系列 1");
}

struct SeriesCheck {
  const char16_t* values;
  const char16_t* categories;
  const char16_t* message; // null: accepted
};

TEST_F(ChartDialog, SeriesReferencesAreChecked) {
  const SeriesCheck cases[] = {
      {u"", u"", u"Y 轴无效！"},
      {u"=Nowhere!A1:A2", u"", u"Y 轴无效！"},
      {u"B1:B4", u"=A1:", u"X range not valid"},
      {u"B1:B4", u"", nullptr},
      {u"={1,2,3}", u"A1:A3", nullptr},
  };
  int i = 0;
  for (const SeriesCheck& c : cases) {
    SCOPED_TRACE(i++);
    ui.clearShown();
    charts::ChartSeries s;
    s.values = u"B1:B4";
    host.queue({DialogAction::setText(kSeriesValues, c.values, 1), DialogAction::setText(kSeriesCategories, c.categories, 1),
                DialogAction::ok(), DialogAction::cancel()});
    const bool ok = showSeriesDialog(book(), sheetIndex(), chart, s, false);
    EXPECT_EQ(ok, c.message == nullptr);
    if (c.message) {
      ASSERT_EQ(messages().size(), 1u);
      EXPECT_EQ(messages()[0], c.message);
      EXPECT_EQ(host.runs().back().refusedOks, 1);
      EXPECT_EQ(s.values, u"B1:B4");
    } else {
      EXPECT_EQ(s.values, std::u16string(c.values));
      EXPECT_EQ(s.categories.has_value(), *c.categories != 0);
    }
  }
}

struct ResetCase {
  int type;
  bool markerPage;
  std::uint16_t fill;
  std::uint16_t marker;
};

TEST_F(ChartDialog, WhatThePatternsPageDoesNotShowIsReset) {
  const ResetCase cases[] = {
      {charts::kChartColumn, false, 12, charts::kMarkerNone},
      {charts::kChartLine, true, charts::kAutomaticColour, charts::kMarkerCircle},
      {charts::kChartRadar, true, charts::kAutomaticColour, charts::kMarkerCircle},
      {charts::kChartSurface, false, charts::kAutomaticColour, charts::kMarkerNone},
  };
  for (const ResetCase& c : cases) {
    SCOPED_TRACE(c.type);
    chart.type = c.type;
    charts::ChartSeries s = chart.series[0];
    s.fillColour = 12;
    s.marker = charts::kMarkerCircle;
    s.markerForeground = 10;
    host.queue({DialogAction::choose(kSeriesLineColour, 9), DialogAction::ok()});
    ASSERT_TRUE(showSeriesDialog(book(), sheetIndex(), chart, s, false));
    EXPECT_EQ(host.runs().back().afterInit.at(0).has(kSeriesMarker), c.markerPage);
    EXPECT_EQ(s.lineColour, 9);
    EXPECT_EQ(s.fillColour, c.fill);
    EXPECT_EQ(s.marker, c.marker);
    EXPECT_EQ(s.markerForeground, c.markerPage ? 10 : charts::kAutomaticColour);
  }
  // Marker colours may be "无".
  chart.type = charts::kChartLine;
  charts::ChartSeries s = chart.series[0];
  host.queue({DialogAction::choose(kSeriesMarkerBackground, view::kColourNone), DialogAction::select(kSeriesMarker, 2),
              DialogAction::ok()});
  ASSERT_TRUE(showSeriesDialog(book(), sheetIndex(), chart, s, false));
  EXPECT_EQ(s.markerBackground, charts::kNoColour);
  EXPECT_EQ(s.marker, charts::kMarkerDiamond);
}

TEST_F(ChartDialog, DataLabelsOfferWhatTheTypeShowsAndGetAFont) {
  charts::ChartSeries s = chart.series[0];
  s.labelFont = 0;
  // Percent is not offered on a column chart.
  host.queue({DialogAction::check(kSeriesLabelFirst + 2, true, 2), DialogAction::check(kSeriesLabelFirst + 3, true, 2),
              DialogAction::ok()});
  ASSERT_TRUE(showSeriesDialog(book(), sheetIndex(), chart, s, false));
  EXPECT_EQ(host.runs().back().badActions, 1);
  EXPECT_EQ(s.labelKind, charts::kLabelCategory);
  EXPECT_EQ(s.labelFont, chart.legendFont); // the chart's own 10-point font
  chart.type = charts::kChartPie;
  host.queue({DialogAction::check(kSeriesLabelFirst + 4, true, 2), DialogAction::ok()});
  ASSERT_TRUE(showSeriesDialog(book(), sheetIndex(), chart, s, false));
  EXPECT_EQ(s.labelKind, charts::kLabelCategoryPercent);
}

} // namespace
} // namespace dialogs
