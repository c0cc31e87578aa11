#include "fileformats/biff/chart_records.h"

#include "charts/chart_model.h"
#include "fileformats/biff/drawing_records.h"
#include "fileformats/biff/records.h"
#include "fileformats/biff/workbook_reader.h"
#include "fileformats/biff/workbook_writer.h"
#include "formula/recalc.h"
#include "model/set_cell.h"
#include "model/sheet.h"
#include "platform/ui_services.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace biff {
namespace {

using namespace charts;

class ChartRecordsTest : public ::testing::TestWithParam<int> {
protected:
  ChartRecordsTest() : m_scope(ui) {
    formula::installFormulaEngine();
    book = newBook();
    model::Sheet& data = addSheet(u"Data");
    (void)data;
    const char16_t* labels[] = {u"North", u"South", u"East"};
    for (int i = 0; i < 3; ++i) {
      set(0, i, 0, labels[i]);
      set(0, i, 1, std::u16string(1, static_cast<char16_t>(u'1' + i)));
      set(0, i, 2, std::u16string(1, static_cast<char16_t>(u'4' + i)));
    }
  }
  static std::unique_ptr<model::Workbook> newBook() {
    auto b = std::make_unique<model::Workbook>();
    model::seedWorkbookTables(*b, model::Font{});
    return b;
  }
  model::Sheet& addSheet(std::u16string name, model::SheetKind kind = model::SheetKind::Worksheet) {
    auto s = std::make_unique<model::Sheet>();
    model::sheet_init(*s, kind);
    s->name = std::move(name);
    book->sheets.push_back(std::move(s));
    return *book->sheets.back();
  }
  void set(int sheet, int row, int col, std::u16string_view text) {
    ASSERT_TRUE(model::set_cell(*book, sheet, static_cast<std::uint16_t>(row), static_cast<std::uint8_t>(col),
                                text, 15, false, true));
  }
  std::unique_ptr<model::Workbook> roundTrip(int version) {
    std::vector<std::uint8_t> file;
    EXPECT_TRUE(writeBinaryWorkbook(*book, version, file));
    auto back = newBook();
    ReadInfo info;
    EXPECT_TRUE(readBinaryWorkbook(file, *back, &info));
    return back;
  }
  static ChartModel sample() {
    ChartModel c;
    c.type = kChartLine;
    c.title = u"Sales";
    c.categoryAxis.title = u"Region";
    c.valueAxis.title = u"Units";
    c.legendPlacement = kLegendTop;
    c.valueAxis.flags = kAxisLine | kAxisGridlines | kAxisLabels | kAxisMinimumFixed;
    c.valueAxis.minimum = 0;
    c.series.resize(2);
    c.series[0].name = u"First";
    c.series[0].values = u"=Data!$B$1:$B$3";
    c.series[0].categories = u"=Data!$A$1:$A$3";
    c.series[0].lineColour = 10;
    c.series[0].fillColour = 12;
    c.series[0].marker = kMarkerDiamond;
    c.series[0].markerForeground = 14;
    c.series[0].markerBackground = kNoColour;
    c.series[0].labelKind = kLabelValue;
    c.series[1].values = u"=Data!$C$1:$C$3";
    c.series[1].lineStyle = 5;
    return c;
  }

  platform::HeadlessUiServices ui;
  platform::ScopedUiServices m_scope;
  std::unique_ptr<model::Workbook> book;
};

std::u16string upper(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - 32);
  return s;
}

