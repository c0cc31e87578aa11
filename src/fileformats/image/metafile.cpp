#include "fileformats/image/metafile.h"

#include "fileformats/image/bitmap_file.h"
#include "fileformats/image/image_bytes_internal.h"
#include "platform/code_page.h"
#include "platform/raster.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace image {
namespace {

using platform::Point;
using platform::Rect;

constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr double kEmuPerPixel = 9525.0;             // 914,400 per inch at 96 pixels
constexpr size_t kMaxSavedStates = 256;
constexpr size_t kMaxObjects = 65536;

bool isRawEmf(std::span<const std::uint8_t> b) {
  return b.size() >= 88 && le32(b, 0) == 1 && le32(b, 40) == kEmfSignature;
}

bool isRawWmf(std::span<const std::uint8_t> b) {
  if (b.size() >= 22 && le32(b, 0) == kPlaceableKey)
    return b.size() >= 22 + 18;
  return b.size() >= 18 && (le16(b, 0) == 1 || le16(b, 0) == 2) && le16(b, 2) == 9;
}

bool isRaw(PictureKind kind, std::span<const std::uint8_t> b) {
  return kind == PictureKind::Emf ? isRawEmf(b) : kind == PictureKind::Wmf && isRawWmf(b);
}

bool looksLikeStoreForm(std::span<const std::uint8_t> b) {
  return b.size() >= 34 && (b[32] == 0 || b[32] == 0xFE);
}

// ---------------------------------------------------------------------------
// Drawing state

struct LogPen {
  int style = 0; // PS_SOLID .. PS_NULL
  double width = 0;
  std::uint32_t colour = 0;
};

struct LogBrush {
  int style = 0; // BS_SOLID, BS_NULL, BS_HATCHED, patterns
  std::uint32_t colour = 0xFFFFFF;
  int hatch = 0;
};

struct LogFont {
  double height = -12;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  int charSet = 0;
  std::u16string face = u"Arial";
};

struct GdiObject {
  enum class Kind : std::uint8_t { Empty, Pen, Brush, Font, Other } kind = Kind::Empty;
  LogPen pen;
  LogBrush brush;
  LogFont font;
};

struct Transform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  Transform then(const Transform& o) const {
    return {m11 * o.m11 + m12 * o.m21, m11 * o.m12 + m12 * o.m22, m21 * o.m11 + m22 * o.m21,
            m21 * o.m12 + m22 * o.m22, dx * o.m11 + dy * o.m21 + o.dx, dx * o.m12 + dy * o.m22 + o.dy};
  }
};

struct DcState {
  LogPen pen{0, 0, 0};
  LogBrush brush{0, 0xFFFFFF, 0};
  LogFont font;
  std::uint32_t textColour = 0;
  std::uint32_t backColour = 0xFFFFFF;
  bool opaqueBack = true;
  unsigned textAlign = 0;
  int mapMode = 1; // MM_TEXT
  double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
  double viewOrgX = 0, viewOrgY = 0, viewExtX = 1, viewExtY = 1;
  Transform world;
  double curX = 0, curY = 0;
};

double clampCoord(double v) {
  if (!std::isfinite(v))
    return 0;
  return std::clamp(v, -1.0e6, 1.0e6);
}

platform::PenStyle penStyleOf(int style) {
  switch (style & 0xF) {
  case 1: return platform::PenStyle::Dash;
  case 2: return platform::PenStyle::Dot;
  case 3: return platform::PenStyle::DashDot;
  case 4: return platform::PenStyle::DashDotDot;
  case 5: return platform::PenStyle::None;
  default: return platform::PenStyle::Solid;
  }
}

platform::PatternBits hatchBits(int hatch) {
  switch (hatch) {
  case 0: return {0, 0, 0, 0xFF, 0, 0, 0, 0};                                // horizontal
  case 1: return {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08};           // vertical
  case 2: return {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};           // forward diagonal
  case 3: return {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};           // backward diagonal
  case 4: return {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08};           // cross
  default: return {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};          // diagonal cross
  }
}

std::u16string textOfBytes(std::span<const std::uint8_t> bytes, int charSet) {
  std::u16string out;
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!platform::toUtf16(platform::codePageOfCharSet(charSet), view, out) || out.empty())
    for (std::uint8_t b : bytes)
      out.push_back(b);
  return out;
}

// ---------------------------------------------------------------------------
// The player, shared by both formats: the formats differ in how records are
// framed and how logical coordinates reach the target.

class Player {
public:
  Player(platform::Canvas& canvas, const Rect& target, bool enhanced)
      : m_canvas(canvas), m_target(target), m_enhanced(enhanced) {
    m_canvas.setClip(target);
  }

  void playEmf(std::span<const std::uint8_t> b);
  void playWmf(std::span<const std::uint8_t> b, bool placeable);

private:
  // Mapping -----------------------------------------------------------------
  void setReference(double left, double top, double width, double height) {
    m_refLeft = left;
    m_refTop = top;
    m_refWidth = width == 0 ? 1 : width;
    m_refHeight = height == 0 ? 1 : height;
  }
  /// Logical to device units (enhanced) or to the reference frame (Windows).
  void toDevice(double x, double y, double& dx, double& dy) const {
    const DcState& s = m_state;
    if (m_enhanced) {
      const double px = x * s.world.m11 + y * s.world.m21 + s.world.dx;
      const double py = x * s.world.m12 + y * s.world.m22 + s.world.dy;
      switch (s.mapMode) {
      case 7: // isotropic
      case 8: // anisotropic
        dx = (px - s.windowOrgX) * s.viewExtX / s.windowExtX + s.viewOrgX;
        dy = (py - s.windowOrgY) * s.viewExtY / s.windowExtY + s.viewOrgY;
        return;
      case 2: case 3: case 4: case 5: case 6: {
        // Fixed units, y growing upwards.
        static constexpr double kMm[] = {0, 0, 0.1, 0.01, 0.254, 0.0254, 25.4 / 1440};
        const double mm = kMm[s.mapMode];
        dx = (px - s.windowOrgX) * mm * m_pixelsPerMmX + s.viewOrgX;
        dy = -(py - s.windowOrgY) * mm * m_pixelsPerMmY + s.viewOrgY;
        return;
      }
      default:
        dx = px - s.windowOrgX + s.viewOrgX;
        dy = py - s.windowOrgY + s.viewOrgY;
        return;
      }
    }
    dx = (x - s.windowOrgX) * m_refWidth / s.windowExtX + m_refLeft;
    dy = (y - s.windowOrgY) * m_refHeight / s.windowExtY + m_refTop;
  }
  Point map(double x, double y) const {
    double dx = 0, dy = 0;
    toDevice(x, y, dx, dy);
    const double tx = (dx - m_refLeft) * m_target.width() / m_refWidth + m_target.left;
    const double ty = (dy - m_refTop) * m_target.height() / m_refHeight + m_target.top;
    return {static_cast<int>(std::lround(clampCoord(tx))), static_cast<int>(std::lround(clampCoord(ty)))};
  }
  /// The length in target pixels of a logical length along x (or y).
  double scaleLength(double length, bool vertical) const {
    const Point a = map(0, 0);
    const Point b = vertical ? map(0, length) : map(length, 0);
    return std::hypot(b.x - a.x, b.y - a.y);
  }

