#pragma once
// What the desktop program installs before its first window: the formula
// engine and functions, the binary workbook reader behind File Open, and
// the Qt text metrics. Shared by main() and the front-end tests.

#include "model/workbook_list.h"
#include "qt/qt_canvas.h"

namespace qtui {

/// Needs a running QApplication. The engine is installed once; the file
/// services follow the workbook list given last.
void installAppServices(model::WorkbookList& books);
/// The engine and the text metrics only (widgets without workbooks).
void installAppServices();

/// Whether Qt can find a screen: a display, a Wayland display, or a
/// headless platform plugin named in QT_QPA_PLATFORM.
bool displayAvailable();

} // namespace qtui
