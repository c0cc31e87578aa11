#include "qt/raster_canvas.h"

#include "platform/text_metrics.h"
#include "qt/qt_canvas.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>

namespace qtui {
namespace {

class ImageSurface final : public platform::RasterSurface {
public:
  ImageSurface(int width, int height)
      : m_image(width, height, QImage::Format_RGB32), m_painter(&m_image), m_canvas(m_painter) {
    m_image.fill(Qt::white);
  }
  int width() const override { return m_image.width(); }
  int height() const override { return m_image.height(); }
  platform::Canvas& canvas() override { return m_canvas; }
  bool savePng(const std::u16string& path) override {
    if (m_painter.isActive())
      m_painter.end();
    return m_image.save(qStringOf(path), "PNG");
  }

  platform::Bitmap pixels() const override {
    platform::Bitmap out;
    out.width = m_image.width();
    out.height = m_image.height();
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
    // The painter draws straight into the image's memory, so its rows are current.
    for (int y = 0; y < out.height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(m_image.constScanLine(y));
      std::uint32_t* dst = out.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(out.width);
      for (int x = 0; x < out.width; ++x)
        dst[x] = row[x] | 0xFF000000u;
    }
    return out;
  }

private:
  QImage m_image;
  QPainter m_painter;
  QtCanvas m_canvas;
};

} // namespace

void installRasterFactory() {
  platform::setRasterFactory([](int width, int height) -> std::unique_ptr<platform::RasterSurface> {
    auto surface = std::make_unique<ImageSurface>(width, height);
    // A size the image could not be made at has no pixels to draw on.
    if (surface->width() != width || surface->height() != height)
      return nullptr;
    return surface;
  });
}

HeadlessGui::HeadlessGui() {
  if (!QGuiApplication::instance()) {
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if (!platformName || !*platformName)
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "cellwick-cli";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QGuiApplication>(argc, argv);
  }
  static QtTextMetrics metrics;
  platform::setTextMetrics(&metrics);
  installRasterFactory();
}

HeadlessGui::~HeadlessGui() {
  platform::setRasterFactory(nullptr);
  platform::setTextMetrics(nullptr);
}

} // namespace qtui