  // Drawing -----------------------------------------------------------------
  void applyPen() {
    const LogPen& p = m_state.pen;
    platform::Pen pen;
    pen.style = penStyleOf(p.style);
    pen.colour = p.colour & 0xFFFFFF;
    pen.width = std::clamp(static_cast<int>(std::lround(scaleLength(p.width, false))), 1, 1000);
    if (pen.style != platform::PenStyle::Solid && pen.style != platform::PenStyle::None)
      pen.width = 1; // styled pens are cosmetic in GDI
    m_canvas.setPen(pen);
  }
  platform::Brush brush() const {
    const LogBrush& b = m_state.brush;
    switch (b.style) {
    case 1: return platform::Brush::none();
    case 2:
      if (m_state.opaqueBack)
        return platform::Brush::patterned(hatchBits(b.hatch), b.colour & 0xFFFFFF, m_state.backColour & 0xFFFFFF);
      return platform::Brush::solid(b.colour & 0xFFFFFF); // a transparent hatch shown as its colour
    default: return platform::Brush::solid(b.colour & 0xFFFFFF);
    }
  }
  bool penIsNull() const { return (m_state.pen.style & 0xF) == 5; }

  void drawPolyline(std::vector<Point> pts) {
    if (pts.size() < 2)
      return;
    if (m_inPath) {
      if (m_path.empty() || m_figureClosed)
        m_path.emplace_back();
      m_figureClosed = false;
      auto& fig = m_path.back();
      fig.insert(fig.end(), pts.begin(), pts.end());
      return;
    }
    if (penIsNull())
      return;
    applyPen();
    m_canvas.drawPolyline(pts);
  }
  void drawShape(const std::vector<Point>& pts) {
    if (pts.size() < 2)
      return;
    if (m_inPath) {
      m_path.push_back(pts);
      m_figureClosed = true;
      return;
    }
    applyPen();
    if (penIsNull())
      m_canvas.setPen(platform::Pen{platform::PenStyle::None, 1, 0});
    m_canvas.setBrush(brush());
    m_canvas.drawPolygon(pts);
  }
  /// Several rings filled as one shape, holes included: joined through
  /// their first points, which even-odd filling cancels out.
  void drawRings(const std::vector<std::vector<Point>>& rings, bool fill, bool stroke) {
    if (rings.empty())
      return;
    if (fill) {
      // A ring of no points (a count of 0 in the file) takes no part, not
      // even as the anchor the others return to.
      std::vector<Point> joined;
      const Point* anchor = nullptr;
      for (const auto& ring : rings) {
        if (ring.empty())
          continue;
        joined.insert(joined.end(), ring.begin(), ring.end());
        joined.push_back(ring.front());
        if (anchor)
          joined.push_back(*anchor);
        else
          anchor = &ring.front();
      }
      m_canvas.setPen(platform::Pen{platform::PenStyle::None, 1, 0});
      m_canvas.setBrush(brush());
      if (joined.size() >= 3)
        m_canvas.drawPolygon(joined);
    }
    if (stroke && !penIsNull()) {
      applyPen();
      for (const auto& ring : rings) {
        if (ring.size() < 2)
          continue;
        std::vector<Point> closed = ring;
        closed.push_back(ring.front());
        m_canvas.drawPolyline(closed);
      }
    }
  }

  std::vector<Point> ellipsePoints(double l, double t, double r, double b, double from, double sweep) const {
    const double cx = (l + r) / 2, cy = (t + b) / 2, rx = std::abs(r - l) / 2, ry = std::abs(b - t) / 2;
    const double size = scaleLength(rx, false) + scaleLength(ry, true);
    const int steps = std::clamp(static_cast<int>(size * std::abs(sweep) / 4), 8, 256);
    std::vector<Point> pts;
    pts.reserve(static_cast<size_t>(steps) + 1);
    for (int i = 0; i <= steps; ++i) {
      const double a = from + sweep * i / steps;
      pts.push_back(map(cx + rx * std::cos(a), cy - ry * std::sin(a)));
    }
    return pts;
  }
  /// Arcs, pies and chords: counter-clockwise on the page from the radial
  /// through the start point to the one through the end point.
  void drawArc(double l, double t, double r, double b, double xs, double ys, double xe, double ye, int kind) {
    const double cx = (l + r) / 2, cy = (t + b) / 2;
    const double rx = std::abs(r - l) / 2, ry = std::abs(b - t) / 2;
    if (rx == 0 || ry == 0)
      return;
    const double a0 = std::atan2(-(ys - cy) / ry, (xs - cx) / rx);
    double a1 = std::atan2(-(ye - cy) / ry, (xe - cx) / rx);
    if (a1 <= a0)
      a1 += 2 * std::numbers::pi;
    std::vector<Point> pts = ellipsePoints(l, t, r, b, a0, a1 - a0);
    if (kind == 0) {
      drawPolyline(std::move(pts));
      return;
    }
    if (kind == 1)
      pts.push_back(map(cx, cy));
    drawShape(pts);
  }
  void drawRoundRect(double l, double t, double r, double b, double w, double h) {
    if (l > r)
      std::swap(l, r);
    if (t > b)
      std::swap(t, b);
    const double rx = std::min(std::abs(w) / 2, (r - l) / 2), ry = std::min(std::abs(h) / 2, (b - t) / 2);
    std::vector<Point> pts;
    const double pi = std::numbers::pi;
    const struct { double cx, cy, from; } corners[] = {
        {r - rx, t + ry, 0}, {l + rx, t + ry, pi / 2}, {l + rx, b - ry, pi}, {r - rx, b - ry, 3 * pi / 2}};
    for (const auto& c : corners) {
      const std::vector<Point> arc = ellipsePoints(c.cx - rx, c.cy - ry, c.cx + rx, c.cy + ry, c.from, pi / 2);
      pts.insert(pts.end(), arc.begin(), arc.end());
    }
    drawShape(pts);
  }
  std::vector<Point> bezier(double x0, double y0, std::span<const double> ctrl) const {
    // ctrl holds triples of points after the start: c1, c2, end.
    std::vector<Point> pts{map(x0, y0)};
    for (size_t i = 0; i + 6 <= ctrl.size(); i += 6) {
      const double x1 = ctrl[i], y1 = ctrl[i + 1], x2 = ctrl[i + 2], y2 = ctrl[i + 3];
      const double x3 = ctrl[i + 4], y3 = ctrl[i + 5];
      for (int s = 1; s <= 16; ++s) {
        const double u = s / 16.0, v = 1 - u;
        const double x = v * v * v * x0 + 3 * v * v * u * x1 + 3 * v * u * u * x2 + u * u * u * x3;
        const double y = v * v * v * y0 + 3 * v * v * u * y1 + 3 * v * u * u * y2 + u * u * u * y3;
        pts.push_back(map(x, y));
      }
      x0 = x3;
      y0 = y3;
    }
    return pts;
  }

