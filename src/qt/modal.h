#pragma once
// Modal windows give the keyboard back when they close. Qt itself activates
// the window beneath a closing modal only on Windows; on X11 it leaves that
// to the window manager, and with none (or one that does not) the keys typed
// next reach no widget until the user clicks somewhere.

#include <QPointer>
#include <QWidget>

class QDialog;

namespace qtui {

/// Remembers the active window and its focus widget; when it goes, it
/// activates that window again and gives the widget the focus back. Without
/// an active window it takes `owner`'s window. A window that was hidden or
/// destroyed meanwhile is left alone, as is a focus widget that went away.
class FocusReturn {
public:
  explicit FocusReturn(QWidget* owner);
  ~FocusReturn();
  FocusReturn(const FocusReturn&) = delete;
  FocusReturn& operator=(const FocusReturn&) = delete;

private:
  QPointer<QWidget> m_window;
  QPointer<QWidget> m_focus;
};

/// Runs `dialog` modally and returns its result; the window below gets the
/// keyboard back as FocusReturn gives it. Every modal of the front end runs
/// through here.
int execModal(QDialog& dialog);

} // namespace qtui
