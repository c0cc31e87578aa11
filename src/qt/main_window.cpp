#include "qt/main_window.h"

#include "app/cell_entry.h"
#include "app/command_table.h"
#include "app/frame.h"
#include "app/menu_state.h"
#include "app/menu_table.h"
#include "app/message_map.h"
#include "app/status_bar.h"
#include "fileformats/open_save.h"
#include "macro/interpreter.h"
#include "qt/qt_canvas.h"
#include "qt/qt_controls.h"
#include "qt/qt_window_services.h"
#include "qt/tool_icons.h"
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
#include <QTextLayout>
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

// Posts a key event as the window system would: WM_KEYDOWN, then the
// characters the key types as WM_CHAR, to the same procedure. The
// application decides what a character means after its key-down (Enter,
// Tab and Escape in an entry, the keypad's decimal key), so nothing is
// filtered here.
void postKey(MainWindow& window, QKeyEvent* e, bool toFormulaBar) {
  const unsigned vk = virtualKey(e);
  if (vk != 0)
    window.post(app::WM_KEYDOWN, vk, 0, toFormulaBar);
  // Alt with a key is a menu mnemonic, never a character (AltGr comes as
  // Ctrl+Alt and does type).
  if ((e->modifiers() & Qt::AltModifier) && !(e->modifiers() & Qt::ControlModifier))
    return;
  QString text = e->text();
  if (e->key() == Qt::Key_Backtab)
    text = QStringLiteral("\t");
  if (e->key() == Qt::Key_Enter || e->key() == Qt::Key_Return)
    text = QStringLiteral("\r");
  // X11 gives the Delete key the DEL character; the key types nothing.
  if (e->key() == Qt::Key_Delete)
    text.clear();
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
  view::paint(canvas, *book, m_app.layout, damaged, m_app.overlays());
  const view::GridLayout& g = m_app.layout;
  // The mark lives in the corner box, which a partial repaint may have missed.
  if (wasCircular != book->circular && g.headerHeight > 0)
    update(g.grid.left, g.grid.top, g.rowHeaderWidth, g.headerHeight);
}

void GridWidget::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  // The window procedure passes the focus on to the formula bar while an
  // entry is open, so a click on the grid never strands the typing.
  m_window.post(app::WM_SETFOCUS, 0, 0);
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
  postKey(m_window, event, false);
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

// The formula bar shows one line: the line of the text that holds the
// caret (a text with line feeds shows one line at a time, as an
// auto-scrolling edit line does), scrolled so the caret stays in view.
FormulaBarWidget::ShownLine FormulaBarWidget::shownLine() const {
  const app::FormulaBarState& f = m_app.formulaBar;
  const std::u16string& t = f.text;
  const size_t caret = static_cast<size_t>(std::clamp(f.caret, 0, static_cast<int>(t.size())));
  ShownLine line;
  line.start = caret == 0 ? 0 : t.rfind(u'\n', caret - 1) + 1; // npos + 1 == 0
  const size_t end = std::min(t.find(u'\n', line.start), t.size());
  line.text = qStringOf(std::u16string_view(t).substr(line.start, end - line.start));
  line.caret = static_cast<int>(caret - line.start);
  return line;
}

QTextLine FormulaBarWidget::layOut(QTextLayout& layout, const QString& text) const {
  layout.setText(text);
  layout.setFont(font());
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  layout.endLayout();
  return line;
}

int FormulaBarWidget::positionAt(int x) const {
  // One layout of the shown line answers the click, at the scroll the last
  // paint used: linear in the line's length, never a measure per character.
  const ShownLine shown = shownLine();
  QTextLayout layout;
  const QTextLine line = layOut(layout, shown.text);
  if (!line.isValid())
    return static_cast<int>(shown.start);
  const int inLine = line.xToCursor(x - kTextLeft + m_scroll, QTextLine::CursorBetweenCharacters);
  return static_cast<int>(shown.start) + std::clamp(inLine, 0, static_cast<int>(shown.text.size()));
}

void FormulaBarWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(QColor(0x80, 0x80, 0x80));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const app::FormulaBarState& f = m_app.formulaBar;
  const ShownLine shown = shownLine();
  QTextLayout layout;
  const QTextLine line = layOut(layout, shown.text);
  if (!line.isValid())
    return;
  const int caretX = static_cast<int>(line.cursorToX(shown.caret));
  // Scroll only when the caret leaves the view, as an edit line does.
  const int room = std::max(1, width() - 2 * kTextLeft - 2);
  if (caretX - m_scroll > room)
    m_scroll = caretX - room;
  if (caretX < m_scroll)
    m_scroll = caretX;
  if (line.naturalTextWidth() - m_scroll < room)
    m_scroll = std::max(0, static_cast<int>(line.naturalTextWidth()) - room);
  const QFontMetrics fm = fontMetrics();
  const QPointF origin(kTextLeft - m_scroll, (height() - fm.height()) / 2.0);
  p.setClipRect(rect().adjusted(2, 2, -2, -2));
  const bool editing = m_app.editMode != app::EditMode::None;
  const int lineLength = static_cast<int>(shown.text.size());
  const int a = std::clamp(f.selectionStart() - static_cast<int>(shown.start), 0, lineLength);
  const int b = std::clamp(f.selectionEnd() - static_cast<int>(shown.start), 0, lineLength);
  QList<QTextLayout::FormatRange> selections;
  if (editing && a < b) {
    QTextLayout::FormatRange r;
    r.start = a;
    r.length = b - a;
    r.format.setBackground(palette().highlight());
    r.format.setForeground(palette().highlightedText());
    selections.push_back(r);
  }
  p.setPen(Qt::black);
  layout.draw(&p, origin, selections);
  if (editing && hasFocus())
    layout.drawCursor(&p, origin, shown.caret);
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
  postKey(m_window, event, true);
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
  // A chart saved as a picture is drawn at the size this window shows it.
  fileformats::setChartPicture([this](model::Workbook& book) { return app::chart_sheet_picture(*m_app, book); });
  // A macro's DATA.FORM shows the form this window's command shows.
  macro::dataFormHook() = [this](model::Workbook& book) { return m_app->book() == &book && app::show_data_form(*m_app); };
}

MainWindow::~MainWindow() {
  fileformats::setChartPicture(nullptr);
  macro::dataFormHook() = nullptr;
}

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
  for (const app::ToolButtonEntry& b : app::kToolBar) {
    if (b.id == 0) {
      m_toolBar->addSeparator();
      continue;
    }
    QAction* a = m_toolBar->addAction(toolIcon(b.id), qStringOf(b.tip));
    a->setToolTip(qStringOf(b.tip));
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
  ++m_menuUpdates;
}

void MainWindow::updateToolButtons() {
  // Asked after every message, but the buttons change only when their state does.
  std::uint32_t mask = 0;
  int bit = 0;
  for (const auto& [id, a] : m_toolButtons) {
    if (app::tool_button_enabled(*m_app, id))
      mask |= 1u << bit;
    ++bit;
  }
  if (mask == m_toolButtonMask)
    return;
  m_toolButtonMask = mask;
  bit = 0;
  for (const auto& [id, a] : m_toolButtons)
    a->setEnabled((mask >> bit++) & 1u);
  ++m_toolButtonUpdates;
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
  // Menus are built when they open; the tool bar follows its own state.
  updateToolButtons();
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