  void drawTextAt(double x, double y, std::u16string text, const Rect* opaque) {
    while (!text.empty() && text.back() == 0)
      text.pop_back();
    if (opaque && !opaque->isEmpty())
      m_canvas.fillRect(*opaque, platform::Brush::solid(m_state.backColour & 0xFFFFFF));
    if (text.empty())
      return;
    const LogFont& f = m_state.font;
    platform::FontSpec spec;
    spec.face = f.face.empty() ? u"Arial" : f.face;
    double px = scaleLength(std::abs(f.height), true);
    if (f.height > 0)
      px *= 0.85; // a positive height is the cell; the characters are about this much of it
    spec.heightTwips = std::clamp(static_cast<int>(std::lround(px * 15)), 15, 15 * 2000);
    spec.weight = f.weight == 0 ? 400 : f.weight;
    spec.italic = f.italic;
    spec.underline = f.underline;
    spec.strikeOut = f.strikeOut;
    const unsigned align = m_state.textAlign;
    const Point p = (align & 1) ? map(m_state.curX, m_state.curY) : map(x, y);
    constexpr int kFar = 1 << 20;
    Rect box{p.x, p.y, p.x + kFar, p.y + kFar};
    unsigned flags = platform::kTextLeft | platform::kTextTop;
    switch (align & 6) {
    case 6: box.left = p.x - kFar; flags = platform::kTextCentre; break; // TA_CENTER
    case 2: box.left = p.x - kFar; box.right = p.x; flags = platform::kTextRight; break;
    default: break;
    }
    if ((align & 24) == 24) { // TA_BASELINE: the baseline sits about four fifths down the line
      const int ascent = static_cast<int>(std::lround(px * (f.height > 0 ? 0.8 / 0.85 : 0.95)));
      box.top = p.y - ascent;
      box.bottom = box.top + kFar;
    } else if (align & 8) { // TA_BOTTOM
      box.top = p.y - kFar;
      box.bottom = p.y;
      flags |= platform::kTextBottom;
    }
    m_canvas.drawText(text, spec, m_state.textColour & 0xFFFFFF, box, flags, m_target);
  }