TEST_P(ChartRecordsTest, ChartSheetKeepsWhatTheModelHolds) {
  model::Sheet& cs = addSheet(u"Chart1", model::SheetKind::Chart);
  setSheetChart(cs, sample());
  const auto back = roundTrip(GetParam());
  ASSERT_EQ(back->sheetCount(), 2);
  ChartModel* c = chartOfSheet(back->sheet(1));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->type, kChartLine);
  EXPECT_EQ(c->title, u"Sales");
  EXPECT_EQ(c->categoryAxis.title, u"Region");
  EXPECT_EQ(c->valueAxis.title, u"Units");
  EXPECT_EQ(c->showLegend, 1);
  EXPECT_EQ(c->legendPlacement, kLegendTop);
  EXPECT_TRUE(c->valueAxis.has(kAxisGridlines));
  EXPECT_TRUE(c->valueAxis.has(kAxisMinimumFixed));
  EXPECT_FALSE(c->valueAxis.has(kAxisMaximumFixed));
  EXPECT_FALSE(c->valueAxis.has(kAxisTicks));
  EXPECT_TRUE(c->categoryAxis.has(kAxisTicks));
  ASSERT_EQ(c->seriesCount(), 2);
  const ChartSeries& s = c->series[0];
  EXPECT_EQ(s.name, u"First");
  ASSERT_TRUE(s.values && s.categories);
  EXPECT_EQ(upper(*s.values), u"=DATA!$B$1:$B$3");
  EXPECT_EQ(upper(*s.categories), u"=DATA!$A$1:$A$3");
  EXPECT_EQ(s.marker, kMarkerDiamond);
  EXPECT_EQ(s.markerBackground, kNoColour);
  EXPECT_EQ(s.labelKind, kLabelValue);
  EXPECT_EQ(c->series[1].lineStyle, 5);
  EXPECT_EQ(c->series[1].lineColour, kAutomaticColour);
  EXPECT_FALSE(c->series[1].name.has_value());
  if (GetParam() == 8) {
    EXPECT_EQ(s.lineColour, 10);
    EXPECT_EQ(s.fillColour, 12);
    EXPECT_EQ(s.markerForeground, 14);
  } else {
    // BIFF5 keeps RGB values, found again in the palette.
    EXPECT_EQ(book->palette[s.lineColour], book->palette[10]);
    EXPECT_EQ(book->palette[s.fillColour], book->palette[12]);
  }
}

TEST_P(ChartRecordsTest, EveryChartTypeSurvives) {
  for (int type = 0; type < kChartTypeCount; ++type) {
    if (GetParam() == 7 && type == kChartBubble)
      continue; // BIFF5 has no bubble charts
    book->sheets.resize(1);
    ChartModel c = sample();
    c.type = type;
    setSheetChart(addSheet(u"C", model::SheetKind::Chart), c);
    const auto back = roundTrip(GetParam());
    ASSERT_EQ(back->sheetCount(), 2);
    ChartModel* r = chartOfSheet(back->sheet(1));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, type);
  }
}

TEST_P(ChartRecordsTest, EmbeddedChartsKeepTheirAnchors) {
  model::ObjectAnchor a;
  a.first = {2, 100, 4, 30};
  a.last = {7, 512, 20, 128};
  book->sheet(0).objects.push_back(makeChartObject(sample(), a));
  ChartModel pie = sample();
  pie.type = kChartPie;
  model::ObjectAnchor b = a;
  b.first.row = 22;
  b.last.row = 40;
  book->sheet(0).objects.push_back(makeChartObject(pie, b));
  const auto back = roundTrip(GetParam());
  ASSERT_EQ(back->sheetCount(), 1);
  const model::Sheet& s = back->sheet(0);
  ASSERT_EQ(s.objects.size(), 2u);
  ASSERT_NE(chartOf(s.objects[0]), nullptr);
  EXPECT_EQ(s.objects[0].anchor, a);
  EXPECT_EQ(s.objects[1].anchor, b);
  EXPECT_EQ(chartOf(s.objects[1])->type, kChartPie);
  // The cells of the sheet are not disturbed by the charts' own cells.
  EXPECT_EQ(s.cells.count(), 9u);
}

