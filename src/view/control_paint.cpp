#include "view/control_paint.h"

namespace view {

using platform::Brush;
using platform::Canvas;
using platform::Colour;
using platform::Pen;
using platform::Point;
using platform::Rect;

namespace {

constexpr Colour kLight = 0xDFDFDF;

// The top and left edges in one colour, the bottom and right ones in another.
void frame(Canvas& canvas, const Rect& r, Colour topLeft, Colour bottomRight) {
  if (r.width() < 1 || r.height() < 1)
    return;
  canvas.setPen(Pen{platform::PenStyle::Solid, 1, topLeft});
  canvas.drawLine({r.left, r.bottom - 1}, {r.left, r.top});
  canvas.drawLine({r.left, r.top}, {r.right - 1, r.top});
  canvas.setPen(Pen{platform::PenStyle::Solid, 1, bottomRight});
  canvas.drawLine({r.right - 1, r.top}, {r.right - 1, r.bottom - 1});
  canvas.drawLine({r.left, r.bottom - 1}, {r.right, r.bottom - 1});
}

Rect inset(const Rect& r, int by) { return {r.left + by, r.top + by, r.right - by, r.bottom - by}; }

} // namespace

void drawRaisedBox(Canvas& canvas, const Rect& r) {
  if (r.isEmpty())
    return;
  canvas.fillRect(r, Brush::solid(kFaceGrey));
  frame(canvas, r, kLight, platform::kBlack);
  frame(canvas, inset(r, 1), platform::kWhite, kShadowGrey);
}

void drawPushedBox(Canvas& canvas, const Rect& r) {
  if (r.isEmpty())
    return;
  canvas.fillRect(r, Brush::solid(kFaceGrey));
  frame(canvas, r, kShadowGrey, kShadowGrey);
}

void drawSunkenFrame(Canvas& canvas, const Rect& r) {
  frame(canvas, r, kShadowGrey, platform::kWhite);
  frame(canvas, inset(r, 1), platform::kBlack, kLight);
}

void drawArrowTriangle(Canvas& canvas, Point centre, ArrowDirection direction, Colour colour) {
  canvas.setPen(Pen{platform::PenStyle::Solid, 1, colour});
  // Row i is 7 - 2i pixels long; the 7-pixel row is the base, two pixels
  // behind the centre, so the triangle's four rows straddle it.
  for (int i = 0; i < 4; ++i) {
    const int half = 3 - i;
    switch (direction) {
    case ArrowDirection::Down: {
      const int y = centre.y - 2 + i;
      canvas.drawLine({centre.x - half, y}, {centre.x + half + 1, y});
      break;
    }
    case ArrowDirection::Up: {
      const int y = centre.y + 1 - i;
      canvas.drawLine({centre.x - half, y}, {centre.x + half + 1, y});
      break;
    }
    case ArrowDirection::Right: {
      const int x = centre.x - 2 + i;
      canvas.drawLine({x, centre.y - half}, {x, centre.y + half + 1});
      break;
    }
    case ArrowDirection::Left: {
      const int x = centre.x + 1 - i;
      canvas.drawLine({x, centre.y - half}, {x, centre.y + half + 1});
      break;
    }
    }
  }
}

void paintFontPreview(Canvas& canvas, const Rect& r, const platform::FontSpec& font,
                      Colour colour) {
  if (r.isEmpty())
    return;
  canvas.setClip(r);
  canvas.fillRect(r, Brush::solid(platform::kWhite));
  canvas.drawText(u"AaBbCc", font, colour, r, platform::kTextCentre | platform::kTextVCentre, r);
}

} // namespace view