  void drawDib(double x, double y, double w, double h, int sx, int sy, int sw, int sh,
               std::span<const std::uint8_t> header, std::span<const std::uint8_t> bits) {
    std::optional<platform::Bitmap> dib = decodeDib(header, bits);
    if (!dib)
      return;
    // A source rectangle inside the bitmap is cut out; one that is not is taken as the whole.
    const int bottomUp = les32(header, 8) > 0 || le32(header, 0) == 12;
    if (sw > 0 && sh > 0 && sx >= 0 && sy >= 0 && std::int64_t{sx} + sw <= dib->width &&
        std::int64_t{sy} + sh <= dib->height &&
        (sw != dib->width || sh != dib->height)) {
      const int top = bottomUp ? dib->height - sy - sh : sy;
      platform::Bitmap cut{sw, sh, {}};
      cut.pixels.reserve(static_cast<size_t>(sw) * static_cast<size_t>(sh));
      for (int row = 0; row < sh; ++row)
        for (int col = 0; col < sw; ++col)
          cut.pixels.push_back(dib->at(sx + col, top + row));
      dib = std::move(cut);
    }
    const Point a = map(x, y);
    const Point b = map(x + w, y + h);
    const Rect dest{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    m_canvas.drawBitmap(dest, *dib);
  }

  void fillBox(double x, double y, double w, double h) {
    const Point a = map(x, y);
    const Point b = map(x + w, y + h);
    m_canvas.fillRect({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}, brush());
  }

  // Objects -----------------------------------------------------------------
  void selectStock(std::uint32_t n) {
    switch (n) {
    case 0: m_state.brush = {0, 0xFFFFFF, 0}; break;
    case 1: m_state.brush = {0, 0xC0C0C0, 0}; break;
    case 2: m_state.brush = {0, 0x808080, 0}; break;
    case 3: m_state.brush = {0, 0x404040, 0}; break;
    case 4: m_state.brush = {0, 0, 0}; break;
    case 5: m_state.brush = {1, 0, 0}; break;
    case 6: m_state.pen = {0, 0, 0xFFFFFF}; break;
    case 7: m_state.pen = {0, 0, 0}; break;
    case 8: m_state.pen = {5, 0, 0}; break;
    case 10: case 11: case 12: case 13: case 14: case 16: case 17: m_state.font = LogFont{}; break;
    default: break;
    }
  }
  void select(size_t index) {
    if (index >= m_objects.size())
      return;
    const GdiObject& o = m_objects[index];
    switch (o.kind) {
    case GdiObject::Kind::Pen: m_state.pen = o.pen; break;
    case GdiObject::Kind::Brush: m_state.brush = o.brush; break;
    case GdiObject::Kind::Font: m_state.font = o.font; break;
    default: break;
    }
  }
  void store(size_t index, GdiObject o) {
    if (index < m_objects.size())
      m_objects[index] = std::move(o);
  }
  /// Windows metafiles put each new object in the lowest free slot.
  void storeInFreeSlot(GdiObject o) {
    for (GdiObject& slot : m_objects)
      if (slot.kind == GdiObject::Kind::Empty) {
        slot = std::move(o);
        return;
      }
  }
  void remove(size_t index) {
    if (index < m_objects.size())
      m_objects[index] = GdiObject{};
  }
  void save() {
    if (m_saved.size() < kMaxSavedStates)
      m_saved.push_back(m_state);
  }
  void restore(int which) {
    // Negative counts back from the latest; positive names a state from the first.
    const std::int64_t at = which < 0 ? static_cast<std::int64_t>(m_saved.size()) + which : which - 1;
    if (at < 0 || at >= static_cast<std::int64_t>(m_saved.size()))
      return;
    m_state = m_saved[static_cast<size_t>(at)];
    m_saved.resize(static_cast<size_t>(at));
  }

  bool playEmfRecord(std::uint32_t type, std::span<const std::uint8_t> r);
  bool playWmfRecord(std::uint16_t function, std::span<const std::uint8_t> r);

  platform::Canvas& m_canvas;
  Rect m_target;
  bool m_enhanced;
  double m_refLeft = 0, m_refTop = 0, m_refWidth = 1, m_refHeight = 1;
  double m_pixelsPerMmX = 96 / 25.4, m_pixelsPerMmY = 96 / 25.4;
  DcState m_state;
  std::vector<DcState> m_saved;
  std::vector<GdiObject> m_objects;
  bool m_inPath = false;
  bool m_figureClosed = true;
  std::vector<std::vector<Point>> m_path;
};

// ---------------------------------------------------------------------------
// Enhanced metafiles

LogFont emfFont(std::span<const std::uint8_t> r, size_t at) {
  LogFont f;
  f.height = les32(r, at);
  f.weight = les32(r, at + 16);
  f.italic = at + 20 < r.size() && r[at + 20];
  f.underline = at + 21 < r.size() && r[at + 21];
  f.strikeOut = at + 22 < r.size() && r[at + 22];
  f.charSet = at + 23 < r.size() ? r[at + 23] : 0;
  f.face.clear();
  for (size_t i = 0; i < 32; ++i) {
    const char16_t c = static_cast<char16_t>(le16(r, at + 28 + 2 * i));
    if (c == 0)
      break;
    f.face.push_back(c);
  }
  return f;
}

void Player::playEmf(std::span<const std::uint8_t> b) {
  // The frame (hundredths of a millimetre) over the reference device's pixels
  // and millimetres gives the picture's rectangle in device units.
  const double frameL = les32(b, 24), frameT = les32(b, 28), frameR = les32(b, 32), frameB = les32(b, 36);
  const double devW = les32(b, 72), devH = les32(b, 76), mmW = les32(b, 80), mmH = les32(b, 84);
  if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0) {
    m_pixelsPerMmX = devW / mmW;
    m_pixelsPerMmY = devH / mmH;
  }
  if (frameR > frameL && frameB > frameT) {
    setReference(frameL * m_pixelsPerMmX / 100, frameT * m_pixelsPerMmY / 100,
                 (frameR - frameL) * m_pixelsPerMmX / 100, (frameB - frameT) * m_pixelsPerMmY / 100);
  } else {
    const double l = les32(b, 8), t = les32(b, 12), r = les32(b, 16), bo = les32(b, 20);
    setReference(l, t, r - l + 1, bo - t + 1);
  }
  m_objects.resize(std::clamp<size_t>(le16(b, 56), 1, kMaxObjects));
  size_t at = 0;
  for (int n = 0; n < kMaxMetafileRecords && b.size() - at >= 8; ++n) {
    const std::uint32_t type = le32(b, at);
    const std::uint32_t size = le32(b, at + 4);
    // A record shorter than its own header, ragged, or past the end stops the play.
    if (size < 8 || size % 4 != 0 || size > b.size() - at)
      return;
    if (!playEmfRecord(type, b.subspan(at, size)))
      return;
    at += size;
  }
}

