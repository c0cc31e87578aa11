#include "qt/main_window.h"

#include "app/frame.h"
#include "charts/chart_model.h"
#include "fileformats/open_save.h"
#include "model/set_cell.h"
#include "model/sheet_list.h"
#include "model/undo.h"
#include "macro/interpreter.h"
#include "qt/app_setup.h"
#include "qt/qt_canvas.h"
#include "qt/qt_dialog_host.h"
#include "qt/qt_print_services.h"
#include "qt/qt_ui_services.h"
#include "printing/print_job.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QGuiApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QImage>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

// Fontconfig and Qt's platform plugin keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\n";
}

namespace qtui {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!std::getenv("QT_QPA_PLATFORM"))
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
      new QApplication(argc, argv);
  }

  MainWindowTest() {
    installAppServices(books);
    EXPECT_TRUE(books.new_workbook(nullptr));
    window = std::make_unique<MainWindow>(books);
    window->resize(640, 480);
    window->show();
    // Keys go to the focus widget of the active window.
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    QApplication::processEvents();
  }

  QImage gridImage() {
    window->grid()->relayoutAndUpdate();
    QImage image(window->grid()->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    window->grid()->render(&image);
    return image;
  }

  model::WorkbookList books;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, MenusCarryTheTextsAndStates) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Cellwick - Book1"));
  QStringList titles;
  for (QAction* a : window->menuBar()->actions())
    titles << a->text();
  EXPECT_EQ(titles.join(u'|'),
            QStringLiteral("文件(&F)|编辑(&E)|插入(&I)|格式(&O)|数据(&D)|窗口(&W)"));
  const struct {
    int id;
    const char16_t* text;
    bool enabled; // built commands only
  } rows[] = {
      {110, u"新建(&N)\tCtrl+N", true},
      {111, u"打开…(&O)\tCtrl+O", true},
      {113, u"保存(&S)\tCtrl+S", true},
      {127, u"退出(&X)", true},
      {134, u"选择性粘贴…(&S)", false}, // nothing copied yet
      {142, u"内容(&C)\tDel", true},
      {146, u"移动/复制工作表…(&M)", true},
      {183, u"椭圆(&O)", true},
      {203, u"网络线(&G)", true},
      {207, u"1&50%", true},
      {210, u"保护…(&P)", true},
      {216, u"工具栏(&T)", true},
      {218, u"状态栏(&S)", true},
      {222, u"自动筛选(&A)", true},
      {225, u"单变量求解…(&G)", true},
  };
  for (const auto& row : rows) {
    QAction* a = window->action(row.id);
    ASSERT_NE(a, nullptr) << row.id;
    EXPECT_EQ(a->text(), QString::fromUtf16(row.text)) << row.id;
    EXPECT_EQ(a->isEnabled(), row.enabled) << row.id;
  }
  // Every command identifier of the menu ranges is present.
  for (int id : {112, 114, 117, 130, 139, 145, 149, 160, 169, 172, 180, 184, 190, 199, 202, 212,
                 219, 220, 221})
    EXPECT_NE(window->action(id), nullptr) << id;
}

