#include "view/control_paint.h"

#include "view/grid_painter.h"

#include <algorithm>
#include <cstdlib>

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

// Edges `edge` pixels thick: that many one-pixel frames, each inside the last.
void frames(Canvas& canvas, const Rect& r, int from, int edge, Colour topLeft, Colour bottomRight) {
  for (int k = from; k < from + edge; ++k)
    frame(canvas, inset(r, k), topLeft, bottomRight);
}

} // namespace

void drawRaisedBox(Canvas& canvas, const Rect& r, int edge) {
  if (r.isEmpty())
    return;
  edge = std::max(1, edge);
  canvas.fillRect(r, Brush::solid(kFaceGrey));
  frames(canvas, r, 0, edge, kLight, platform::kBlack);
  frames(canvas, r, edge, edge, platform::kWhite, kShadowGrey);
}

void drawPushedBox(Canvas& canvas, const Rect& r) {
  if (r.isEmpty())
    return;
  canvas.fillRect(r, Brush::solid(kFaceGrey));
  frame(canvas, r, kShadowGrey, kShadowGrey);
}

void drawSunkenFrame(Canvas& canvas, const Rect& r, int edge) {
  edge = std::max(1, edge);
  frames(canvas, r, 0, edge, kShadowGrey, platform::kWhite);
  frames(canvas, r, edge, edge, platform::kBlack, kLight);
}

void drawArrowTriangle(Canvas& canvas, Point centre, ArrowDirection direction, Colour colour, int scale) {
  canvas.setPen(Pen{platform::PenStyle::Solid, 1, colour});
  const int s = std::max(1, scale);
  // Row i is 7 - 2i units long; the 7-unit row is the base, two units
  // behind the centre, so the triangle's four rows straddle it. A unit is
  // `s` pixels: each row is drawn as `s` lines.
  for (int line = 0; line < 4 * s; ++line) {
    const int i = line / s;
    const int lo = (i - 3) * s, hi = (4 - i) * s; // the row's extent about the centre
    switch (direction) {
    case ArrowDirection::Down: {
      const int y = centre.y - 2 * s + line;
      canvas.drawLine({centre.x + lo, y}, {centre.x + hi, y});
      break;
    }
    case ArrowDirection::Up: {
      const int y = centre.y + 2 * s - 1 - line;
      canvas.drawLine({centre.x + lo, y}, {centre.x + hi, y});
      break;
    }
    case ArrowDirection::Right: {
      const int x = centre.x - 2 * s + line;
      canvas.drawLine({x, centre.y + lo}, {x, centre.y + hi});
      break;
    }
    case ArrowDirection::Left: {
      const int x = centre.x + 2 * s - 1 - line;
      canvas.drawLine({x, centre.y + lo}, {x, centre.y + hi});
      break;
    }
    }
  }
}

void paintFontPreview(Canvas& canvas, const Rect& r, const platform::FontSpec& font, Colour colour) {
  if (r.isEmpty())
    return;
  canvas.setClip(r);
  canvas.fillRect(r, Brush::solid(platform::kWhite));
  canvas.drawText(u"AaBbCc", font, colour, r, platform::kTextCentre | platform::kTextVCentre, r);
}

} // namespace view

namespace view {
namespace {

struct SampleGeometry {
  int left, top, right, bottom, midX, midY;
};

// The box leaves room round it for the corner ticks.
SampleGeometry sampleGeometry(const platform::Rect& r) {
  const int mx = std::max(6, r.width() / 8), my = std::max(6, r.height() / 8);
  SampleGeometry g{r.left + mx, r.top + my, r.right - mx - 1, r.bottom - my - 1, 0, 0};
  g.midX = (g.left + g.right) / 2;
  g.midY = (g.top + g.bottom) / 2;
  return g;
}

void strokeLine(platform::Canvas& canvas, const SampleSide& side, platform::Point a, platform::Point b,
                bool horizontal) {
  const BorderStroke s = borderStroke(side.style);
  if (s.style == platform::PenStyle::None)
    return;
  const auto shifted = [&](platform::Point p, int by) {
    return horizontal ? platform::Point{p.x, p.y + by} : platform::Point{p.x + by, p.y};
  };
  canvas.setPen(platform::Pen{s.style, s.width, side.colour});
  canvas.drawLine(shifted(a, -s.mainOffset), shifted(b, -s.mainOffset));
  if (s.extraOffset != 0) {
    canvas.setPen(platform::Pen{s.style, 1, side.colour});
    canvas.drawLine(shifted(a, -s.extraOffset), shifted(b, -s.extraOffset));
  }
}

} // namespace

void paintBorderSample(platform::Canvas& canvas, const platform::Rect& r, const SampleSide (&sides)[6]) {
  canvas.fillRect(r, platform::Brush::solid(platform::kWhite));
  const SampleGeometry g = sampleGeometry(r);
  // Grey ticks mark the corners and the middle, where no side is drawn.
  canvas.setPen(platform::Pen{platform::PenStyle::Solid, 1, kShadowGrey});
  for (const int x : {g.left, g.midX, g.right})
    for (const int y : {g.top, g.midY, g.bottom}) {
      canvas.drawLine({x - 4, y}, {x - 1, y});
      canvas.drawLine({x + 2, y}, {x + 5, y});
      canvas.drawLine({x, y - 4}, {x, y - 1});
      canvas.drawLine({x, y + 2}, {x, y + 5});
    }
  strokeLine(canvas, sides[0], {g.left, g.top}, {g.right + 1, g.top}, true);
  strokeLine(canvas, sides[1], {g.left, g.top}, {g.left, g.bottom + 1}, false);
  strokeLine(canvas, sides[2], {g.left, g.bottom}, {g.right + 1, g.bottom}, true);
  strokeLine(canvas, sides[3], {g.right, g.top}, {g.right, g.bottom + 1}, false);
  strokeLine(canvas, sides[4], {g.midX, g.top}, {g.midX, g.bottom + 1}, false);
  strokeLine(canvas, sides[5], {g.left, g.midY}, {g.right + 1, g.midY}, true);
}

int borderSampleSideAt(const platform::Rect& r, platform::Point p) {
  const SampleGeometry g = sampleGeometry(r);
  const int slackX = std::max(4, (g.midX - g.left) / 3), slackY = std::max(4, (g.midY - g.top) / 3);
  const bool withinX = p.x >= g.left - slackX && p.x <= g.right + slackX;
  const bool withinY = p.y >= g.top - slackY && p.y <= g.bottom + slackY;
  // Distance to each side along the axis it crosses; the nearest wins.
  const int distances[6] = {
      withinX ? std::abs(p.y - g.top) : 1 << 20,    withinY ? std::abs(p.x - g.left) : 1 << 20,
      withinX ? std::abs(p.y - g.bottom) : 1 << 20, withinY ? std::abs(p.x - g.right) : 1 << 20,
      withinY ? std::abs(p.x - g.midX) : 1 << 20,   withinX ? std::abs(p.y - g.midY) : 1 << 20,
  };
  int best = -1;
  for (int i = 0; i < 6; ++i) {
    const int slack = (i == 0 || i == 2 || i == 5) ? slackY : slackX;
    if (distances[i] <= slack && (best < 0 || distances[i] < distances[best]))
      best = i;
  }
  return best;
}

} // namespace view