bool Player::playEmfRecord(std::uint32_t type, std::span<const std::uint8_t> r) {
  DcState& s = m_state;
  const auto x32 = [&](size_t at) { return static_cast<double>(les32(r, at)); };
  const auto x16 = [&](size_t at) { return static_cast<double>(les16(r, at)); };
  // A run of points: 32-bit pairs or 16-bit pairs, `count` of them from `at`,
  // cut to what the record holds.
  const auto points = [&](size_t at, std::uint64_t count, bool small) {
    const size_t step = small ? 4 : 8;
    const size_t room = r.size() > at ? (r.size() - at) / step : 0;
    count = std::min<std::uint64_t>(count, room);
    std::vector<double> out;
    out.reserve(static_cast<size_t>(count) * 2);
    for (size_t i = 0; i < count; ++i) {
      out.push_back(small ? x16(at + i * 4) : x32(at + i * 8));
      out.push_back(small ? x16(at + i * 4 + 2) : x32(at + i * 8 + 4));
    }
    return out;
  };
  const auto mapped = [&](const std::vector<double>& xy) {
    std::vector<Point> pts;
    pts.reserve(xy.size() / 2);
    for (size_t i = 0; i + 1 < xy.size(); i += 2)
      pts.push_back(map(xy[i], xy[i + 1]));
    return pts;
  };
  switch (type) {
  case 14: return false; // EOF
  case 2: case 85: { // POLYBEZIER, POLYBEZIER16
    const std::vector<double> xy = points(28, le32(r, 24), type == 85);
    if (xy.size() >= 8)
      drawPolyline(bezier(xy[0], xy[1], std::span(xy).subspan(2)));
    break;
  }
  case 5: case 88: { // POLYBEZIERTO, POLYBEZIERTO16
    const std::vector<double> xy = points(28, le32(r, 24), type == 88);
    if (xy.size() >= 6) {
      drawPolyline(bezier(s.curX, s.curY, xy));
      s.curX = xy[xy.size() - 2];
      s.curY = xy.back();
    }
    break;
  }
  case 3: case 4: case 86: case 87: { // POLYGON, POLYLINE and their 16-bit forms
    const std::vector<double> xy = points(28, le32(r, 24), type >= 86);
    if (type == 3 || type == 86)
      drawShape(mapped(xy));
    else
      drawPolyline(mapped(xy));
    break;
  }
  case 6: case 89: { // POLYLINETO, POLYLINETO16
    std::vector<double> xy = points(28, le32(r, 24), type == 89);
    if (xy.size() >= 2) {
      xy.insert(xy.begin(), {s.curX, s.curY});
      s.curX = xy[xy.size() - 2];
      s.curY = xy.back();
      drawPolyline(mapped(xy));
    }
    break;
  }
  case 7: case 8: case 90: case 91: { // POLYPOLYLINE, POLYPOLYGON and their 16-bit forms
    const std::uint32_t polys = le32(r, 24);
    const std::uint32_t total = le32(r, 28);
    if (polys > (r.size() - std::min<size_t>(r.size(), 32)) / 4)
      break;
    const bool small = type >= 90;
    const std::vector<double> xy = points(32 + size_t{polys} * 4, total, small);
    std::vector<std::vector<Point>> rings;
    size_t used = 0;
    for (std::uint32_t i = 0; i < polys; ++i) {
      const size_t count = le32(r, 32 + size_t{i} * 4);
      if (count > xy.size() / 2 - used)
        break;
      std::vector<double> part(xy.begin() + static_cast<long>(used * 2),
                               xy.begin() + static_cast<long>((used + count) * 2));
      used += count;
      rings.push_back(mapped(part));
    }
    const bool polygon = type == 8 || type == 91;
    if (m_inPath) {
      for (auto& ring : rings)
        polygon ? drawShape(ring) : drawPolyline(std::move(ring));
    } else if (polygon) {
      drawRings(rings, true, true);
    } else {
      for (auto& ring : rings)
        drawPolyline(std::move(ring));
    }
    break;
  }
  case 9: // SETWINDOWEXTEX
    if (les32(r, 8) != 0 && les32(r, 12) != 0) {
      s.windowExtX = x32(8);
      s.windowExtY = x32(12);
    }
    break;
  case 10: s.windowOrgX = x32(8); s.windowOrgY = x32(12); break;
  case 11: // SETVIEWPORTEXTEX
    if (les32(r, 8) != 0 && les32(r, 12) != 0) {
      s.viewExtX = x32(8);
      s.viewExtY = x32(12);
    }
    break;
  case 12: s.viewOrgX = x32(8); s.viewOrgY = x32(12); break;
  case 17: { // SETMAPMODE
    const std::uint32_t mode = le32(r, 8);
    if (mode >= 1 && mode <= 8)
      s.mapMode = static_cast<int>(mode);
    break;
  }
  case 18: s.opaqueBack = le32(r, 8) == 2; break;
  case 22: s.textAlign = le32(r, 8); break;
  case 24: s.textColour = le32(r, 8); break;
  case 25: s.backColour = le32(r, 8); break;
  case 27: // MOVETOEX
    s.curX = x32(8);
    s.curY = x32(12);
    m_figureClosed = true;
    break;
  case 54: {                                                                  // LINETO
    const double x = x32(8), y = x32(12);
    drawPolyline({map(s.curX, s.curY), map(x, y)});
    s.curX = x;
    s.curY = y;
    break;
  }
  case 33: save(); break;
  case 34: restore(les32(r, 8)); break;
  case 35: case 36: { // SETWORLDTRANSFORM, MODIFYWORLDTRANSFORM
    float f[6];
    for (int i = 0; i < 6; ++i) {
      const std::uint32_t bits = le32(r, 8 + 4 * static_cast<size_t>(i));
      std::memcpy(&f[i], &bits, 4);
      if (!std::isfinite(f[i]))
        return true;
    }
    const Transform t{f[0], f[1], f[2], f[3], f[4], f[5]};
    if (type == 35) {
      s.world = t;
      break;
    }
    switch (le32(r, 32)) {
    case 1: s.world = Transform{}; break;
    case 2: s.world = t.then(s.world); break;
    case 3: s.world = s.world.then(t); break;
    case 4: s.world = t; break;
    default: break;
    }
    break;
  }
  case 37: { // SELECTOBJECT
    const std::uint32_t ih = le32(r, 8);
    if (ih & 0x80000000u)
      selectStock(ih & 0x7FFFFFFFu);
    else
      select(ih);
    break;
  }
  case 38: { // CREATEPEN: style, width as a point, colour
    GdiObject o;
    o.kind = GdiObject::Kind::Pen;
    o.pen = {les32(r, 12), x32(16), le32(r, 24)};
    store(le32(r, 8), o);
    break;
  }
  case 95: { // EXTCREATEPEN: the pen's fields follow the bitmap's place and size
    GdiObject o;
    o.kind = GdiObject::Kind::Pen;
    o.pen = {les32(r, 28), x32(32), le32(r, 40)};
    if (le32(r, 36) == 1) // a hollow brush draws nothing
      o.pen.style = 5;
    store(le32(r, 8), o);
    break;
  }
  case 39: { // CREATEBRUSHINDIRECT
    GdiObject o;
    o.kind = GdiObject::Kind::Brush;
    o.brush = {les32(r, 12), le32(r, 16), les32(r, 20)};
    store(le32(r, 8), o);
    break;
  }
  case 93: case 94: { // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT: a mid grey stands in
    GdiObject o;
    o.kind = GdiObject::Kind::Brush;
    o.brush = {0, 0x808080, 0};
    store(le32(r, 8), o);
    break;
  }
  case 82: { // EXTCREATEFONTINDIRECTW
    GdiObject o;
    o.kind = GdiObject::Kind::Font;
    o.font = emfFont(r, 12);
    store(le32(r, 8), o);
    break;
  }
  case 40: remove(le32(r, 8)); break; // DELETEOBJECT
  case 49: { // CREATEPALETTE takes a slot too
    GdiObject o;
    o.kind = GdiObject::Kind::Other;
    store(le32(r, 8), o);
    break;
  }
  case 42: case 43: { // ELLIPSE, RECTANGLE
    const double l = x32(8), t = x32(12), rr = x32(16), bb = x32(20);
    if (type == 42)
      drawShape(ellipsePoints(l, t, rr, bb, 0, 2 * std::numbers::pi));
    else
      drawShape({map(l, t), map(rr, t), map(rr, bb), map(l, bb)});
    break;
  }
  case 44: drawRoundRect(x32(8), x32(12), x32(16), x32(20), x32(24), x32(28)); break;
  case 45: case 46: case 47: case 55: // ARC, CHORD, PIE, ARCTO
    drawArc(x32(8), x32(12), x32(16), x32(20), x32(24), x32(28), x32(32), x32(36),
            type == 47 ? 1 : type == 46 ? 2 : 0);
    break;
  case 59: m_inPath = true; m_path.clear(); m_figureClosed = true; break; // BEGINPATH
  case 60: m_inPath = false; break;                                       // ENDPATH
  case 61: m_figureClosed = true; break;                                  // CLOSEFIGURE
  case 62: case 63: case 64: // FILLPATH, STROKEANDFILLPATH, STROKEPATH
    m_inPath = false;
    if (type == 64) {
      for (auto fig : m_path)
        drawPolyline(std::move(fig));
    } else {
      drawRings(m_path, true, type == 63);
    }
    m_path.clear();
    break;
  case 68: m_inPath = false; m_path.clear(); break; // ABORTPATH
  case 83: case 84: { // EXTTEXTOUTA, EXTTEXTOUTW
    const double x = x32(36), y = x32(40);
    const std::uint32_t chars = le32(r, 44);
    const std::uint32_t offset = le32(r, 48);
    const std::uint32_t options = le32(r, 52);
    const size_t unit = type == 84 ? 2 : 1;
    if (offset > r.size() || chars > (r.size() - offset) / unit)
      break;
    std::u16string text;
    if (type == 84) {
      for (size_t i = 0; i < chars; ++i)
        text.push_back(static_cast<char16_t>(le16(r, offset + 2 * i)));
    } else {
      text = textOfBytes(r.subspan(offset, chars), s.font.charSet);
    }
    Rect box;
    if (options & 2) { // ETO_OPAQUE
      const Point a = map(x32(56), x32(60));
      const Point b = map(x32(64), x32(68));
      box = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    }
    drawTextAt(x, y, std::move(text), (options & 2) ? &box : nullptr);
    break;
  }
  case 76: { // BITBLT: a source bitmap, or none for a fill with the brush
    const double x = x32(24), y = x32(28), w = x32(32), h = x32(36);
    const std::uint32_t offBmi = le32(r, 84), cbBmi = le32(r, 88), offBits = le32(r, 92), cbBits = le32(r, 96);
    if (cbBmi == 0) {
      fillBox(x, y, w, h);
      break;
    }
    if (offBmi <= r.size() && cbBmi <= r.size() - offBmi && offBits <= r.size() && cbBits <= r.size() - offBits)
      drawDib(x, y, w, h, les32(r, 44), les32(r, 48), static_cast<int>(w), static_cast<int>(h),
              r.subspan(offBmi, cbBmi), r.subspan(offBits, cbBits));
    break;
  }
  case 77: { // STRETCHBLT
    const std::uint32_t offBmi = le32(r, 84), cbBmi = le32(r, 88), offBits = le32(r, 92), cbBits = le32(r, 96);
    if (cbBmi == 0) {
      fillBox(x32(24), x32(28), x32(32), x32(36));
      break;
    }
    if (offBmi <= r.size() && cbBmi <= r.size() - offBmi && offBits <= r.size() && cbBits <= r.size() - offBits)
      drawDib(x32(24), x32(28), x32(32), x32(36), les32(r, 44), les32(r, 48), les32(r, 100), les32(r, 104),
              r.subspan(offBmi, cbBmi), r.subspan(offBits, cbBits));
    break;
  }
  case 80: case 81: { // SETDIBITSTODEVICE, STRETCHDIBITS
    const bool stretch = type == 81;
    const double x = x32(24), y = x32(28);
    const int sx = les32(r, 32), sy = les32(r, 36), sw = les32(r, 40), sh = les32(r, 44);
    const std::uint32_t offBmi = le32(r, 48), cbBmi = le32(r, 52), offBits = le32(r, 56), cbBits = le32(r, 60);
    const double w = stretch ? x32(72) : sw, h = stretch ? x32(76) : sh;
    if (offBmi <= r.size() && cbBmi <= r.size() - offBmi && offBits <= r.size() && cbBits <= r.size() - offBits)
      drawDib(x, y, w, h, sx, sy, sw, sh, r.subspan(offBmi, cbBmi), r.subspan(offBits, cbBits));
    break;
  }
  default: break; // records that change nothing we draw
  }
  return true;
}

