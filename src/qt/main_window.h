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

private:
  int positionAt(int x) const;

  MainWindow& m_window;
  app::App& m_app;
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
  /// Enables, checks and renames the menu items as the App's state says.
  void update_menu();
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
};

} // namespace qtui
