#include "fileformats/image/jpeg_codec.h"
#include "fileformats/image/picture.h"
#include "fileformats/image/png_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <csetjmp>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

namespace image {
namespace {

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

struct Chunk {
  std::string type;
  std::vector<std::uint8_t> data;
  bool crcOk = false;
};

std::vector<Chunk> chunksOf(const std::vector<std::uint8_t>& png) {
  std::vector<Chunk> out;
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = be32(&png[at]);
    if (at + 12 + length > png.size())
      break;
    Chunk c;
    c.type.assign(reinterpret_cast<const char*>(&png[at + 4]), 4);
    c.data.assign(png.begin() + static_cast<long>(at + 8), png.begin() + static_cast<long>(at + 8 + length));
    const uLong crc = crc32(0, &png[at + 4], 4 + length);
    c.crcOk = crc == be32(&png[at + 8 + length]);
    out.push_back(std::move(c));
    at += 12 + length;
  }
  return out;
}

// Writes a PNG of any colour type and depth with libpng itself, so the
// decoder is tried on forms our encoder never makes.
std::vector<std::uint8_t> makePng(int w, int h, int colourType, int depth,
                                  const std::vector<std::vector<std::uint8_t>>& rows,
                                  const std::vector<png_color>& palette = {},
                                  const std::vector<png_byte>& trns = {}) {
  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test image";
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep d, png_size_t n) {
        auto* v = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), d, d + n);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), depth, colourType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty())
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!trns.empty())
    png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
  png_write_info(png, info);
  for (const auto& row : rows)
    png_write_row(png, const_cast<png_bytep>(row.data()));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TEST(EncodePng, ThreeByTwoHasItsHeaderGammaAndRowsTopFirst) {
  platform::Bitmap image{3, 2, {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112}};
  const std::vector<std::uint8_t> png = encodePng(image);
  ASSERT_GE(png.size(), 8u);
  const std::uint8_t signature[] = {137, 80, 78, 71, 13, 10, 26, 10};
  EXPECT_TRUE(std::equal(signature, signature + 8, png.begin()));
  const std::vector<Chunk> chunks = chunksOf(png);
  ASSERT_GE(chunks.size(), 4u);
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  const std::vector<std::uint8_t>& ihdr = chunks[0].data;
  ASSERT_EQ(ihdr.size(), 13u);
  EXPECT_EQ(be32(&ihdr[0]), 3u);
  EXPECT_EQ(be32(&ihdr[4]), 2u);
  EXPECT_EQ(ihdr[8], 8);  // bit depth
  EXPECT_EQ(ihdr[9], 2);  // RGB
  EXPECT_EQ(ihdr[12], 0); // not interlaced
  std::vector<std::uint8_t> compressed;
  bool sawGamma = false;
  for (const Chunk& c : chunks) {
    EXPECT_TRUE(c.crcOk) << c.type;
    if (c.type == "gAMA") {
      sawGamma = true;
      EXPECT_EQ(be32(c.data.data()), 45455u);
    }
    if (c.type == "IDAT")
      compressed.insert(compressed.end(), c.data.begin(), c.data.end());
  }
  EXPECT_TRUE(sawGamma);
  std::vector<std::uint8_t> raw(64);
  uLongf rawSize = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawSize, compressed.data(), compressed.size()), Z_OK);
  ASSERT_EQ(rawSize, 20u); // two rows of a filter byte and nine colour bytes
  // Every filter stores the top row's first pixel as it is: nothing lies left of or above it.
  ASSERT_LE(raw[0], 4);
  ASSERT_LE(raw[10], 4);
  EXPECT_EQ(raw[1], 0x01);
  EXPECT_EQ(raw[2], 0x02);
  EXPECT_EQ(raw[3], 0x03);
}

TEST(EncodePng, LargeImagesSplitTheirDataInto8KChunks) {
  platform::Bitmap image{300, 300, {}};
  std::uint32_t seed = 12345;
  for (int i = 0; i < 300 * 300; ++i) {
    seed = seed * 1103515245 + 12345;
    image.pixels.push_back(0xFF000000u | (seed >> 8));
  }
  const std::vector<std::uint8_t> png = encodePng(image);
  int idats = 0;
  for (const Chunk& c : chunksOf(png))
    if (c.type == "IDAT") {
      ++idats;
      EXPECT_LE(c.data.size(), 8192u);
    }
  EXPECT_GT(idats, 1);
  const std::optional<platform::Bitmap> back = decodePng(png);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, image);
}

TEST(EncodePng, TranslucentPixelsKeepTheirAlpha) {
  const platform::Bitmap image{2, 1, {0x80FF0000, 0xFF00FF00}};
  const std::vector<std::uint8_t> png = encodePng(image);
  const std::vector<Chunk> chunks = chunksOf(png);
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(chunks[0].data[9], 6); // RGBA
  const std::optional<platform::Bitmap> back = decodePng(png);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, image);
}

