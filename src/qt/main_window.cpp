#include "qt/main_window.h"

#include "platform/unicode.h"
#include "app/menu_table.h"
#include "qt/qt_canvas.h"
#include "view/grid_painter.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QWheelEvent>

#include <algorithm>
#include <set>

namespace qtui {
namespace {

QString qStringOf(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string u16Of(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
}

// Commands this window carries out; every other item stays disabled.
const std::set<int> kBuiltCommands = {110, 111, 127, 203, 204, 205, 206, 207, 208,
                                      211, 213, 214, 215, 218};

constexpr int kScrollBarSize = 17;

} // namespace

GridWidget::GridWidget(model::WorkbookList& books, QWidget* parent)
    : QWidget(parent), m_books(books), m_vertical(new QScrollBar(Qt::Vertical, this)),
      m_horizontal(new QScrollBar(Qt::Horizontal, this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
  QObject::connect(m_vertical, &QScrollBar::valueChanged, this, [this](int value) {
    model::Workbook* book = m_books.active();
    if (m_updatingBars || !book || book->sheetCount() == 0)
      return;
    book->active().topRow = static_cast<std::uint16_t>(std::clamp(value, 0, model::kMaxRow));
    relayoutAndUpdate();
  });
  QObject::connect(m_horizontal, &QScrollBar::valueChanged, this, [this](int value) {
    model::Workbook* book = m_books.active();
    if (m_updatingBars || !book || book->sheetCount() == 0)
      return;
    book->active().leftColumn = static_cast<std::uint8_t>(std::clamp(value, 0, model::kMaxColumn));
    relayoutAndUpdate();
  });
}

view::GridLayout GridWidget::computeLayout() {
  model::Workbook* book = m_books.active();
  view::LayoutInput in{{0, 0, width(), height()}, 0, 0, kScrollBarSize, kScrollBarSize};
  if (!book) {
    view::GridLayout none;
    none.client = in.client;
    return none;
  }
  return view::relayout(*book, in);
}

void GridWidget::relayoutAndUpdate() {
  m_layout = computeLayout();
  const auto place = [this](QScrollBar* bar, const platform::Rect& r, const view::ScrollRange& range) {
    bar->setVisible(!r.isEmpty());
    if (r.isEmpty())
      return;
    bar->setGeometry(r.left, r.top, r.width(), r.height());
    m_updatingBars = true;
    // The range's maximum counts the page in; Qt's does not.
    bar->setRange(range.minimum, std::max(range.minimum, range.maximum - range.page));
    bar->setPageStep(range.page);
    bar->setValue(range.position);
    m_updatingBars = false;
  };
  place(m_vertical, m_layout.verticalScroll, m_layout.vertical);
  place(m_horizontal, m_layout.horizontalScroll, m_layout.horizontal);
  update();
}

void GridWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  QtCanvas canvas(painter);
  model::Workbook* book = m_books.active();
  const QRect r = event->rect();
  const platform::Rect damaged{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
  if (!book) {
    painter.fillRect(r, QColor(0x80, 0x80, 0x80));
    return;
  }
  m_layout = computeLayout();
  const int wasCircular = book->circular;
  view::paint(canvas, *book, m_layout, damaged);
  // The mark lives in the corner box, which a partial repaint may have missed.
  if (wasCircular != book->circular && m_layout.headerHeight > 0)
    update(m_layout.grid.left, m_layout.grid.top, m_layout.rowHeaderWidth, m_layout.headerHeight);
}

void GridWidget::resizeEvent(QResizeEvent*) { relayoutAndUpdate(); }

void GridWidget::wheelEvent(QWheelEvent* event) {
  const int steps = -event->angleDelta().y() / 40;
  if (steps != 0 && m_vertical->isVisible())
    m_vertical->setValue(m_vertical->value() + steps);
}

MainWindow::MainWindow(model::WorkbookList& books) : m_books(books), m_grid(new GridWidget(books, this)) {
  setCentralWidget(m_grid);
  buildMenus();
  for (QLabel*& part : m_statusParts) {
    part = new QLabel(this);
    statusBar()->addWidget(part, part == m_statusParts[0] ? 1 : 0);
  }
  resize(900, 640);
  refresh();
}

void MainWindow::buildMenus() {
  std::vector<QMenu*> stack;
  for (const app::MenuEntry& e : app::kMainMenu) {
    switch (e.kind) {
    case app::MenuEntry::Popup: {
      QMenu* menu = stack.empty() ? menuBar()->addMenu(qStringOf(e.text))
                                  : stack.back()->addMenu(qStringOf(e.text));
      QObject::connect(menu, &QMenu::aboutToShow, this, [this] { update_menu(); });
      stack.push_back(menu);
      break;
    }
    case app::MenuEntry::Item: {
      QAction* a = stack.back()->addAction(qStringOf(e.text));
      a->setData(e.id);
      a->setCheckable(e.id >= 203 && e.id <= 218 && e.id != 209 && e.id != 210 && e.id != 212);
      const int id = e.id;
      QObject::connect(a, &QAction::triggered, this, [this, id] { dispatch_command(id); });
      m_actions[e.id] = a;
      break;
    }
    case app::MenuEntry::Separator:
      stack.back()->addSeparator();
      break;
    case app::MenuEntry::End:
      if (stack.size() == 1 && stack.back()->title() == QStringLiteral("窗口(&W)"))
        m_windowMenu = stack.back();
      stack.pop_back();
      break;
    }
  }
  update_menu();
}

QAction* MainWindow::action(int id) const {
  const auto it = m_actions.find(id);
  return it == m_actions.end() ? nullptr : it->second;
}

void MainWindow::update_menu() {
  model::Workbook* book = m_books.active();
  const bool gridSheet = book && book->sheetCount() > 0 && book->active().hasGrid();
  for (const auto& [id, a] : m_actions) {
    bool enabled = kBuiltCommands.count(id) != 0;
    if (id >= 203 && id <= 215)
      enabled = enabled && (id >= 213 ? book != nullptr : gridSheet);
    a->setEnabled(enabled);
  }
  if (gridSheet) {
    const model::Sheet& s = book->active();
    action(203)->setChecked(s.flags & model::kSheetShowGridlines);
    action(204)->setChecked(s.flags & model::kSheetShowHeaders);
    action(211)->setChecked(s.flags & model::kSheetShowFormulas);
    const int zooms[] = {75, 100, 150, 200};
    for (int i = 0; i < 4; ++i)
      action(205 + i)->setChecked(s.zoom == zooms[i]);
  }
  if (book) {
    action(213)->setChecked(book->showVerticalScrollBar);
    action(214)->setChecked(book->showHorizontalScrollBar);
    action(215)->setChecked(book->showSheetTabs);
  }
  action(218)->setChecked(statusBar()->isVisible());
  if (m_windowMenu) {
    m_windowMenu->clear();
    for (int i = 0; i < m_books.count(); ++i) {
      QAction* a = m_windowMenu->addAction(
          QStringLiteral("&%1 %2").arg(i + 1).arg(qStringOf(model::fileNamePart(m_books.at(i).path))));
      a->setCheckable(true);
      a->setChecked(i == m_books.activeIndex());
      const int id = app::kFirstWindowCommand + i;
      QObject::connect(a, &QAction::triggered, this, [this, id] { dispatch_command(id); });
    }
  }
}

void MainWindow::refresh() {
  setWindowTitle(qStringOf(m_books.windowTitle()));
  update_menu();
  m_grid->relayoutAndUpdate();
}

void MainWindow::openDialog() {
  const QString path = QFileDialog::getOpenFileName(
      this, QString(), QString(), QStringLiteral("Excel 工作簿文件 (*.xls *.xlt)"));
  if (!path.isEmpty() && m_books.open_workbook(u16Of(path), true))
    refresh();
}

void MainWindow::dispatch_command(int id) {
  model::Workbook* book = m_books.active();
  if (id >= app::kFirstWindowCommand) {
    if (id - app::kFirstWindowCommand < m_books.count()) {
      m_books.activate_workbook(id - app::kFirstWindowCommand);
      refresh();
    }
    return;
  }
  if (kBuiltCommands.count(id) == 0)
    return;
  model::Sheet* sheet = book && book->sheetCount() > 0 ? &book->active() : nullptr;
  const auto toggleSheetFlag = [&](std::uint32_t flag) {
    if (!sheet || !sheet->hasGrid())
      return;
    sheet->flags ^= flag;
    model::mark_modified(*book);
  };
  switch (id) {
  case 110:
    if (m_books.new_workbook(nullptr))
      refresh();
    return;
  case 111: openDialog(); return;
  case 127: close(); return;
  case 203: toggleSheetFlag(model::kSheetShowGridlines); break;
  case 204: toggleSheetFlag(model::kSheetShowHeaders); break;
  case 211: toggleSheetFlag(model::kSheetShowFormulas); break;
  case 205: case 206: case 207: case 208:
    if (sheet && sheet->hasGrid()) {
      const std::uint16_t zooms[] = {75, 100, 150, 200};
      sheet->zoom = zooms[id - 205];
      model::mark_modified(*book);
    }
    break;
  case 213: if (book) book->showVerticalScrollBar ^= 1; break;
  case 214: if (book) book->showHorizontalScrollBar ^= 1; break;
  case 215: if (book) book->showSheetTabs ^= 1; break;
  case 218: statusBar()->setVisible(!statusBar()->isVisible()); break;
  default: break;
  }
  refresh();
}

} // namespace qtui
