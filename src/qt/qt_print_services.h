#pragma once
// The print dialog and the print job's progress box for the desktop
// program: QPrintDialog over a QPrinter (a printer or a PDF file), and a
// small modal box with the page being printed and a cancel button.

#include "platform/printer.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QPrinter;
class QWidget;

namespace qtui {

/// The print job's device for a printer the dialog set up.
std::unique_ptr<platform::PrintDevice> printerDevice(std::unique_ptr<QPrinter> printer);

class QtPrintServices final : public platform::PrintServices {
public:
  explicit QtPrintServices(QWidget* parent = nullptr) : m_parent(parent) {}
  ~QtPrintServices() override;

  void setParent(QWidget* parent) { m_parent = parent; }

  std::unique_ptr<platform::PrintDevice> askPrinter(bool& selectionOnly) override;
  void beginPrintProgress(std::u16string_view caption, std::u16string_view cancel) override;
  bool printProgress(std::u16string_view text) override;
  void endPrintProgress() override;

  /// The progress box while a job runs (for tests), else null.
  QDialog* progressBox() const { return m_box; }

private:
  QWidget* m_parent;
  QPointer<QDialog> m_box;
  QLabel* m_label = nullptr;
  bool m_cancelled = false;
};

} // namespace qtui
