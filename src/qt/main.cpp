// cellwick [--screenshot PNG] [file]: the desktop program.

#include "qt/app_setup.h"
#include "app/cell_entry.h"
#include "app/frame.h"
#include "qt/main_window.h"
#include "qt/qt_dialog_host.h"
#include "qt/qt_settings.h"
#include "qt/qt_ui_services.h"

#include <memory>

#include <QApplication>
#include <QImage>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const char* screenshot = nullptr;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
      screenshot = argv[++i];
    else if (std::strcmp(argv[i], "--help") == 0) {
      std::puts("usage: cellwick [--screenshot PNG] [file]");
      return 0;
    } else
      file = argv[i];
  }
  if (!qtui::displayAvailable()) {
    std::fputs("cellwick: no display available; set DISPLAY (or run under xvfb-run), "
               "or QT_QPA_PLATFORM=offscreen\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  model::WorkbookList books;
  qtui::installAppServices(books);
  qtui::QtUiServices ui;
  platform::setUiServices(&ui);
  auto window = std::make_unique<qtui::MainWindow>(books);
  ui.setParent(window.get());
  ui.onSaveButton = [&](bool) { window->refresh(); };
  qtui::QtDialogHost dialogs(window.get());
  platform::setDialogHost(&dialogs);
  qtui::QtSettingsStore settings;
  window->applyBandLayout(app::load_frame_settings(settings, window->app().bars, window->width()));
  window->app().programDirectory = QCoreApplication::applicationDirPath().toStdU16String();
  // A file that cannot be opened falls back to New.
  app::startup_open(window->app(), file ? QString::fromLocal8Bit(file).toStdU16String() : std::u16string());
  if (books.count() == 0)
    return 16;
  app::refresh_formula_bar(window->app());
  window->refresh();
  window->show();
  window->activateWindow();
  if (screenshot) {
    // Give the window a moment to be mapped and painted, then save it.
    QTimer::singleShot(500, window.get(), [&] {
      const bool saved = window->grab().toImage().save(QString::fromLocal8Bit(screenshot), "PNG");
      if (!saved)
        std::fprintf(stderr, "cellwick: cannot write '%s'\n", screenshot);
      app.exit(saved ? 0 : 1);
    });
  }
  const int code = app.exec();
  app::save_frame_settings(settings, window->bandLayout(), window->app().bars);
  platform::setDialogHost(nullptr);
  platform::setUiServices(nullptr);
  return code;
}
