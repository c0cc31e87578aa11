#pragma once
// Pixels in memory: what pictures decode to, what a raster surface hands
// back, and what a canvas can draw stretched into a rectangle.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

/// Rows top first, `width` pixels each, no padding. A pixel is 0xAARRGGBB
/// with straight (not premultiplied) alpha; 0xFF is opaque. Empty when
/// either side is 0.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  bool isEmpty() const { return width <= 0 || height <= 0; }
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
  friend bool operator==(const Bitmap&, const Bitmap&) = default;
};

/// 0x00BBGGRR (the palette's order) from an opaque or translucent pixel; alpha is dropped.
constexpr std::uint32_t colourOfPixel(std::uint32_t pixel) {
  return ((pixel >> 16) & 0xFF) | (pixel & 0xFF00) | ((pixel & 0xFF) << 16);
}
/// An opaque pixel of a 0x00BBGGRR colour.
constexpr std::uint32_t pixelOfColour(std::uint32_t colour) {
  return 0xFF000000u | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

} // namespace platform
