#include "fileformats/image/bitmap_file.h"

#include "fileformats/image/picture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace image {
namespace {

std::uint32_t u32At(const std::vector<std::uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t u16At(const std::vector<std::uint8_t>& b, size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

Palette64 testPalette() {
  Palette64 p{};
  for (size_t i = 0; i < 64; ++i)
    p[i] = static_cast<std::uint32_t>(i * 4) << 8; // shades of green, 0x00BBGGRR
  p[1] = 0x0000FF; // red
  p[2] = 0xFF0000; // blue
  p[3] = 0xFFFFFF;
  return p;
}

platform::Bitmap filled(int w, int h, std::uint32_t pixel) {
  return platform::Bitmap{w, h, std::vector<std::uint32_t>(static_cast<size_t>(w * h), pixel)};
}

TEST(ChartBitmap, SixHundredByFourHundredIsHeadersPlusOneBytePerPixel) {
  const std::vector<std::uint8_t> file = chartBitmapFile(filled(600, 400, 0xFFFFFFFF), testPalette());
  ASSERT_EQ(file.size(), 310u + 400u * 600u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(u32At(file, 2), 310u + 240000u);
  EXPECT_EQ(u32At(file, 6), 0u);
  EXPECT_EQ(u32At(file, 10), 310u);
  EXPECT_EQ(u32At(file, 14), 40u);
  EXPECT_EQ(u32At(file, 18), 600u);
  EXPECT_EQ(u32At(file, 22), 400u);
  EXPECT_EQ(u16At(file, 26), 1u);
  EXPECT_EQ(u16At(file, 28), 8u);
  EXPECT_EQ(u32At(file, 30), 0u);
  EXPECT_EQ(u32At(file, 34), 240000u);
  EXPECT_EQ(u32At(file, 38), 3780u);
  EXPECT_EQ(u32At(file, 42), 3780u);
  EXPECT_EQ(u32At(file, 46), 64u);
  EXPECT_EQ(u32At(file, 50), 0u);
  // White is entry 3 of the palette.
  EXPECT_EQ(file[310], 3);
  EXPECT_EQ(file.back(), 3);
}

TEST(ChartBitmap, ColourTableHoldsThePaletteAsBlueGreenRedZero) {
  const std::vector<std::uint8_t> dib = chartBitmapToDib(filled(1, 1, 0xFF000000), testPalette());
  ASSERT_EQ(dib.size(), 40u + 256u + 4u);
  const std::uint8_t red[] = {0x00, 0x00, 0xFF, 0x00};
  const std::uint8_t blue[] = {0xFF, 0x00, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(dib.data() + 40 + 4, red, 4), 0);
  EXPECT_EQ(std::memcmp(dib.data() + 40 + 8, blue, 4), 0);
  EXPECT_EQ(dib[40 + 4 * 10 + 1], 40); // green of entry 10
}

TEST(ChartBitmap, RowsArePaddedAndStoredBottomFirst) {
  platform::Bitmap image = filled(3, 2, 0xFFFFFFFF);
  image.pixels[0] = 0xFFFF0000; // top left red
  image.pixels[5] = 0xFF0000FF; // bottom right blue
  const std::vector<std::uint8_t> file = chartBitmapFile(image, testPalette());
  ASSERT_EQ(file.size(), 310u + 2u * 4u);
  EXPECT_EQ(u32At(file, 34), 8u);
  const std::uint8_t bottom[] = {3, 3, 2, 0};
  const std::uint8_t top[] = {1, 3, 3, 0};
  EXPECT_EQ(std::memcmp(file.data() + 310, bottom, 4), 0);
  EXPECT_EQ(std::memcmp(file.data() + 314, top, 4), 0);
}

TEST(ChartBitmap, EmptyImageGivesNoFile) {
  EXPECT_TRUE(chartBitmapFile(platform::Bitmap{}, testPalette()).empty());
  EXPECT_TRUE(chartBitmapToDib(platform::Bitmap{0, 5, {}}, testPalette()).empty());
  // Pixels that do not match the size are not read past.
  EXPECT_TRUE(chartBitmapToDib(platform::Bitmap{4, 4, std::vector<std::uint32_t>(3)}, testPalette()).empty());
}

TEST(ChartBitmap, NearestColourTakesTheClosestAndTheLowestOnATie) {
  const Palette64 p = testPalette();
  EXPECT_EQ(nearestPaletteIndex(p, 0x0000F0), 1);  // nearly red
  EXPECT_EQ(nearestPaletteIndex(p, 0xF00000), 2);  // nearly blue
  EXPECT_EQ(nearestPaletteIndex(p, 0x000000), 0);  // black: entry 0 before entry ... none equal
  EXPECT_EQ(nearestPaletteIndex(p, 0x002900), 10); // green 41 is nearest to 40
  Palette64 twins{};
  twins.fill(0x808080);
  EXPECT_EQ(nearestPaletteIndex(twins, 0x000000), 0);
}

TEST(ChartBitmap, FileReadsBackAsThePaletteColours) {
  platform::Bitmap image = filled(5, 3, 0xFF00FF00 | 0x000000); // green 255
  image.pixels[7] = 0xFFFE0101;                                  // near red
  const std::optional<platform::Bitmap> back = decodeDib(chartBitmapFile(image, testPalette()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 5);
  EXPECT_EQ(back->height, 3);
  EXPECT_EQ(back->at(2, 1), 0xFFFF0000u);
  EXPECT_EQ(back->at(0, 0), 0xFF00FC00u); // the palette's brightest green, 63 x 4
}

TEST(ChartBitmap, WritesTheFile) {
  const std::string path = ::testing::TempDir() + "chart_test.bmp";
  const std::u16string path16(path.begin(), path.end());
  ASSERT_TRUE(writeChartBitmapFile(path16, filled(8, 2, 0xFF0000FF), testPalette()));
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(f);
  std::fseek(f, 0, SEEK_END);
  EXPECT_EQ(std::ftell(f), 310 + 16);
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_FALSE(writeChartBitmapFile(path16, platform::Bitmap{}, testPalette()));
}

// Builds a DIB by hand: a 40-byte header (or 12-byte core header), the
// colour table and the rows as given.
struct DibBuilder {
  std::vector<std::uint8_t> bytes;
  void u16(unsigned v) {
    bytes.push_back(static_cast<std::uint8_t>(v));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  DibBuilder& info(std::int32_t w, std::int32_t h, unsigned bits, std::uint32_t compression = 0,
                   std::uint32_t used = 0) {
    u32(40);
    u32(static_cast<std::uint32_t>(w));
    u32(static_cast<std::uint32_t>(h));
    u16(1);
    u16(bits);
    u32(compression);
    u32(0);
    u32(0);
    u32(0);
    u32(used);
    u32(0);
    return *this;
  }
  DibBuilder& raw(std::initializer_list<std::uint8_t> b) {
    bytes.insert(bytes.end(), b);
    return *this;
  }
};

struct DibCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  int width;
  int height;
  std::vector<std::uint32_t> pixels; // top row first
};

std::vector<DibCase> dibCases() {
  std::vector<DibCase> cases;
  {
    DibBuilder b; // 1 bit, bottom-up: bottom row 1 0, top row 0 1
    b.info(2, 2, 1).raw({0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}).raw({0x80, 0, 0, 0}).raw({0x40, 0, 0, 0});
    cases.push_back({"one bit", b.bytes, 2, 2, {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000}});
  }
  {
    DibBuilder b; // 4 bits, 3 colours used, top-down
    b.info(3, -1, 4, 0, 3).raw({0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0}).raw({0x12, 0x00, 0, 0});
    cases.push_back({"four bits top-down", b.bytes, 3, 1, {0xFF00FF00, 0xFF0000FF, 0xFFFF0000}});
  }
  {
    DibBuilder b; // 8 bits, index past the table is black
    b.info(2, 1, 8, 0, 2).raw({10, 20, 30, 0, 40, 50, 60, 0}).raw({1, 7, 0, 0});
    cases.push_back({"eight bits", b.bytes, 2, 1, {0xFF3C3228, 0xFF000000}});
  }
  {
    DibBuilder b; // 24 bits, bottom-up, rows padded to 8 bytes
    b.info(2, 2, 24).raw({1, 2, 3, 4, 5, 6, 0, 0}).raw({7, 8, 9, 10, 11, 12, 0, 0});
    cases.push_back({"24 bits", b.bytes, 2, 2, {0xFF090807, 0xFF0C0B0A, 0xFF030201, 0xFF060504}});
  }
  {
    DibBuilder b; // 24 bits, the last row left unpadded
    b.info(1, 2, 24).raw({1, 2, 3, 0}).raw({4, 5, 6});
    cases.push_back({"unpadded last row", b.bytes, 1, 2, {0xFF060504, 0xFF030201}});
  }
  {
    DibBuilder b; // 32 bits, top-down, alpha byte ignored
    b.info(2, -1, 32).raw({1, 2, 3, 0, 4, 5, 6, 0x7F});
    cases.push_back({"32 bits", b.bytes, 2, 1, {0xFF030201, 0xFF060504}});
  }
  {
    DibBuilder b; // 16 bits, 5-5-5: pure red (0x7C00) and pure blue (0x001F)
    b.info(2, 1, 16).raw({0x00, 0x7C, 0x1F, 0x00});
    cases.push_back({"16 bits", b.bytes, 2, 1, {0xFFFF0000, 0xFF0000FF}});
  }
  {
    DibBuilder b; // 16 bits with 5-6-5 masks after the header: pure green
    b.info(1, 1, 16, 3);
    b.u32(0xF800);
    b.u32(0x07E0);
    b.u32(0x001F);
    b.raw({0xE0, 0x07, 0, 0});
    cases.push_back({"bit fields", b.bytes, 1, 1, {0xFF00FF00}});
  }
  {
    DibBuilder b; // 12-byte core header, 3-byte colour entries
    b.u32(12);
    b.u16(2);
    b.u16(1);
    b.u16(1);
    b.u16(1);
    b.raw({0, 0, 0xFF, 0xFF, 0, 0}).raw({0x40, 0, 0, 0});
    cases.push_back({"core header", b.bytes, 2, 1, {0xFFFF0000, 0xFF0000FF}});
  }
  {
    DibBuilder b; // with a file header whose offset skips a gap
    std::vector<std::uint8_t> dib = DibBuilder{}.info(1, 1, 24).bytes;
    b.raw({'B', 'M'});
    b.u32(0);
    b.u32(0);
    b.u32(14 + 40 + 4);
    b.bytes.insert(b.bytes.end(), dib.begin(), dib.end());
    b.raw({9, 9, 9, 9}).raw({0x10, 0x20, 0x30, 0});
    cases.push_back({"file header", b.bytes, 1, 1, {0xFF302010}});
  }
  return cases;
}

TEST(DecodeDib, DecodesEachDepthAndRowOrder) {
  for (const DibCase& c : dibCases()) {
    SCOPED_TRACE(c.name);
    const std::optional<platform::Bitmap> b = decodeDib(c.bytes);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, c.width);
    EXPECT_EQ(b->height, c.height);
    EXPECT_EQ(b->pixels, c.pixels);
  }
}

TEST(DecodeDib, RefusesBadHeadersAndShortData) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"huge", DibBuilder{}.info(30000, 30000, 24).raw({1, 2, 3, 4}).bytes});
  cases.push_back({"too many pixels", DibBuilder{}.info(16000, 16000, 1).bytes});
  cases.push_back({"zero width", DibBuilder{}.info(0, 5, 24).raw({1, 2, 3, 4}).bytes});
  cases.push_back({"negative width", DibBuilder{}.info(-3, 5, 24).raw({1, 2, 3, 4}).bytes});
  cases.push_back({"zero height", DibBuilder{}.info(3, 0, 24).raw({1, 2, 3, 4}).bytes});
  cases.push_back({"lowest height", DibBuilder{}.info(3, INT32_MIN, 24).bytes});
  cases.push_back({"odd depth", DibBuilder{}.info(1, 1, 7).raw({1, 2, 3, 4}).bytes});
  cases.push_back({"run lengths", DibBuilder{}.info(1, 1, 8, 1).raw({1, 2, 3, 4}).bytes});
  cases.push_back({"bit fields at 24 bits", DibBuilder{}.info(1, 1, 24, 3).raw({1, 2, 3, 4}).bytes});
  cases.push_back({"truncated rows", DibBuilder{}.info(4, 4, 24).raw({1, 2, 3, 4, 5, 6}).bytes});
  cases.push_back({"header cut", {40, 0, 0, 0, 1, 0}});
  cases.push_back({"huge colour count", DibBuilder{}.info(1, 1, 8, 0, 0x7FFFFFFF).raw({1, 2, 3, 4}).bytes});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(decodeDib(c.bytes));
  }
}

TEST(DecodeDib, EveryPrefixOfAValidBitmapIsSafe) {
  const std::vector<std::uint8_t> file = chartBitmapFile(filled(7, 5, 0xFF123456), testPalette());
  for (size_t n = 0; n < file.size(); ++n) {
    const std::optional<platform::Bitmap> b = decodeDib(std::span(file.data(), n));
    // The last row may lack its padding; anything shorter is refused.
    EXPECT_EQ(b.has_value(), n >= file.size() - 1) << n;
  }
}

TEST(DecodeDib, HeaderAndPixelsApart) {
  const std::vector<std::uint8_t> header = DibBuilder{}.info(1, 1, 24).bytes;
  const std::vector<std::uint8_t> pixels = {0x33, 0x22, 0x11, 0};
  const std::optional<platform::Bitmap> b = decodeDib(header, pixels);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->pixels, std::vector<std::uint32_t>{0xFF112233});
  EXPECT_FALSE(decodeDib(header, std::span(pixels.data(), 2)));
}

} // namespace
} // namespace image