TEST_F(MainWindowTest, GridPaintsIntoAnImage) {
  model::Workbook& book = *books.active();
  model::CellFormat red = book.cellFormats[15];
  red.fillPattern = 1;
  red.patternColour = 2;
  book.cellFormats.push_back(red);
  const auto redFormat = static_cast<std::uint16_t>(book.cellFormats.size() - 1);
  ASSERT_TRUE(model::set_cell(book, 0, 1, 1, u"", redFormat, false, false));
  book.active().cells.findOrInsert(1, 1)->formatIndex = redFormat;

  QImage image = gridImage();
  const view::GridLayout& g = window->grid()->layout();
  ASSERT_GT(g.headerHeight, 0);
  ASSERT_GT(g.rowHeaderWidth, 0);
  const int columnWidth = model::column_px(book.active(), 0, g.scale);
  const int rowHeight = model::row_px(book.active(), 0, g.scale);
  const auto at = [&](int column, int row) {
    return image.pixelColor(g.cells.left + column * columnWidth + columnWidth / 2,
                            g.cells.top + row * rowHeight + rowHeight / 2);
  };
  // Header band grey; A1 active (its own white, framed); B2 red; C3 white.
  EXPECT_EQ(image.pixelColor(g.cells.left + 3, g.grid.top + 3), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(at(0, 0), QColor(255, 255, 255));
  EXPECT_EQ(image.pixelColor(g.cells.left, g.cells.top + 5), QColor(0, 0, 0)); // the frame
  EXPECT_EQ(image.pixelColor(g.cells.left + 1, g.cells.top + 5), QColor(0, 0, 0));
  EXPECT_EQ(at(1, 1), QColor(255, 0, 0));
  EXPECT_EQ(at(2, 2), QColor(255, 255, 255));

  // Selected with A1 active, the red cell turns cyan and A1 keeps its white.
  book.active().selectionLast = 1u | 1u << 16;
  image = gridImage();
  EXPECT_EQ(at(1, 1), QColor(0, 255, 255));
  EXPECT_EQ(at(0, 0), QColor(255, 255, 255));
  EXPECT_EQ(at(1, 0), QColor(0, 0, 0)); // A2: a plain selected cell is inverted
}

TEST_F(MainWindowTest, ZoomCommandDoublesTheGrid) {
  const int before = window->grid()->layout().scale.standardCharWidthPx;
  window->dispatch_command(208);
  EXPECT_EQ(books.active()->active().zoom, 200);
  EXPECT_EQ(window->grid()->layout().scale.standardCharWidthPx, platform::mulDiv(before, 200, 100));
  window->update_menu(); // as the menu does when it opens
  EXPECT_TRUE(window->action(208)->isChecked());
  // A Window item past the open workbooks does nothing.
  window->dispatch_command(230 + 5);
  EXPECT_EQ(books.count(), 1);
}

TEST_F(MainWindowTest, TextDrawnBetweenLinesLeavesTheLinePen) {
  QImage image(60, 40, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QtCanvas canvas(painter);
  canvas.setClip({0, 0, 60, 40});
  canvas.setPen(platform::Pen{platform::PenStyle::Solid, 1, 0x0000FF}); // red
  // Inside its box and clipped at its edge: both ways must give the pen back.
  canvas.drawText(u"ab", platform::FontSpec{}, 0xFF0000, {0, 0, 60, 20}, 0, {0, 0, 60, 20});
  canvas.drawLine({0, 25}, {60, 25});
  canvas.drawText(u"a long text", platform::FontSpec{}, 0xFF0000, {0, 0, 10, 20}, 0, {0, 0, 10, 20});
  canvas.drawLine({0, 35}, {60, 35});
  painter.end();
  EXPECT_EQ(image.pixelColor(30, 25), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(30, 35), QColor(255, 0, 0));
}

TEST_F(MainWindowTest, TheOwnScrollControlScrollsTheGrid) {
  window->grid()->relayoutAndUpdate();
  const view::GridLayout& g = window->grid()->layout();
  ASSERT_FALSE(g.verticalScroll.isEmpty());
  QWidget* bar = window->grid()->childAt(g.verticalScroll.left + 2, g.verticalScroll.bottom - 3);
  ASSERT_NE(bar, nullptr);
  const QPoint downArrow = bar->mapFrom(window->grid(), QPoint(g.verticalScroll.left + 8, g.verticalScroll.bottom - 4));
  QMouseEvent press(QEvent::MouseButtonPress, downArrow, bar->mapToGlobal(downArrow), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, downArrow, bar->mapToGlobal(downArrow), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(bar, &release);
  EXPECT_EQ(books.active()->active().topRow, 1);
  EXPECT_EQ(books.active()->active().activeRow, 0); // scrolling leaves the active cell
}

void sendKey(QWidget* target, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(target, &press);
}

TEST_F(MainWindowTest, TypingIntoTheGridStoresTheCell) {
  QWidget* grid = window->grid();
  grid->setFocus();
  for (QChar ch : QStringLiteral("=6*7"))
    sendKey(QApplication::focusWidget() ? QApplication::focusWidget() : grid, 0, QString(ch));
  EXPECT_EQ(window->app().editMode, app::EditMode::Entry);
  EXPECT_EQ(window->app().formulaBar.text, u"=6*7");
  // The entry continues in the formula bar, where Enter commits.
  sendKey(window->formulaBar(), Qt::Key_Return, QStringLiteral("\r"));
  const model::CellRecord* a1 = model::cell_at(books.active()->active(), 0, 0);
  ASSERT_NE(a1, nullptr);
  EXPECT_EQ(a1->input.view(), u"=6*7");
  EXPECT_DOUBLE_EQ(a1->value.numberValue(), 42);
  EXPECT_EQ(books.active()->active().activeRow, 1);
  // The arrow keys move the active cell; the formula bar shows its input.
  sendKey(grid, Qt::Key_Up, QString());
  EXPECT_EQ(window->app().formulaBar.text, u"=6*7");
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Cellwick - Book1"));
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
  QMouseEvent e(type, at, target->mapToGlobal(at), button,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
  QApplication::sendEvent(target, &e);
}

// The key goes where the keyboard focus is, as the window system sends it.
void pressKey(int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* target = QApplication::focusWidget();
  ASSERT_NE(target, nullptr);
  sendKey(target, key, text, mods);
}

/// Answers the next `count` modal windows with `key`, sent where the window
/// system sends it: the modal's focus widget. Counts the windows it closed.
void answerModals(int key, const QString& text, int count, int& closed, int patience = 100) {
  QTimer::singleShot(0, [=, &closed] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      if (patience > 0)
        answerModals(key, text, count, closed, patience - 1); // not showing yet
      return;
    }
    sendKey(modal->focusWidget() ? modal->focusWidget() : modal, key, text);
    if (modal->isVisible())
      return; // the key did not close it: the test's check on `closed` fails
    ++closed;
    if (count > 1)
      answerModals(key, text, count - 1, closed);
  });
}

// Whatever the modal and however it closes, the keys typed next reach the
// grid, as they did before it opened.
TEST_F(MainWindowTest, TheGridHasTheKeysAgainWhenAModalCloses) {
  QtDialogHost dialogs(window.get());
  const platform::ScopedDialogHost dialogScope(dialogs);
  QtUiServices boxes(window.get());
  const platform::ScopedUiServices boxScope(boxes);
  const struct {
    const char* what;
    int command;
    bool lastRowFull; // leaves no room to insert: a message box refuses
    int key;
    int modals;
  } cases[] = {
      {"Insert dialog, Enter", 160, false, Qt::Key_Return, 1},
      {"Insert dialog, Escape", 160, false, Qt::Key_Escape, 1},
      {"refusal box, Enter", 161, true, Qt::Key_Return, 1},
      {"Insert dialog, then its refusal box", 160, true, Qt::Key_Return, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    model::Sheet& s = books.active()->active();
    if (c.lastRowFull) { // the cases that need room come first
      ASSERT_TRUE(model::set_cell(*books.active(), 0, model::kMaxRow, 0, u"last", 15, false, false));
    }
    s.activeRow = 0;
    s.activeColumn = 0;
    s.selectionFirst = s.selectionLast = model::packCell(0, 0);
    QApplication::setActiveWindow(window.get()); // whatever the case before left
    window->grid()->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), window->grid());

    int closed = 0;
    const QString text = c.key == Qt::Key_Return ? QStringLiteral("\r") : QStringLiteral("\x1b");
    answerModals(c.key, text, c.modals, closed);
    window->action(c.command)->trigger();
    EXPECT_EQ(closed, c.modals);
    QApplication::processEvents(); // what the window system says comes in the event loop

    EXPECT_EQ(QApplication::activeWindow(), window.get());
    pressKey(Qt::Key_Down, QString());
    EXPECT_EQ(s.activeRow, 1) << "the arrow key moved the active cell";
    pressKey(Qt::Key_7, QStringLiteral("7"));
    EXPECT_EQ(window->app().formulaBar.text, u"7") << "the typed digit started an entry";
    if (QApplication::focusWidget())
      pressKey(Qt::Key_Escape, QStringLiteral("\x1b"));
  }
}

TEST_F(MainWindowTest, EnterAfterAPointModeClickMovesOnce) {
  QWidget* grid = window->grid();
  grid->setFocus();
  window->app().relayout();
  const view::GridLayout& g = window->app().layout;
  model::Sheet& s = books.active()->active();
  s.activeRow = 1;
  s.activeColumn = 3; // D2
  s.selectionFirst = s.selectionLast = model::packCell(1, 3);
  pressKey(Qt::Key_Equal, QStringLiteral("="));
  const platform::Rect a3 = view::cellRect(s, g, 2, 0);
  const QPoint at((a3.left + a3.right) / 2, (a3.top + a3.bottom) / 2);
  // The click focuses the grid, as a press on a widget with click focus does.
  grid->setFocus(Qt::MouseFocusReason);
  sendMouse(grid, QEvent::MouseButtonPress, at);
  sendMouse(grid, QEvent::MouseButtonRelease, at);
  EXPECT_EQ(window->app().formulaBar.text, u"=A3");
  pressKey(Qt::Key_Return, QStringLiteral("\r"));
  const model::CellRecord* d2 = model::cell_at(s, 1, 3);
  ASSERT_NE(d2, nullptr);
  EXPECT_EQ(d2->input.view(), u"=A3");
  EXPECT_EQ(s.activeRow, 2) << "D3, one row below the entry";
  EXPECT_EQ(s.activeColumn, 3);
}

TEST_F(MainWindowTest, DeleteAndCtrlLettersTypeNothingIntoTheGrid) {
  window->grid()->setFocus();
  pressKey(Qt::Key_A, QStringLiteral("a"));
  pressKey(Qt::Key_Return, QStringLiteral("\r"));
  pressKey(Qt::Key_Up, QString());
  // X11 sends the Delete key with the DEL character.
  pressKey(Qt::Key_Delete, QStringLiteral("\x7f"));
  EXPECT_EQ(window->app().editMode, app::EditMode::None);
  const model::CellRecord* a1 = model::cell_at(books.active()->active(), 0, 0);
  EXPECT_TRUE(!a1 || a1->input.view().empty());
  // Ctrl+J and Ctrl+M come with a line feed and a carriage return.
  pressKey(Qt::Key_J, QStringLiteral("\n"), Qt::ControlModifier);
  pressKey(Qt::Key_M, QStringLiteral("\r"), Qt::ControlModifier);
  EXPECT_EQ(books.active()->active().activeRow, 0);
  EXPECT_EQ(window->app().editMode, app::EditMode::None);
}

TEST_F(MainWindowTest, TheKeypadDecimalStartsAnEntry) {
  window->grid()->setFocus();
  pressKey(Qt::Key_Period, QStringLiteral("."), Qt::KeypadModifier);
  pressKey(Qt::Key_5, QStringLiteral("5"));
  EXPECT_EQ(window->app().formulaBar.text, u".5");
  pressKey(Qt::Key_Enter, QStringLiteral("\r"), Qt::KeypadModifier);
  const model::CellRecord* a1 = model::cell_at(books.active()->active(), 0, 0);
  ASSERT_NE(a1, nullptr);
  EXPECT_DOUBLE_EQ(a1->value.numberValue(), 0.5);
}

TEST_F(MainWindowTest, AMouseMoveBuildsNoMenuAndTouchesNoButton) {
  model::undoList().clear();
  window->grid()->relayoutAndUpdate();
  sendMouse(window->grid(), QEvent::MouseMove, QPoint(90, 110), Qt::NoButton); // the buttons see the empty list
  const int menus = window->menuUpdates();
  const int buttons = window->toolButtonUpdates();
  for (int i = 0; i < 20; ++i)
    sendMouse(window->grid(), QEvent::MouseMove, QPoint(100 + i * 7, 120 + i), Qt::NoButton);
  EXPECT_EQ(window->menuUpdates(), menus);
  EXPECT_EQ(window->toolButtonUpdates(), buttons);
  // Opening a menu builds its state; the tool bar follows when its state changes.
  QMenu* edit = window->menuBar()->actions().at(1)->menu();
  ASSERT_NE(edit, nullptr);
  Q_EMIT edit->aboutToShow();
  EXPECT_EQ(window->menuUpdates(), menus + 1);
  window->grid()->setFocus();
  pressKey(Qt::Key_A, QStringLiteral("a"));
  pressKey(Qt::Key_Return, QStringLiteral("\r")); // the commit makes Undo available
  EXPECT_EQ(window->toolButtonUpdates(), buttons + 1);
  model::undoList().clear();
}

TEST_F(MainWindowTest, EveryToolButtonHasAnIconAndItsTip) {
  int buttons = 0;
  for (QAction* a : window->toolBar()->actions()) {
    if (a->isSeparator())
      continue;
    ++buttons;
    EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
    EXPECT_FALSE(a->icon().pixmap(16, 16).toImage().isNull());
    EXPECT_FALSE(a->toolTip().isEmpty());
  }
  EXPECT_EQ(buttons, 9);
  const QStringList tips = [&] {
    QStringList t;
    for (QAction* a : window->toolBar()->actions())
      if (!a->isSeparator())
        t << a->toolTip();
    return t;
  }();
  EXPECT_EQ(tips.join(u'|'), QStringLiteral("新建|打开|保存|剪切|复制|粘贴|撤消|自动求和|粘贴函数"));
}

TEST_F(MainWindowTest, AClickInAScrolledFormulaLandsUnderTheMouse) {
  window->grid()->setFocus();
  FormulaBarWidget* bar = window->formulaBar();
  app::App& a = window->app();
  a.editMode = app::EditMode::Edit;
  a.formulaBar.text = u"=1+" + std::u16string(3000, u'9');
  a.formulaBar.caret = a.formulaBar.anchor = static_cast<int>(a.formulaBar.text.size());
  bar->setFocus();
  (void)bar->grab(); // a paint scrolls the caret into view
  const QFontMetrics fm = bar->fontMetrics();
  const QString shown = QString::fromUtf16(a.formulaBar.text.data(), static_cast<qsizetype>(a.formulaBar.text.size()));
  const double total = fm.horizontalAdvance(shown);
  const double perCharacter = total / static_cast<double>(shown.size()); // digits are all as wide
  const double scroll = total - (bar->width() - 10);
  // A click 30 pixels into the bar lands some 2,900 digits in, where the
  // scrolled text shows, not near the start.
  const int at = bar->positionAt(4 + 30);
  EXPECT_NEAR(at, (scroll + 30) / perCharacter, 2);
  EXPECT_GT(at, 2800);
  // With line feeds the click lands in the caret's line.
  a.formulaBar.text = u"first line\nsecond";
  a.formulaBar.caret = a.formulaBar.anchor = 14;
  (void)bar->grab();
  EXPECT_EQ(bar->positionAt(4), 11);
  EXPECT_EQ(bar->positionAt(bar->width() - 4), 17);
}

TEST_F(MainWindowTest, MessageBoxButtonsSpeakTheProgramsLanguage) {
  QtUiServices boxes(window.get());
  const struct {
    platform::MessageButtons buttons;
    QStringList texts;
  } cases[] = {
      {platform::MessageButtons::Ok, {QStringLiteral("确定")}},
      {platform::MessageButtons::OkCancel, {QStringLiteral("确定"), QStringLiteral("取消")}},
      {platform::MessageButtons::YesNo, {QStringLiteral("是"), QStringLiteral("否")}},
      {platform::MessageButtons::YesNoCancel, {QStringLiteral("是"), QStringLiteral("否"), QStringLiteral("取消")}},
      {platform::MessageButtons::RetryCancel, {QStringLiteral("重试"), QStringLiteral("取消")}},
  };
  for (const auto& c : cases) {
    QStringList seen;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box)
        return;
      for (QAbstractButton* b : box->buttons())
        seen << b->text();
      box->reject();
    });
    (void)boxes.messageBox(u"?", std::nullopt, c.buttons, platform::MessageIcon::Question);
    seen.sort();
    QStringList wanted = c.texts;
    wanted.sort();
    EXPECT_EQ(seen, wanted);
  }
}

