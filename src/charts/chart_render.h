#pragma once
// Draws a chart into a rectangle of a canvas: a chart sheet's area, an
// embedded chart's object rectangle, or a picture being saved. Every draw
// evaluates the series afresh and scales the axes (written back into the
// model, so the settings dialog shows them), then lays out the title,
// legend and axis titles by shrinking the plot rectangle, and finally draws
// the plot of the chart type.

#include "charts/chart_model.h"
#include "platform/canvas.h"

#include <optional>

namespace model {
struct Workbook;
}

namespace charts {

/// Most points of one series that a draw visits: longer series are drawn
/// from an even sample of their points, so that a whole column draws in
/// about the time of a screenful.
inline constexpr size_t kMaxDrawnPoints = 4096;

/// Draws on a white background inset by a small margin. `sheet` is the
/// sheet the chart lives on (for references without a sheet name).
void drawChart(platform::Canvas& canvas, const platform::Rect& rect, ChartModel& chart,
               model::Workbook& book, int sheet);

/// Device pixels per screen pixel, across and down: a printer's resolution
/// over the screen's.
struct ChartScale {
  double x = 1;
  double y = 1;
};

/// Draws for a printed page or an exported picture: into the whole of
/// `rect` on what is there (no background, no margin), with spacings, fonts,
/// lines and markers as large as on the screen.
void drawChartScaled(platform::Canvas& canvas, const platform::Rect& rect, ChartModel& chart,
                     model::Workbook& book, int sheet, const ChartScale& scale);

/// Draws a marker of the kind centred on (x, y); colours are palette
/// indexes (77 automatic, -1 none). `scale` is device pixels per screen pixel.
/// With `seriesColour`, automatic colours are the series' own colour
/// rather than black on white.
void drawMarker(platform::Canvas& canvas, const model::Workbook& book, int kind, int x, int y,
                std::int32_t foreground, std::int32_t background, double scale = 1,
                std::optional<platform::Colour> seriesColour = std::nullopt);

/// The canvas pen style of a series line style (0 solid ... 5 none ... 8).
platform::PenStyle penStyleOf(std::uint16_t lineStyle);

/// Draws the chart of an object into its rectangle with a black frame; the
/// painter's object pass calls it for charts. At a `zoom` (percent) other
/// than 100, as on a printed page, spacings, fonts and lines grow with it.
/// False when the object is not a chart.
bool drawChartObject(platform::Canvas& canvas, const model::Workbook& book, const model::Sheet& sheet,
                     int object, const platform::Rect& rect, int zoom = 100);

/// Draws a chart sheet's chart into the area the grid would take, or with
/// a scale into a printed page's printable area.
void drawChartSheet(platform::Canvas& canvas, const model::Workbook& book, int sheet,
                    const platform::Rect& area, const ChartScale* scale = nullptr);

} // namespace charts
