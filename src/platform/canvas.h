#pragma once
// The drawing surface of the grid, the tabs and later the charts and
// drawing objects: the small part of a GDI device context they need. The
// desktop program implements it on QPainter (screen, image, printer);
// RecordingCanvas keeps the calls for tests.
//
// Coordinates are pixels. A Rect's right and bottom edges are exclusive, as
// a GDI RECT's are; a line from a to b leaves out b, as LineTo does.

#include "platform/bitmap.h"
#include "platform/text_metrics.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

/// 0x00BBGGRR, as the workbook palette stores colours.
using Colour = std::uint32_t;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kWhite = 0xFFFFFF;

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool isEmpty() const { return right <= left || bottom <= top; }
  bool intersects(const Rect& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
  bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

/// The common part of two rectangles; empty (possibly inverted) when they do not meet.
inline Rect intersection(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

enum class PenStyle : std::uint8_t {
  Solid,
  Dash,       // long dashes
  Dot,        // short dots
  DashDot,
  DashDotDot,
  Alternate,  // every other pixel: the finest line there is
  None,
};

struct Pen {
  PenStyle style = PenStyle::Solid;
  int width = 1;
  Colour colour = kBlack;
  friend bool operator==(const Pen&, const Pen&) = default;
};

/// Eight rows of eight pixels; in each row byte bit 7 is the leftmost pixel.
/// A set bit paints the foreground colour, a clear one the background.
using PatternBits = std::array<std::uint8_t, 8>;

struct Brush {
  enum class Kind : std::uint8_t { None, Solid, Pattern };
  Kind kind = Kind::Solid;
  Colour colour = kWhite;     // solid colour, or the pattern's set bits
  Colour background = kWhite; // the pattern's clear bits
  PatternBits pattern{};

  static Brush none() { return Brush{Kind::None, 0, 0, {}}; }
  static Brush solid(Colour c) { return Brush{Kind::Solid, c, c, {}}; }
  static Brush patterned(const PatternBits& bits, Colour fg, Colour bg) {
    return Brush{Kind::Pattern, fg, bg, bits};
  }
  friend bool operator==(const Brush&, const Brush&) = default;
};

/// Bits of the alignment argument of drawText. The text is one line; the
/// box is where it is aligned, and whatever falls outside the clip is lost.
enum TextAlign : unsigned {
  kTextLeft = 0,
  kTextCentre = 1u << 0,
  kTextRight = 1u << 1,
  kTextTop = 0,
  kTextVCentre = 1u << 2,
  kTextBottom = 1u << 3,
};

class Canvas {
public:
  virtual ~Canvas() = default;

  /// Limits every later call to the rectangle (in addition to the surface's own edges).
  virtual void setClip(const Rect& clip) = 0;
  virtual void setPen(const Pen& pen) = 0;
  virtual void setBrush(const Brush& brush) = 0;

  virtual void drawLine(Point from, Point to) = 0;
  virtual void drawPolyline(std::span<const Point> points) = 0;
  /// Filled with the brush and outlined with the pen.
  virtual void drawPolygon(std::span<const Point> points) = 0;
  virtual void drawRectangle(const Rect& r) = 0;
  virtual void drawEllipse(const Rect& bounds) = 0;
  /// Fills without an outline, whatever the current pen.
  virtual void fillRect(const Rect& r, const Brush& brush) = 0;
  /// XORs every pixel of the rectangle with 0xFFFFFF.
  virtual void invertRect(const Rect& r) = 0;
  virtual void drawText(std::u16string_view text, const FontSpec& font, Colour colour,
                        const Rect& box, unsigned align, const Rect& clip) = 0;
  /// Draws the bitmap stretched over the rectangle, blending translucent
  /// pixels over what is there. An empty bitmap or rectangle draws nothing.
  virtual void drawBitmap(const Rect& dest, const Bitmap& bitmap) = 0;
};

} // namespace platform
