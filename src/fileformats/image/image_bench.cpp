// Decoding photographs of 2000 x 1500 pixels, encoding a picture as PNG,
// writing a chart's .bmp, and playing a metafile of 10,000 records.

#include "fileformats/image/bitmap_file.h"
#include "fileformats/image/jpeg_codec.h"
#include "fileformats/image/metafile.h"
#include "fileformats/image/png_codec.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

// A smooth picture with some grain, as a photograph has.
platform::Bitmap photo(int w, int h) {
  platform::Bitmap b{w, h, {}};
  b.pixels.reserve(static_cast<size_t>(w) * static_cast<size_t>(h));
  std::uint32_t seed = 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245 + 12345;
      const unsigned grain = (seed >> 16) & 15;
      const unsigned r = (x * 255 / w + grain) & 0xFF, g = (y * 255 / h + grain) & 0xFF;
      const unsigned bl = static_cast<unsigned>(128 + 100 * std::sin((x + y) / 50.0)) & 0xFF;
      b.pixels.push_back(0xFF000000u | (r << 16) | (g << 8) | bl);
    }
  return b;
}

std::vector<std::uint8_t> jpegOf(const platform::Bitmap& b) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(b.width);
  cinfo.image_height = static_cast<JDIMENSION>(b.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> row(static_cast<size_t>(b.width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < b.width; ++x) {
      const std::uint32_t p = b.at(x, static_cast<int>(cinfo.next_scanline));
      row[3 * static_cast<size_t>(x)] = static_cast<std::uint8_t>(p >> 16);
      row[3 * static_cast<size_t>(x) + 1] = static_cast<std::uint8_t>(p >> 8);
      row[3 * static_cast<size_t>(x) + 2] = static_cast<std::uint8_t>(p);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

void BM_DecodeJpeg2000x1500(benchmark::State& state) {
  const std::vector<std::uint8_t> jpeg = jpegOf(photo(2000, 1500));
  for (auto _ : state)
    benchmark::DoNotOptimize(image::decodeJpeg(jpeg));
  state.counters["bytes"] = static_cast<double>(jpeg.size());
}
BENCHMARK(BM_DecodeJpeg2000x1500)->Unit(benchmark::kMillisecond);

void BM_DecodePng2000x1500(benchmark::State& state) {
  const std::vector<std::uint8_t> png = image::encodePng(photo(2000, 1500));
  for (auto _ : state)
    benchmark::DoNotOptimize(image::decodePng(png));
  state.counters["bytes"] = static_cast<double>(png.size());
}
BENCHMARK(BM_DecodePng2000x1500)->Unit(benchmark::kMillisecond);

void BM_EncodePng2000x1500(benchmark::State& state) {
  const platform::Bitmap b = photo(2000, 1500);
  for (auto _ : state)
    benchmark::DoNotOptimize(image::encodePng(b));
}
BENCHMARK(BM_EncodePng2000x1500)->Unit(benchmark::kMillisecond);

void BM_ChartBitmapFile600x400(benchmark::State& state) {
  // A chart: a few flat colours.
  platform::Bitmap b{600, 400, {}};
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 600; ++x)
      b.pixels.push_back(x < 300 ? 0xFFFFFFFF : (y < 200 ? 0xFF9999FF : 0xFF993366));
  image::Palette64 palette{};
  for (size_t i = 0; i < 64; ++i)
    palette[i] = static_cast<std::uint32_t>(i * 0x040404);
  for (auto _ : state)
    benchmark::DoNotOptimize(image::chartBitmapFile(b, palette));
}
BENCHMARK(BM_ChartBitmapFile600x400)->Unit(benchmark::kMillisecond);

class NullCanvas final : public platform::Canvas {
public:
  void setClip(const platform::Rect&) override {}
  void setPen(const platform::Pen&) override {}
  void setBrush(const platform::Brush&) override {}
  void drawLine(platform::Point, platform::Point) override {}
  void drawPolyline(std::span<const platform::Point> p) override { benchmark::DoNotOptimize(p.data()); }
  void drawPolygon(std::span<const platform::Point> p) override { benchmark::DoNotOptimize(p.data()); }
  void drawRectangle(const platform::Rect&) override {}
  void drawEllipse(const platform::Rect&) override {}
  void fillRect(const platform::Rect&, const platform::Brush&) override {}
  void invertRect(const platform::Rect&) override {}
  void drawText(std::u16string_view, const platform::FontSpec&, platform::Colour, const platform::Rect&, unsigned,
                const platform::Rect&) override {}
  void drawBitmap(const platform::Rect&, const platform::Bitmap&) override {}
};

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void record(std::vector<std::uint8_t>& out, std::uint32_t type, std::initializer_list<std::uint32_t> params) {
  put32(out, type);
  put32(out, static_cast<std::uint32_t>(8 + 4 * params.size()));
  for (std::uint32_t p : params)
    put32(out, p);
}

// 10,000 records: pens and brushes made, selected and deleted, lines,
// rectangles, ellipses and 16-bit polylines of a chart-like drawing.
std::vector<std::uint8_t> emfOf10000Records() {
  std::vector<std::uint8_t> out;
  record(out, 1, {0, 0, 999, 999, 0, 0, 26458, 26458, 0x464D4520, 0x10000, 0, 0, 4, 0, 0, 0, 1000, 1000, 264, 264});
  int n = 1;
  for (int i = 0; n < 9999; ++i) {
    const auto v = static_cast<std::uint32_t>(i % 900);
    record(out, 38, {1, 0, 1, 0, v * 0x010203u});
    record(out, 39, {2, 0, v * 0x030201u, 0});
    record(out, 37, {1});
    record(out, 37, {2});
    record(out, 27, {v, 0});
    record(out, 54, {v + 50, 999});
    record(out, 43, {v, v, v + 80, v + 40});
    record(out, 42, {v, v, v + 60, v + 60});
    record(out, 87, {0, 0, 0, 0, 4, v, v | (50u << 16), (v + 20) | (10u << 16), (v + 40) | (90u << 16)});
    record(out, 40, {1});
    n += 10;
  }
  record(out, 14, {0, 16, 20});
  return out;
}

void BM_PlayMetafile10000Records(benchmark::State& state) {
  const std::vector<std::uint8_t> emf = emfOf10000Records();
  NullCanvas canvas;
  for (auto _ : state)
    benchmark::DoNotOptimize(image::playMetafile(image::PictureKind::Emf, emf, canvas, {0, 0, 1000, 1000}));
}
BENCHMARK(BM_PlayMetafile10000Records)->Unit(benchmark::kMillisecond);

} // namespace