// ---------------------------------------------------------------------------
// Windows metafiles

void Player::playWmf(std::span<const std::uint8_t> b, bool placeable) {
  size_t at = 0;
  if (placeable) {
    const double l = les16(b, 6), t = les16(b, 8), r = les16(b, 10), bo = les16(b, 12);
    if (r != l && bo != t) {
      m_state.windowOrgX = l;
      m_state.windowOrgY = t;
      m_state.windowExtX = r - l;
      m_state.windowExtY = bo - t;
    }
    at = 22;
  } else {
    // Without a box the picture is what its first window extent covers, or
    // one unit a pixel when it sets none.
    m_state.windowExtX = m_target.width();
    m_state.windowExtY = m_target.height();
    for (size_t p = 18; b.size() - p >= 6;) {
      const std::uint32_t words = le32(b, p);
      if (words < 3 || words > (b.size() - p) / 2)
        break;
      const std::uint16_t fn = le16(b, p + 4);
      if (fn == 0x020C && les16(b, p + 6) != 0 && les16(b, p + 8) != 0) {
        m_state.windowExtY = les16(b, p + 6);
        m_state.windowExtX = les16(b, p + 8);
        break;
      }
      if (fn == 0)
        break;
      p += size_t{words} * 2;
    }
  }
  setReference(0, 0, m_target.width(), m_target.height());
  m_objects.resize(std::clamp<size_t>(le16(b, at + 10), 1, kMaxObjects));
  const std::uint16_t headerWords = le16(b, at + 2);
  at += size_t{headerWords} * 2;
  for (int n = 0; n < kMaxMetafileRecords && at <= b.size() && b.size() - at >= 6; ++n) {
    const std::uint32_t words = le32(b, at);
    if (words < 3 || words > (b.size() - at) / 2)
      return;
    const std::uint16_t function = le16(b, at + 4);
    if (!playWmfRecord(function, b.subspan(at, size_t{words} * 2)))
      return;
    at += size_t{words} * 2;
  }
}

