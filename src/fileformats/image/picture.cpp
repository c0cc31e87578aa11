#include "fileformats/image/picture.h"

#include "fileformats/image/bitmap_file.h"
#include "fileformats/image/jpeg_codec.h"
#include "fileformats/image/metafile.h"
#include "fileformats/image/png_codec.h"

#include <bit>

namespace image {

// Bitmap pixels are handed to the codecs as bytes B, G, R, A.
static_assert(std::endian::native == std::endian::little);

bool isPictureKind(unsigned value) {
  switch (value) {
  case 2: case 3: case 5: case 6: case 7: return true;
  default: return false;
  }
}

std::optional<PictureBitmap> decodePicture(PictureKind kind, std::span<const std::uint8_t> bytes) {
  switch (kind) {
  case PictureKind::Png: return decodePng(bytes);
  case PictureKind::Jpeg: return decodeJpeg(bytes);
  case PictureKind::Dib: return decodeDib(bytes);
  case PictureKind::Emf:
  case PictureKind::Wmf: {
    // Played at its own size (limited), on the raster surface the front end provides.
    const std::optional<MetafileSize> size = metafileSize(kind, bytes);
    if (!size)
      return std::nullopt;
    return playMetafile(kind, size->width, size->height, bytes);
  }
  }
  return std::nullopt;
}

Picture pictureFromBytes(PictureKind kind, std::vector<std::uint8_t> bytes) {
  Picture p;
  p.kind = kind;
  p.bytes = std::move(bytes);
  if (std::optional<PictureBitmap> bitmap = decodePicture(kind, p.bytes))
    p.bitmap = std::move(*bitmap);
  return p;
}

std::optional<Picture> pictureFromBitmap(PictureBitmap bitmap) {
  std::vector<std::uint8_t> png = encodePng(bitmap);
  if (png.empty())
    return std::nullopt;
  Picture p;
  p.kind = PictureKind::Png;
  p.bytes = std::move(png);
  p.bitmap = std::move(bitmap);
  return p;
}

} // namespace image
