#pragma once
// The desktop program's main window: the menu bar built from the menu
// table, the grid of the active sheet with its scroll bars, and the status
// bar. Commands whose parts are not built yet stay disabled.

#include "model/workbook_list.h"
#include "view/grid_layout.h"

#include <QMainWindow>
#include <QWidget>

#include <map>

class QAction;
class QLabel;
class QMenu;
class QScrollBar;

namespace qtui {

/// Paints the active sheet of the active workbook through view::paint.
class GridWidget final : public QWidget {
public:
  GridWidget(model::WorkbookList& books, QWidget* parent);
  /// Recomputes the layout, places the scroll bars and repaints.
  void relayoutAndUpdate();
  const view::GridLayout& layout() const { return m_layout; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

private:
  view::GridLayout computeLayout();

  model::WorkbookList& m_books;
  view::GridLayout m_layout;
  QScrollBar* m_vertical;
  QScrollBar* m_horizontal;
  bool m_updatingBars = false;
};

class MainWindow final : public QMainWindow {
public:
  explicit MainWindow(model::WorkbookList& books);

  GridWidget* grid() const { return m_grid; }
  /// The action of a command identifier, or null.
  QAction* action(int id) const;
  void dispatch_command(int id);
  /// Enables, checks and renames the items as the workbook's state says.
  void update_menu();
  void refresh();

private:
  void buildMenus();
  void openDialog();

  model::WorkbookList& m_books;
  GridWidget* m_grid;
  QMenu* m_windowMenu = nullptr;
  std::map<int, QAction*> m_actions;
  QLabel* m_statusParts[3] = {};
};

} // namespace qtui