TEST_F(MainWindowTest, TheAutoMacroQuestionSpeaksTheProgramsLanguageWithNoFirst) {
  QStringList seen;
  QString chosen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box)
      return;
    for (QAbstractButton* b : box->buttons())
      seen << b->text();
    if (box->defaultButton())
      chosen = box->defaultButton()->text();
    box->reject();
  });
  EXPECT_FALSE(macro::confirmHook()(u"此工作簿包含自动运行的宏“Auto_Open”。是否运行？"));
  seen.sort();
  EXPECT_EQ(seen, (QStringList{QStringLiteral("否"), QStringLiteral("是")}));
  EXPECT_EQ(chosen, QStringLiteral("否"));
}

TEST_F(MainWindowTest, ThePrintProgressBoxIsModalAndItsCancelButtonStopsTheJob) {
  QtPrintServices printing(window.get());
  printing.beginPrintProgress(u"打印", u"取消");
  QDialog* box = printing.progressBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->windowTitle(), QStringLiteral("打印"));
  EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
  EXPECT_TRUE(printing.printProgress(u"正在打印第 1 页…"));
  ASSERT_NE(box->findChild<QLabel*>(), nullptr);
  EXPECT_EQ(box->findChild<QLabel*>()->text(), QStringLiteral("正在打印第 1 页…"));
  QPushButton* cancel = box->findChild<QPushButton*>();
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
  cancel->click();
  EXPECT_FALSE(printing.printProgress(u"正在打印第 2 页…"));
  printing.endPrintProgress();
  EXPECT_EQ(printing.progressBox(), nullptr);
}