TEST_P(ChartRecordsTest, ArrayConstantSeriesReopenWithTheirValues) {
  ChartModel c = sample();
  c.series[0].values = u"={1.5;2;7}";
  c.series[0].categories = u"={\"a\";\"b\";\"c\"}";
  setSheetChart(addSheet(u"C", model::SheetKind::Chart), c);
  const auto back = roundTrip(GetParam());
  ChartModel* r = chartOfSheet(back->sheet(1));
  ASSERT_NE(r, nullptr);
  const std::vector<SeriesData> d = evaluateSeries(*r, *back, 0);
  ASSERT_TRUE(d[0].hasData);
  EXPECT_EQ(d[0].values, (std::vector<double>{1.5, 2, 7}));
  if (GetParam() == 8) {
    ASSERT_EQ(d[0].categories.size(), 3u);
    EXPECT_EQ(d[0].categories[2].stringValue(), u"c");
  }
}

TEST_P(ChartRecordsTest, SeriesOfThisSheetAreWrittenWithTheSheetName) {
  ChartModel c = sample();
  c.series[0].values = u"B1:B3"; // no sheet name: the sheet the chart is on
  c.series[0].categories.reset();
  book->sheet(0).objects.push_back(makeChartObject(c, {}));
  const auto back = roundTrip(GetParam());
  ASSERT_EQ(back->sheet(0).objects.size(), 1u);
  const ChartModel* r = chartOf(back->sheet(0).objects[0]);
  ASSERT_TRUE(r && r->series[0].values);
  EXPECT_EQ(upper(*r->series[0].values), u"=DATA!$B$1:$B$3");
  EXPECT_FALSE(r->series[0].categories.has_value());
}

// A series whose sheet is gone is written as a #REF! 3-D reference (other
// programs read a series without a values reference as damaged), and reads
// back as a series without data.
TEST_P(ChartRecordsTest, SeriesOfAMissingSheetKeepAReferenceError) {
  ChartModel c = sample();
  c.series[0].values = u"=Gone!$B$1:$B$3";
  setSheetChart(addSheet(u"C", model::SheetKind::Chart), c);
  const std::vector<std::uint8_t> stream = writeWorkbookStream(*book, GetParam());
  std::vector<std::vector<std::uint8_t>> values; // the AI records of series values
  for (size_t pos = 0; pos + 4 <= stream.size();) {
    const std::uint16_t id = static_cast<std::uint16_t>(stream[pos] | (stream[pos + 1] << 8));
    const size_t len = static_cast<size_t>(stream[pos + 2] | (stream[pos + 3] << 8));
    if (id == rtAI && len >= 8 && stream[pos + 4] == 1)
      values.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                          stream.begin() + static_cast<std::ptrdiff_t>(pos + 4 + len));
    pos += 4 + len;
  }
  ASSERT_EQ(values.size(), 2u);
  for (const std::vector<std::uint8_t>& ai : values) {
    EXPECT_EQ(ai[1], 2) << "a reference, not values cached in the chart";
    ASSERT_GT(ai.size(), 8u);
    EXPECT_EQ(ai[6] | (ai[7] << 8), static_cast<int>(ai.size() - 8));
  }
  const std::uint8_t first = static_cast<std::uint8_t>((values[0][8] & 0x1F) | 0x20);
  EXPECT_TRUE(first == 0x3C || first == 0x3D) << std::hex << int(values[0][8]);
  const auto back = roundTrip(GetParam());
  const ChartModel* r = chartOfSheet(back->sheet(1));
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->series.size(), 2u);
  const std::vector<SeriesData> d = evaluateSeries(*r, *back, 0);
  EXPECT_FALSE(d[0].hasData);
  EXPECT_TRUE(d[1].hasData);
}

