#include "platform/recording_canvas.h"

namespace platform {

CanvasOp RecordingCanvas::start(CanvasOp::Kind kind) const {
  CanvasOp op;
  op.kind = kind;
  op.pen = m_pen;
  op.brush = m_brush;
  op.clip = m_clip;
  return op;
}

void RecordingCanvas::drawLine(Point from, Point to) {
  CanvasOp op = start(CanvasOp::Kind::Line);
  op.points = {from, to};
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawPolyline(std::span<const Point> points) {
  CanvasOp op = start(CanvasOp::Kind::Polyline);
  op.points.assign(points.begin(), points.end());
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawPolygon(std::span<const Point> points) {
  CanvasOp op = start(CanvasOp::Kind::Polygon);
  op.points.assign(points.begin(), points.end());
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawRectangle(const Rect& r) {
  CanvasOp op = start(CanvasOp::Kind::Rectangle);
  op.rect = r;
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawEllipse(const Rect& bounds) {
  CanvasOp op = start(CanvasOp::Kind::Ellipse);
  op.rect = bounds;
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::fillRect(const Rect& r, const Brush& brush) {
  CanvasOp op = start(CanvasOp::Kind::Fill);
  op.rect = r;
  op.brush = brush;
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::invertRect(const Rect& r) {
  CanvasOp op = start(CanvasOp::Kind::Invert);
  op.rect = r;
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawText(std::u16string_view text, const FontSpec& font, Colour colour,
                               const Rect& box, unsigned align, const Rect& clip) {
  CanvasOp op = start(CanvasOp::Kind::Text);
  op.text.assign(text);
  op.font = font;
  op.colour = colour;
  op.rect = box;
  op.align = align;
  op.textClip = clip;
  m_ops.push_back(std::move(op));
}

void RecordingCanvas::drawBitmap(const Rect& dest, const Bitmap& bitmap) {
  CanvasOp op = start(CanvasOp::Kind::Bitmap);
  op.rect = dest;
  op.bitmapWidth = bitmap.width;
  op.bitmapHeight = bitmap.height;
  m_ops.push_back(std::move(op));
}

std::vector<CanvasOp> RecordingCanvas::opsOf(CanvasOp::Kind kind) const {
  std::vector<CanvasOp> out;
  for (const CanvasOp& op : m_ops)
    if (op.kind == kind)
      out.push_back(op);
  return out;
}

std::vector<CanvasOp> RecordingCanvas::textOps(std::u16string_view text) const {
  std::vector<CanvasOp> out;
  for (const CanvasOp& op : m_ops)
    if (op.kind == CanvasOp::Kind::Text && op.text == text)
      out.push_back(op);
  return out;
}

} // namespace platform
