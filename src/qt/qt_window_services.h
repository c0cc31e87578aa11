#pragma once
// The window services of the main window on Qt: repaint requests, timers
// that post WM_TIMER, cursors, focus, pop-up menus and the file dialogs.

#include "platform/window_services.h"

#include <QObject>

#include <map>

class QTimer;
class QWidget;

namespace qtui {

class MainWindow;

/// The private clipboard format that marks our own copied cells.
inline constexpr const char* kCellsMarkerMime = "application/x-cellwick";

class QtWindowServices final : public platform::WindowServices {
public:
  explicit QtWindowServices(MainWindow& window) : m_window(window) {}
  ~QtWindowServices() override;

  void invalidate(const platform::Rect& r) override;
  void setTimer(int id, int milliseconds) override;
  void killTimer(int id) override;
  void setCapture(bool on) override { m_captured = on; }
  void setCursor(platform::CursorShape shape) override;
  void setFocus(platform::FocusTarget target) override;
  unsigned modifiers() const override { return m_modifiers; }
  int trackPopupMenu(const std::vector<platform::PopupItem>& items, platform::Point at) override;
  int trackDropDownList(const std::vector<std::u16string>& items, const platform::Rect& under, int current) override;
  std::optional<std::u16string> askOpenFileName(std::u16string_view filter) override;
  std::optional<std::u16string> askSaveFileName(std::u16string_view filter,
                                                std::u16string_view suggested) override;
  void openWithDesktop(std::u16string_view path) override;
  std::u16string clipboardText() const override;
  void setClipboardText(std::u16string_view text) override;
  void setClipboardCells(std::u16string_view text) override;
  bool clipboardHasMarker() const override;
  void setClipboardPicture(std::span<const std::uint8_t> bmp, std::u16string_view text) override;

  /// The modifiers of the event being turned into a message.
  void setModifiers(Qt::KeyboardModifiers mods);
  bool captured() const { return m_captured; }

private:
  MainWindow& m_window;
  std::map<int, QTimer*> m_timers;
  unsigned m_modifiers = 0;
  bool m_captured = false;
};

} // namespace qtui
