#pragma once
// Pictures drawn without a window: a canvas over an image in memory that can
// be saved as PNG. The headless render, chart bitmaps and picture playing
// draw through it. The platform has no pixel renderer of its own: a front
// end installs one at start (the Qt one paints into a QImage), and without
// one no surface can be made.

#include "platform/canvas.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

class RasterSurface {
public:
  virtual ~RasterSurface() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  /// Draws into the image; valid for the surface's life.
  virtual Canvas& canvas() = 0;
  /// Finishes drawing and writes the image as PNG; false when the file
  /// could not be written.
  [[nodiscard]] virtual bool savePng(const std::u16string& path) = 0;
  /// The pixels drawn so far, all opaque.
  virtual Bitmap pixels() const = 0;
};

using RasterFactory = std::function<std::unique_ptr<RasterSurface>(int width, int height)>;

/// An image of the size, white; null when no renderer is installed or the
/// size is not between 1 and 16384 pixels on each side.
std::unique_ptr<RasterSurface> makeRasterSurface(int width, int height);
/// Installs the renderer (an empty function removes it).
void setRasterFactory(RasterFactory factory);

} // namespace platform
