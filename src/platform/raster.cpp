#include "platform/raster.h"

namespace platform {
namespace {

RasterFactory& factory() {
  static RasterFactory f;
  return f;
}

} // namespace

std::unique_ptr<RasterSurface> makeRasterSurface(int width, int height) {
  constexpr int kMaxSide = 16384;
  if (!factory() || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
    return nullptr;
  return factory()(width, height);
}

void setRasterFactory(RasterFactory f) { factory() = std::move(f); }

} // namespace platform
