#include "qt/main_window.h"

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/frame.h"
#include "app/menu_state.h"
#include "app/menu_table.h"
#include "app/message_map.h"
#include "app/status_bar.h"
#include "qt/qt_canvas.h"
#include "qt/qt_controls.h"
#include "qt/qt_window_services.h"
#include "view/grid_painter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWheelEvent>

#include <iterator>

#include <algorithm>

namespace qtui {
namespace {

constexpr int kScrollBarSize = 17;

// The virtual key of a Qt key event; 0 for keys the program does not use.
unsigned virtualKey(const QKeyEvent* e) {
  const int k = e->key();
  if (k >= Qt::Key_A && k <= Qt::Key_Z)
    return static_cast<unsigned>('A' + (k - Qt::Key_A));
  if (k >= Qt::Key_0 && k <= Qt::Key_9)
    return static_cast<unsigned>('0' + (k - Qt::Key_0));
  if (k >= Qt::Key_F1 && k <= Qt::Key_F12)
    return static_cast<unsigned>(app::VK_F1 + (k - Qt::Key_F1));
  switch (k) {
  case Qt::Key_Backspace: return app::VK_BACK;
  case Qt::Key_Tab:
  case Qt::Key_Backtab: return app::VK_TAB;
  case Qt::Key_Return:
  case Qt::Key_Enter: return app::VK_RETURN;
  case Qt::Key_Escape: return app::VK_ESCAPE;
  case Qt::Key_PageUp: return app::VK_PRIOR;
  case Qt::Key_PageDown: return app::VK_NEXT;
  case Qt::Key_End: return app::VK_END;
  case Qt::Key_Home: return app::VK_HOME;
  case Qt::Key_Left: return app::VK_LEFT;
  case Qt::Key_Up: return app::VK_UP;
  case Qt::Key_Right: return app::VK_RIGHT;
  case Qt::Key_Down: return app::VK_DOWN;
  case Qt::Key_Insert: return app::VK_INSERT;
  case Qt::Key_Delete: return app::VK_DELETE;
  case Qt::Key_Shift: return app::VK_SHIFT;
  case Qt::Key_Control: return app::VK_CONTROL;
  case Qt::Key_Alt: return app::VK_MENU;
  case Qt::Key_Semicolon: return app::VK_OEM_1;
  case Qt::Key_Period:
  case Qt::Key_Comma:
    return (e->modifiers() & Qt::KeypadModifier) ? app::VK_DECIMAL : app::VK_OEM_PERIOD;
  default: return 0;
  }
}

bool isKeypadDecimal(const QKeyEvent* e) {
  return (e->modifiers() & Qt::KeypadModifier) && (e->key() == Qt::Key_Period || e->key() == Qt::Key_Comma);
}

// Posts a key event as WM_KEYDOWN and its characters as WM_CHAR.
void postKey(MainWindow& window, QtWindowServices&, QKeyEvent* e, bool toFormulaBar) {
  const unsigned vk = virtualKey(e);
  if (vk != 0)
    window.post(app::WM_KEYDOWN, vk, 0, toFormulaBar);
  if (isKeypadDecimal(e))
    return; // the keypad's decimal key types the regional separator itself
  // Alt with a key is a menu mnemonic, never a character (AltGr comes as
  // Ctrl+Alt and does type).
  if ((e->modifiers() & Qt::AltModifier) && !(e->modifiers() & Qt::ControlModifier))
    return;
  QString text = e->text();
  if (e->key() == Qt::Key_Backtab)
    text = QStringLiteral("\t");
  if (e->key() == Qt::Key_Enter)
    text = QStringLiteral("\r");
  // Keys the formula bar handles on their key-down carry no character there.
  if (toFormulaBar && (vk == app::VK_RETURN || vk == app::VK_TAB || vk == app::VK_ESCAPE))
    return;
  for (QChar ch : text)
    window.post(app::WM_CHAR, ch.unicode(), 0, toFormulaBar);
}

app::WParam mouseKeys(const QMouseEvent* e) {
  app::WParam w = 0;
  if (e->buttons() & Qt::LeftButton)
    w |= app::MK_LBUTTON;
  if (e->buttons() & Qt::RightButton)
    w |= app::MK_RBUTTON;
  if (e->modifiers() & Qt::ShiftModifier)
    w |= app::MK_SHIFT;
  if (e->modifiers() & Qt::ControlModifier)
    w |= app::MK_CONTROL;
  return w;
}

app::LParam pointOf(const QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  return app::makePointParam(p.x(), p.y());
}

struct ToolButton {
  int id; // 0: separator
  QStyle::StandardPixmap icon;
  const char16_t* label; // shown when there is no icon
};
constexpr QStyle::StandardPixmap kNoIcon = QStyle::SP_CustomBase;
const ToolButton kToolButtons[] = {
    {110, QStyle::SP_FileIcon, u"新建"},
    {111, QStyle::SP_DialogOpenButton, u"打开"},
    {113, QStyle::SP_DialogSaveButton, u"保存"},
    {0, kNoIcon, nullptr},
    {131, kNoIcon, u"剪切"},
    {132, kNoIcon, u"复制"},
    {133, kNoIcon, u"粘贴"},
    {0, kNoIcon, nullptr},
    {130, kNoIcon, u"撤消"},
    {0, kNoIcon, nullptr},
    {185, kNoIcon, u"Σ"},
    {167, kNoIcon, u"fx"},
    {0, kNoIcon, nullptr},
};

struct Accelerator {
  QKeyCombination keys;
  int id;
};
const Accelerator kAccelerators[] = {
    {Qt::CTRL | Qt::Key_1, 190}, {Qt::CTRL | Qt::Key_C, 132}, {Qt::CTRL | Qt::Key_D, 135},
    {Qt::CTRL | Qt::Key_E, 150}, {Qt::CTRL | Qt::Key_F, 147}, {Qt::CTRL | Qt::Key_G, 149},
    {Qt::CTRL | Qt::Key_H, 148}, {Qt::CTRL | Qt::Key_N, 110}, {Qt::CTRL | Qt::Key_O, 111},
    {Qt::CTRL | Qt::Key_P, 117}, {Qt::CTRL | Qt::Key_R, 136}, {Qt::CTRL | Qt::Key_S, 113},
    {Qt::CTRL | Qt::Key_V, 133}, {Qt::CTRL | Qt::Key_X, 131}, {Qt::CTRL | Qt::Key_Z, 130},
    {Qt::CTRL | Qt::Key_Semicolon, 170},
    // Ctrl+Shift+; arrives as Ctrl+: (or Ctrl+Shift+;) depending on the layout.
    {Qt::CTRL | Qt::SHIFT | Qt::Key_Semicolon, 171}, {Qt::CTRL | Qt::Key_Colon, 171},
    {Qt::CTRL | Qt::SHIFT | Qt::Key_Colon, 171}, {Qt::CTRL | Qt::Key_Period, 171},
};

} // namespace

// ---- GridWidget ----

GridWidget::GridWidget(MainWindow& window, app::App& app, QWidget* parent)
    : QWidget(parent), m_window(window), m_app(app), m_vertical(new ScrollControlWidget(true, this)),
      m_horizontal(new ScrollControlWidget(false, this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_InputMethodEnabled);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumSize(200, 150);
  m_vertical->setFocusPolicy(Qt::NoFocus);
  m_horizontal->setFocusPolicy(Qt::NoFocus);
  const auto connectBar = [this](ScrollControlWidget* bar, unsigned msg, int control) {
    bar->onScroll = [this, msg, control](unsigned code, int position) {
      m_window.post(msg, app::makeWParam(code, static_cast<unsigned>(std::clamp(position, 0, 0xFFFF))), control);
    };
  };
  connectBar(m_vertical, app::WM_VSCROLL, app::kIdVerticalScroll);
  connectBar(m_horizontal, app::WM_HSCROLL, app::kIdHorizontalScroll);
}

const view::GridLayout& GridWidget::layout() const { return m_app.layout; }

void GridWidget::placeScrollBars() {
  const view::GridLayout& g = m_app.layout;
  const auto place = [](ScrollControlWidget* bar, const platform::Rect& r, const view::ScrollRange& range) {
    bar->setVisible(!r.isEmpty());
    if (r.isEmpty())
      return;
    bar->setGeometry(r.left, r.top, r.width(), r.height());
    bar->control().setScrollInfo({range.minimum, range.maximum, range.page, range.position});
  };
  place(m_vertical, g.verticalScroll, g.vertical);
  place(m_horizontal, g.horizontalScroll, g.horizontal);
}

void GridWidget::relayoutAndUpdate() {
  m_app.layoutInput = view::LayoutInput{{0, 0, width(), height()}, 0, 0, kScrollBarSize, kScrollBarSize};
  m_app.relayout();
  placeScrollBars();
}

void GridWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  QtCanvas canvas(painter);
  model::Workbook* book = m_app.book();
  const QRect r = event->rect();
  const platform::Rect damaged{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
  if (!book) {
    painter.fillRect(r, QColor(0x80, 0x80, 0x80));
    return;
  }
  m_app.relayout();
  const int wasCircular = book->circular;
  view::paint(canvas, *book, m_app.layout, damaged);
  const view::GridLayout& g = m_app.layout;
  // The range pointed at while typing a formula.
  if (m_app.point.active && g.sheet >= 0 && g.hasGrid) {
    const model::Sheet& s = book->sheet(g.sheet);
    const platform::Rect a = view::cellRect(s, g, std::min(m_app.point.anchorRow, m_app.point.row),
                                            std::min(m_app.point.anchorColumn, m_app.point.column));
    const platform::Rect b = view::cellRect(s, g, std::max(m_app.point.anchorRow, m_app.point.row),
                                            std::max(m_app.point.anchorColumn, m_app.point.column));
    if (!a.isEmpty() && !b.isEmpty()) {
      painter.setClipRect(g.cells.left, g.cells.top, g.cells.width(), g.cells.height());
      painter.setPen(QPen(QColor(0, 0, 255), 2, Qt::DashLine));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(QRect(QPoint(a.left, a.top), QPoint(b.right - 1, b.bottom - 1)));
    }
  }
  // The mark lives in the corner box, which a partial repaint may have missed.
  if (wasCircular != book->circular && g.headerHeight > 0)
    update(g.grid.left, g.grid.top, g.rowHeaderWidth, g.headerHeight);
}

void GridWidget::resizeEvent(QResizeEvent*) {
  relayoutAndUpdate();
  m_window.post(app::WM_SIZE, 0, 0);
  update();
}

void GridWidget::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta != 0)
    m_window.post(app::WM_MOUSEWHEEL, app::makeWParam(0, static_cast<unsigned>(delta) & 0xFFFF), 0);
  event->accept();
}

void GridWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    m_window.post(app::WM_LBUTTONDOWN, mouseKeys(event), pointOf(event));
  else if (event->button() == Qt::RightButton)
    m_window.post(app::WM_RBUTTONDOWN, mouseKeys(event), pointOf(event));
}

void GridWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    m_window.post(app::WM_LBUTTONDBLCLK, mouseKeys(event), pointOf(event));
}

void GridWidget::mouseMoveEvent(QMouseEvent* event) { m_window.post(app::WM_MOUSEMOVE, mouseKeys(event), pointOf(event)); }

void GridWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    m_window.post(app::WM_LBUTTONUP, mouseKeys(event), pointOf(event));
}

void GridWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    m_window.post(app::WM_HELP, 0, 0);
    return;
  }
  postKey(m_window, *static_cast<QtWindowServices*>(&m_app.window), event, false);
}

void GridWidget::inputMethodEvent(QInputMethodEvent* event) {
  for (QChar ch : event->commitString())
    m_window.post(app::WM_CHAR, ch.unicode(), 0);
  event->accept();
}

// ---- FormulaBarWidget ----

FormulaBarWidget::FormulaBarWidget(MainWindow& window, app::App& app, QWidget* parent)
    : QWidget(parent), m_window(window), m_app(app) {
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setCursor(Qt::IBeamCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize FormulaBarWidget::sizeHint() const { return {400, fontMetrics().height() + 8}; }

bool FormulaBarWidget::event(QEvent* e) {
  // While editing, keys that are also shortcuts (Ctrl+Z...) stay in the bar
  // only when they edit text; the rest still reach the menu.
  if (e->type() == QEvent::ShortcutOverride && m_app.editMode != app::EditMode::None) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (!(k->modifiers() & Qt::ControlModifier) || k->key() == Qt::Key_A)
      e->accept();
  }
  return QWidget::event(e);
}

int FormulaBarWidget::positionAt(int x) const {
  const QString text = qStringOf(m_app.formulaBar.text);
  const QFontMetrics fm = fontMetrics();
  int best = 0, bestDistance = std::abs(x - 4);
  for (int i = 1; i <= text.size(); ++i) {
    const int at = 4 + fm.horizontalAdvance(text.left(i));
    if (std::abs(x - at) < bestDistance) {
      best = i;
      bestDistance = std::abs(x - at);
    }
  }
  return best;
}

void FormulaBarWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(QColor(0x80, 0x80, 0x80));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const app::FormulaBarState& f = m_app.formulaBar;
  // One line: the line holding the caret (texts with line feeds show one
  // line at a time, as an auto-scrolling edit line does).
  const std::u16string& t = f.text;
  const size_t lineStart = f.caret <= 0 ? 0 : t.rfind(u'\n', static_cast<size_t>(f.caret - 1)) + 1;
  const size_t lineEnd = std::min(t.find(u'\n', lineStart), t.size());
  const QString line = qStringOf(std::u16string_view(t).substr(lineStart, lineEnd - lineStart));
  const QFontMetrics fm = fontMetrics();
  const int caretX = fm.horizontalAdvance(line.left(f.caret - static_cast<int>(lineStart)));
  const int room = width() - 10;
  const int shift = std::max(0, caretX - room);
  const int baseline = (height() + fm.ascent() - fm.descent()) / 2;
  p.setClipRect(rect().adjusted(2, 2, -2, -2));
  const bool editing = m_app.editMode != app::EditMode::None;
  const int a = std::clamp(f.selectionStart() - static_cast<int>(lineStart), 0, static_cast<int>(line.size()));
  const int b = std::clamp(f.selectionEnd() - static_cast<int>(lineStart), 0, static_cast<int>(line.size()));
  if (editing && a < b) {
    const int x1 = 4 - shift + fm.horizontalAdvance(line.left(a));
    const int x2 = 4 - shift + fm.horizontalAdvance(line.left(b));
    p.fillRect(x1, 3, x2 - x1, height() - 6, palette().highlight());
  }
  p.setPen(Qt::black);
  p.drawText(4 - shift, baseline, line);
  if (editing && hasFocus()) {
    p.setPen(Qt::black);
    p.drawLine(4 - shift + caretX, 4, 4 - shift + caretX, height() - 5);
  }
}

void FormulaBarWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton)
    return;
  m_window.post(app::WM_LBUTTONDOWN, mouseKeys(event), pointOf(event), true);
  if (m_app.editMode == app::EditMode::None)
    return;
  const int at = positionAt(static_cast<int>(event->position().x()));
  m_app.formulaBar.caret = at;
  if (!(event->modifiers() & Qt::ShiftModifier))
    m_app.formulaBar.anchor = at;
  update();
}

void FormulaBarWidget::keyPressEvent(QKeyEvent* event) {
  postKey(m_window, *static_cast<QtWindowServices*>(&m_app.window), event, true);
}

void FormulaBarWidget::inputMethodEvent(QInputMethodEvent* event) {
  for (QChar ch : event->commitString())
    m_window.post(app::WM_CHAR, ch.unicode(), 0, true);
  event->accept();
}

// ---- MainWindow ----

MainWindow::MainWindow(model::WorkbookList& books)
    : m_books(books), m_services(std::make_unique<QtWindowServices>(*this)),
      m_app(std::make_unique<app::App>(books, *m_services)) {
  m_grid = new GridWidget(*this, *m_app, this);
  setCentralWidget(m_grid);
  buildMenus();
  buildToolBars();
  buildAccelerators();
  for (QLabel*& part : m_statusParts) {
    part = new QLabel(this);
    part->setMinimumWidth(part == m_statusParts[2] ? 40 : 160);
    statusBar()->addWidget(part, part == m_statusParts[0] ? 1 : 0);
  }
  // A click on the status bar chooses the summary function.
  statusBar()->installEventFilter(this);
  for (QLabel* part : m_statusParts)
    part->installEventFilter(this);
  resize(900, 640);
  app::refresh_formula_bar(*m_app);
  refresh();
  m_grid->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus() {
  std::vector<QMenu*> stack;
  QAction* lastSeparator = nullptr;
  for (const app::MenuEntry& e : app::kMainMenu) {
    switch (e.kind) {
    case app::MenuEntry::Popup: {
      QMenu* menu = stack.empty() ? menuBar()->addMenu(qStringOf(e.text))
                                  : stack.back()->addMenu(qStringOf(e.text));
      QObject::connect(menu, &QMenu::aboutToShow, this, [this] { update_menu(); });
      if (stack.empty() && !m_fileMenu)
        m_fileMenu = menu;
      stack.push_back(menu);
      break;
    }
    case app::MenuEntry::Item: {
      QAction* a = stack.back()->addAction(qStringOf(e.text));
      a->setData(e.id);
      const int id = e.id;
      if (id == 127)
        m_exitSeparator = lastSeparator;
      QObject::connect(a, &QAction::triggered, this, [this, id] { dispatch_command(id); });
      m_actions[e.id] = a;
      break;
    }
    case app::MenuEntry::Separator:
      lastSeparator = stack.back()->addSeparator();
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

void MainWindow::buildToolBars() {
  m_toolBar = addToolBar(QStringLiteral("工具栏"));
  m_toolBar->setObjectName(QStringLiteral("ToolBar"));
  m_toolBar->setIconSize(QSize(16, 16));
  for (const ToolButton& b : kToolButtons) {
    if (b.id == 0) {
      m_toolBar->addSeparator();
      continue;
    }
    QAction* a = b.icon == kNoIcon ? m_toolBar->addAction(QString::fromUtf16(b.label))
                                   : m_toolBar->addAction(style()->standardIcon(b.icon), QString::fromUtf16(b.label));
    a->setToolTip(qStringOf(app::tool_tip_text(b.id)));
    const int id = b.id;
    QObject::connect(a, &QAction::triggered, this, [this, id] {
      post(app::WM_COMMAND, static_cast<app::WParam>(id), app::kIdToolBarBand);
    });
    m_toolButtons[id] = a;
  }
  addToolBarBreak();
  m_formulaBand = addToolBar(QStringLiteral("公式栏"));
  m_formulaBand->setObjectName(QStringLiteral("FormulaBar"));
  m_formulaBar = new FormulaBarWidget(*this, *m_app, m_formulaBand);
  m_formulaBand->addWidget(m_formulaBar);
}

void MainWindow::buildAccelerators() {
  for (const Accelerator& acc : kAccelerators) {
    auto* a = new QAction(this);
    a->setShortcut(QKeySequence(acc.keys));
    a->setShortcutContext(Qt::WindowShortcut);
    const int id = acc.id;
    QObject::connect(a, &QAction::triggered, this, [this, id] {
      post(app::WM_COMMAND, app::makeWParam(static_cast<unsigned>(id), 1), 0);
    });
    addAction(a);
  }
}

QAction* MainWindow::action(int id) const {
  const auto it = m_actions.find(id);
  return it == m_actions.end() ? nullptr : it->second;
}

void MainWindow::update_menu() {
  const app::MenuState state = app::update_menu(*m_app);
  for (const auto& [id, a] : m_actions) {
    const auto it = state.items.find(id);
    const app::MenuItemState s = it == state.items.end() ? app::MenuItemState{} : it->second;
    a->setEnabled(s.enabled);
    a->setCheckable(s.checked || a->isCheckable());
    a->setChecked(s.checked);
    if (!s.text.empty())
      a->setText(qStringOf(s.text));
  }
  for (QAction* a : m_recentActions) {
    m_fileMenu->removeAction(a);
    delete a;
  }
  m_recentActions.clear();
  if (m_fileMenu) {
    for (const auto& [id, name] : state.recentFiles) {
      auto* a = new QAction(QStringLiteral("&%1 %2").arg(id - 117).arg(qStringOf(name)), m_fileMenu);
      const int cmd = id;
      QObject::connect(a, &QAction::triggered, this, [this, cmd] { dispatch_command(cmd); });
      m_fileMenu->insertAction(m_exitSeparator, a);
      m_recentActions.push_back(a);
    }
    if (!m_recentActions.empty()) {
      QAction* sep = new QAction(m_fileMenu);
      sep->setSeparator(true);
      m_fileMenu->insertAction(m_exitSeparator, sep);
      m_recentActions.push_back(sep);
    }
  }
  if (m_windowMenu) {
    m_windowMenu->clear();
    for (const auto& [id, name] : state.windows) {
      QAction* a = m_windowMenu->addAction(QStringLiteral("&%1 %2").arg(id - app::kFirstWindowCommand + 1).arg(qStringOf(name)));
      a->setCheckable(true);
      a->setChecked(id == state.checkedWindow);
      const int cmd = id;
      QObject::connect(a, &QAction::triggered, this, [this, cmd] { dispatch_command(cmd); });
    }
  }
  // The tool bar follows the same rules: Save while a workbook is open, Undo
  // while there is something to undo.
  // Cut, Copy, AutoSum and Insert function work on cells.
  const bool cells = m_app->gridSheet() != nullptr;
  for (const auto& [id, a] : m_toolButtons) {
    const auto it = state.items.find(id);
    const bool needsCells = id == 131 || id == 132 || id == 185 || id == 167;
    a->setEnabled(app::findCommand(id) != nullptr && (it == state.items.end() || it->second.enabled) &&
                  (cells || !needsCells));
  }
  if (QAction* save = m_toolButtons[113])
    save->setEnabled(m_books.count() > 0 && app::findCommand(113) != nullptr);
}

void MainWindow::dispatch_command(int id) { post(app::WM_COMMAND, static_cast<app::WParam>(id), 0); }

void MainWindow::post(unsigned msg, app::WParam wParam, app::LParam lParam, bool toFormulaBar) {
  m_services->setModifiers(QGuiApplication::queryKeyboardModifiers());
  if (toFormulaBar)
    app::formula_bar_proc(*m_app, msg, wParam, lParam);
  else
    app::main_window_proc(*m_app, msg, wParam, lParam);
  if (m_app->quitPosted) {
    const int code = m_app->exitCode;
    hide();
    QApplication::exit(code);
    return;
  }
  refresh();
}

void MainWindow::applyBarVisibility() {
  m_toolBar->setVisible(m_app->bars.toolBar);
  // The formula bar belongs to sheets with cells.
  m_formulaBand->setVisible(m_app->bars.formulaBar && (m_books.count() == 0 || m_app->gridSheet()));
  statusBar()->setVisible(m_app->bars.statusBar);
}

void MainWindow::refresh() {
  if (m_refreshing)
    return;
  m_refreshing = true;
  setWindowTitle(qStringOf(m_books.windowTitle()));
  applyBarVisibility();
  for (int i = 0; i < 3; ++i)
    m_statusParts[i]->setText(qStringOf(m_app->statusText[static_cast<size_t>(i)]));
  m_grid->relayoutAndUpdate();
  m_formulaBar->update();
  update_menu();
  m_refreshing = false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      (watched == statusBar() || std::find(std::begin(m_statusParts), std::end(m_statusParts), watched) !=
                                     std::end(m_statusParts))) {
    auto* e = static_cast<QMouseEvent*>(event);
    const QPoint p = m_grid->mapFromGlobal(e->globalPosition().toPoint());
    app::status_bar_menu(*m_app, {p.x(), p.y()});
    refresh();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::applyBandLayout(const app::BarLayout& layout) {
  removeToolBar(m_toolBar);
  removeToolBar(m_formulaBand);
  const int first = layout.firstBand();
  QToolBar* bands[2] = {m_toolBar, m_formulaBand};
  for (int i = 0; i < 2; ++i) {
    const int band = i == 0 ? first : 1 - first;
    if (i > 0 && (layout.bands[static_cast<size_t>(band)].style & app::kBandBreak))
      addToolBarBreak();
    addToolBar(bands[band]);
    bands[band]->setVisible(true);
  }
  applyBarVisibility();
}

app::BarLayout MainWindow::bandLayout() const {
  app::BarLayout layout = app::defaultBarLayout(width());
  const QToolBar* bands[2] = {m_toolBar, m_formulaBand};
  // Order by line, then along the line; a band below the other starts a line.
  const auto before = [](const QToolBar* a, const QToolBar* b) {
    return a->y() < b->y() || (a->y() == b->y() && a->x() < b->x());
  };
  const bool toolFirst = !before(bands[1], bands[0]);
  for (int i = 0; i < 2; ++i) {
    app::BandLayout& b = layout.bands[static_cast<size_t>(i)];
    const bool isFirst = (i == 0) == toolFirst;
    b.position = isFirst ? 0 : 1;
    b.style = app::kBandChildEdge | app::kBandGripperAlways;
    if (!isFirst && bands[i]->y() != bands[1 - i]->y())
      b.style |= app::kBandBreak;
    b.width = bands[i]->width();
    b.hidden = !(i == 0 ? m_app->bars.toolBar : m_app->bars.formulaBar);
  }
  return layout;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (m_app->quitPosted) {
    event->accept();
    return;
  }
  app::main_window_proc(*m_app, app::WM_CLOSE, 0, 0);
  if (m_app->quitPosted) {
    event->accept();
    QApplication::exit(m_app->exitCode);
  } else {
    event->ignore();
    refresh();
  }
}

} // namespace qtui
