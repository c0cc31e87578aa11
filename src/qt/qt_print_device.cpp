#include "qt/qt_print_device.h"

#include <QFile>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPdfWriter>

#include <filesystem>
#include <system_error>

namespace qtui {

QtPrintDevice::QtPrintDevice(QPagedPaintDevice& device, std::function<void()> abort)
    : m_device(device), m_abort(std::move(abort)) {}

platform::PrinterCaps QtPrintDevice::caps() const {
  platform::PrinterCaps c;
  c.dpiX = std::max(1, m_device.logicalDpiX());
  c.dpiY = std::max(1, m_device.logicalDpiY());
  const QPageLayout layout = m_device.pageLayout();
  const QRect full = layout.fullRectPixels(c.dpiX);
  const QRect paint = layout.paintRectPixels(c.dpiX);
  c.physicalWidth = full.width();
  c.physicalHeight = full.height();
  c.offsetX = paint.left() - full.left();
  c.offsetY = paint.top() - full.top();
  c.printableWidth = paint.width();
  c.printableHeight = paint.height();
  return c;
}

bool QtPrintDevice::beginDocument(std::u16string_view) {
  // The name reaches the device before it starts (the dialog's printer or
  // the PDF writer's title); the painter starts the job.
  m_pages = 0;
  if (!m_painter.begin(&m_device))
    return false;
  m_canvas.emplace(m_painter);
  return true;
}

platform::Canvas* QtPrintDevice::beginPage() {
  if (!m_painter.isActive() || !m_canvas)
    return nullptr;
  if (m_pages > 0 && !m_device.newPage())
    return nullptr;
  ++m_pages;
  return &*m_canvas;
}

bool QtPrintDevice::endDocument() {
  m_canvas.reset();
  return m_painter.isActive() ? m_painter.end() : false;
}

void QtPrintDevice::abortDocument() {
  if (m_abort)
    m_abort();
  m_canvas.reset();
  if (m_painter.isActive())
    m_painter.end();
}

bool PrintToFile::commit() const {
  // A rename over the old file replaces it in one step where the system
  // allows; else the old file goes first.
  std::error_code error;
  std::filesystem::rename(std::filesystem::path(partialPath().toStdU16String()),
                          std::filesystem::path(m_target.toStdU16String()), error);
  if (!error)
    return true;
  QFile::remove(m_target);
  if (QFile::rename(partialPath(), m_target))
    return true;
  discard();
  return false;
}

void PrintToFile::discard() const { QFile::remove(partialPath()); }

void setUpPdfWriter(QPdfWriter& writer) {
  writer.setResolution(600);
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                   QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
  writer.setTitle(QStringLiteral("Cellwick"));
  writer.setCreator(QStringLiteral("Cellwick"));
}

} // namespace qtui
