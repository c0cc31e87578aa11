#include "qt/qt_canvas.h"

#include <QStaticText>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPolygon>
#include <QString>

#include <vector>

namespace qtui {

QString qStringOf(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string u16Of(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
}

namespace {

QRect qRectOf(const platform::Rect& r) {
  return QRect(r.left, r.top, std::max(0, r.width()), std::max(0, r.height()));
}

QPolygon qPolygonOf(std::span<const platform::Point> points) {
  QPolygon poly;
  for (const platform::Point& p : points)
    poly << QPoint(p.x, p.y);
  return poly;
}

QBrush qBrushOf(const platform::Brush& b) {
  switch (b.kind) {
  case platform::Brush::Kind::None:
    return Qt::NoBrush;
  case platform::Brush::Kind::Solid:
    return QBrush(qColourOf(b.colour));
  case platform::Brush::Kind::Pattern:
    break;
  }
  QImage tile(8, 8, QImage::Format_RGB32);
  const QRgb fg = qColourOf(b.colour).rgb();
  const QRgb bg = qColourOf(b.background).rgb();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      tile.setPixel(x, y, (b.pattern[static_cast<size_t>(y)] >> (7 - x)) & 1 ? fg : bg);
  return QBrush(tile);
}

} // namespace

QColor qColourOf(platform::Colour c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

QFont qFontOf(const platform::FontSpec& spec) {
  QString face = qStringOf(spec.face);
  const QString lower = face.toLower();
  if (lower == u"arial" || lower == u"helvetica" || lower == u"ms sans serif")
    face = QStringLiteral("Liberation Sans");
  else if (lower == u"times new roman" || lower == u"times")
    face = QStringLiteral("Liberation Serif");
  else if (lower == u"courier new" || lower == u"courier")
    face = QStringLiteral("Liberation Mono");
  QFont f(face);
  f.setPixelSize(std::max(1, platform::mulDiv(spec.heightTwips, 96, 1440)));
  f.setWeight(spec.weight >= 700 ? QFont::Bold : QFont::Normal);
  f.setItalic(spec.italic);
  f.setUnderline(spec.underline);
  f.setStrikeOut(spec.strikeOut);
  f.setStyleHint(QFont::SansSerif);
  return f;
}

namespace {

// Repaints draw and measure the same few fonts and mostly the same texts:
// shaping is the dear part, so fonts, widths and laid-out texts are kept.
// The caches are bounded and simply start over when full.
// Lookups by string view, so a cache hit allocates nothing.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
};

struct FontEntry {
  explicit FontEntry(const QFont& f) : font(f), metrics(f) {}
  QFont font;
  QFontMetrics metrics;
  std::unordered_map<std::u16string, int, TextHash, std::equal_to<>> widths;
  std::unordered_map<std::u16string, QStaticText, TextHash, std::equal_to<>> texts;

  int width(std::u16string_view text) {
    const auto it = widths.find(text);
    if (it != widths.end())
      return it->second;
    if (widths.size() >= kMaxCachedTexts)
      widths.clear();
    const int w = metrics.horizontalAdvance(qStringOf(text));
    widths.emplace(std::u16string(text), w);
    return w;
  }
  const QStaticText& staticText(std::u16string_view text) {
    auto it = texts.find(text);
    if (it == texts.end()) {
      if (texts.size() >= kMaxCachedTexts)
        texts.clear();
      QStaticText t(qStringOf(text));
      t.setTextFormat(Qt::PlainText);
      t.setPerformanceHint(QStaticText::AggressiveCaching);
      t.prepare(QTransform(), font);
      it = texts.emplace(std::u16string(text), std::move(t)).first;
    }
    return it->second;
  }
  static constexpr size_t kMaxCachedTexts = 8192;
};

FontEntry& fontEntry(const platform::FontSpec& spec) {
  using Key = std::tuple<std::u16string, int, int, bool, bool, bool>;
  static std::map<Key, std::unique_ptr<FontEntry>> entries;
  const Key key{spec.face, spec.heightTwips, spec.weight, spec.italic, spec.underline, spec.strikeOut};
  auto it = entries.find(key);
  if (it == entries.end())
    it = entries.emplace(key, std::make_unique<FontEntry>(qFontOf(spec))).first;
  return *it->second;
}

} // namespace

QtCanvas::QtCanvas(QPainter& painter) : m_painter(painter) {
  m_painter.setRenderHint(QPainter::Antialiasing, false);
}

void QtCanvas::setClip(const platform::Rect& clip) {
  m_painter.setClipRect(qRectOf(clip), Qt::ReplaceClip);
}

void QtCanvas::setPen(const platform::Pen& pen) {
  if (pen.style == platform::PenStyle::None) {
    m_pen = QPen(Qt::NoPen);
    m_painter.setPen(m_pen);
    return;
  }
  QPen p(qColourOf(pen.colour));
  p.setWidth(std::max(1, pen.width));
  p.setCapStyle(Qt::FlatCap);
  switch (pen.style) {
  case platform::PenStyle::Dash: p.setDashPattern({4, 2}); break;
  case platform::PenStyle::Dot: p.setDashPattern({1, 2}); break;
  case platform::PenStyle::DashDot: p.setDashPattern({4, 2, 1, 2}); break;
  case platform::PenStyle::DashDotDot: p.setDashPattern({4, 2, 1, 2, 1, 2}); break;
  case platform::PenStyle::Alternate: p.setDashPattern({1, 1}); break;
  default: break;
  }
  m_pen = p;
  m_painter.setPen(p);
}

void QtCanvas::setBrush(const platform::Brush& brush) { m_painter.setBrush(qBrushOf(brush)); }

void QtCanvas::drawLine(platform::Point from, platform::Point to) {
  // The end point is left out, as LineTo leaves it out.
  const int dx = (to.x > from.x) - (to.x < from.x);
  const int dy = (to.y > from.y) - (to.y < from.y);
  if (dx == 0 && dy == 0)
    return;
  m_painter.drawLine(from.x, from.y, to.x - dx, to.y - dy);
}

void QtCanvas::drawPolyline(std::span<const platform::Point> points) {
  m_painter.drawPolyline(qPolygonOf(points));
}

void QtCanvas::drawPolygon(std::span<const platform::Point> points) {
  m_painter.drawPolygon(qPolygonOf(points));
}

void QtCanvas::drawRectangle(const platform::Rect& r) {
  if (r.width() > 1 && r.height() > 1)
    m_painter.drawRect(r.left, r.top, r.width() - 1, r.height() - 1);
}

void QtCanvas::drawEllipse(const platform::Rect& r) {
  if (r.width() > 1 && r.height() > 1)
    m_painter.drawEllipse(r.left, r.top, r.width() - 1, r.height() - 1);
}

void QtCanvas::fillRect(const platform::Rect& r, const platform::Brush& brush) {
  if (r.isEmpty() || brush.kind == platform::Brush::Kind::None)
    return;
  // Patterns line up across cells: tiles start at the surface's origin.
  m_painter.setBrushOrigin(0, 0);
  m_painter.fillRect(qRectOf(r), qBrushOf(brush));
}

void QtCanvas::invertRect(const platform::Rect& r) {
  if (r.isEmpty())
    return;
  const QPainter::CompositionMode old = m_painter.compositionMode();
  m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  m_painter.fillRect(qRectOf(r), Qt::white);
  m_painter.setCompositionMode(old);
}

void QtCanvas::drawText(std::u16string_view text, const platform::FontSpec& font,
                        platform::Colour colour, const platform::Rect& box, unsigned align,
                        const platform::Rect& clip) {
  if (text.empty() || clip.isEmpty())
    return;
  FontEntry& e = fontEntry(font);
  const int width = e.width(text);
  int x = box.left;
  if (align & platform::kTextRight)
    x = box.right - width;
  else if (align & platform::kTextCentre)
    x = box.left + (box.width() - width) / 2;
  int top = box.top;
  if (align & platform::kTextBottom)
    top = box.bottom - e.metrics.height();
  else if (align & platform::kTextVCentre)
    top = box.top + (box.height() - e.metrics.height()) / 2;
  // Most texts sit inside their clip; only the others pay for a clip region.
  const bool inside = x >= clip.left && x + width <= clip.right && top >= clip.top &&
                      top + e.metrics.height() <= clip.bottom;
  if (!inside) {
    m_painter.save();
    m_painter.setClipRect(qRectOf(clip), Qt::IntersectClip);
  }
  m_painter.setFont(e.font);
  m_painter.setPen(qColourOf(colour));
  m_painter.drawStaticText(QPoint(x, top), e.staticText(text));
  if (inside)
    m_painter.setPen(m_pen); // lines keep the canvas's pen
  else
    m_painter.restore();
}

void QtCanvas::drawBitmap(const platform::Rect& dest, const platform::Bitmap& bitmap) {
  if (bitmap.isEmpty() || dest.isEmpty() ||
      bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height))
    return;
  // The pixels' layout is Qt's ARGB32 (0xAARRGGBB words), so the image only borrows them.
  const QImage image(reinterpret_cast<const uchar*>(bitmap.pixels.data()), bitmap.width, bitmap.height,
                     static_cast<qsizetype>(bitmap.width) * 4, QImage::Format_ARGB32);
  m_painter.save();
  m_painter.setRenderHint(QPainter::SmoothPixmapTransform);
  m_painter.drawImage(qRectOf(dest), image);
  m_painter.restore();
}

platform::FontMetrics QtTextMetrics::fontMetrics(const platform::FontSpec& font) const {
  const FontEntry& e = fontEntry(font);
  const QFontMetrics& fm = e.metrics;
  platform::FontMetrics m;
  m.heightPx = fm.height();
  m.internalLeadingPx = std::max(0, fm.height() - e.font.pixelSize());
  m.averageCharWidthPx = fm.averageCharWidth();
  m.pitchAndFamily = 34;
  return m;
}

int QtTextMetrics::textWidthPx(const platform::FontSpec& font, std::u16string_view text) const {
  return fontEntry(font).width(text);
}

std::vector<std::u16string> QtTextMetrics::fontFaces() const {
  std::vector<std::u16string> faces;
  for (const QString& family : QFontDatabase::families())
    faces.push_back(family.toStdU16String());
  std::sort(faces.begin(), faces.end());
  faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
  return faces;
}

} // namespace qtui