// Files written by Gnumeric repeat an embedded chart's BOF; the chart is
// still read, and the sheet's cells after it stay.
TEST_P(ChartRecordsTest, ARepeatedBofIsNoNesting) {
  model::ObjectAnchor a;
  a.first = {2, 0, 4, 0};
  a.last = {7, 0, 20, 0};
  book->sheet(0).objects.push_back(makeChartObject(sample(), a));
  std::vector<std::uint8_t> stream = writeWorkbookStream(*book, GetParam());
  // Find the embedded chart's BOF and write it twice.
  size_t pos = 0;
  int bofs = 0;
  while (pos + 4 <= stream.size()) {
    const std::uint16_t id = static_cast<std::uint16_t>(stream[pos] | (stream[pos + 1] << 8));
    const size_t len = static_cast<size_t>(stream[pos + 2] | (stream[pos + 3] << 8));
    if (id == rtBOF && ++bofs == 3) {
      std::vector<std::uint8_t> bof(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                                    stream.begin() + static_cast<std::ptrdiff_t>(pos + 4 + len));
      stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(pos), bof.begin(), bof.end());
      break;
    }
    pos += 4 + len;
  }
  ASSERT_EQ(bofs, 3);
  auto back = newBook();
  ReadInfo info;
  ASSERT_TRUE(readBinaryWorkbook(stream, *back, &info));
  ASSERT_EQ(back->sheet(0).objects.size(), 1u);
  const ChartModel* c = chartOf(back->sheet(0).objects[0]);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->seriesCount(), 2);
  EXPECT_EQ(c->type, kChartLine);
}

// A whole column has 65,536 cells, one more than the record's count holds:
// the count is clamped rather than wrapped to 0.
TEST_P(ChartRecordsTest, SeriesCountsAreClamped) {
  ChartModel c = sample();
  c.series[0].values = u"=Data!$B$1:$B$65536";
  setSheetChart(addSheet(u"C", model::SheetKind::Chart), c);
  const std::vector<std::uint8_t> stream = writeWorkbookStream(*book, GetParam());
  size_t pos = 0;
  std::vector<int> valueCounts;
  while (pos + 4 <= stream.size()) {
    const std::uint16_t id = static_cast<std::uint16_t>(stream[pos] | (stream[pos + 1] << 8));
    const size_t len = static_cast<size_t>(stream[pos + 2] | (stream[pos + 3] << 8));
    if (id == rtSERIES && len >= 8)
      valueCounts.push_back(stream[pos + 4 + 6] | (stream[pos + 4 + 7] << 8));
    pos += 4 + len;
  }
  ASSERT_EQ(valueCounts.size(), 2u);
  EXPECT_EQ(valueCounts[0], 0xFFFF);
  EXPECT_EQ(valueCounts[1], 3);
}

INSTANTIATE_TEST_SUITE_P(Versions, ChartRecordsTest, ::testing::Values(8, 7));

// ---- records built by hand, as other programs write them ----

struct Builder {
  std::vector<std::vector<std::uint8_t>> bodies;
  std::vector<ChartRecord> records;
  std::vector<std::uint16_t> ids;
  void add(std::uint16_t id, std::vector<std::uint8_t> body = {}) {
    ids.push_back(id);
    bodies.push_back(std::move(body));
  }
  std::span<const ChartRecord> done() {
    records.clear();
    for (size_t i = 0; i < ids.size(); ++i)
      records.push_back({ids[i], bodies[i]});
    return records;
  }
};

