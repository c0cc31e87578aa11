#include "view/chart_painting.h"

#include "charts/chart_render.h"
#include "view/paint_services.h"

namespace view {

void installChartPainting() {
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  PaintServices& s = paintServices();
  auto previous = s.drawObject;
  s.drawObject = [previous](platform::Canvas& canvas, const model::Workbook& book, const model::Sheet& sheet,
                            int object, const platform::Rect& rect, int zoom) {
    if (!charts::drawChartObject(canvas, book, sheet, object, rect, zoom) && previous)
      previous(canvas, book, sheet, object, rect, zoom);
  };
  s.drawChartSheet = [](platform::Canvas& canvas, const model::Workbook& book, int sheet,
                        const platform::Rect& area) { charts::drawChartSheet(canvas, book, sheet, area); };
}

} // namespace view