TEST_F(MainWindowTest, AChartSheetSavedAsABitmapIsTheChartAreaOfTheWindow) {
  model::Workbook& book = *books.active();
  ASSERT_TRUE(model::insert_sheet(book, 1, std::nullopt, model::SheetKind::Chart, false));
  charts::ChartModel chart;
  chart.title = u"Totals";
  charts::setSheetChart(book.sheet(1), chart);
  book.modified = 0;
  window->grid()->relayoutAndUpdate();
  const platform::Rect area = window->grid()->layout().grid;
  ASSERT_FALSE(area.isEmpty());
  const std::optional<platform::Bitmap> picture = app::chart_sheet_picture(window->app(), book);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->width, area.width());
  EXPECT_EQ(picture->height, area.height());
  // The title is drawn in black on the white chart area.
  int dark = 0;
  for (std::uint32_t p : picture->pixels)
    dark += (p & 0xFFFFFF) < 0x404040;
  EXPECT_GT(dark, 10);
  const QString dir = QDir::tempPath() + QStringLiteral("/cellwick-bmp-") + QString::number(QCoreApplication::applicationPid());
  ASSERT_TRUE(QDir().mkpath(dir));
  const QString file = dir + QStringLiteral("/chart.bmp");
  ASSERT_TRUE(fileformats::saveWorkbookFile(books, file.toStdU16String(), true));
  const int stride = (area.width() + 3) / 4 * 4;
  EXPECT_EQ(QFileInfo(file).size(), 310 + static_cast<qint64>(stride) * area.height());
  EXPECT_EQ(book.modified, 0);
  QDir(dir).removeRecursively();
}

