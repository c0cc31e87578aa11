#include "charts/chart_render.h"

#include "edit/edit_test_util.h"
#include "model/set_cell.h"
#include "model/sheet.h"
#include "model/workbook.h"
#include "platform/recording_canvas.h"

#include <algorithm>
#include <cmath>

namespace charts {
namespace {

using platform::CanvasOp;
using platform::Point;
using platform::RecordingCanvas;
using platform::Rect;

class RenderTest : public edit::EditTest {
protected:
  // Column A: categories; column B onwards: values.
  void column(int col, std::initializer_list<const char16_t*> cells) {
    int r = 0;
    for (const char16_t* c : cells)
      set(r++, col, c);
  }
  ChartModel chartOf(int type, int series) {
    ChartModel c;
    c.type = type;
    c.showLegend = 0;
    for (int k = 0; k < series; ++k) {
      ChartSeries s;
      const char16_t col = static_cast<char16_t>(u'B' + k);
      s.values = std::u16string(u"=") + col + u"1:" + col + u"3";
      s.categories = u"=A1:A3";
      c.series.push_back(s);
    }
    return c;
  }
  // Every coordinate drawn lies in the chart's rectangle (give or take the
  // outline of a shape on its edge).
  static void expectInside(const RecordingCanvas& canvas, const Rect& r) {
    for (const CanvasOp& op : canvas.ops()) {
      for (const Point& p : op.points) {
        EXPECT_GE(p.x, r.left - 1);
        EXPECT_LE(p.x, r.right + 1);
        EXPECT_GE(p.y, r.top - 1);
        EXPECT_LE(p.y, r.bottom + 1);
      }
    }
  }
  std::vector<Rect> barFills(const RecordingCanvas& canvas, platform::Colour colour) {
    std::vector<Rect> out;
    for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Fill))
      if (op.brush.colour == colour)
        out.push_back(op.rect);
    return out;
  }
};

TEST_F(RenderTest, EveryTypeDrawsInsideItsRectangle) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"5", u"3"});
  column(2, {u"2", u"4", u"6"});
  const Rect r{10, 20, 410, 320};
  for (int type = 0; type < kChartTypeCount; ++type) {
    ChartModel c = chartOf(type, 2);
    c.showLegend = 1;
    c.title = u"T";
    c.series[0].labelKind = kLabelValue;
    c.series[0].marker = kMarkerCircle;
    RecordingCanvas canvas;
    drawChart(canvas, r, c, book(), sheetIndex());
    EXPECT_FALSE(canvas.ops().empty()) << type;
    expectInside(canvas, r);
    EXPECT_FALSE(canvas.textOps(u"T").empty()) << type;
  }
}

TEST_F(RenderTest, ColumnChartDrawsNegativeBarsDownFromTheZeroLine) {
  column(0, {u"x", u"y"});
  column(1, {u"-5", u"10"});
  ChartModel c;
  c.showLegend = 0;
  c.series.resize(1);
  c.series[0].values = u"=B1:B2";
  c.series[0].categories = u"=A1:A2";
  c.series[0].fillColour = 12;
  RecordingCanvas canvas;
  drawChart(canvas, {0, 0, 400, 300}, c, book(), sheetIndex());
  // Data -5..10: range 15, step 10, low -10, high 20 (10 + 10 headroom).
  EXPECT_EQ(c.valueAxis.minimum, -10);
  EXPECT_EQ(c.valueAxis.maximum, 20);
  const std::vector<Rect> bars = barFills(canvas, book().palette[12]);
  ASSERT_EQ(bars.size(), 2u);
  // The negative bar hangs under the positive bar's foot.
  EXPECT_GE(bars[0].top, bars[1].bottom - 1);
  EXPECT_GT(bars[1].height(), bars[0].height());
  EXPECT_LT(bars[0].left, bars[1].left);
}

