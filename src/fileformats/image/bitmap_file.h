#pragma once
// Windows bitmaps: reading device-independent bitmaps (pictures in
// workbooks and metafiles, .bmp files) and writing a drawn chart as an
// 8-bit .bmp file or clipboard block with the workbook's 64 colours.

#include "platform/bitmap.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace image {

/// The 64 colours of a workbook's palette, 0x00BBGGRR.
using Palette64 = std::array<std::uint32_t, 64>;

/// Decodes a device-independent bitmap: an optional 14-byte "BM" file
/// header, then a 12-byte core or 40/52/56/108/124-byte information header,
/// the colour table and the pixels. Handles 1, 4, 8, 16, 24 and 32 bits per
/// pixel, uncompressed or with bit fields, bottom-up and top-down rows.
/// nullopt for run-length compression, sizes out of range, or when the bytes
/// hold fewer pixels than the header declares.
std::optional<platform::Bitmap> decodeDib(std::span<const std::uint8_t> bytes);
/// The same with the header and colour table apart from the pixels, as
/// metafile records carry them.
std::optional<platform::Bitmap> decodeDib(std::span<const std::uint8_t> header,
                                          std::span<const std::uint8_t> pixels);

/// The palette index nearest to a colour (0x00BBGGRR) by squared distance
/// in red, green and blue; the lowest index wins a tie.
int nearestPaletteIndex(const Palette64& palette, std::uint32_t colour);

/// The chart's clipboard block: a 40-byte information header (8 bits per
/// pixel, 64 colours used, 3780 pixels per metre), the 64-entry colour table
/// padded to 256 bytes, then one palette index per pixel, bottom row first,
/// rows padded to 4 bytes. Empty for an empty image.
std::vector<std::uint8_t> chartBitmapToDib(const platform::Bitmap& image, const Palette64& palette);
/// The .bmp file: the 14-byte file header (pixel offset 310) and the block.
std::vector<std::uint8_t> chartBitmapFile(const platform::Bitmap& image, const Palette64& palette);
/// Writes chartBitmapFile to `path`, replacing a file there only when the
/// whole file was written. False when it was not, or the image is empty.
[[nodiscard]] bool writeChartBitmapFile(std::u16string_view path, const platform::Bitmap& image,
                                        const Palette64& palette);

} // namespace image
