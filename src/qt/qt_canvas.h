#pragma once
// The canvas and the text measurement of the desktop program, on QPainter
// and QFontMetrics; the same canvas draws to a widget, an image or a printer.

#include "platform/canvas.h"

#include <QFont>
#include <QPainter>

namespace qtui {

/// The Qt font for a font spec: sized in pixels at 96 per inch, as the
/// layout counts pixels, with the Windows faces mapped to installed fonts
/// of the same metrics. Chinese text falls back to an installed CJK font.
QFont qFontOf(const platform::FontSpec& font);

QColor qColourOf(platform::Colour colour);

/// Texts cross between the core and Qt as UTF-16 both ways.
QString qStringOf(std::u16string_view text);
std::u16string u16Of(const QString& s);

class QtCanvas final : public platform::Canvas {
public:
  explicit QtCanvas(QPainter& painter);

  void setClip(const platform::Rect& clip) override;
  void setPen(const platform::Pen& pen) override;
  void setBrush(const platform::Brush& brush) override;
  void drawLine(platform::Point from, platform::Point to) override;
  void drawPolyline(std::span<const platform::Point> points) override;
  void drawPolygon(std::span<const platform::Point> points) override;
  void drawRectangle(const platform::Rect& r) override;
  void drawEllipse(const platform::Rect& bounds) override;
  void fillRect(const platform::Rect& r, const platform::Brush& brush) override;
  void invertRect(const platform::Rect& r) override;
  void drawText(std::u16string_view text, const platform::FontSpec& font, platform::Colour colour,
                const platform::Rect& box, unsigned align, const platform::Rect& clip) override;
  void drawBitmap(const platform::Rect& dest, const platform::Bitmap& bitmap) override;

private:
  QPainter& m_painter;
  QPen m_pen; // the pen set for lines; drawing text borrows the painter's
};

/// Measures with the fonts QtCanvas draws with. Needs a running QGuiApplication.
class QtTextMetrics final : public platform::TextMetrics {
public:
  int logicalPixelsPerInch() const override { return 96; }
  platform::FontSpec defaultFont() const override { return platform::FontSpec{}; }
  platform::FontMetrics fontMetrics(const platform::FontSpec& font) const override;
  int textWidthPx(const platform::FontSpec& font, std::u16string_view text) const override;
  std::vector<std::u16string> fontFaces() const override;
};

} // namespace qtui