// Series left on automatic colours can be told apart: each gets its own
// interior (filled types) or line (the others); a chosen colour is kept.
TEST_F(RenderTest, AutomaticSeriesColoursDifferFromSeriesToSeries) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"5", u"3"});
  column(2, {u"2", u"4", u"6"});
  column(3, {u"3", u"2", u"1"});
  const auto& pal = book().palette;
  {
    ChartModel c = chartOf(kChartColumn, 3);
    c.series[2].fillColour = 12;
    RecordingCanvas canvas;
    drawChart(canvas, {0, 0, 400, 300}, c, book(), sheetIndex());
    EXPECT_EQ(barFills(canvas, pal[24]).size(), 3u);
    EXPECT_EQ(barFills(canvas, pal[25]).size(), 3u);
    EXPECT_EQ(barFills(canvas, pal[12]).size(), 3u) << "a chosen colour stays";
  }
  for (const int type : {kChartLine, kChartScatter, kChartRadar}) {
    ChartModel c = chartOf(type, 2);
    c.series[1].marker = kMarkerSquare;
    RecordingCanvas canvas;
    drawChart(canvas, {0, 0, 400, 300}, c, book(), sheetIndex());
    int first = 0, second = 0;
    for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Polyline)) {
      first += op.pen.colour == pal[32];
      second += op.pen.colour == pal[33];
    }
    EXPECT_GE(first, 1) << type;
    EXPECT_GE(second, 1) << type;
    int markers = 0;
    for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Rectangle))
      markers += op.pen.colour == pal[33] && op.brush.colour == pal[33];
    EXPECT_EQ(markers, 3) << type << ": automatic markers take their series' colour";
  }
  {
    ChartModel c = chartOf(kChartLine, 2);
    c.showLegend = 1;
    RecordingCanvas canvas;
    drawChart(canvas, {0, 0, 400, 300}, c, book(), sheetIndex());
    int keys = 0;
    for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Rectangle))
      keys += op.brush.colour == pal[32] || op.brush.colour == pal[33];
    EXPECT_EQ(keys, 2) << "each legend key shows its series' line colour";
  }
}

TEST_F(RenderTest, PieSlicesFollowTheValues) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"1", u"2"});
  ChartModel c = chartOf(kChartPie, 1);
  RecordingCanvas canvas;
  drawChart(canvas, {0, 0, 300, 300}, c, book(), sheetIndex());
  const std::vector<CanvasOp> slices = canvas.opsOf(CanvasOp::Kind::Polygon);
  ASSERT_EQ(slices.size(), 3u);
  // Automatic slices take palette 24, 25, 26; the half slice has about
  // twice the arc points of a quarter.
  EXPECT_EQ(slices[0].brush.colour, book().palette[24]);
  EXPECT_EQ(slices[2].brush.colour, book().palette[26]);
  EXPECT_NEAR(static_cast<double>(slices[2].points.size()) / slices[0].points.size(), 2.0, 0.15);
  // The first slice starts at 12 o'clock: straight above the centre.
  const Point centre = slices[0].points[0];
  EXPECT_EQ(slices[0].points[1].x, centre.x);
  EXPECT_LT(slices[0].points[1].y, centre.y);
}

TEST_F(RenderTest, DegenerateChartsDrawWithoutFaults) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"0", u"0", u"0"});
  struct Case {
    const char* what;
    int type;
    std::u16string values;
    Rect rect;
  };
  const Case cases[] = {
      {"pie of zeros", kChartPie, u"=B1:B3", {0, 0, 300, 300}},
      {"doughnut of zeros", kChartDoughnut, u"=B1:B3", {0, 0, 300, 300}},
      {"equal values", kChartLine, u"=B1:B3", {0, 0, 300, 300}},
      {"deleted sheet", kChartColumn, u"=Gone!B1:B3", {0, 0, 300, 300}},
      {"no values", kChartArea, u"", {0, 0, 300, 300}},
      {"tiny", kChartColumn, u"=B1:B3", {0, 0, 6, 6}},
      {"tiny radar", kChartRadar, u"=B1:B3", {0, 0, 14, 30}},
      {"empty rect", kChartBar, u"=B1:B3", {5, 5, 5, 5}},
      {"one point radar", kChartRadar, u"=B1", {0, 0, 200, 200}},
      {"scatter", kChartScatter, u"=B1:B3", {0, 0, 200, 200}},
  };
  for (const Case& k : cases) {
    ChartModel c = chartOf(k.type, 1);
    c.showLegend = 1;
    if (k.values.empty())
      c.series[0].values.reset();
    else
      c.series[0].values = k.values;
    RecordingCanvas canvas;
    drawChart(canvas, k.rect, c, book(), sheetIndex());
    expectInside(canvas, k.rect);
    SUCCEED() << k.what;
  }
}

