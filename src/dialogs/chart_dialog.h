#pragma once
// The chart settings dialog ("图表设置": type, series, titles, axes and
// legend) and the series dialog it opens ("添加新系列" / "编辑序列":
// patterns, data and data labels). Both work on copies; OK hands the
// result back, Cancel leaves the chart as it was.

#include "charts/chart_model.h"
#include "model/workbook.h"

#include <string_view>

namespace dialogs {

inline constexpr std::u16string_view kChartDialogTitle = u"图表设置";
inline constexpr std::u16string_view kNewSeriesTitle = u"添加新系列";
inline constexpr std::u16string_view kEditSeriesTitle = u"编辑序列";
inline constexpr std::u16string_view kMessageMaximumNotAboveMinimum = u"Maximum must be greater than minimum";
inline constexpr std::u16string_view kMessageStepNotPositive = u"Step must be greater than zero";
inline constexpr std::u16string_view kMessageValuesInvalid = u"Y 轴无效！";
inline constexpr std::u16string_view kMessageCategoriesInvalid = u"X range not valid";

enum ChartDialogPage : int { kChartTypePage, kChartSeriesPage, kChartTitlesPage, kChartAxesPage, kChartLegendPage };

/// Control ids of the chart settings pages.
inline constexpr int kChartTypeFirst = 501; // ten radio buttons, in ChartType order
inline constexpr int kChartSeriesList = 521, kChartSeriesNew = 522, kChartSeriesEdit = 523, kChartSeriesDelete = 524;
inline constexpr int kChartSeriesValues = 526, kChartSeriesCategoriesLabel = 527, kChartSeriesCategories = 528;
inline constexpr int kChartTitle = 531, kChartCategoryTitleLabel = 532, kChartCategoryTitle = 533, kChartValueTitle = 535;
// Axes: each axis has the block at its base (category 540, value 560).
inline constexpr int kChartCategoryAxis = 540, kChartValueAxis = 560;
inline constexpr int kAxisShow = 1, kAxisGrid = 2, kAxisTickMarks = 3, kAxisTickLabels = 4, kAxisLog = 5,
                     kAxisMinFixed = 6, kAxisMin = 7, kAxisMaxFixed = 8, kAxisMax = 9, kAxisStepFixed = 10,
                     kAxisStep = 11;
inline constexpr int kChartShowLegend = 581, kChartLegendFirst = 583; // five radio buttons, in LegendPlacement order

/// Control ids of the series dialog's pages.
inline constexpr int kSeriesLineStyle = 601, kSeriesLineColour = 602, kSeriesFillLabel = 603, kSeriesFill = 604;
inline constexpr int kSeriesMarkerLabel = 605, kSeriesMarker = 606, kSeriesMarkerForeground = 607,
                     kSeriesMarkerBackground = 608;
inline constexpr int kSeriesName = 611, kSeriesValues = 612, kSeriesCategoriesLabel = 613, kSeriesCategories = 614;
// Six radio buttons: none, value, percent, category, category and percent, bubble size.
inline constexpr int kSeriesLabelFirst = 621;

/// Runs the chart settings dialog over a copy of `chart`, drawn on sheet
/// `sheet` of `book` (references without a sheet name read that sheet);
/// on OK the chart becomes the copy and true is returned. It opens on
/// `startPage`, or with -1 on the page last used.
bool showChartDialog(model::Workbook& book, int sheet, charts::ChartModel& chart, int startPage = -1);

/// Runs the series dialog over a copy of `series` of `chart` ("添加新系列"
/// when it is new); on OK the series becomes the copy, with what its page
/// does not show for the chart type reset, and true is returned. A series
/// that first gets data labels gets their font (which may add one to the
/// workbook and to the chart's fonts).
bool showSeriesDialog(model::Workbook& book, int sheet, charts::ChartModel& chart, charts::ChartSeries& series,
                      bool isNew);

} // namespace dialogs
