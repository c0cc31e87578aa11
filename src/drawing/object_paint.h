#pragma once
// Drawing the objects of a sheet that are not form controls or charts:
// lines with their arrow heads, rectangles, ovals, arcs, text boxes,
// polygons, pictures, comments kept shown and the Office drawing format's
// preset shapes. The window, the headless render and printing all come
// here through the grid painter's object pass.

#include "model/drawing_objects.h"
#include "model/workbook.h"
#include "platform/canvas.h"

#include <vector>

namespace drawing {

/// Draws one object into its rectangle (window or page pixels). False for
/// kinds drawn elsewhere (charts, form controls, groups), which it leaves
/// untouched. `zoom` (percent) scales line widths and text.
bool drawObject(platform::Canvas& canvas, const model::Workbook& book, const model::DrawingObject& object,
                const platform::Rect& rect, int zoom);

/// The geometric and Office-shape renderer: the object's outline in its
/// rectangle with its pen and brush (`shapeType` for kind 30; kinds 1-4 and
/// 6 map to their own shapes). False when the shape type is not supported:
/// nothing is drawn then.
bool drawShape(platform::Canvas& canvas, const model::DrawingObject& object, const platform::Rect& rect, int zoom);

/// Whether drawShape knows the Office shape type.
bool isSupportedShapeType(int shapeType);

/// The outline of a preset shape type in the rectangle as one or more
/// closed (or, for lines and arcs, open) point runs; empty when not
/// supported. Ellipses come as polygons of many points.
struct ShapeOutline {
  struct Run {
    std::vector<platform::Point> points;
    bool closed = true;
  };
  std::vector<Run> runs;
};
ShapeOutline shapeOutline(int shapeType, const platform::Rect& rect, int flip = 0);

/// The two ends of a line in its rectangle: from the top left to the bottom
/// right corner, the ends swapped across by flip bit 0 and up and down by
/// bit 1.
void lineEnds(const platform::Rect& rect, int flip, platform::Point& from, platform::Point& to);

/// A polygon's vertices from its stored drawing properties (the vertex list
/// within its geometry box), in 0-16384 across the object's rectangle;
/// empty when it has none or they do not read.
std::vector<platform::Point> polygonVertices(const model::DrawingObject& object);

/// A comment's box: pale yellow, framed, the author in bold on the first
/// line and the text wrapped below.
void drawCommentBox(platform::Canvas& canvas, const model::Workbook& book, const model::DrawingObject& comment,
                    const platform::Rect& rect, int zoom);

/// The text of an object wrapped into its rectangle (inside a small margin)
/// with its alignment, in the object's font.
void drawObjectText(platform::Canvas& canvas, const model::Workbook& book, const model::DrawingObject& object,
                    const platform::Rect& rect, int zoom);

/// Pixels of a line width in EMUs at the zoom; at least 1.
int linePixels(std::uint32_t widthEmu, int zoom);

} // namespace drawing
