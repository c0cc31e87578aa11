#pragma once
// Playing enhanced and Windows metafiles onto a canvas: the common drawing
// records (lines, shapes, text, bitmaps, paths, objects, mapping and saved
// states); the rest are passed over. Playing is bounded for hostile bytes:
// records that claim more bytes than remain, or none at all, end it; object
// indexes and bitmap offsets are checked; at most kMaxMetafileRecords are played.

#include "fileformats/image/picture.h"
#include "platform/canvas.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace image {

inline constexpr int kMaxMetafileRecords = 1000000;
/// Metafiles stored compressed are refused above this size unpacked.
inline constexpr std::uint32_t kMaxMetafileBytes = 64u * 1024 * 1024;

/// A metafile's intended size in pixels at 96 per inch: an enhanced
/// metafile's frame, a placeable Windows metafile's box, or the first
/// window extent of any other. The store form's size in EMUs is used when
/// the metafile has none. nullopt when the bytes are no metafile of the kind
/// or the size is not positive.
struct MetafileSize {
  int width = 0;
  int height = 0;
};
std::optional<MetafileSize> metafileSize(PictureKind kind, std::span<const std::uint8_t> bytes);

/// The metafile inside a picture store's form (a 34-byte header: unpacked
/// size, bounds, size in EMUs, packed size, compression 0 for deflate or
/// 0xFE for none, filter; then the data), or the bytes themselves when they
/// already start like a metafile of the kind. nullopt when neither, or when
/// the data does not unpack to the size its header gives.
std::optional<std::vector<std::uint8_t>> unpackMetafile(PictureKind kind, std::span<const std::uint8_t> bytes);

/// Plays the metafile (either form) onto the canvas, its picture frame
/// stretched over `target`; drawing is clipped to `target`, and the clip is
/// left there. False when the bytes are no metafile of the kind (nothing is
/// drawn) — a metafile cut short plays what it has and counts as played.
bool playMetafile(PictureKind kind, std::span<const std::uint8_t> bytes, platform::Canvas& canvas,
                  const platform::Rect& target);

/// The metafile played on a white bitmap of `width` x `height` pixels, each
/// side first limited to kMaxMetafileWidth x kMaxMetafileHeight (scaling
/// that side down). nullopt when the sizes are not positive, the bytes are
/// no metafile, or no raster surface can be made.
std::optional<PictureBitmap> playMetafile(PictureKind kind, int width, int height,
                                          std::span<const std::uint8_t> bytes);

} // namespace image
