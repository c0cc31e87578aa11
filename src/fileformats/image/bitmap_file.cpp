#include "fileformats/image/bitmap_file.h"

#include "fileformats/image/image_bytes_internal.h"
#include "fileformats/image/picture.h"
#include "platform/files.h"

#include <bit>
#include <unordered_map>

namespace image {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

struct DibInfo {
  std::int64_t width = 0;
  std::int64_t height = 0; // negative: top row first
  unsigned bitCount = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
  std::vector<std::uint32_t> colours;    // opaque pixels
  size_t tableEnd = 0;                   // where the pixels start when nothing says otherwise
};

std::optional<DibInfo> readDibHeader(std::span<const std::uint8_t> h) {
  DibInfo info;
  const std::uint32_t size = le32(h, 0);
  size_t entrySize = 4;
  std::uint32_t used = 0;
  if (size == 12 && h.size() >= 12) {
    info.width = le16(h, 4);
    info.height = le16(h, 6);
    info.bitCount = le16(h, 10);
    entrySize = 3;
  } else if (size >= 40 && size <= h.size()) {
    info.width = les32(h, 4);
    info.height = les32(h, 8);
    info.bitCount = le16(h, 14);
    info.compression = le32(h, 16);
    used = le32(h, 32);
  } else {
    return std::nullopt;
  }
  size_t at = size;
  if (info.compression == kBiBitfields || info.compression == kBiAlphaBitfields) {
    if (info.bitCount != 16 && info.bitCount != 32)
      return std::nullopt;
    // Later headers hold the masks; the 40-byte one has them right after it.
    const unsigned count = info.compression == kBiAlphaBitfields ? 4 : 3;
    const size_t masksAt = size >= 52 ? 40 : size;
    if (h.size() < masksAt + 4 * count)
      return std::nullopt;
    for (unsigned i = 0; i < count; ++i)
      info.masks[i] = le32(h, masksAt + 4 * i);
    if (size < 52)
      at += 4 * count;
  } else if (info.compression != kBiRgb) {
    return std::nullopt; // run-length and embedded JPEG/PNG bitmaps are not read
  } else if (info.bitCount == 16) {
    info.masks[0] = 0x7C00;
    info.masks[1] = 0x03E0;
    info.masks[2] = 0x001F;
  } else if (info.bitCount == 32) {
    info.masks[0] = 0xFF0000;
    info.masks[1] = 0x00FF00;
    info.masks[2] = 0x0000FF;
  }
  switch (info.bitCount) {
  case 1: case 4: case 8: case 16: case 24: case 32: break;
  default: return std::nullopt;
  }
  if (info.bitCount <= 8) {
    const std::uint32_t full = 1u << info.bitCount;
    const std::uint32_t entries = used == 0 ? full : used;
    if (entries > 65536 || h.size() < at)
      return std::nullopt;
    // A table cut short keeps what is there; the missing entries are black.
    const size_t present = std::min<size_t>(entries, (h.size() - at) / entrySize);
    for (size_t i = 0; i < std::min<size_t>(present, full); ++i) {
      const size_t e = at + i * entrySize;
      info.colours.push_back(0xFF000000u | (std::uint32_t{h[e + 2]} << 16) | (std::uint32_t{h[e + 1]} << 8) | h[e]);
    }
    info.colours.resize(full, 0xFF000000u);
    at += present * entrySize;
  }
  info.tableEnd = at;
  if (info.width <= 0 || info.height == 0 || info.width > kMaxPictureSide ||
      std::abs(info.height) > kMaxPictureSide || info.width * std::abs(info.height) > kMaxPicturePixels)
    return std::nullopt;
  return info;
}

/// A mask's field scaled to 0-255.
std::uint32_t field(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0)
    return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const std::uint64_t v = (value & mask) >> shift;
  const std::uint64_t max = bits >= 32 ? 0xFFFFFFFFull : (1ull << bits) - 1;
  return static_cast<std::uint32_t>(v * 255 / max);
}

std::optional<platform::Bitmap> decodePixels(const DibInfo& info, std::span<const std::uint8_t> px) {
  const std::int64_t w = info.width;
  const std::int64_t h = std::abs(info.height);
  const std::int64_t rowBytes = (w * info.bitCount + 31) / 32 * 4;
  // Some writers leave the last row unpadded.
  const std::int64_t needed = rowBytes * (h - 1) + (w * info.bitCount + 7) / 8;
  if (static_cast<std::int64_t>(px.size()) < needed)
    return std::nullopt;
  platform::Bitmap out;
  out.width = static_cast<int>(w);
  out.height = static_cast<int>(h);
  out.pixels.resize(static_cast<size_t>(w * h));
  const bool alpha = info.masks[3] != 0;
  for (std::int64_t y = 0; y < h; ++y) {
    const std::int64_t fileRow = info.height < 0 ? y : h - 1 - y;
    const std::uint8_t* row = px.data() + fileRow * rowBytes;
    std::uint32_t* dst = out.pixels.data() + y * w;
    for (std::int64_t x = 0; x < w; ++x) {
      std::uint32_t p = 0;
      switch (info.bitCount) {
      case 1: p = info.colours[(row[x >> 3] >> (7 - (x & 7))) & 1]; break;
      case 4: p = info.colours[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
      case 8: p = info.colours[row[x]]; break;
      case 24:
        p = 0xFF000000u | (std::uint32_t{row[3 * x + 2]} << 16) | (std::uint32_t{row[3 * x + 1]} << 8) |
            row[3 * x];
        break;
      case 16:
      case 32: {
        const std::uint32_t v = info.bitCount == 16
                                    ? static_cast<std::uint32_t>(row[2 * x] | (row[2 * x + 1] << 8))
                                    : le32(std::span(row + 4 * x, 4), 0);
        p = (field(v, info.masks[0]) << 16) | (field(v, info.masks[1]) << 8) | field(v, info.masks[2]) |
            ((alpha ? field(v, info.masks[3]) : 0xFF) << 24);
        break;
      }
      }
      dst[x] = p;
    }
  }
  return out;
}

} // namespace