TEST_F(MainWindowTest, CopyOnAChartPutsItsPictureOnTheClipboard) {
  model::Workbook& book = *books.active();
  charts::ChartModel chart;
  chart.title = u"Totals";
  // An embedded chart over B2:E12, selected.
  model::DrawingObject object;
  object.kind = model::kObjectChart;
  object.anchor = {{1, 0, 1, 0}, {4, 0, 11, 0}};
  object.payload.reset(std::make_unique<charts::ChartPayload>(chart));
  model::Sheet& sheet = book.sheet(0);
  sheet.objects.push_back(std::move(object));
  sheet.selectedObject = 0;
  const platform::Rect r = model::anchorToPixels(sheet, sheet.objects[0].anchor, model::unzoomedScale());
  QGuiApplication::clipboard()->clear();
  window->dispatch_command(132);
  QImage copied = QGuiApplication::clipboard()->image();
  EXPECT_EQ(copied.size(), QSize(r.width(), r.height()));
  // Pasting it back into the sheet still makes an object of it.
  window->dispatch_command(133);
  EXPECT_EQ(sheet.objects.size(), 2u);
  // A chart sheet copies the chart area as the window shows it.
  ASSERT_TRUE(model::insert_sheet(book, 1, std::nullopt, model::SheetKind::Chart, false));
  charts::setSheetChart(book.sheet(1), chart);
  book.activeSheet = 1;
  window->grid()->relayoutAndUpdate();
  const platform::Rect area = window->grid()->layout().grid;
  ASSERT_FALSE(area.isEmpty());
  QGuiApplication::clipboard()->clear();
  window->dispatch_command(132);
  copied = QGuiApplication::clipboard()->image();
  EXPECT_EQ(copied.size(), QSize(area.width(), area.height()));
  // The title is drawn in black on the white chart.
  int dark = 0;
  for (int y = 0; y < copied.height(); ++y)
    for (int x = 0; x < copied.width(); ++x)
      dark += qGray(copied.pixel(x, y)) < 64;
  EXPECT_GT(dark, 10);
}

