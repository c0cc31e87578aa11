#pragma once
// A chart: what to plot (series given by reference texts into worksheets),
// how (one of ten types) and with which decorations. The chart owns no data;
// its series are evaluated afresh on every draw, so it always shows the
// current cells. A chart lives either on a chart sheet (the sheet's only
// object) or in an object of kind chart on a worksheet; both keep it as the
// object's payload.

#include "model/cell_range.h"
#include "model/cell_value.h"
#include "model/drawing_objects.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace model {
struct Workbook;
struct Sheet;
} // namespace model

namespace charts {

enum ChartType : std::int32_t {
  kChartColumn = 0,
  kChartBar = 1,
  kChartLine = 2,
  kChartPie = 3,
  kChartScatter = 4,
  kChartArea = 5,
  kChartDoughnut = 6,
  kChartRadar = 7,
  kChartSurface = 8,
  kChartBubble = 9,
};
inline constexpr int kChartTypeCount = 10;

enum LegendPlacement : std::int32_t {
  kLegendBottom = 0,
  kLegendTopRight = 1,
  kLegendTop = 2,
  kLegendRight = 3,
  kLegendLeft = 4,
};

enum DataLabelKind : std::uint16_t {
  kLabelNone = 0,
  kLabelValue = 1,
  kLabelPercent = 2,
  kLabelCategory = 16,
  kLabelCategoryPercent = 22,
  kLabelBubbleSize = 32,
};
inline constexpr std::uint16_t kLabelKindMask = 0x37;

enum MarkerKind : std::uint16_t {
  kMarkerNone = 0,
  kMarkerSquare,
  kMarkerDiamond,
  kMarkerTriangle,
  kMarkerCross,
  kMarkerStar,
  kMarkerShortDash,
  kMarkerLongDash,
  kMarkerCircle,
  kMarkerPlus,
};
inline constexpr int kMarkerKindCount = 10;

/// Palette index meaning "automatic" in every colour field of a chart.
inline constexpr std::uint16_t kAutomaticColour = 77;
/// Marker colour "none".
inline constexpr std::int32_t kNoColour = -1;

enum AxisFlags : std::uint8_t {
  kAxisLine = 1,
  kAxisGridlines = 2,
  kAxisTicks = 4,
  kAxisLabels = 8,
  kAxisLogarithmic = 16,
  kAxisMinimumFixed = 32,
  kAxisMaximumFixed = 64,
  kAxisStepFixed = 128,
};

struct ChartAxis {
  std::uint8_t flags = kAxisLine | kAxisTicks | kAxisLabels;
  double minimum = 0;
  double maximum = 0;
  double step = 0;
  std::uint16_t labelFont = 0;
  std::optional<std::u16string> title;
  std::uint16_t titleFont = 0;
  bool has(std::uint8_t bit) const { return (flags & bit) != 0; }
  friend bool operator==(const ChartAxis&, const ChartAxis&) = default;
};

/// Bits of ChartSeries::cached: the file held the categories (bit 0) or the
/// values (bit 1) as values inside the chart rather than as a reference.
enum SeriesCached : std::uint8_t { kCachedCategories = 1, kCachedValues = 2 };

struct ChartSeries {
  std::optional<std::u16string> name;
  std::optional<std::u16string> categories; // reference text; X values of XY charts
  std::optional<std::u16string> values;
  std::uint16_t lineColour = kAutomaticColour;
  std::uint16_t fillColour = kAutomaticColour;
  std::uint16_t lineStyle = 0;
  std::uint16_t marker = kMarkerNone;
  std::int32_t markerForeground = kAutomaticColour;
  std::int32_t markerBackground = kAutomaticColour;
  std::uint16_t labelKind = kLabelNone;
  std::uint16_t labelFont = 0;
  std::int32_t isNew = 0;
  // As read from a file.
  std::uint16_t categoryCount = 0;
  std::uint16_t valueCount = 0;
  std::uint8_t cached = 0;
  friend bool operator==(const ChartSeries&, const ChartSeries&) = default;
};

struct ChartFont {
  std::uint16_t flag = 0;
  std::uint16_t fontIndex = 0;
  friend bool operator==(const ChartFont&, const ChartFont&) = default;
};

struct ChartModel {
  std::int32_t type = kChartColumn;
  std::optional<std::u16string> title;
  std::uint16_t titleFont = 0;
  std::vector<ChartSeries> series; // legend and drawing order
  ChartAxis categoryAxis;
  ChartAxis valueAxis;
  std::vector<ChartFont> fonts;
  std::int32_t showLegend = 1;
  std::int32_t legendPlacement = kLegendRight;
  std::uint16_t legendFont = 0;
  std::uint16_t extraFont1 = 0;
  std::uint16_t extraFont2 = 0;
  int seriesCount() const { return static_cast<int>(series.size()); }
  friend bool operator==(const ChartModel&, const ChartModel&) = default;
};

/// The payload of an object of kind chart (and of a chart sheet's one object).
class ChartPayload : public model::ObjectPayload {
public:
  ChartPayload() = default;
  explicit ChartPayload(ChartModel c) : chart(std::move(c)) {}
  std::unique_ptr<model::ObjectPayload> clone() const override {
    return std::make_unique<ChartPayload>(chart);
  }
  /// The series' category and value references.
  void forEachReference(const std::function<void(std::u16string&)>& fn) override;
  ChartModel chart;
};

/// The chart of an object, or null when it is not a chart.
ChartModel* chartOf(model::DrawingObject& object);
const ChartModel* chartOf(const model::DrawingObject& object);
/// The chart of a chart sheet (its first chart object), or null.
ChartModel* chartOfSheet(model::Sheet& sheet);
/// Gives a chart sheet its chart, replacing any it had.
void setSheetChart(model::Sheet& sheet, ChartModel chart);
/// An object of kind chart holding the model.
model::DrawingObject makeChartObject(ChartModel chart, const model::ObjectAnchor& anchor);

/// The text a series shows in the legend and the series list: its name, or
/// "系列 n" with the 1-based number when it has none.
std::u16string seriesLabel(const ChartModel& chart, int index);

/// Colour indexes as files carry them: 0-63 are palette entries, 77 is
/// automatic, and the system colours some writers use (64 window text, 65
/// window background, 78 chart background, 79 neutral line, 81 tooltip
/// text) mean black or white. Everything else, 0x7FFF included, is
/// automatic. The reader, the renderer and the writer all go through this.
std::uint16_t normaliseColourIndex(std::uint32_t index);
/// The RGB (0x00BBGGRR) of a colour index, with `automaticEntry` standing
/// for automatic; never reads past the palette.
std::uint32_t chartColourRgb(const model::Workbook& book, std::uint32_t index, int automaticEntry);

/// The data label kind as the chart type shows it: percent kinds apply to
/// pie and doughnut only, bubble size to bubble charts only.
std::uint16_t effectiveLabelKind(std::int32_t type, std::uint16_t labelKind);

struct AxisScale {
  double minimum = 0;
  double maximum = 0;
  double step = 0;
};

/// The automatic scale around data from a to b.
AxisScale autoScale(double a, double b);

/// One series' data as drawn: values row by row, categories likewise (the
/// numbers 1..n when the series has no category reference).
struct SeriesData {
  bool hasData = false;
  std::vector<double> values;
  std::vector<model::CellValue> categories;
  std::uint16_t valueFormat = 0;    // number format index of the first value cell
  std::uint16_t categoryFormat = 0; // of the first category cell
};

/// Most points evaluated per series: a whole column of a sheet.
inline constexpr size_t kMaxSeriesPoints = 65536;

/// Evaluates every series of the chart against the workbook; `sheet` is the
/// sheet the chart lives on, for references without a sheet name.
std::vector<SeriesData> evaluateSeries(const ChartModel& chart, model::Workbook& book, int sheet);

/// Scales the value axis (`valueAxis`) or the X axis of an XY chart over the
/// evaluated data and writes the result back into the axis.
void scaleAxis(ChartModel& chart, bool valueAxis, const std::vector<SeriesData>& data);

/// The reference text a series keeps for a block of a sheet:
/// "=Sheet1!$A$1:$B$4" (the name quoted when it needs it).
std::u16string blockReference(std::u16string_view sheetName, const model::CellRange& block);

/// The series a new chart plots at once from a block of m columns and r
/// rows: made when m = 1 and r > 1, when m = 2, or when m > 2 and r <= 2.
/// With several rows and columns the first column (m = 2) or the first row
/// gives the categories and the next one the values; a single row or column
/// gives values only. Nullopt when the user has to define the series.
std::optional<ChartSeries> guessSeries(std::u16string_view sheetName, const model::CellRange& block);

/// A new column chart with gridlines on the value axis and four fonts added
/// to the workbook (copies of the default font: 10-point normal twice,
/// 12-point bold for the title, 10-point bold for the axis titles). Nullopt
/// when the font table has no room.
std::optional<ChartModel> newChart(model::Workbook& book);

/// The font of a series' data labels when it first gets them: a 10-point
/// normal copy of the default font, taken from the chart's own fonts when
/// one is equal, else added to the workbook and to the chart's fonts.
/// Nullopt when the font table has no room.
std::optional<std::uint16_t> dataLabelFont(model::Workbook& book, ChartModel& chart);

/// Whether a series reference text names a block of a worksheet (or holds
/// an array of values, as series read from files may).
bool validSeriesReference(std::u16string_view text, model::Workbook& book, int sheet);

/// Normalises values read from a file as the settings dialog would leave
/// them: legend placement within 0-4, a positive step, minimum below
/// maximum, a logarithmic minimum above 0.
void normaliseChart(ChartModel& chart);

} // namespace charts