std::vector<std::uint8_t> le16(std::initializer_list<int> words) {
  std::vector<std::uint8_t> b;
  for (int w : words) {
    b.push_back(static_cast<std::uint8_t>(w));
    b.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  return b;
}

std::vector<std::uint8_t> numberCell(int row, int col, double x) {
  std::vector<std::uint8_t> b = le16({row, col, 0});
  std::uint8_t d[8];
  std::memcpy(d, &x, 8);
  b.insert(b.end(), d, d + 8);
  return b;
}

ChartReadContext context8() {
  ChartReadContext ctx;
  ctx.tokens.version = 8;
  ctx.readChars = [](ByteCursor& c, size_t n, std::u16string& out) {
    std::uint8_t flags = 0;
    if (!c.u8(flags))
      return false;
    out.clear();
    for (size_t i = 0; i < n; ++i) {
      std::uint8_t ch = 0;
      if (!c.u8(ch))
        return false;
      out += static_cast<char16_t>(ch);
    }
    return true;
  };
  return ctx;
}

// A series whose values and categories are cached in the chart: index 1
// announces the values, 2 the categories, as other programs write them.
TEST(ChartReader, CachedCellsAreReadBySeriesIndexRowAndColumn) {
  Builder b;
  b.add(rtCHART, std::vector<std::uint8_t>(16, 0));
  b.add(rtBEGIN);
  for (int k = 0; k < 2; ++k) {
    b.add(rtSERIES, le16({1, 1, 2, 2, 1, 0}));
    b.add(rtBEGIN);
    b.add(rtAI, {1, 1, 0, 0, 0, 0, 0, 0});
    b.add(rtAI, {2, 1, 0, 0, 0, 0, 0, 0});
    b.add(rtEND);
  }
  b.add(rtEND);
  b.add(rtSIINDEX, le16({1}));
  // Out of order, as a writer may put them.
  b.add(rtNUMBER, numberCell(1, 1, 40));
  b.add(rtNUMBER, numberCell(0, 0, 10));
  b.add(rtNUMBER, numberCell(1, 0, 20));
  b.add(rtNUMBER, numberCell(0, 1, 30));
  b.add(rtSIINDEX, le16({2}));
  b.add(rtNUMBER, numberCell(0, 0, 1990));
  b.add(rtNUMBER, numberCell(1, 0, 1991));
  const ChartModel c = readChartRecords(b.done(), context8());
  ASSERT_EQ(c.seriesCount(), 2);
  model::Workbook book;
  const std::vector<SeriesData> d = evaluateSeries(c, book, 0);
  EXPECT_EQ(d[0].values, (std::vector<double>{10, 20}));
  EXPECT_EQ(d[1].values, (std::vector<double>{30, 40}));
  ASSERT_EQ(d[0].categories.size(), 2u);
  EXPECT_EQ(d[0].categories[1].numberValue(), 1991);
}

std::vector<std::uint8_t> lineFormat(int icv, int pattern, int flags) {
  std::vector<std::uint8_t> b = {0x11, 0x22, 0x33, 0};
  auto w = le16({pattern, 0, flags, icv});
  b.insert(b.end(), w.begin(), w.end());
  return b;
}

TEST(ChartReader, ColoursFollowTheAutomaticBitAndOneRuleAbove63) {
  Builder b;
  b.add(rtCHART, std::vector<std::uint8_t>(16, 0));
  b.add(rtBEGIN);
  const int icvs[] = {12, 12, 64, 0x7FFF, 81};
  const int flags[] = {0, 1, 0, 0, 0};
  for (int k = 0; k < 5; ++k) {
    b.add(rtSERIES, le16({1, 1, 0, 0, 1, 0}));
    b.add(rtBEGIN);
    b.add(rtDATAFORMAT, le16({0xFFFF, k, k, 0}));
    b.add(rtBEGIN);
    b.add(rtLINEFORMAT, lineFormat(icvs[k], 0, flags[k]));
    b.add(rtEND);
    b.add(rtEND);
  }
  b.add(rtEND);
  const ChartModel c = readChartRecords(b.done(), context8());
  ASSERT_EQ(c.seriesCount(), 5);
  EXPECT_EQ(c.series[0].lineColour, 12);
  EXPECT_EQ(c.series[1].lineColour, kAutomaticColour);
  EXPECT_EQ(c.series[2].lineColour, 8);
  EXPECT_EQ(c.series[3].lineColour, kAutomaticColour);
  EXPECT_EQ(c.series[4].lineColour, 8);
}

TEST(ChartReader, SecondAxisGroupDoesNotOverwriteTheFirst) {
  Builder b;
  b.add(rtCHART, std::vector<std::uint8_t>(16, 0));
  b.add(rtBEGIN);
  for (int group = 0; group < 2; ++group) {
    b.add(rtAXISPARENT, le16({group, 0, 0, 0, 0, 0, 0, 0, 0}));
    b.add(rtBEGIN);
    b.add(rtAXIS, le16({1, 0, 0, 0, 0, 0, 0, 0, 0}));
    b.add(rtBEGIN);
    std::vector<std::uint8_t> vr;
    for (double x : {group ? 500.0 : 5.0, group ? 900.0 : 50.0, 0.0, 0.0, 0.0}) {
      std::uint8_t d[8];
      std::memcpy(d, &x, 8);
      vr.insert(vr.end(), d, d + 8);
    }
    auto opt = le16({0x011C});
    vr.insert(vr.end(), opt.begin(), opt.end());
    b.add(rtVALUERANGE, vr);
    b.add(rtEND);
    b.add(rtCHARTFORMAT, std::vector<std::uint8_t>(20, 0));
    b.add(rtBEGIN);
    if (group == 0)
      b.add(rtBAR, le16({0, 50, 1}));
    else
      b.add(rtLINE, le16({0}));
    b.add(rtLEGEND, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 1, 0x1F, 0});
    b.add(rtEND);
    b.add(rtEND);
  }
  b.add(rtEND);
  const ChartModel c = readChartRecords(b.done(), context8());
  EXPECT_EQ(c.type, kChartBar);
  EXPECT_EQ(c.valueAxis.minimum, 5);
  EXPECT_EQ(c.valueAxis.maximum, 50);
  EXPECT_TRUE(c.valueAxis.has(kAxisMinimumFixed));
  // Placement 7 (not docked) reads as right.
  EXPECT_EQ(c.showLegend, 1);
  EXPECT_EQ(c.legendPlacement, kLegendRight);
}