TEST_F(RenderTest, TicksAreCappedForTinySteps) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"2", u"1000000"});
  ChartModel c = chartOf(kChartColumn, 1);
  c.valueAxis.flags |= kAxisStepFixed | kAxisGridlines;
  c.valueAxis.step = 1e-9;
  RecordingCanvas canvas;
  drawChart(canvas, {0, 0, 400, 300}, c, book(), sheetIndex());
  EXPECT_LT(canvas.opsOf(CanvasOp::Kind::Line).size(), 2100u);
}

TEST_F(RenderTest, NonFiniteFixedBoundsAndEqualBoundsDraw) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"2", u"3"});
  const double bounds[][2] = {{5, 5}, {NAN, 3}, {INFINITY, -INFINITY}, {10, 1}};
  for (const auto& b : bounds) {
    ChartModel c = chartOf(kChartLine, 1);
    c.valueAxis.flags |= kAxisMinimumFixed | kAxisMaximumFixed;
    c.valueAxis.minimum = b[0];
    c.valueAxis.maximum = b[1];
    RecordingCanvas canvas;
    drawChart(canvas, {0, 0, 300, 200}, c, book(), sheetIndex());
    expectInside(canvas, {0, 0, 300, 200});
  }
}

TEST_F(RenderTest, SeriesOfDifferentLengths) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"2", u"3"});
  column(2, {u"4"});
  for (int type : {kChartColumn, kChartLine, kChartArea, kChartRadar, kChartDoughnut}) {
    ChartModel c = chartOf(type, 2);
    c.series[1].values = u"=C1";
    RecordingCanvas canvas;
    drawChart(canvas, {0, 0, 300, 200}, c, book(), sheetIndex());
    expectInside(canvas, {0, 0, 300, 200});
  }
}

TEST_F(RenderTest, LegendAtTheRightNamesEverySeries) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"2", u"3"});
  column(2, {u"1", u"2", u"3"});
  column(3, {u"1", u"2", u"3"});
  ChartModel c = chartOf(kChartColumn, 3);
  c.showLegend = 1;
  c.legendPlacement = kLegendRight;
  c.series[1].name = u"Longest name";
  for (ChartSeries& s : c.series)
    s.fillColour = 12;
  RecordingCanvas canvas;
  drawChart(canvas, {0, 0, 400, 300}, c, book(), sheetIndex());
  ASSERT_EQ(canvas.textOps(u"系列 1").size(), 1u);
  ASSERT_EQ(canvas.textOps(u"Longest name").size(), 1u);
  ASSERT_EQ(canvas.textOps(u"系列 3").size(), 1u);
  // The legend stands right of every bar.
  const int legendLeft = canvas.textOps(u"Longest name")[0].rect.left;
  for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Fill))
    if (op.brush.colour == book().palette[12]) {
      EXPECT_LT(op.rect.right, legendLeft);
    }
}

TEST_F(RenderTest, LongSeriesAreSampled) {
  for (int r = 0; r < 20000; ++r)
    set(r, 1, u"1");
  ChartModel c;
  c.type = kChartLine;
  c.series.resize(1);
  c.series[0].values = u"=B1:B20000";
  RecordingCanvas canvas;
  drawChart(canvas, {0, 0, 800, 600}, c, book(), sheetIndex());
  const std::vector<CanvasOp> lines = canvas.opsOf(CanvasOp::Kind::Polyline);
  ASSERT_FALSE(lines.empty());
  EXPECT_LE(lines.back().points.size(), kMaxDrawnPoints + 1);
}

