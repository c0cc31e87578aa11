#pragma once
// PNG through libpng: encoding pictures made in the program and drawn
// images, decoding PNG pictures from files.

#include "platform/bitmap.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace image {

/// PNG bytes of the image: 8 bits per channel, RGB, or RGBA when a pixel is
/// not opaque; not interlaced; gamma 0.45455; every row filter allowed;
/// zlib level 6; image data in chunks of at most 8,192 bytes. Empty when
/// the image is empty or encoding fails.
std::vector<std::uint8_t> encodePng(const platform::Bitmap& image);

/// The pixels of a PNG of any colour type and depth (grey, palette with or
/// without transparency, 16-bit, alpha, interlaced), converted to 8-bit
/// sRGB with straight alpha. nullopt for damaged or truncated data, or an
/// image above kMaxPictureSide on a side or kMaxPicturePixels in all.
std::optional<platform::Bitmap> decodePng(std::span<const std::uint8_t> bytes);

} // namespace image
