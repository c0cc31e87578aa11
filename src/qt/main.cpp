// cellwick [--screenshot PNG] [file]: the desktop program.

#include "qt/app_setup.h"
#include "qt/main_window.h"

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
  qtui::installAppServices();

  model::WorkbookList books;
  // A file that cannot be opened falls back to a new workbook.
  const bool opened = file && books.open_workbook(QString::fromLocal8Bit(file).toStdU16String(), true);
  if (!opened && !books.new_workbook(nullptr))
    return 16;
  qtui::MainWindow window(books);
  window.refresh();
  window.show();
  if (screenshot) {
    // Give the window a moment to be mapped and painted, then save it.
    QTimer::singleShot(500, &window, [&] {
      const bool saved = window.grab().toImage().save(QString::fromLocal8Bit(screenshot), "PNG");
      if (!saved)
        std::fprintf(stderr, "cellwick: cannot write '%s'\n", screenshot);
      app.exit(saved ? 0 : 1);
    });
  }
  return app.exec();
}
