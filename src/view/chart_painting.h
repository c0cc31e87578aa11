#pragma once
// Hands the painter's chart services to the chart renderer: embedded charts
// in the object pass and the chart of a chart sheet. Other object kinds go
// on to whatever drew them before.

namespace view {

void installChartPainting();

} // namespace view
