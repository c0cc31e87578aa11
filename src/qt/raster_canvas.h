#pragma once
// The Qt renderer behind platform/raster.h, and what a program without
// windows needs to use it: a GUI application on the offscreen platform,
// Qt's text measurement and the raster factory.

#include "platform/raster.h"

#include <memory>

class QGuiApplication;

namespace qtui {

/// Installs the QImage renderer as the raster factory. Needs a running
/// QGuiApplication.
void installRasterFactory();

/// For the life of the object: a QGuiApplication on the offscreen platform
/// (unless the process already has an application or QT_QPA_PLATFORM names
/// another), Qt's text metrics and the raster factory; all undone after.
class HeadlessGui {
public:
  HeadlessGui();
  ~HeadlessGui();
  HeadlessGui(const HeadlessGui&) = delete;
  HeadlessGui& operator=(const HeadlessGui&) = delete;

private:
  std::unique_ptr<QGuiApplication> m_app;
};

} // namespace qtui