TEST_F(RenderTest, AScaledDrawKeepsTheScreensSizesOnTheDevice) {
  column(0, {u"a", u"b", u"c"});
  column(1, {u"1", u"5", u"3"});
  ChartModel c = chartOf(kChartLine, 1);
  c.title = u"Title";
  c.showLegend = 1;
  c.legendPlacement = kLegendRight;
  c.series[0].name = u"Sales";
  c.series[0].marker = kMarkerSquare;
  c.series[0].markerForeground = kAutomaticColour;
  c.series[0].markerBackground = kNoColour;
  const platform::FontSpec titleFont = model::fontSpecOf(book().fonts[c.titleFont]);
  struct Drawn {
    RecordingCanvas canvas;
    int keyGap = 0;     // legend key's right edge to its text
    int keyWidth = 0;
    int tickLength = 0; // the value axis's tick marks
    int axisWidth = 0;  // pen of the value axis line
    int markerWidth = 0;
  };
  auto draw = [&](double ratio, bool screen) {
    Drawn d;
    const Rect r{0, 0, static_cast<int>(400 * ratio), static_cast<int>(300 * ratio)};
    ChartModel copy = c;
    if (screen)
      drawChart(d.canvas, r, copy, book(), sheetIndex());
    else
      drawChartScaled(d.canvas, r, copy, book(), sheetIndex(), {ratio, ratio});
    const std::vector<CanvasOp> name = d.canvas.textOps(u"Sales");
    EXPECT_EQ(name.size(), 1u);
    for (const CanvasOp& op : d.canvas.opsOf(CanvasOp::Kind::Rectangle)) {
      if (!name.empty() && op.rect.top == name[0].rect.top) {
        d.keyGap = name[0].rect.left - op.rect.right;
        d.keyWidth = op.rect.width();
      } else {
        d.markerWidth = op.rect.width();
      }
    }
    for (const CanvasOp& op : d.canvas.opsOf(CanvasOp::Kind::Line)) {
      // The shortest black horizontal line is a value tick (the category
      // axis line runs across the plot).
      if (op.points[0].y == op.points[1].y && op.pen.colour == platform::kBlack) {
        const int length = op.points[1].x - op.points[0].x;
        d.tickLength = d.tickLength == 0 ? length : std::min(d.tickLength, length);
      }
      if (op.points[0].x == op.points[1].x && op.pen.colour == platform::kBlack)
        d.axisWidth = op.pen.width;
    }
    return d;
  };
  const Drawn screen = draw(1, true);
  // The screen's draw has a white background; a page or picture keeps its own.
  const auto whiteFills = [](const RecordingCanvas& canvas) {
    int n = 0;
    for (const CanvasOp& op : canvas.opsOf(CanvasOp::Kind::Fill))
      n += op.brush.colour == platform::kWhite;
    return n;
  };
  EXPECT_EQ(whiteFills(screen.canvas), 1);
  EXPECT_EQ(screen.keyGap, 2);
  EXPECT_EQ(screen.tickLength, 3);
  EXPECT_EQ(screen.axisWidth, 1);
  EXPECT_EQ(screen.markerWidth, 8);
  for (const double ratio : {1.0, 300.0 / 96, 600.0 / 96}) {
    SCOPED_TRACE(ratio);
    const Drawn page = draw(ratio, false);
    EXPECT_EQ(whiteFills(page.canvas), 0);
    const std::vector<CanvasOp> title = page.canvas.textOps(u"Title");
    ASSERT_EQ(title.size(), 1u);
    EXPECT_EQ(title[0].font.heightTwips, static_cast<int>(std::lround(titleFont.heightTwips * ratio)));
    // Nothing is inset: the title's line starts at the top of the page.
    EXPECT_EQ(title[0].rect.top, 0);
    EXPECT_EQ(page.keyGap, std::lround(2 * ratio));
    EXPECT_EQ(page.tickLength, std::lround(3 * ratio));
    EXPECT_EQ(page.axisWidth, std::lround(ratio));
    EXPECT_EQ(page.markerWidth, std::lround(5 * ratio) + std::lround(3 * ratio));
    // The key is as high as the legend's text, which grew with its font.
    EXPECT_NEAR(page.keyWidth, screen.keyWidth * ratio, ratio + 1);
    expectInside(page.canvas, {0, 0, static_cast<int>(400 * ratio), static_cast<int>(300 * ratio)});
  }
}

