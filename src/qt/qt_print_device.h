#pragma once
// A printer on Qt's paged devices: QPrinter for the desktop's print
// command, QPdfWriter for the command-line tool. The canvas of each page is
// a QtCanvas in device pixels with its origin at the printable part's
// corner, as Qt's painter on these devices has it.

#include "platform/printer.h"
#include "qt/qt_canvas.h"

#include <QPainter>
#include <QString>

#include <functional>
#include <optional>

class QPagedPaintDevice;
class QPdfWriter;

namespace qtui {

class QtPrintDevice final : public platform::PrintDevice {
public:
  /// `device` must outlive this. `abort` throws a begun document away (a
  /// printer's abort); without one the document is just ended.
  explicit QtPrintDevice(QPagedPaintDevice& device, std::function<void()> abort = {});

  platform::PrinterCaps caps() const override;
  bool beginDocument(std::u16string_view name) override;
  platform::Canvas* beginPage() override;
  bool endPage() override { return m_painter.isActive(); }
  bool endDocument() override;
  void abortDocument() override;

private:
  QPagedPaintDevice& m_device;
  std::function<void()> m_abort;
  QPainter m_painter;
  std::optional<QtCanvas> m_canvas;
  int m_pages = 0;
};

/// A PDF writer for printed pages: A4 paper with 10 mm margins at 600 dots
/// per inch, titled with the document's name.
void setUpPdfWriter(QPdfWriter& writer);

/// A document printed to a file is written beside it and moved over it when
/// complete: a cancelled or failed job leaves no partial document, and an
/// earlier file of that name as it was.
class PrintToFile {
public:
  explicit PrintToFile(QString target) : m_target(std::move(target)) {}
  /// Where the pages are written while the job runs.
  QString partialPath() const { return m_target + QStringLiteral(".part"); }
  const QString& target() const { return m_target; }
  /// Puts the finished document in place; false (and nothing left behind)
  /// when it cannot be moved there.
  [[nodiscard]] bool commit() const;
  void discard() const;

private:
  QString m_target;
};

} // namespace qtui
