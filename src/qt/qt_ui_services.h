#pragma once
// Message boxes, the wait cursor and repaint requests for the desktop
// program. Repaints and the Save button go to callbacks the main window
// sets, so this class knows nothing of the window's parts.

#include "platform/ui_services.h"

#include <functional>

class QMessageBox;
class QWidget;

namespace qtui {

/// Gives the box's standard buttons the program's own texts ("确定",
/// "是", ...), whatever Qt's translation is.
void labelStandardButtons(QMessageBox& box);

class QtUiServices final : public platform::UiServices {
public:
  /// Boxes are modal to `parent` (may be null).
  explicit QtUiServices(QWidget* parent = nullptr) : m_parent(parent) {}
  ~QtUiServices() override;

  void setParent(QWidget* parent) { m_parent = parent; }
  std::function<void(std::uint32_t targets)> onRepaint;
  std::function<void(bool on)> onSaveButton;

  platform::MessageAnswer messageBox(std::u16string_view text,
                                     std::optional<std::u16string_view> caption,
                                     platform::MessageButtons buttons,
                                     platform::MessageIcon icon) override;
  void setWaitCursor(bool on) override;
  void requestRepaint(std::uint32_t targets) override;
  void enableSaveButton(bool on) override;

private:
  QWidget* m_parent;
  int m_waitDepth = 0;
};

} // namespace qtui
