#include "qt/modal.h"

#include <QApplication>
#include <QDialog>

namespace qtui {

FocusReturn::FocusReturn(QWidget* owner) {
  QWidget* window = QApplication::activeWindow();
  if (!window && owner)
    window = owner->window();
  m_window = window;
  // A window keeps its focus widget while inactive, so this holds even when
  // the window system has already taken the activation away.
  m_focus = window ? window->focusWidget() : nullptr;
}

FocusReturn::~FocusReturn() {
  if (!m_window || !m_window->isVisible())
    return;
  // Set first: an inactive window hands its focus widget the focus when the
  // activation arrives, which on X11 happens later, in the event loop.
  if (m_focus && m_focus->window() == m_window && m_focus->isVisible() && m_focus->isEnabled())
    m_focus->setFocus(Qt::ActiveWindowFocusReason);
  m_window->activateWindow();
}

int execModal(QDialog& dialog) {
  const FocusReturn focus(dialog.parentWidget());
  return dialog.exec();
}

} // namespace qtui
