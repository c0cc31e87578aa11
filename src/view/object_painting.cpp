#include "view/object_painting.h"

#include "drawing/object_paint.h"
#include "view/paint_services.h"

namespace view {

void installObjectPainting() {
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  PaintServices& s = paintServices();
  auto previous = s.drawObject;
  s.drawObject = [previous](platform::Canvas& canvas, const model::Workbook& book, const model::Sheet& sheet,
                            int object, const platform::Rect& rect, int zoom) {
    if (object < 0 || object >= static_cast<int>(sheet.objects.size()))
      return;
    if (!drawing::drawObject(canvas, book, sheet.objects[static_cast<size_t>(object)], rect, zoom) && previous)
      previous(canvas, book, sheet, object, rect, zoom);
  };
}

} // namespace view
