#include "qt/qt_controls.h"

#include "qt/qt_canvas.h"
#include "view/control_paint.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace qtui {

namespace {

platform::Rect rectOf(const QRect& r) { return {r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

platform::Point pointOf(const QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  return {p.x(), p.y()};
}

// The dialog base units of a font: the average width of the letters and the
// line height, which turn dialog units into pixels.
QSize dialogBaseUnits(const platform::FontSpec& font) {
  const QFontMetrics fm(qFontOf(font));
  const int letters =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {static_cast<int>(std::lround(letters / 52.0)), fm.height()};
}

} // namespace

// ---- scroll control ----

ScrollControlWidget::ScrollControlWidget(bool vertical, QWidget* parent)
    : QWidget(parent), m_control(*this, vertical) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  syncBounds();
}

void ScrollControlWidget::syncBounds() {
  // A hidden widget gets its resize event only when shown, so the size is
  // checked again whenever the control is about to use it.
  const platform::Rect r{0, 0, width(), height()};
  if (m_control.bounds() != r)
    m_control.setBounds(r);
}

void ScrollControlWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  QtCanvas canvas(painter);
  syncBounds();
  m_control.paint(canvas, rectOf(event->rect()));
}

void ScrollControlWidget::resizeEvent(QResizeEvent*) { syncBounds(); }

void ScrollControlWidget::mousePressEvent(QMouseEvent* event) {
  syncBounds();
  if (event->button() == Qt::LeftButton)
    m_control.mousePress(pointOf(event));
}

void ScrollControlWidget::mouseMoveEvent(QMouseEvent* event) {
  syncBounds();
  m_control.mouseMove(pointOf(event));
}

void ScrollControlWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    m_control.mouseRelease(pointOf(event));
}

void ScrollControlWidget::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange)
    m_control.enable(isEnabled());
  QWidget::changeEvent(event);
}

void ScrollControlWidget::sendScroll(unsigned code, int position) {
  if (onScroll)
    onScroll(code, position);
}

void ScrollControlWidget::setTimer(int id, int milliseconds) {
  QTimer*& timer = m_timers[id];
  if (!timer) {
    timer = new QTimer(this);
    QObject::connect(timer, &QTimer::timeout, this, [this, id] { m_control.timer(id); });
  }
  timer->start(milliseconds);
}

void ScrollControlWidget::killTimer(int id) {
  if (const auto it = m_timers.find(id); it != m_timers.end())
    it->second->stop();
}

void ScrollControlWidget::setCapture(bool) {
  // Qt already sends the moves and the release of a press to the widget that
  // got the press, which is all the capture is for.
}

void ScrollControlWidget::invalidate() { update(); }

// ---- picker button ----

PickerButtonWidget::PickerButtonWidget(view::PickerKind kind, int controlId, QWidget* parent)
    : QWidget(parent), m_button(*this, kind, controlId) {
  setFocusPolicy(Qt::StrongFocus);
}

void PickerButtonWidget::setLook(const view::PickerLook& look) {
  m_look = look;
  update();
}

PickerListPopup* PickerButtonWidget::openList() {
  if (m_list)
    m_list->close();
  const QSize units = dialogBaseUnits(m_look.font);
  const platform::Point size = view::pickerListSize(m_button.kind(), units.width(), units.height());
  const QPoint origin = mapToGlobal(QPoint(0, 0));
  const platform::Rect button{origin.x(), origin.y(), origin.x() + width(), origin.y() + height()};
  const QScreen* where = screen();
  const QRect work = where ? where->availableGeometry() : QRect(0, 0, 1 << 16, 1 << 16);
  const platform::Rect placed = view::placePickerList(button, size, rectOf(work));

  auto* popup = new PickerListPopup(*this, QSize(size.x, size.y));
  popup->setGeometry(placed.left, placed.top, placed.width(), placed.height());
  popup->show();
  m_list = popup;
  return popup;
}

void PickerButtonWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QtCanvas canvas(painter);
  m_button.paint(canvas, {0, 0, width(), height()}, m_look);
}

void PickerButtonWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton)
    return;
  setFocus(Qt::MouseFocusReason);
  openList();
}

void PickerButtonWidget::invalidate() { update(); }

void PickerButtonWidget::notifyParent(app::WParam wParam) {
  if (onCommand)
    onCommand(static_cast<int>(app::loWord(wParam)), app::hiWord(wParam));
}

// ---- list ----

PickerListPopup::PickerListPopup(PickerButtonWidget& owner, QSize size)
    : QWidget(&owner, Qt::Popup), m_owner(owner),
      m_list(owner.button(), {size.width(), size.height()}) {
  setAttribute(Qt::WA_DeleteOnClose);
  // The press that closes the list must not reach the window under it.
  setAttribute(Qt::WA_NoMouseReplay);
  resize(size);
}

void PickerListPopup::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QtCanvas canvas(painter);
  m_list.paint(canvas, m_owner.look());
}

void PickerListPopup::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    m_list.leftPress(pointOf(event));
  else if (rect().contains(event->position().toPoint()))
    return;
  close();
}

// ---- font sample ----

FontPreviewWidget::FontPreviewWidget(QWidget* parent) : QWidget(parent) {}

void FontPreviewWidget::setPreviewFont(const platform::FontSpec& font) {
  m_font = font;
  update();
}

void FontPreviewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QtCanvas canvas(painter);
  view::paintFontPreview(canvas, {0, 0, width(), height()}, m_font);
}

} // namespace qtui
