#include "drawing/picture_fill.h"

#include <algorithm>
#include <cmath>

namespace drawing {

namespace {

constexpr std::uint16_t kPropIdMask = 0x3FFF;
constexpr std::uint16_t kPropFillBackColour = 0x0183;

// Fill bitmaps are made at most this large; a bigger shape gets a smaller
// one drawn stretched.
constexpr std::int64_t kMaxFillPixels = 2048 * 2048;

const model::ShapeProperty* findProperty(const model::DrawingObject& o, std::uint16_t id) {
  for (const model::ShapeProperty& p : o.properties)
    if ((p.id & kPropIdMask) == id && !(p.id & 0x8000))
      return &p;
  return nullptr;
}

const image::PicturePayload* payloadOf(const model::DrawingObject& o) {
  return canHaveFillPicture(o.kind) ? dynamic_cast<const image::PicturePayload*>(o.payload.get()) : nullptr;
}

// Which pixels of a w by h grid lie inside the runs: a pixel whose centre is
// inside an odd number of them. Runs are in the grid's own coordinates,
// scaled by sx, sy from the rectangle's.
std::vector<std::uint8_t> insideMask(std::span<const std::vector<platform::Point>> runs, const platform::Rect& rect,
                                     int w, int h, double sx, double sy) {
  std::vector<std::uint8_t> mask(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
  struct Edge {
    double x0, y0, x1, y1;
  };
  std::vector<Edge> edges;
  for (const std::vector<platform::Point>& run : runs) {
    if (run.size() < 3)
      continue;
    for (size_t i = 0; i < run.size(); ++i) {
      const platform::Point a = run[i], b = run[(i + 1) % run.size()];
      // Points lie on pixels, their right and bottom ones inside the shape:
      // the outline is taken through the pixels' far edges there.
      const auto px = [&](int x) { return (x - rect.left + (x - rect.left >= rect.width() - 1 ? 1.0 : 0.0)) * sx; };
      const auto py = [&](int y) { return (y - rect.top + (y - rect.top >= rect.height() - 1 ? 1.0 : 0.0)) * sy; };
      if (a.y != b.y)
        edges.push_back({px(a.x), py(a.y), px(b.x), py(b.y)});
    }
  }
  std::vector<double> crossings;
  for (int y = 0; y < h; ++y) {
    const double cy = y + 0.5;
    crossings.clear();
    for (const Edge& e : edges)
      if ((e.y0 <= cy) != (e.y1 <= cy))
        crossings.push_back(e.x0 + (cy - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0));
    std::sort(crossings.begin(), crossings.end());
    for (size_t k = 0; k + 1 < crossings.size(); k += 2) {
      // Pixels whose centres lie between the two crossings.
      const int from = std::max(0, static_cast<int>(std::ceil(crossings[k] - 0.5)));
      const int to = std::min(w, static_cast<int>(std::ceil(crossings[k + 1] - 0.5)));
      for (int x = from; x < to; ++x)
        mask[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = 1;
    }
  }
  return mask;
}

// A pattern's tile in the shape's two colours: dark pixels take the fill
// colour, light ones the background colour.
platform::Bitmap colouredPattern(const platform::Bitmap& tile, std::uint32_t fore, std::uint32_t back) {
  platform::Bitmap out = tile;
  for (std::uint32_t& p : out.pixels) {
    const std::uint32_t grey = (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
    p = (p & 0xFF000000u) | (platform::pixelOfColour(grey < 128 ? fore : back) & 0x00FFFFFFu);
  }
  return out;
}

} // namespace

bool canHaveFillPicture(std::uint16_t kind) {
  switch (kind) {
  case model::kObjectRectangle:
  case model::kObjectOval:
  case model::kObjectArc:
  case model::kObjectTextBox:
  case model::kObjectPolygon:
  case model::kObjectComment:
  case model::kObjectOfficeShape: return true;
  default: return false;
  }
}

PictureFill pictureFillOf(const model::DrawingObject& o) {
  const image::PicturePayload* payload = payloadOf(o);
  if (!payload)
    return PictureFill::None;
  const model::ShapeProperty* type = findProperty(o, kPropFillType);
  if (type && (type->value == 1 || type->value == 2))
    return static_cast<PictureFill>(type->value);
  return PictureFill::Stretched;
}

std::shared_ptr<const image::Picture> fillPictureOf(const model::DrawingObject& o) {
  const image::PicturePayload* payload = payloadOf(o);
  return payload ? payload->shared() : nullptr;
}

bool setFillPicture(model::DrawingObject& o, std::shared_ptr<const image::Picture> picture, PictureFill fill) {
  if (!canHaveFillPicture(o.kind) || !picture || fill == PictureFill::None)
    return false;
  o.payload.reset(std::make_unique<image::PicturePayload>(std::move(picture)));
  std::erase_if(o.properties, [](const model::ShapeProperty& p) { return (p.id & kPropIdMask) == kPropFillType; });
  o.properties.push_back({kPropFillType, static_cast<std::uint32_t>(fill), {}});
  o.hasFill = true;
  return true;
}

void clearFillPicture(model::DrawingObject& o) {
  if (payloadOf(o))
    o.payload.reset();
  // Shaded fills take no picture and stay as they are.
  std::erase_if(o.properties, [](const model::ShapeProperty& p) {
    return (p.id & kPropIdMask) == kPropFillType && p.value >= 1 && p.value <= 3;
  });
}

platform::Bitmap pictureFillBitmap(const platform::Bitmap& src, PictureFill fill,
                                   std::span<const std::vector<platform::Point>> outline, const platform::Rect& rect,
                                   int tileWidth, int tileHeight) {
  if (src.isEmpty() || rect.isEmpty() || fill == PictureFill::None ||
      src.pixels.size() < static_cast<size_t>(src.width) * static_cast<size_t>(src.height))
    return {};
  int w = rect.width(), h = rect.height();
  double scale = 1;
  if (static_cast<std::int64_t>(w) * h > kMaxFillPixels) {
    scale = std::sqrt(static_cast<double>(kMaxFillPixels) / (static_cast<double>(w) * h));
    w = std::max(1, static_cast<int>(w * scale));
    h = std::max(1, static_cast<int>(h * scale));
  }
  const double sx = static_cast<double>(w) / rect.width(), sy = static_cast<double>(h) / rect.height();
  const std::vector<std::uint8_t> mask = insideMask(outline, rect, w, h, sx, sy);
  const bool tiled = fill != PictureFill::Stretched;
  // Tiles in the bitmap's own pixels.
  const double tw = std::max(1.0, std::max(1, tileWidth) * sx), th = std::max(1.0, std::max(1, tileHeight) * sy);
  // The picture's column for each column of the fill, and its row for each row.
  const auto sources = [&](int n, double tile, int size) {
    std::vector<int> at(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      const double f = tiled ? std::fmod(i + 0.5, tile) / tile : (i + 0.5) / n;
      at[static_cast<size_t>(i)] = std::clamp(static_cast<int>(f * size), 0, size - 1);
    }
    return at;
  };
  const std::vector<int> columns = sources(w, tw, src.width), rows = sources(h, th, src.height);
  platform::Bitmap out{w, h, std::vector<std::uint32_t>(static_cast<size_t>(w) * static_cast<size_t>(h), 0)};
  for (int y = 0; y < h; ++y) {
    const std::uint32_t* from = &src.pixels[static_cast<size_t>(rows[static_cast<size_t>(y)]) * static_cast<size_t>(src.width)];
    const size_t row = static_cast<size_t>(y) * static_cast<size_t>(w);
    for (int x = 0; x < w; ++x)
      if (mask[row + static_cast<size_t>(x)])
        out.pixels[row + static_cast<size_t>(x)] = from[columns[static_cast<size_t>(x)]];
  }
  return out;
}

bool drawPictureFill(platform::Canvas& canvas, const model::DrawingObject& o,
                     std::span<const std::vector<platform::Point>> outline, const platform::Rect& rect, int zoom) {
  const image::PicturePayload* payload = payloadOf(o);
  const PictureFill fill = pictureFillOf(o);
  if (!payload || fill == PictureFill::None || payload->picture().bitmap.isEmpty())
    return false;
  const platform::Bitmap* tile = &payload->picture().bitmap;
  platform::Bitmap coloured;
  if (fill == PictureFill::Pattern) {
    // The background colour when it is a plain colour, else white.
    std::uint32_t back = 0xFFFFFF;
    if (const model::ShapeProperty* p = findProperty(o, kPropFillBackColour); p && (p->value >> 24) == 0)
      back = p->value;
    coloured = colouredPattern(*tile, o.fillColour, back);
    tile = &coloured;
  }
  const int z = std::clamp(zoom, 10, 400);
  const platform::Bitmap bitmap =
      pictureFillBitmap(*tile, fill, outline, rect, tile->width * z / 100, tile->height * z / 100);
  if (bitmap.isEmpty())
    return false;
  canvas.drawBitmap(rect, bitmap);
  return true;
}

std::uint32_t averageColour(const image::Picture& picture) {
  const platform::Bitmap& b = picture.bitmap;
  if (b.isEmpty() || b.pixels.empty())
    return 0xFFFFFF;
  std::uint64_t r = 0, g = 0, bl = 0, n = 0;
  // Clear pixels show the white under them.
  for (const std::uint32_t p : b.pixels) {
    const std::uint64_t a = p >> 24;
    r += (((p >> 16) & 0xFF) * a + 255 * (255 - a)) / 255;
    g += (((p >> 8) & 0xFF) * a + 255 * (255 - a)) / 255;
    bl += ((p & 0xFF) * a + 255 * (255 - a)) / 255;
    ++n;
  }
  return static_cast<std::uint32_t>(r / n) | (static_cast<std::uint32_t>(g / n) << 8) |
         (static_cast<std::uint32_t>(bl / n) << 16);
}

} // namespace drawing
