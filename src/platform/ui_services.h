#pragma once
// What the core asks of the window system: modal message boxes, the wait
// cursor and repaint requests. The desktop program installs a Qt
// implementation; tests and the command-line tool use HeadlessUiServices.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MessageIcon { None, Information, Warning, Error, Question };
// Numbered as the Win32 dialog answers, which macros and stored data use.
enum class MessageAnswer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

/// What needs painting again. Bits; combine with |.
enum RepaintTarget : std::uint32_t {
  kRepaintGrid = 1u << 0,
  kRepaintTabs = 1u << 1,
  kRepaintTitle = 1u << 2,
  kRepaintMenus = 1u << 3,
  kRepaintFormulaBar = 1u << 4,
  kRepaintStatusBar = 1u << 5,
  kRepaintToolBar = 1u << 6,
  kRepaintAll = 0xFFFFFFFFu,
};

class UiServices {
public:
  virtual ~UiServices() = default;
  /// Shows a modal message box and returns the button the user chose. A
  /// missing caption means a box without caption.
  virtual MessageAnswer messageBox(std::u16string_view text,
                                   std::optional<std::u16string_view> caption,
                                   MessageButtons buttons, MessageIcon icon) = 0;
  virtual void setWaitCursor(bool on) = 0;
  virtual void requestRepaint(std::uint32_t targets) = 0;
  /// Enables or disables the Save button of the tool bar.
  virtual void enableSaveButton(bool on) = 0;
};

/// The services in force: a HeadlessUiServices that prints to stderr unless
/// setUiServices installed another.
UiServices& ui();

/// Installs services (not owned), or the default again when given nullptr.
void setUiServices(UiServices* services);

/// The answer a box gets when nobody is there to choose: the choice that
/// changes nothing (Cancel, else No, else Ok, else Abort).
MessageAnswer safeDefaultAnswer(MessageButtons buttons);

/// Message boxes without a window. Answers come from a script queued by
/// tests; with the script empty each box gets safeDefaultAnswer. Every box is
/// recorded, and printed to stderr when echo is on (the command-line tool).
class HeadlessUiServices final : public UiServices {
public:
  struct Shown {
    std::u16string text;
    std::optional<std::u16string> caption;
    MessageButtons buttons;
    MessageIcon icon;
    MessageAnswer answer;
  };

  explicit HeadlessUiServices(bool echoToStderr = false) : m_echo(echoToStderr) {}

  MessageAnswer messageBox(std::u16string_view text, std::optional<std::u16string_view> caption,
                           MessageButtons buttons, MessageIcon icon) override;
  void setWaitCursor(bool on) override;
  void requestRepaint(std::uint32_t targets) override { m_repaints |= targets; }
  void enableSaveButton(bool on) override { m_saveEnabled = on; }

  void queueAnswer(MessageAnswer answer) { m_script.push_back(answer); }
  const std::vector<Shown>& shown() const { return m_shown; }
  void clearShown() { m_shown.clear(); }
  bool waitCursor() const { return m_waitDepth > 0; }
  std::uint32_t repaints() const { return m_repaints; }
  void clearRepaints() { m_repaints = 0; }
  bool saveEnabled() const { return m_saveEnabled; }

private:
  bool m_echo;
  std::deque<MessageAnswer> m_script;
  std::vector<Shown> m_shown;
  int m_waitDepth = 0;
  std::uint32_t m_repaints = 0;
  bool m_saveEnabled = false;
};

/// Installs services for the life of a scope, then restores the ones before.
class ScopedUiServices {
public:
  explicit ScopedUiServices(UiServices& services);
  ~ScopedUiServices();
  ScopedUiServices(const ScopedUiServices&) = delete;
  ScopedUiServices& operator=(const ScopedUiServices&) = delete;

private:
  UiServices* m_previous;
};

} // namespace platform