TEST(ChartReader, OnlyReferenceFormsBecomeSeriesFormulas) {
  Builder b;
  b.add(rtCHART, std::vector<std::uint8_t>(16, 0));
  b.add(rtBEGIN);
  b.add(rtSERIES, le16({1, 1, 3, 3, 1, 0}));
  b.add(rtBEGIN);
  // A function call (ptgInt 1, ptgFunc NOW) where a reference should be.
  b.add(rtAI, {1, 2, 0, 0, 0, 0, 4, 0, 0x1E, 1, 0, 0x41});
  b.add(rtSERIESTEXT, [] {
    std::vector<std::uint8_t> t = {0, 0, 255, 0};
    t.insert(t.end(), 300, 'x'); // more characters than the length says are ignored
    return t;
  }());
  b.add(rtEND);
  b.add(rtEND);
  const ChartModel c = readChartRecords(b.done(), context8());
  ASSERT_EQ(c.seriesCount(), 1);
  EXPECT_FALSE(c.series[0].values.has_value());
  ASSERT_TRUE(c.series[0].name);
  EXPECT_EQ(c.series[0].name->size(), 255u);
}

TEST(ChartReader, UnbalancedAndEmptyRecordsStillGiveAChart) {
  Builder b;
  b.add(rtEND);
  b.add(rtEND);
  b.add(rtSERIES);
  b.add(rtBEGIN);
  b.add(rtAI);
  b.add(rtLINEFORMAT);
  b.add(rtVALUERANGE);
  b.add(rtTEXT);
  b.add(rtBEGIN);
  b.add(rtOBJECTLINK, le16({4, 900}));
  for (int i = 0; i < 200; ++i)
    b.add(rtBEGIN);
  const ChartModel c = readChartRecords(b.done(), context8());
  EXPECT_EQ(c.seriesCount(), 0);
  EXPECT_GE(c.legendPlacement, 0);
}

} // namespace
} // namespace biff
