#pragma once
// JPEG pictures from files, decoded through libjpeg.

#include "platform/bitmap.h"

#include <cstdint>
#include <optional>
#include <span>

namespace image {

/// The pixels of a baseline or progressive JPEG: grey, YCbCr or RGB, and
/// CMYK or YCCK (the inverted form Adobe programs write included). An image
/// above the picture limits is decoded at 1/2, 1/4 or 1/8 of its size, the
/// first that fits; nullopt when none does, or for damaged or truncated data.
std::optional<platform::Bitmap> decodeJpeg(std::span<const std::uint8_t> bytes);

} // namespace image
