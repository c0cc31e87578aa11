// Feeds any bytes to the picture decoders and the metafile player; the first
// byte chooses which (PNG, JPEG, device-independent bitmap, enhanced or
// Windows metafile, in either the plain or the picture-store form). A decoded
// bitmap must have the pixels its size says and stay within the picture
// limits; a decoded PNG must come back unchanged through our encoder; the
// player must keep every point it draws within reach of its target.

#include "fileformats/image/bitmap_file.h"
#include "fileformats/image/jpeg_codec.h"
#include "fileformats/image/metafile.h"
#include "fileformats/image/png_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

void checkBitmap(const platform::Bitmap& b) {
  check(b.width > 0 && b.height > 0);
  check(b.width <= image::kMaxPictureSide && b.height <= image::kMaxPictureSide);
  check(static_cast<std::int64_t>(b.width) * b.height <= image::kMaxPicturePixels);
  check(b.pixels.size() == static_cast<size_t>(b.width) * static_cast<size_t>(b.height));
}

// Draws nothing; checks that what it is asked to draw is sane.
class CheckingCanvas final : public platform::Canvas {
public:
  void setClip(const platform::Rect&) override {}
  void setPen(const platform::Pen& pen) override { check(pen.width >= 1 && pen.width <= 1000); }
  void setBrush(const platform::Brush&) override {}
  void drawLine(platform::Point a, platform::Point b) override {
    const platform::Point both[] = {a, b};
    points(both);
  }
  void drawPolyline(std::span<const platform::Point> p) override { points(p); }
  void drawPolygon(std::span<const platform::Point> p) override { points(p); }
  void drawRectangle(const platform::Rect&) override {}
  void drawEllipse(const platform::Rect&) override {}
  void fillRect(const platform::Rect&, const platform::Brush&) override {}
  void invertRect(const platform::Rect&) override {}
  void drawText(std::u16string_view, const platform::FontSpec& font, platform::Colour, const platform::Rect&,
                unsigned, const platform::Rect&) override {
    check(font.heightTwips > 0);
  }
  void drawBitmap(const platform::Rect&, const platform::Bitmap& b) override { checkBitmap(b); }

private:
  static void points(std::span<const platform::Point> p) {
    for (const platform::Point& q : p)
      check(std::abs(q.x) <= 1000000 && std::abs(q.y) <= 1000000);
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1)
    return 0;
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  switch (data[0] % 5) {
  case 0:
    if (const auto b = image::decodePng(bytes)) {
      checkBitmap(*b);
      const auto again = image::decodePng(image::encodePng(*b));
      check(again && *again == *b);
    }
    break;
  case 1:
    if (const auto b = image::decodeJpeg(bytes))
      checkBitmap(*b);
    break;
  case 2:
    if (const auto b = image::decodeDib(bytes))
      checkBitmap(*b);
    break;
  case 3:
  case 4: {
    const auto kind = data[0] % 5 == 3 ? image::PictureKind::Emf : image::PictureKind::Wmf;
    CheckingCanvas canvas;
    image::playMetafile(kind, bytes, canvas, {0, 0, 300, 200});
    if (const auto s = image::metafileSize(kind, bytes))
      check(s->width > 0 && s->height > 0);
    break;
  }
  }
  return 0;
}