bool Player::playWmfRecord(std::uint16_t function, std::span<const std::uint8_t> r) {
  DcState& s = m_state;
  // Parameters are 16-bit words after the 6-byte record header, many in reverse order.
  const auto w = [&](size_t i) { return static_cast<double>(les16(r, 6 + 2 * i)); };
  const auto uw = [&](size_t i) { return le16(r, 6 + 2 * i); };
  const size_t params = (r.size() - 6) / 2;
  const auto pointsAt = [&](size_t first, size_t count) {
    count = std::min(count, params > first ? (params - first) / 2 : 0);
    std::vector<Point> pts;
    pts.reserve(count);
    for (size_t i = 0; i < count; ++i)
      pts.push_back(map(w(first + 2 * i), w(first + 2 * i + 1)));
    return pts;
  };
  const auto colourAt = [&](size_t i) { return le32(r, 6 + 2 * i) & 0xFFFFFF; };
  switch (function) {
  case 0x0000: return false; // EOF
  case 0x020B: s.windowOrgY = w(0); s.windowOrgX = w(1); break;
  case 0x020C:
    if (w(0) != 0 && w(1) != 0) {
      s.windowExtY = w(0);
      s.windowExtX = w(1);
    }
    break;
  case 0x0103: break; // SETMAPMODE: the window is mapped onto the target in every mode
  case 0x0102: s.opaqueBack = uw(0) == 2; break;
  case 0x012E: s.textAlign = uw(0); break;
  case 0x0209: s.textColour = colourAt(0); break;
  case 0x0201: s.backColour = colourAt(0); break;
  case 0x001E: save(); break;
  case 0x0127: restore(les16(r, 6)); break;
  case 0x0214: s.curY = w(0); s.curX = w(1); break; // MOVETO
  case 0x0213: {                                    // LINETO
    const double y = w(0), x = w(1);
    drawPolyline({map(s.curX, s.curY), map(x, y)});
    s.curX = x;
    s.curY = y;
    break;
  }
  case 0x0324: drawShape(pointsAt(1, uw(0))); break;    // POLYGON
  case 0x0325: drawPolyline(pointsAt(1, uw(0))); break; // POLYLINE
  case 0x0538: {                                        // POLYPOLYGON
    const size_t polys = uw(0);
    if (polys >= params)
      break;
    std::vector<std::vector<Point>> rings;
    size_t next = 1 + polys;
    for (size_t i = 0; i < polys; ++i) {
      const size_t count = uw(1 + i);
      if (next + 2 * count > params)
        break;
      rings.push_back(pointsAt(next, count));
      next += 2 * count;
    }
    drawRings(rings, true, true);
    break;
  }
  case 0x041B: // RECTANGLE: bottom, right, top, left
    drawShape({map(w(3), w(2)), map(w(1), w(2)), map(w(1), w(0)), map(w(3), w(0))});
    break;
  case 0x0418: drawShape(ellipsePoints(w(3), w(2), w(1), w(0), 0, 2 * std::numbers::pi)); break;
  case 0x061C: drawRoundRect(w(5), w(4), w(3), w(2), w(1), w(0)); break;
  case 0x0817: case 0x081A: case 0x0830: // ARC, PIE, CHORD: end, start, box, each y first
    drawArc(w(7), w(6), w(5), w(4), w(3), w(2), w(1), w(0), function == 0x081A ? 1 : function == 0x0830 ? 2 : 0);
    break;
  case 0x02FA: { // CREATEPENINDIRECT: style, width (x, y), colour
    GdiObject o;
    o.kind = GdiObject::Kind::Pen;
    o.pen = {uw(0), w(1), colourAt(3)};
    storeInFreeSlot(o);
    break;
  }
  case 0x02FC: { // CREATEBRUSHINDIRECT: style, colour, hatch
    GdiObject o;
    o.kind = GdiObject::Kind::Brush;
    o.brush = {uw(0), colourAt(1), uw(3)};
    storeInFreeSlot(o);
    break;
  }
  case 0x02FB: { // CREATEFONTINDIRECT
    GdiObject o;
    o.kind = GdiObject::Kind::Font;
    o.font.height = w(0);
    o.font.weight = les16(r, 14);
    o.font.italic = r.size() > 16 && r[16];
    o.font.underline = r.size() > 17 && r[17];
    o.font.strikeOut = r.size() > 18 && r[18];
    o.font.charSet = r.size() > 19 ? r[19] : 0;
    std::vector<std::uint8_t> face;
    for (size_t i = 24; i < r.size() && i < 24 + 32 && r[i]; ++i)
      face.push_back(r[i]);
    o.font.face = textOfBytes(face, o.font.charSet);
    storeInFreeSlot(o);
    break;
  }
  case 0x0142: case 0x01F9: { // DIBCREATEPATTERNBRUSH, CREATEPATTERNBRUSH: a mid grey stands in
    GdiObject o;
    o.kind = GdiObject::Kind::Brush;
    o.brush = {0, 0x808080, 0};
    storeInFreeSlot(o);
    break;
  }
  case 0x00F7: case 0x06FF: { // CREATEPALETTE, CREATEREGION take slots too
    GdiObject o;
    o.kind = GdiObject::Kind::Other;
    storeInFreeSlot(o);
    break;
  }
  case 0x012D: select(uw(0)); break;
  case 0x01F0: remove(uw(0)); break;
  case 0x0521: { // TEXTOUT: length, the string padded to words, y, x
    const size_t length = uw(0);
    const size_t padded = (length + 1) & ~size_t{1};
    if (8 + padded + 4 > r.size())
      break;
    const double y = static_cast<double>(les16(r, 8 + padded)), x = static_cast<double>(les16(r, 10 + padded));
    drawTextAt(x, y, textOfBytes(r.subspan(8, length), s.font.charSet), nullptr);
    break;
  }
  case 0x0A32: { // EXTTEXTOUT: y, x, length, options, [rectangle], string
    const double y = w(0), x = w(1);
    const size_t length = uw(2);
    const std::uint16_t options = uw(3);
    size_t at = 14;
    Rect box;
    if (options & 6) {
      const Point a = map(w(4), w(5));
      const Point b = map(w(6), w(7));
      box = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
      at += 8;
    }
    if (at > r.size() || length > r.size() - at)
      break;
    drawTextAt(x, y, textOfBytes(r.subspan(at, length), s.font.charSet), (options & 2) ? &box : nullptr);
    break;
  }
  case 0x061D: // PATBLT: raster operation, height, width, y, x
    fillBox(w(5), w(4), w(3), w(2));
    break;
  case 0x0B41: case 0x0F43: { // DIBSTRETCHBLT, STRETCHDIB
    const size_t skip = function == 0x0F43 ? 1 : 0; // STRETCHDIB adds the colour usage
    const size_t first = 2 + skip;
    if (params < first + 8) {
      break;
    }
    const double dh = w(first + 4), dw = w(first + 5), dy = w(first + 6), dx = w(first + 7);
    const size_t dibAt = 6 + 2 * (first + 8);
    if (dibAt >= r.size()) {
      fillBox(dx, dy, dw, dh); // no bitmap: a fill with the brush
      break;
    }
    const std::span<const std::uint8_t> dib = r.subspan(dibAt);
    // The pixels follow the header and colour table, whose size decodeDib works out;
    // the whole bitmap is drawn.
    const std::optional<platform::Bitmap> bitmap = decodeDib(dib);
    if (!bitmap)
      break;
    const Point a = map(dx, dy);
    const Point b = map(dx + dw, dy + dh);
    m_canvas.drawBitmap({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)},
                        *bitmap);
    break;
  }
  default: break;
  }
  return true;
}

