#pragma once
// Hands the painter's object pass the drawing of shapes, text boxes,
// pictures and shown comments; other kinds go on to whatever drew them
// before (charts, form controls).

namespace view {

void installObjectPainting();

} // namespace view
