#pragma once
// Widgets hosting the program's own controls: the scroll control, the
// picker buttons with their pop-up lists, and the font sample. The widgets
// only translate: painting goes through QtCanvas, mouse presses and timer
// ticks go to the portable controls, and what the controls tell their
// parent comes out as callbacks.

#include "platform/text_metrics.h"
#include "view/pickers.h"
#include "view/scroll_control.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>

class QTimer;

namespace qtui {

class ScrollControlWidget final : public QWidget, private view::ScrollControlHost {
public:
  explicit ScrollControlWidget(bool vertical, QWidget* parent = nullptr);

  view::ScrollControl& control() { return m_control; }

  /// What the control sends its parent: the scroll code (SB_...) and, for
  /// SB_THUMBTRACK and SB_THUMBPOSITION, the tracking position.
  std::function<void(unsigned code, int position)> onScroll;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  void syncBounds();
  void sendScroll(unsigned code, int position) override;
  void setTimer(int id, int milliseconds) override;
  void killTimer(int id) override;
  void setCapture(bool on) override;
  void invalidate() override;

  view::ScrollControl m_control;
  std::map<int, QTimer*> m_timers; // by the control's timer id; children of the widget
};

class PickerListPopup;

class PickerButtonWidget final : public QWidget, private view::PickerHost {
public:
  PickerButtonWidget(view::PickerKind kind, int controlId, QWidget* parent = nullptr);

  view::PickerButton& button() { return m_button; }
  /// The dialog's font and the workbook the colours come from; the workbook
  /// must outlive the widget.
  void setLook(const view::PickerLook& look);
  const view::PickerLook& look() const { return m_look; }

  /// Opens the drop-down list below the button, or above it near the
  /// bottom of the screen. The list deletes itself when it closes.
  PickerListPopup* openList();
  /// The open list, or null.
  PickerListPopup* openedList() const { return m_list; }

  /// WM_COMMAND to the dialog: the control identifier and the notification
  /// code (1 when a value was chosen in the list).
  std::function<void(int controlId, unsigned code)> onCommand;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  void invalidate() override;
  void notifyParent(app::WParam wParam) override;

  view::PickerButton m_button;
  view::PickerLook m_look;
  QPointer<PickerListPopup> m_list;
};

/// The drop-down list of a picker: a pop-up window that closes at the next
/// left press, inside or outside it; a press on a choice sets the value first.
class PickerListPopup final : public QWidget {
public:
  PickerListPopup(PickerButtonWidget& owner, QSize size);

  view::PickerList& list() { return m_list; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  PickerButtonWidget& m_owner;
  view::PickerList m_list;
};

/// The font sample of the format dialog.
class FontPreviewWidget final : public QWidget {
public:
  explicit FontPreviewWidget(QWidget* parent = nullptr);
  void setPreviewFont(const platform::FontSpec& font);
  const platform::FontSpec& previewFont() const { return m_font; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  platform::FontSpec m_font;
};

} // namespace qtui