TEST(EncodePng, EmptyImageGivesNothing) {
  EXPECT_TRUE(encodePng(platform::Bitmap{}).empty());
  EXPECT_TRUE(encodePng(platform::Bitmap{2, 2, {1, 2, 3}}).empty());
}

TEST(DecodePng, EachColourTypeGivesTheRightColours) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> png;
    std::vector<std::uint32_t> pixels;
  };
  const std::vector<png_color> palette = {{255, 0, 0}, {0, 0, 255}, {10, 20, 30}};
  const std::vector<Case> cases = {
      {"grey 8", makePng(2, 1, PNG_COLOR_TYPE_GRAY, 8, {{0x80, 0xFF}}), {0xFF808080, 0xFFFFFFFF}},
      {"grey 1", makePng(3, 1, PNG_COLOR_TYPE_GRAY, 1, {{0xA0}}), {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF}},
      {"grey 16", makePng(1, 1, PNG_COLOR_TYPE_GRAY, 16, {{0x40, 0x40}}), {0xFF404040}},
      {"grey alpha", makePng(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{200, 0}}), {0x00C8C8C8}},
      {"grey alpha opaque", makePng(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{200, 255}}), {0xFFC8C8C8}},
      {"palette", makePng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}}, palette),
       {0xFFFF0000, 0xFF0000FF, 0xFF0A141E}},
      {"palette 2 bits", makePng(2, 1, PNG_COLOR_TYPE_PALETTE, 2, {{0x60}}, palette),
       {0xFF0000FF, 0xFF0A141E}},
      {"palette with transparency", makePng(2, 1, PNG_COLOR_TYPE_PALETTE, 8, {{0, 1}}, palette, {0}),
       {0x00FF0000, 0xFF0000FF}},
      {"rgb 16", makePng(1, 1, PNG_COLOR_TYPE_RGB, 16, {{0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80}}), {0xFFFF0080}},
      {"rgba", makePng(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {{1, 2, 3, 255}}), {0xFF010203}},
      {"rgba 16", makePng(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {{0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF}}),
       {0xFF00FF00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<platform::Bitmap> b = decodePng(c.png);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->pixels, c.pixels);
  }
}

std::vector<std::uint8_t> pngHeaderOnly(std::uint32_t w, std::uint32_t h) {
  std::vector<std::uint8_t> out = {137, 80, 78, 71, 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (std::uint32_t v : {w, h})
    for (int s = 24; s >= 0; s -= 8)
      out.push_back(static_cast<std::uint8_t>(v >> s));
  for (std::uint8_t b : {8, 2, 0, 0, 0})
    out.push_back(b);
  const uLong crc = crc32(0, out.data() + 12, 17);
  for (int s = 24; s >= 0; s -= 8)
    out.push_back(static_cast<std::uint8_t>(crc >> s));
  return out;
}

TEST(DecodePng, RefusesHugeDamagedAndTruncatedImages) {
  EXPECT_FALSE(decodePng(pngHeaderOnly(30000, 30000)));
  EXPECT_FALSE(decodePng(pngHeaderOnly(20000, 1)));
  EXPECT_FALSE(decodePng(pngHeaderOnly(5000, 5000)));
  EXPECT_FALSE(decodePng(pngHeaderOnly(2, 2))); // no image data
  const std::vector<std::uint8_t> good = encodePng(platform::Bitmap{4, 4, std::vector<std::uint32_t>(16, 0xFF112233)});
  // Without its 12-byte end chunk the image is still whole; any less is refused.
  for (size_t n = 0; n < good.size() - 12; n += 3)
    EXPECT_FALSE(decodePng(std::span(good.data(), n))) << n;
  std::vector<std::uint8_t> bad = good;
  bad[bad.size() - 12 - 5] ^= 0x55; // the last byte of the image data: its check fails
  EXPECT_FALSE(decodePng(bad));
  EXPECT_TRUE(decodePng(good));
}

// A JPEG made with libjpeg itself: every pixel the same colour, so lossy
// coding leaves it within a step or two.
std::vector<std::uint8_t> makeJpeg(int w, int h, J_COLOR_SPACE space, std::vector<std::uint8_t> pixel,
                                   bool adobeMarker = false) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = static_cast<int>(pixel.size());
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (space == JCS_CMYK)
    cinfo.write_Adobe_marker = adobeMarker;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> row;
  for (int x = 0; x < w; ++x)
    row.insert(row.end(), pixel.begin(), pixel.end());
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

void expectNear(std::uint32_t got, std::uint32_t want, int tolerance) {
  for (int s = 0; s < 32; s += 8) {
    const int g = static_cast<int>((got >> s) & 0xFF);
    const int w = static_cast<int>((want >> s) & 0xFF);
    EXPECT_NEAR(g, w, tolerance) << std::hex << got << " vs " << want;
  }
}

TEST(DecodeJpeg, GreyColourAndCmykGiveTheRightColours) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> jpeg;
    std::uint32_t pixel;
  };
  const std::vector<Case> cases = {
      {"grey", makeJpeg(16, 8, JCS_GRAYSCALE, {100}), 0xFF646464},
      {"rgb", makeJpeg(16, 8, JCS_RGB, {200, 30, 60}), 0xFFC81E3C},
      // Cyan ink alone, stored as ink amounts.
      {"cmyk", makeJpeg(8, 8, JCS_CMYK, {255, 0, 0, 0}), 0xFF00FFFF},
      // The same cyan as Adobe programs store it, every ink inverted.
      {"inverted cmyk", makeJpeg(8, 8, JCS_CMYK, {0, 255, 255, 255}, true), 0xFF00FFFF},
      // Half black over no colour: mid grey.
      {"inverted cmyk black", makeJpeg(8, 8, JCS_CMYK, {255, 255, 255, 128}, true), 0xFF808080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<platform::Bitmap> b = decodeJpeg(c.jpeg);
    ASSERT_TRUE(b);
    ASSERT_FALSE(b->isEmpty());
    expectNear(b->at(b->width / 2, b->height / 2), c.pixel, 3);
  }
}

