#pragma once
// Pictures of the sheets' object lists. A picture keeps the bytes it came
// with and their kind, and is written back with exactly those bytes: a
// metafile stays a drawing and a JPEG stays small. Beside them it keeps the
// decoded pixels for drawing. Only a picture made or changed in the program
// has no such bytes of its own: it is encoded as PNG.

#include "model/drawing_objects.h"
#include "platform/bitmap.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace image {

/// The decoded form of a picture: 32-bit pixels, top row first.
using PictureBitmap = platform::Bitmap;

/// Picture kinds, numbered as the workbook format's picture store numbers them.
enum class PictureKind : std::uint8_t {
  Emf = 2,  // enhanced metafile
  Wmf = 3,  // Windows metafile
  Jpeg = 5,
  Png = 6,
  Dib = 7,  // device-independent bitmap: an information header, colours and pixels
};

/// Whether a number read from a file is one of the kinds above.
bool isPictureKind(unsigned value);

/// Decoded pictures are held to this many pixels (64 MB of pixels), and to
/// this many on a side; larger ones are scaled down where the format lets
/// the decoder do it cheaply, and refused otherwise.
inline constexpr std::int64_t kMaxPicturePixels = 4096 * 4096;
inline constexpr int kMaxPictureSide = 16384;

/// Metafiles are played into bitmaps of at most this size, each side scaled on its own.
inline constexpr int kMaxMetafileWidth = 1024;
inline constexpr int kMaxMetafileHeight = 768;

struct Picture {
  PictureKind kind = PictureKind::Png;
  /// The picture as its file holds it, written back unchanged. Metafiles
  /// from a workbook's picture store keep the store's 34-byte header and
  /// compressed data; plain metafile files are accepted too.
  std::vector<std::uint8_t> bytes;
  /// For drawing; empty when the bytes could not be decoded (the bytes are kept all the same).
  PictureBitmap bitmap;
};

/// A picture of the given kind from its bytes, decoded. Never fails: bytes
/// that do not decode give an empty bitmap and are still kept.
Picture pictureFromBytes(PictureKind kind, std::vector<std::uint8_t> bytes);
/// A picture made in the program: PNG-encoded from its pixels. The bitmap
/// must not be empty; nullopt when encoding fails.
std::optional<Picture> pictureFromBitmap(PictureBitmap bitmap);

/// The pixels of a picture's bytes, or nullopt when they cannot be decoded
/// (damaged, truncated, of a form not understood, or too large).
std::optional<PictureBitmap> decodePicture(PictureKind kind, std::span<const std::uint8_t> bytes);

/// A picture as the payload of a drawing object. Copies of the object (undo,
/// clipboard, copied sheets) share the picture, which is never changed in
/// place: a changed picture is a new one.
class PicturePayload final : public model::ObjectPayload {
public:
  explicit PicturePayload(std::shared_ptr<const Picture> picture) : m_picture(std::move(picture)) {}
  std::unique_ptr<model::ObjectPayload> clone() const override {
    return std::make_unique<PicturePayload>(m_picture);
  }
  const Picture& picture() const { return *m_picture; }
  const std::shared_ptr<const Picture>& shared() const { return m_picture; }

private:
  std::shared_ptr<const Picture> m_picture;
};

} // namespace image
