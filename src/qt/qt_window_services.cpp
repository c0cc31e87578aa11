#include "qt/qt_window_services.h"

#include "app/messages.h"
#include "qt/main_window.h"
#include "qt/modal.h"
#include "qt/qt_canvas.h"

#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QDesktopServices>
#include <QEventLoop>
#include <QKeyEvent>
#include <QListWidget>
#include <QScreen>
#include <QGuiApplication>
#include <QFileDialog>
#include <QMenu>
#include <QTimer>
#include <QUrl>

namespace qtui {

QtWindowServices::~QtWindowServices() {
  for (auto& [id, timer] : m_timers)
    delete timer;
}

void QtWindowServices::invalidate(const platform::Rect& r) {
  if (GridWidget* g = m_window.grid())
    g->update(r.left, r.top, r.width(), r.height());
}

void QtWindowServices::setTimer(int id, int milliseconds) {
  QTimer*& timer = m_timers[id];
  if (!timer) {
    timer = new QTimer();
    QObject::connect(timer, &QTimer::timeout, [this, id] {
      m_window.post(app::WM_TIMER, static_cast<app::WParam>(id), 0);
    });
  }
  timer->start(milliseconds);
}

void QtWindowServices::killTimer(int id) {
  const auto it = m_timers.find(id);
  if (it != m_timers.end())
    it->second->stop();
}

void QtWindowServices::setCursor(platform::CursorShape shape) {
  GridWidget* g = m_window.grid();
  if (!g)
    return;
  switch (shape) {
  case platform::CursorShape::Arrow: g->setCursor(Qt::ArrowCursor); break;
  case platform::CursorShape::Wait: g->setCursor(Qt::WaitCursor); break;
  case platform::CursorShape::SizeColumns: g->setCursor(Qt::SplitHCursor); break;
  case platform::CursorShape::SizeRows: g->setCursor(Qt::SplitVCursor); break;
  case platform::CursorShape::Cross: g->setCursor(Qt::CrossCursor); break;
  }
}

void QtWindowServices::setFocus(platform::FocusTarget target) {
  QWidget* w = target == platform::FocusTarget::FormulaBar ? static_cast<QWidget*>(m_window.formulaBar())
                                                           : static_cast<QWidget*>(m_window.grid());
  if (w)
    w->setFocus(Qt::OtherFocusReason);
}

void QtWindowServices::setModifiers(Qt::KeyboardModifiers mods) {
  m_modifiers = (mods & Qt::ShiftModifier ? platform::kModShift : 0u) |
                (mods & Qt::ControlModifier ? platform::kModControl : 0u) |
                (mods & Qt::AltModifier ? platform::kModAlt : 0u);
}

int QtWindowServices::trackPopupMenu(const std::vector<platform::PopupItem>& items, platform::Point at) {
  QMenu menu(m_window.grid());
  for (const platform::PopupItem& item : items) {
    if (item.id == 0) {
      menu.addSeparator();
      continue;
    }
    QAction* a = menu.addAction(qStringOf(item.text));
    a->setData(item.id);
    a->setEnabled(item.enabled);
    a->setCheckable(item.checked);
    a->setChecked(item.checked);
  }
  QAction* chosen = menu.exec(m_window.grid()->mapToGlobal(QPoint(at.x, at.y)));
  return chosen ? chosen->data().toInt() : 0;
}

namespace {

// A list in a pop-up window: a click or Enter chooses, Escape or a click
// outside dismisses; either way it hides, which ends the caller's loop.
class DropDownList final : public QListWidget {
public:
  DropDownList() : QListWidget(nullptr) {
    setWindowFlags(Qt::Popup);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { choose(row(item)); });
  }
  int chosen = -1;
  QEventLoop loop;

protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Escape)
      close();
    else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
      choose(currentRow());
    else
      QListWidget::keyPressEvent(e);
  }
  void hideEvent(QHideEvent* e) override {
    QListWidget::hideEvent(e);
    loop.quit();
  }

private:
  void choose(int index) {
    chosen = index;
    close();
  }
};

} // namespace

int QtWindowServices::trackDropDownList(const std::vector<std::u16string>& items, const platform::Rect& under,
                                        int current) {
  QWidget* grid = m_window.grid();
  if (!grid || items.empty())
    return -1;
  DropDownList list;
  list.setObjectName(QStringLiteral("FilterComboList"));
  list.setFont(grid->font());
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(items.size()));
  for (const std::u16string& t : items)
    texts << qStringOf(t);
  list.addItems(texts);
  if (current >= 0 && current < list.count())
    list.setCurrentRow(current);
  const int rowHeight = std::max(list.sizeHintForRow(0), 12);
  const int shownRows = std::min<int>(static_cast<int>(items.size()), 8);
  const int width = std::max(under.width(), std::min(list.sizeHintForColumn(0) + 28, 400));
  QPoint at = grid->mapToGlobal(QPoint(under.left, under.bottom));
  const QRect screen = grid->screen() ? grid->screen()->availableGeometry() : QRect();
  const int height = shownRows * rowHeight + 2 * list.frameWidth();
  if (screen.isValid() && at.y() + height > screen.bottom())
    at.setY(grid->mapToGlobal(QPoint(under.left, under.top)).y() - height);
  list.setGeometry(at.x(), at.y(), width, height);
  list.show();
  list.setFocus();
  list.loop.exec();
  return list.chosen;
}

std::optional<std::u16string> QtWindowServices::askOpenFileName(std::u16string_view filter) {
  const FocusReturn focus(&m_window); // the static dialogs run their own modal loop
  const QString path = QFileDialog::getOpenFileName(&m_window, QString(), QString(), qStringOf(filter));
  if (path.isEmpty())
    return std::nullopt;
  return u16Of(path);
}

std::optional<std::u16string> QtWindowServices::askSaveFileName(std::u16string_view filter,
                                                                std::u16string_view suggested) {
  const FocusReturn focus(&m_window);
  const QString path = QFileDialog::getSaveFileName(&m_window, QString(), qStringOf(suggested), qStringOf(filter));
  if (path.isEmpty())
    return std::nullopt;
  return u16Of(path);
}

void QtWindowServices::openWithDesktop(std::u16string_view path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(qStringOf(path)));
}

std::u16string QtWindowServices::clipboardText() const {
  return u16Of(QGuiApplication::clipboard()->text());
}

void QtWindowServices::setClipboardText(std::u16string_view text) {
  QGuiApplication::clipboard()->setText(qStringOf(text));
}

void QtWindowServices::setClipboardCells(std::u16string_view text) {
  // text/plain (UTF-8 for other programs) and the empty marker of our own
  // snapshot; the clipboard takes the data over.
  auto* data = new QMimeData;
  data->setText(qStringOf(text));
  data->setData(QString::fromLatin1(kCellsMarkerMime), QByteArray());
  QGuiApplication::clipboard()->setMimeData(data);
}

void QtWindowServices::setClipboardPicture(std::span<const std::uint8_t> bmp, std::u16string_view text) {
  QImage image;
  if (!image.loadFromData(bmp.data(), static_cast<int>(bmp.size()), "BMP"))
    return;
  auto* data = new QMimeData;
  data->setImageData(image);
  if (!text.empty())
    data->setText(qStringOf(text));
  QGuiApplication::clipboard()->setMimeData(data);
}

bool QtWindowServices::clipboardHasMarker() const {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasFormat(QString::fromLatin1(kCellsMarkerMime));
}

} // namespace qtui
