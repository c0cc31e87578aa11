#pragma once
// The desktop program's main window. Qt events become the numbered window
// messages of the application layer (app::main_window_proc and the formula
// bar's procedure); after each message the widgets show the App's state
// again. Menus, the tool bar and accelerators run app::dispatch_command.

#include "app/app.h"
#include "app/bar_settings.h"
#include "model/workbook_list.h"
#include "view/grid_layout.h"

#include <QMainWindow>
#include <QTextLayout>
#include <QWidget>

#include <map>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace qtui {

class MainWindow;
class QtWindowServices;
class ScrollControlWidget;

/// The grid of the active sheet: paints through view::paint and posts the
/// mouse and keyboard as messages.
class GridWidget final : public QWidget {
public:
  GridWidget(MainWindow& window, app::App& app, QWidget* parent);
  /// Recomputes the layout, places the scroll bars and repaints.
  void relayoutAndUpdate();
  const view::GridLayout& layout() const;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool) override { return false; } // Tab belongs to the grid

private:
  void placeScrollBars();

  MainWindow& m_window;
  app::App& m_app;
  ScrollControlWidget* m_vertical;
  ScrollControlWidget* m_horizontal;
};

/// The formula bar: one edit line showing the App's formula-bar text, caret
/// and selection; its keys and clicks go to the formula bar's procedure.
class FormulaBarWidget final : public QWidget {
public:
  FormulaBarWidget(MainWindow& window, app::App& app, QWidget* parent);
  QSize sizeHint() const override;

protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  bool focusNextPrevChild(bool) override { return false; }

public:
  /// The text position a click at window x lands on, in the line shown.
  int positionAt(int x) const;

private:
  struct ShownLine {
    size_t start = 0; // of the line in the bar's text
    QString text;
    int caret = 0; // within the line
  };
  ShownLine shownLine() const;
  QTextLine layOut(QTextLayout& layout, const QString& text) const;
  static constexpr int kTextLeft = 4;

  MainWindow& m_window;
  app::App& m_app;
  mutable int m_scroll = 0; // pixels of the shown line scrolled out at the left
};

class MainWindow final : public QMainWindow {
public:
  explicit MainWindow(model::WorkbookList& books);
  ~MainWindow() override;

  app::App& app() { return *m_app; }
  GridWidget* grid() const { return m_grid; }
  FormulaBarWidget* formulaBar() const { return m_formulaBar; }
  QToolBar* toolBar() const { return m_toolBar; }
  QToolBar* formulaBand() const { return m_formulaBand; }
  /// The menu action of a command identifier, or null.
  QAction* action(int id) const;
  /// Runs a command as the menu would.
  void dispatch_command(int id);
  /// Enables, checks and renames the menu items as the App's state says;
  /// runs when a menu opens.
  void update_menu();
  /// Enables the tool buttons as their rules say, touching them only when
  /// that changed.
  void updateToolButtons();
  /// How often the menus and the tool buttons were brought up to date
  /// (for tests and benchmarks: a mouse move must do neither).
  int menuUpdates() const { return m_menuUpdates; }
  int toolButtonUpdates() const { return m_toolButtonUpdates; }
  /// Posts a message to the main window procedure (or, with `toFormulaBar`,
  /// to the formula bar's) and brings the widgets up to date.
  void post(unsigned msg, app::WParam wParam, app::LParam lParam, bool toFormulaBar = false);
  /// Shows the App's state: title, bars, status texts, grid, focus.
  void refresh();
  /// Puts the two bands in the saved order, each starting a line when its
  /// style says so.
  void applyBandLayout(const app::BarLayout& layout);
  /// The bands as they are now, for saving at exit.
  app::BarLayout bandLayout() const;

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void buildMenus();
  void buildToolBars();
  void buildAccelerators();
  void applyBarVisibility();

  model::WorkbookList& m_books;
  std::unique_ptr<QtWindowServices> m_services;
  std::unique_ptr<app::App> m_app;
  GridWidget* m_grid = nullptr;
  FormulaBarWidget* m_formulaBar = nullptr;
  QToolBar* m_toolBar = nullptr;
  QToolBar* m_formulaBand = nullptr;
  QMenu* m_fileMenu = nullptr;
  QMenu* m_windowMenu = nullptr;
  QAction* m_exitSeparator = nullptr;
  std::map<int, QAction*> m_actions;
  std::map<int, QAction*> m_toolButtons;
  std::vector<QAction*> m_recentActions;
  QLabel* m_statusParts[3] = {};
  bool m_refreshing = false;
  std::uint32_t m_toolButtonMask = 0xFFFFFFFF; // none applied yet
  int m_menuUpdates = 0;
  int m_toolButtonUpdates = 0;
};

} // namespace qtui