TEST_F(MainWindowTest, PrintingToAFileLeavesNoPartialDocumentWhenCancelled) {
  for (int r = 0; r < 200; ++r)
    ASSERT_TRUE(model::set_cell(*books.active(), 0, static_cast<std::uint16_t>(r), 0, u"x", 15, false, false));
  const QString dir = QDir::tempPath() + QStringLiteral("/cellwick-print-") + QString::number(QCoreApplication::applicationPid());
  ASSERT_TRUE(QDir().mkpath(dir));
  const QString path = dir + QStringLiteral("/out.pdf");
  auto print = [&](int cancelAtPage) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    std::unique_ptr<platform::PrintDevice> device = printerDevice(std::move(printer));
    return printing::printSheet(*device, *books.active(), 0, printing::PrintRange::All, 96, 96,
                                [&](int page, int) { return page != cancelAtPage; });
  };
  auto contents = [&] {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  {
    QFile earlier(path);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
  }
  const printing::PrintOutcome cancelled = print(3);
  EXPECT_EQ(cancelled.status, printing::PrintOutcome::Status::Cancelled);
  EXPECT_EQ(cancelled.pages, 2);
  EXPECT_EQ(contents(), QByteArray("earlier")) << "the earlier file is kept";
  EXPECT_FALSE(QFile::exists(path + QStringLiteral(".part")));
  const printing::PrintOutcome done = print(-1);
  EXPECT_EQ(done.status, printing::PrintOutcome::Status::Printed);
  EXPECT_GE(done.pages, 3);
  EXPECT_TRUE(contents().startsWith("%PDF-"));
  EXPECT_FALSE(QFile::exists(path + QStringLiteral(".part")));
  QDir(dir).removeRecursively();

  // A folder that is gone: the job fails, and the file named to the user is
  // the one asked for, not the partial one.
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(path);
  std::unique_ptr<platform::PrintDevice> device = printerDevice(std::move(printer));
  EXPECT_EQ(printing::printSheet(*device, *books.active(), 0, printing::PrintRange::All, 96, 96, {}).status,
            printing::PrintOutcome::Status::Failed);
  EXPECT_EQ(device->outputFile(), path.toStdU16String());
}

} // namespace
} // namespace qtui
