#include "qt/app_setup.h"

#include "dialogs/prompt_dialog.h"
#include "edit/clipboard.h"
#include "fileformats/open_save.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "macro/interpreter.h"
#include "model/services.h"
#include "model/workbook_list.h"
#include "platform/unicode.h"
#include "qt/raster_canvas.h"
#include "qt/modal.h"
#include "qt/qt_ui_services.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>

#include <cstdlib>
#include <string_view>
#include <vector>

namespace qtui {
namespace {

// The Save As dialog: the seven file types, the suggested name, "xls" by default.
std::optional<fileformats::SaveAsChoice> saveAsDialog(std::u16string_view suggested) {
  QStringList filters;
  for (const fileformats::SaveAsTypeEntry& t : fileformats::kSaveAsTypes)
    filters << QString::fromUtf16(t.label.data(), static_cast<qsizetype>(t.label.size()));
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QStringLiteral("xls"));
  dialog.selectFile(QString::fromUtf16(suggested.data(), static_cast<qsizetype>(suggested.size())));
  if (execModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  const QString path = dialog.selectedFiles().front();
  fileformats::SaveAsChoice choice;
  choice.path = std::u16string(reinterpret_cast<const char16_t*>(path.utf16()), static_cast<size_t>(path.size()));
  choice.filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  if (choice.filterIndex <= 0)
    choice.filterIndex = fileformats::kSaveAsExcel97;
  return choice;
}

// While a macro runs, the window's events are handled now and then so it
// repaints; input is held back (no command may run in the middle of a
// macro) except that Esc is noted as a request to stop.
class MacroInputFilter : public QObject {
public:
  bool escape = false;

protected:
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape)
        escape = true;
      return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::Close:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
    }
  }
};

bool escapePressedDuringMacro() {
  static MacroInputFilter filter;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app)
    return false;
  app->installEventFilter(&filter);
  QCoreApplication::processEvents();
  app->removeEventFilter(&filter);
  const bool asked = filter.escape;
  filter.escape = false;
  return asked;
}

// The question before a workbook's automatic macro runs, with No the default.
bool confirmAutoMacro(std::u16string_view question) {
  QMessageBox box(QMessageBox::Question, QString::fromUtf16(model::kProductName.data(), static_cast<qsizetype>(model::kProductName.size())),
                  QString::fromUtf16(question.data(), static_cast<qsizetype>(question.size())),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  labelStandardButtons(box);
  return execModal(box) == QMessageBox::Yes;
}

std::optional<std::u16string> askMacroInput(std::u16string_view prompt, std::u16string_view title,
                                            std::u16string_view proposed) {
  dialogs::Prompt p;
  p.title = title;
  p.label = prompt;
  p.initialText = proposed;
  return dialogs::askText(p);
}

} // namespace

void installAppServices(model::WorkbookList& books) {
  installAppServices();
  fileformats::installFileServices(books, saveAsDialog);
}

void installAppServices() {
  static bool engine = false;
  if (!engine) {
    engine = true;
    formula::installFormulaEngine();
    installRasterFactory();
    edit::installClipboardServices();
    functions::registerAllFunctions();
    functions::seedRandomFromClock();
    macro::installMacroInterpreter();
    macro::cancelHook() = escapePressedDuringMacro;
    macro::confirmHook() = confirmAutoMacro;
    macro::inputHook() = askMacroInput;
    macro::beepHook() = [] { QApplication::beep(); };
    static QtTextMetrics metrics;
    platform::setTextMetrics(&metrics);
  }
}

bool displayAvailable() {
  const auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  if (set("DISPLAY") || set("WAYLAND_DISPLAY"))
    return true;
  const char* platformName = std::getenv("QT_QPA_PLATFORM");
  const std::string_view p = platformName ? platformName : "";
  return p.starts_with("offscreen") || p.starts_with("minimal") || p.starts_with("vnc") ||
         p.starts_with("eglfs") || p.starts_with("linuxfb");
}

} // namespace qtui
