#include "fileformats/image/jpeg_codec.h"

#include "fileformats/image/picture.h"

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <csetjmp>
#include <jpeglib.h>

namespace image {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void jumpOnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void quietMessage(j_common_ptr) {}

// Crafted progressive files can hold thousands of tiny scans, each costing
// a pass over the whole image; real ones have a dozen or so.
constexpr int kMaxScans = 256;

void limitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans)
      jumpOnError(cinfo);
  }
}

bool fits(std::int64_t w, std::int64_t h) {
  return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels;
}

std::uint32_t pixelOfCmyk(unsigned c, unsigned m, unsigned y, unsigned k, bool inverted) {
  // Adobe's files store each ink inverted (255 is no ink), so the product
  // of the stored values is the light left; other writers store the ink.
  if (!inverted) {
    c = 255 - c;
    m = 255 - m;
    y = 255 - y;
    k = 255 - k;
  }
  const auto mix = [k](unsigned v) { return (v * k + 127) / 255; };
  return 0xFF000000u | (mix(c) << 16) | (mix(m) << 8) | mix(y);
}

/// The library's calls; false when it reports an error. Only plain data
/// lives in this frame, so the jump back leaves nothing undestroyed.
bool decode(jpeg_decompress_struct& cinfo, ErrorManager& err, std::span<const std::uint8_t> bytes,
            platform::Bitmap& out, std::vector<std::uint8_t>& row) {
  if (setjmp(err.jump))
    return false;
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
    return false;
  cinfo.mem->max_memory_to_use = 256L * 1024 * 1024;
  switch (cinfo.jpeg_color_space) {
  case JCS_GRAYSCALE: cinfo.out_color_space = JCS_GRAYSCALE; break;
  case JCS_CMYK:
  case JCS_YCCK: cinfo.out_color_space = JCS_CMYK; break;
  default: cinfo.out_color_space = JCS_RGB; break;
  }
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  while (!fits((cinfo.image_width + cinfo.scale_denom - 1) / cinfo.scale_denom,
               (cinfo.image_height + cinfo.scale_denom - 1) / cinfo.scale_denom)) {
    if (cinfo.scale_denom == 8 || cinfo.image_width == 0 || cinfo.image_height == 0)
      return false;
    cinfo.scale_denom *= 2;
  }
  // Every 8 x 8 block costs at least a bit (its DC code), so no real file
  // holds 4,096 pixels a byte; a header over next to no data would only have
  // the library make up a huge grey image.
  if (static_cast<std::uint64_t>(cinfo.image_width) * cinfo.image_height / 4096 > bytes.size())
    return false;
  jpeg_start_decompress(&cinfo);
  if (!fits(cinfo.output_width, cinfo.output_height))
    return false;
  out.width = static_cast<int>(cinfo.output_width);
  out.height = static_cast<int>(cinfo.output_height);
  out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0xFFFFFFFFu);
  const unsigned channels = static_cast<unsigned>(cinfo.output_components);
  row.resize(static_cast<size_t>(out.width) * channels);
  const bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[1] = {row.data()};
    const unsigned y = cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
      return false;
    std::uint32_t* dst = out.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(out.width);
    for (int x = 0; x < out.width; ++x) {
      const std::uint8_t* s = row.data() + static_cast<size_t>(x) * channels;
      switch (channels) {
      case 1: dst[x] = 0xFF000000u | (std::uint32_t{s[0]} * 0x010101u); break;
      case 3: dst[x] = 0xFF000000u | (std::uint32_t{s[0]} << 16) | (std::uint32_t{s[1]} << 8) | s[2]; break;
      case 4: dst[x] = pixelOfCmyk(s[0], s[1], s[2], s[3], inverted); break;
      default: return false;
      }
    }
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

} // namespace

std::optional<platform::Bitmap> decodeJpeg(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
    return std::nullopt;
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  cinfo.err = jpeg_std_error(&err.base);
  err.base.error_exit = jumpOnError;
  err.base.output_message = quietMessage;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = limitScans;
  platform::Bitmap out;
  std::vector<std::uint8_t> row;
  bool ok = false;
  if (!setjmp(err.jump)) {
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    ok = decode(cinfo, err, bytes, out, row);
  }
  jpeg_destroy_decompress(&cinfo);
  if (!ok)
    return std::nullopt;
  return out;
}

} // namespace image