// ---------------------------------------------------------------------------

/// The store form's size in EMUs, as pixels; zero when it has none.
MetafileSize storeSize(std::span<const std::uint8_t> b) {
  if (!looksLikeStoreForm(b))
    return {};
  const double w = les32(b, 20) / kEmuPerPixel, h = les32(b, 24) / kEmuPerPixel;
  if (!(w >= 1 && h >= 1 && w < 1e7 && h < 1e7))
    return {};
  return {static_cast<int>(std::lround(w)), static_cast<int>(std::lround(h))};
}

std::optional<MetafileSize> rawSize(PictureKind kind, std::span<const std::uint8_t> b) {
  double w = 0, h = 0;
  if (kind == PictureKind::Emf) {
    w = (static_cast<double>(les32(b, 32)) - les32(b, 24)) * 96 / 2540;
    h = (static_cast<double>(les32(b, 36)) - les32(b, 28)) * 96 / 2540;
  } else if (le32(b, 0) == kPlaceableKey) {
    const double inch = le16(b, 14);
    if (inch > 0) {
      w = std::abs(les16(b, 10) - les16(b, 6)) * 96 / inch;
      h = std::abs(les16(b, 12) - les16(b, 8)) * 96 / inch;
    }
  } else {
    for (size_t p = 18; b.size() > p && b.size() - p >= 6;) {
      const std::uint32_t words = le32(b, p);
      if (words < 3 || words > (b.size() - p) / 2 || le16(b, p + 4) == 0)
        break;
      if (le16(b, p + 4) == 0x020C) {
        h = std::abs(les16(b, p + 6));
        w = std::abs(les16(b, p + 8));
        break;
      }
      p += size_t{words} * 2;
    }
  }
  if (!(w >= 0.5 && h >= 0.5 && w < 1e7 && h < 1e7))
    return std::nullopt;
  return MetafileSize{std::max(1, static_cast<int>(std::lround(w))), std::max(1, static_cast<int>(std::lround(h)))};
}

} // namespace

std::optional<std::vector<std::uint8_t>> unpackMetafile(PictureKind kind, std::span<const std::uint8_t> bytes) {
  if (isRaw(kind, bytes))
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  if (!looksLikeStoreForm(bytes))
    return std::nullopt;
  const std::uint32_t size = le32(bytes, 0);
  const std::span<const std::uint8_t> data = bytes.subspan(34, std::min<size_t>(le32(bytes, 28), bytes.size() - 34));
  std::vector<std::uint8_t> out;
  if (bytes[32] == 0xFE) {
    out.assign(data.begin(), data.end());
  } else {
    // The size is checked before the buffer is made: a header may claim gigabytes.
    if (size == 0 || size > kMaxMetafileBytes)
      return std::nullopt;
    out.resize(size);
    uLongf produced = size;
    if (uncompress(out.data(), &produced, data.data(), static_cast<uLong>(data.size())) != Z_OK)
      return std::nullopt;
    out.resize(produced);
  }
  if (!isRaw(kind, out))
    return std::nullopt;
  return out;
}

std::optional<MetafileSize> metafileSize(PictureKind kind, std::span<const std::uint8_t> bytes) {
  const std::optional<std::vector<std::uint8_t>> raw = unpackMetafile(kind, bytes);
  if (!raw)
    return std::nullopt;
  if (std::optional<MetafileSize> size = rawSize(kind, *raw))
    return size;
  const MetafileSize stored = storeSize(bytes);
  if (stored.width > 0 && !isRaw(kind, bytes))
    return stored;
  return std::nullopt;
}

bool playMetafile(PictureKind kind, std::span<const std::uint8_t> bytes, platform::Canvas& canvas,
                  const platform::Rect& target) {
  const std::optional<std::vector<std::uint8_t>> raw = unpackMetafile(kind, bytes);
  if (!raw || target.isEmpty())
    return false;
  Player player(canvas, target, kind == PictureKind::Emf);
  if (kind == PictureKind::Emf)
    player.playEmf(*raw);
  else
    player.playWmf(*raw, le32(*raw, 0) == kPlaceableKey);
  return true;
}

std::optional<PictureBitmap> playMetafile(PictureKind kind, int width, int height,
                                          std::span<const std::uint8_t> bytes) {
  if (width <= 0 || height <= 0)
    return std::nullopt;
  width = std::min(width, kMaxMetafileWidth);
  height = std::min(height, kMaxMetafileHeight);
  const std::optional<std::vector<std::uint8_t>> raw = unpackMetafile(kind, bytes);
  if (!raw)
    return std::nullopt;
  const std::unique_ptr<platform::RasterSurface> surface = platform::makeRasterSurface(width, height);
  if (!surface)
    return std::nullopt;
  playMetafile(kind, *raw, surface->canvas(), {0, 0, width, height});
  return surface->pixels();
}

} // namespace image