TEST_F(RenderTest, AScaleFromAFileOrACallerThatMakesNoSenseStillDraws) {
  column(0, {u"a", u"b"});
  column(1, {u"1", u"2"});
  const double scales[] = {0.0, -3.0, NAN, INFINITY, 1e9};
  for (const double bad : scales) {
    ChartModel c = chartOf(kChartColumn, 1);
    RecordingCanvas canvas;
    drawChartScaled(canvas, {0, 0, 300, 200}, c, book(), sheetIndex(), {bad, bad});
    expectInside(canvas, {0, 0, 300, 200});
  }
}

TEST_F(RenderTest, AnEmbeddedChartGrowsWithTheZoomOfItsPage) {
  column(0, {u"a", u"b"});
  column(1, {u"1", u"2"});
  ChartModel c = chartOf(kChartColumn, 1);
  c.title = u"Title";
  sheet().objects.push_back(makeChartObject(c, {{0, 0, 0, 0}, {4, 0, 10, 0}}));
  const int titleTwips = model::fontSpecOf(book().fonts[c.titleFont]).heightTwips;
  for (const int zoom : {100, 312}) {
    SCOPED_TRACE(zoom);
    const Rect r{10, 10, 10 + 4 * zoom, 10 + 3 * zoom};
    RecordingCanvas canvas;
    ASSERT_TRUE(drawChartObject(canvas, book(), sheet(), 0, r, zoom));
    const std::vector<CanvasOp> fills = canvas.opsOf(CanvasOp::Kind::Fill);
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills[0].rect, r) << "the chart's white ground covers the cells under it";
    EXPECT_EQ(fills[0].brush.colour, platform::kWhite);
    const std::vector<CanvasOp> title = canvas.textOps(u"Title");
    ASSERT_EQ(title.size(), 1u);
    EXPECT_EQ(title[0].font.heightTwips, std::lround(titleTwips * zoom / 100.0));
    EXPECT_EQ(title[0].rect.top, r.top + std::lround(5 * zoom / 100.0)) << "the margin grows too";
    const std::vector<CanvasOp> frame = canvas.opsOf(CanvasOp::Kind::Rectangle);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(frame.back().rect, r);
    EXPECT_EQ(frame.back().pen.width, zoom / 100);
  }
}

TEST(Markers, EveryKindStaysInItsBox) {
  model::Workbook book;
  book.palette = model::kDefaultPalette;
  for (int kind = 0; kind < kMarkerKindCount + 2; ++kind) {
    RecordingCanvas canvas;
    drawMarker(canvas, book, kind, 50, 50, kAutomaticColour, kNoColour);
    for (const CanvasOp& op : canvas.ops()) {
      for (const Point& p : op.points) {
        EXPECT_LE(std::abs(p.x - 50), 5) << kind;
        EXPECT_LE(std::abs(p.y - 50), 5) << kind;
      }
      if (op.kind == CanvasOp::Kind::Fill) {
        EXPECT_LE(op.rect.width(), 8) << kind;
      }
    }
  }
}

TEST(Markers, NoneColoursDrawNoOutlineOrFill) {
  model::Workbook book;
  book.palette = model::kDefaultPalette;
  RecordingCanvas canvas;
  drawMarker(canvas, book, kMarkerSquare, 10, 10, kNoColour, kNoColour);
  ASSERT_EQ(canvas.ops().size(), 1u);
  EXPECT_EQ(canvas.ops()[0].pen.style, platform::PenStyle::None);
  EXPECT_EQ(canvas.ops()[0].brush.kind, platform::Brush::Kind::None);
}

} // namespace
} // namespace charts
