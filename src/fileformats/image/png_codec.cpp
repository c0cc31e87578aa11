#include "fileformats/image/png_codec.h"

#include "fileformats/image/picture.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>

namespace image {
namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

void quietWarning(png_structp, png_const_charp) {}

[[noreturn]] void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

/// Runs the library's calls; false when it reports an error. Kept apart so
/// that nothing with a destructor lives in the frame that longjmp returns to.
bool writePng(png_structp png, png_infop info, const platform::Bitmap& image, bool alpha,
              std::vector<std::uint8_t>& out, std::vector<png_byte>& row) {
  if (setjmp(png_jmpbuf(png)))
    return false;
  png_set_write_fn(png, &out, appendBytes, flushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_gAMA_fixed(png, info, 45455);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_compression_level(png, 6);
  png_set_compression_window_bits(png, 15);
  png_set_compression_mem_level(png, 8);
  png_set_compression_buffer_size(png, 8192);
  png_write_info(png, info);
  const size_t channels = alpha ? 4 : 3;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::uint32_t p = image.at(x, y);
      png_byte* d = row.data() + static_cast<size_t>(x) * channels;
      d[0] = static_cast<png_byte>(p >> 16);
      d[1] = static_cast<png_byte>(p >> 8);
      d[2] = static_cast<png_byte>(p);
      if (alpha)
        d[3] = static_cast<png_byte>(p >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  return true;
}

struct MemoryReader {
  std::span<const std::uint8_t> bytes;
  size_t at = 0;
};

void readFromMemory(png_structp png, png_bytep data, png_size_t length) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (r->bytes.size() - r->at < length)
    png_error(png, "truncated");
  std::copy_n(r->bytes.data() + r->at, length, data);
  r->at += length;
}

/// The library's calls; false when it reports an error. As for writing,
/// the frame longjmp returns to holds nothing with a destructor.
bool readPng(png_structp png, png_infop info, MemoryReader& reader, platform::Bitmap& out,
             std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png)))
    return false;
  png_set_read_fn(png, &reader, readFromMemory);
  png_set_sig_bytes(png, 8);
  // Its own limits stop a header from asking for more than a picture may have.
  png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
  png_set_chunk_malloc_max(png, 8 * 1024 * 1024);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (width == 0 || height == 0 || static_cast<std::int64_t>(width) * height > kMaxPicturePixels)
    return false;
  const int colourType = png_get_color_type(png, info);
  // Samples are taken as they are stored: 16-bit ones keep their high byte,
  // grey becomes equal red, green and blue, palettes and their transparency
  // become colours and alpha. No gamma is applied, as in most viewers.
  png_set_strip_16(png);
  png_set_packing(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE)
    png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
    png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_tRNS_to_alpha(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4)
    return false;
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.pixels.resize(static_cast<size_t>(width) * height);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y)
    rows[y] = reinterpret_cast<png_bytep>(out.pixels.data() + static_cast<size_t>(y) * width);
  png_read_image(png, rows.data());
  return true;
}

} // namespace

std::vector<std::uint8_t> encodePng(const platform::Bitmap& image) {
  if (image.isEmpty() ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
    return {};
  bool alpha = false;
  for (std::uint32_t p : image.pixels)
    if ((p >> 24) != 0xFF) {
      alpha = true;
      break;
    }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
  if (!png)
    return {};
  png_infop info = png_create_info_struct(png);
  std::vector<std::uint8_t> out;
  out.reserve(4096);
  std::vector<png_byte> row(static_cast<size_t>(image.width) * (alpha ? 4 : 3));
  const bool ok = info && writePng(png, info, image, alpha, out, row);
  png_destroy_write_struct(&png, &info);
  if (!ok)
    return {};
  return out;
}

std::optional<platform::Bitmap> decodePng(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0)
    return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
  if (!png)
    return std::nullopt;
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{bytes, 8};
  platform::Bitmap out;
  std::vector<png_bytep> rows;
  const bool ok = info && readPng(png, info, reader, out, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok)
    return std::nullopt;
  return out;
}

} // namespace image