std::optional<platform::Bitmap> decodeDib(std::span<const std::uint8_t> header,
                                          std::span<const std::uint8_t> pixels) {
  const std::optional<DibInfo> info = readDibHeader(header);
  if (!info)
    return std::nullopt;
  return decodePixels(*info, pixels);
}

std::optional<platform::Bitmap> decodeDib(std::span<const std::uint8_t> bytes) {
  size_t pixelOffset = 0;
  if (bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M') {
    pixelOffset = le32(bytes, 10);
    bytes = bytes.subspan(14);
    pixelOffset = pixelOffset >= 14 ? pixelOffset - 14 : 0;
  }
  const std::optional<DibInfo> info = readDibHeader(bytes);
  if (!info)
    return std::nullopt;
  // A file header's offset that points into the headers is not believed.
  if (pixelOffset < info->tableEnd || pixelOffset > bytes.size())
    pixelOffset = info->tableEnd;
  return decodePixels(*info, bytes.subspan(pixelOffset));
}

int nearestPaletteIndex(const Palette64& palette, std::uint32_t colour) {
  int best = 0;
  std::int64_t bestDistance = INT64_MAX;
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t p = palette[static_cast<size_t>(i)];
    std::int64_t d = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const std::int64_t c = static_cast<std::int64_t>((colour >> shift) & 0xFF) - ((p >> shift) & 0xFF);
      d += c * c;
    }
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

std::vector<std::uint8_t> chartBitmapToDib(const platform::Bitmap& image, const Palette64& palette) {
  if (image.isEmpty() ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
    return {};
  const size_t stride = (static_cast<size_t>(image.width) + 3) & ~size_t{3};
  const size_t imageSize = stride * static_cast<size_t>(image.height);
  std::vector<std::uint8_t> out(40 + 256 + imageSize, 0);
  std::uint8_t* p = out.data();
  putLe32(p, 40);
  putLe32(p + 4, static_cast<std::uint32_t>(image.width));
  putLe32(p + 8, static_cast<std::uint32_t>(image.height));
  putLe16(p + 12, 1);
  putLe16(p + 14, 8);
  putLe32(p + 20, static_cast<std::uint32_t>(imageSize));
  putLe32(p + 24, 3780);
  putLe32(p + 28, 3780);
  putLe32(p + 32, 64);
  for (size_t i = 0; i < 64; ++i) {
    const std::uint32_t c = palette[i];
    p[40 + 4 * i] = static_cast<std::uint8_t>(c >> 16);
    p[41 + 4 * i] = static_cast<std::uint8_t>(c >> 8);
    p[42 + 4 * i] = static_cast<std::uint8_t>(c);
  }
  // A drawn chart has few colours, so each is matched once.
  std::unordered_map<std::uint32_t, std::uint8_t> matched;
  std::uint8_t* pixels = p + 296;
  for (int y = 0; y < image.height; ++y) {
    std::uint8_t* row = pixels + static_cast<size_t>(image.height - 1 - y) * stride;
    for (int x = 0; x < image.width; ++x) {
      const std::uint32_t colour = platform::colourOfPixel(image.at(x, y));
      auto [it, added] = matched.try_emplace(colour, 0);
      if (added)
        it->second = static_cast<std::uint8_t>(nearestPaletteIndex(palette, colour));
      row[x] = it->second;
    }
  }
  return out;
}

std::vector<std::uint8_t> chartBitmapFile(const platform::Bitmap& image, const Palette64& palette) {
  std::vector<std::uint8_t> dib = chartBitmapToDib(image, palette);
  if (dib.empty())
    return {};
  std::vector<std::uint8_t> out(14);
  out[0] = 'B';
  out[1] = 'M';
  putLe32(out.data() + 2, static_cast<std::uint32_t>(14 + dib.size()));
  putLe32(out.data() + 10, 14 + 40 + 256);
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

bool writeChartBitmapFile(std::u16string_view path, const platform::Bitmap& image, const Palette64& palette) {
  const std::vector<std::uint8_t> bytes = chartBitmapFile(image, palette);
  return !bytes.empty() && platform::replaceFileAtomically(path, bytes);
}

} // namespace image
