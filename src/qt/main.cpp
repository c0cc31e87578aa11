// cellwick [--screenshot PNG] [FILE...]: the desktop program.

#include "qt/app_setup.h"
#include "app/cell_entry.h"
#include "app/frame.h"
#include "qt/main_window.h"
#include "qt/qt_dialog_host.h"
#include "qt/qt_print_services.h"
#include "qt/qt_settings.h"
#include "qt/qt_ui_services.h"
#include "qt/single_instance.h"

#include <memory>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: cellwick [--screenshot PNG] [FILE...]\n"
    "\n"
    "Opens each FILE (.xls, .xlt, .pxl, .csv or .txt) in the desktop spreadsheet, or a\n"
    "new workbook when none is given. When Cellwick already runs on this display, the\n"
    "files open in its window instead.\n"
    "\n"
    "options:\n"
    "  --screenshot PNG  save a picture of the window to PNG once it shows, then exit\n"
    "  --help            show this text\n"
    "  --version         show the version\n";

// Absolute, so the running program that may get it resolves it as we do.
QString commandLinePath(const char* arg) {
  QString path = QFile::decodeName(arg);
  if (path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"'))
    path = path.mid(1, path.size() - 2);
  return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
}

} // namespace

int main(int argc, char** argv) {
  const char* screenshot = nullptr;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
      screenshot = argv[++i];
    else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("cellwick %s\n", CELLWICK_VERSION);
      return 0;
    } else if (std::strncmp(argv[i], "--", 2) == 0) {
      std::fprintf(stderr, "cellwick: unknown option '%s' (try --help)\n", argv[i]);
      return 2;
    } else
      files.push_back(argv[i]);
  }
  if (!qtui::displayAvailable()) {
    std::fputs("cellwick: no display available; set DISPLAY (or run under xvfb-run), "
               "or QT_QPA_PLATFORM=offscreen\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("cellwick"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("cellwick")));
  QStringList paths;
  for (const char* f : files)
    paths << commandLinePath(f);
  // A screenshot run is a tool of its own and never joins a running program.
  const QString socketName = screenshot ? QString() : qtui::instanceSocketName();
  // Files handed over before the window can take them (while the first file
  // loads, or under its error message) wait here.
  std::vector<QStringList> handedEarly;
  qtui::HandedFileOpener* opener = nullptr; // owned by the window
  qtui::InstanceServer instances([&](const QStringList& handed) {
    if (opener)
      opener->enqueue(handed);
    else
      handedEarly.push_back(handed);
  });
  if (qtui::joinRunningProgram(socketName, paths, instances))
    return 0;
  model::WorkbookList books;
  qtui::installAppServices(books);
  qtui::QtUiServices ui;
  platform::setUiServices(&ui);
  auto window = std::make_unique<qtui::MainWindow>(books);
  ui.setParent(window.get());
  ui.onSaveButton = [&](bool) { window->refresh(); };
  qtui::QtDialogHost dialogs(window.get());
  platform::setDialogHost(&dialogs);
  qtui::QtPrintServices printing(window.get());
  platform::setPrintServices(&printing);
  qtui::QtSettingsStore settings;
  window->applyBandLayout(app::load_frame_settings(settings, window->app().bars, window->width()));
  window->app().programDirectory = QCoreApplication::applicationDirPath().toStdU16String();
  // Shown before the first file opens: its Auto_Open question, or a message
  // about the file, then stands over the program's window, not alone.
  window->show();
  // A file that cannot be opened falls back to New.
  app::startup_open(window->app(), paths.isEmpty() ? std::u16string() : paths.front().toStdU16String());
  if (books.count() == 0)
    return 16;
  for (qsizetype i = 1; i < paths.size(); ++i)
    (void)app::open_handed_file(window->app(), paths[i].toStdU16String());
  opener = new qtui::HandedFileOpener(*window);
  for (const QStringList& handed : handedEarly)
    opener->enqueue(handed);
  app::refresh_formula_bar(window->app());
  window->refresh();
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
  // A screenshot run shows the window for a picture; it is no session of
  // the user's, so the user's bar settings stay as they were.
  if (!screenshot)
    app::save_frame_settings(settings, window->bandLayout(), window->app().bars);
  platform::setPrintServices(nullptr);
  platform::setDialogHost(nullptr);
  platform::setUiServices(nullptr);
  return code;
}