TEST(DecodeJpeg, OversizedImagesAreDecodedSmaller) {
  const std::optional<platform::Bitmap> b = decodeJpeg(makeJpeg(20000, 8, JCS_GRAYSCALE, {50}));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->width, 10000);
  EXPECT_EQ(b->height, 4);
  expectNear(b->at(5000, 2), 0xFF323232, 3);
}

TEST(DecodeJpeg, DamagedAndTruncatedDataNeverCrash) {
  const std::vector<std::uint8_t> good = makeJpeg(64, 64, JCS_RGB, {1, 2, 3});
  EXPECT_TRUE(decodeJpeg(good));
  for (size_t n = 0; n < good.size(); n += 7) {
    const std::optional<platform::Bitmap> b = decodeJpeg(std::span(good.data(), n));
    // The library fills a cut image with grey; it still has its full size.
    if (b) {
      EXPECT_EQ(b->pixels.size(), 64u * 64u);
    }
  }
  EXPECT_FALSE(decodeJpeg(std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xD9}));
  EXPECT_FALSE(decodeJpeg(std::vector<std::uint8_t>(100, 0x41)));
}

TEST(DecodeJpeg, AHugeHeaderOverLittleDataIsRefused) {
  std::vector<std::uint8_t> jpeg = makeJpeg(16, 16, JCS_GRAYSCALE, {7});
  ASSERT_TRUE(decodeJpeg(jpeg));
  size_t sof = 0;
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      sof = i;
      break;
    }
  ASSERT_NE(sof, 0u);
  // 4,000 x 4,000 pixels claimed by a file of a few hundred bytes.
  jpeg[sof + 5] = jpeg[sof + 7] = 0x0F;
  jpeg[sof + 6] = jpeg[sof + 8] = 0xA0;
  EXPECT_FALSE(decodeJpeg(jpeg));
}

TEST(Picture, KeepsItsBytesAndDecodesThem) {
  const std::vector<std::uint8_t> jpeg = makeJpeg(16, 16, JCS_RGB, {0, 0, 255});
  const Picture p = pictureFromBytes(PictureKind::Jpeg, jpeg);
  EXPECT_EQ(p.kind, PictureKind::Jpeg);
  EXPECT_EQ(p.bytes, jpeg);
  ASSERT_EQ(p.bitmap.width, 16);
  expectNear(p.bitmap.at(8, 8), 0xFF0000FF, 4);

  const std::vector<std::uint8_t> junk = {1, 2, 3};
  const Picture broken = pictureFromBytes(PictureKind::Png, junk);
  EXPECT_EQ(broken.bytes, junk);
  EXPECT_TRUE(broken.bitmap.isEmpty());
}

TEST(Picture, MadeFromPixelsIsEncodedAsPng) {
  const platform::Bitmap image{2, 2, {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00}};
  const std::optional<Picture> p = pictureFromBitmap(image);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->kind, PictureKind::Png);
  EXPECT_EQ(decodePicture(PictureKind::Png, p->bytes), image);
  EXPECT_FALSE(pictureFromBitmap(platform::Bitmap{}));
}

TEST(Picture, PayloadCopiesShareThePicture) {
  auto picture = std::make_shared<const Picture>(pictureFromBytes(PictureKind::Dib, {}));
  PicturePayload payload(picture);
  const std::unique_ptr<model::ObjectPayload> copy = payload.clone();
  const auto* typed = dynamic_cast<const PicturePayload*>(copy.get());
  ASSERT_TRUE(typed);
  EXPECT_EQ(typed->shared().get(), picture.get());
}

TEST(Picture, KindsAreTheStoreNumbers) {
  for (unsigned v = 0; v < 10; ++v)
    EXPECT_EQ(isPictureKind(v), v == 2 || v == 3 || v == 5 || v == 6 || v == 7) << v;
}

} // namespace
} // namespace image
