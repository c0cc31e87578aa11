#include "qt/app_setup.h"

#include "edit/clipboard.h"
#include "fileformats/open_save.h"
#include "formula/recalc.h"
#include "functions/families.h"
#include "model/services.h"
#include "model/workbook_list.h"
#include "platform/unicode.h"
#include "qt/modal.h"

#include <QApplication>
#include <QFileDialog>

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
    edit::installClipboardServices();
    functions::registerAllFunctions();
    functions::seedRandomFromClock();
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
