#pragma once
// A canvas that keeps every call, with the pen, brush and clip in force, so
// tests can check what was drawn without a window system.

#include "platform/canvas.h"

#include <string>
#include <vector>

namespace platform {

struct CanvasOp {
  enum class Kind : std::uint8_t { Line, Polyline, Polygon, Rectangle, Ellipse, Fill, Invert, Text, Bitmap };
  Kind kind = Kind::Line;
  Pen pen;                   // in force for lines and outlines
  Brush brush;               // in force for shapes; the argument for Fill
  Rect clip;                 // the clip set by setClip (the whole plane before any)
  std::vector<Point> points; // Line: from, to
  Rect rect;                 // Rectangle, Ellipse, Fill, Invert; the text box
  std::u16string text;
  FontSpec font;
  Colour colour = kBlack;    // text colour
  unsigned align = 0;
  Rect textClip;
  int bitmapWidth = 0;       // Bitmap: the size drawn into `rect`
  int bitmapHeight = 0;
};

class RecordingCanvas final : public Canvas {
public:
  void setClip(const Rect& clip) override { m_clip = clip; }
  void setPen(const Pen& pen) override { m_pen = pen; }
  void setBrush(const Brush& brush) override { m_brush = brush; }
  void drawLine(Point from, Point to) override;
  void drawPolyline(std::span<const Point> points) override;
  void drawPolygon(std::span<const Point> points) override;
  void drawRectangle(const Rect& r) override;
  void drawEllipse(const Rect& bounds) override;
  void fillRect(const Rect& r, const Brush& brush) override;
  void invertRect(const Rect& r) override;
  void drawText(std::u16string_view text, const FontSpec& font, Colour colour, const Rect& box,
                unsigned align, const Rect& clip) override;
  void drawBitmap(const Rect& dest, const Bitmap& bitmap) override;

  const std::vector<CanvasOp>& ops() const { return m_ops; }
  /// The operations of one kind, in call order.
  std::vector<CanvasOp> opsOf(CanvasOp::Kind kind) const;
  /// The text operations drawing exactly this text.
  std::vector<CanvasOp> textOps(std::u16string_view text) const;
  void clear() { m_ops.clear(); }

private:
  CanvasOp start(CanvasOp::Kind kind) const;

  std::vector<CanvasOp> m_ops;
  Pen m_pen;
  Brush m_brush;
  Rect m_clip{-(1 << 30), -(1 << 30), 1 << 30, 1 << 30};
};

} // namespace platform
