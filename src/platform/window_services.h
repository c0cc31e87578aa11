#pragma once
// What the grid's window asks of the window system beyond message boxes:
// repainting a rectangle, timers by identifier, mouse capture, cursor
// shapes, keyboard focus, modifier keys, pop-up menus, the file dialogs and
// the clipboard's text.
// The desktop program implements it on Qt; tests use HeadlessWindowServices,
// which records every request and answers from a script.

#include "platform/canvas.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class CursorShape { Arrow, Wait, SizeColumns, SizeRows, Cross };

/// Where the keyboard focus goes.
enum class FocusTarget { Grid, FormulaBar };

/// Bits of modifiers().
enum ModifierKey : unsigned { kModShift = 1u << 0, kModControl = 1u << 1, kModAlt = 1u << 2 };

/// One line of a pop-up menu; id 0 is a separator.
struct PopupItem {
  int id = 0;
  std::u16string text;
  bool enabled = true;
  bool checked = false;
};

class WindowServices {
public:
  virtual ~WindowServices() = default;
  /// Marks a rectangle of the grid window for painting.
  virtual void invalidate(const Rect& r) = 0;
  /// Starts or restarts the timer; it posts WM_TIMER with the id until killed.
  virtual void setTimer(int id, int milliseconds) = 0;
  virtual void killTimer(int id) = 0;
  virtual void setCapture(bool on) = 0;
  virtual void setCursor(CursorShape shape) = 0;
  virtual void setFocus(FocusTarget target) = 0;
  /// The modifier keys held now (the state of the message being handled).
  virtual unsigned modifiers() const = 0;
  /// Shows a pop-up menu at a point of the grid window and returns the
  /// chosen item's id, or 0 when the menu was dismissed.
  virtual int trackPopupMenu(const std::vector<PopupItem>& items, Point at) = 0;
  /// Shows a drop-down list box just below `under` (grid window pixels),
  /// at least as wide, with `current` selected (-1: none), and returns the
  /// index the user chose, or -1 when the list was dismissed.
  virtual int trackDropDownList(const std::vector<std::u16string>& items, const Rect& under, int current) = 0;
  /// The open and save dialogs: a filter such as "Excel 97 工作簿文件 (*.xls)",
  /// several separated by ";;". Nothing when the user cancelled.
  virtual std::optional<std::u16string> askOpenFileName(std::u16string_view filter) = 0;
  virtual std::optional<std::u16string> askSaveFileName(std::u16string_view filter,
                                                        std::u16string_view suggested) = 0;
  /// Opens a file (the help file) with the desktop's default viewer.
  virtual void openWithDesktop(std::u16string_view path) = 0;
  /// The system clipboard's plain text (empty when it holds none), and
  /// replacing it with a text.
  virtual std::u16string clipboardText() const = 0;
  virtual void setClipboardText(std::u16string_view text) = 0;
  /// Puts copied cells on the clipboard: their text, and the program's own
  /// marker saying that its internal snapshot of them is current.
  virtual void setClipboardCells(std::u16string_view text) = 0;
  /// Whether the marker put there by setClipboardCells is still there (no
  /// one has copied anything since).
  virtual bool clipboardHasMarker() const = 0;
  /// Puts a picture on the clipboard, given as the bytes of a .bmp file,
  /// with a text beside it.
  virtual void setClipboardPicture(std::span<const std::uint8_t> bmp, std::u16string_view text) = 0;
};

/// Records requests; modifiers, pop-up choices and file names are scripted.
class HeadlessWindowServices final : public WindowServices {
public:
  void invalidate(const Rect& r) override { invalidated.push_back(r); }
  void setTimer(int id, int milliseconds) override { timers[id] = milliseconds; }
  void killTimer(int id) override { timers.erase(id); }
  void setCapture(bool on) override { captured = on; }
  void setCursor(CursorShape shape) override { cursor = shape; }
  void setFocus(FocusTarget target) override { focus = target; }
  unsigned modifiers() const override { return heldModifiers; }
  int trackPopupMenu(const std::vector<PopupItem>& items, Point at) override;
  int trackDropDownList(const std::vector<std::u16string>& items, const Rect& under, int current) override;
  std::optional<std::u16string> askOpenFileName(std::u16string_view filter) override;
  std::optional<std::u16string> askSaveFileName(std::u16string_view filter,
                                                std::u16string_view suggested) override;
  void openWithDesktop(std::u16string_view path) override { opened.emplace_back(path); }
  std::u16string clipboardText() const override { return clipboard; }
  void setClipboardText(std::u16string_view text) override {
    clipboard = text;
    marker = false;
    clipboardPicture.clear();
  }
  void setClipboardCells(std::u16string_view text) override {
    clipboard = text;
    marker = true;
    clipboardPicture.clear();
  }
  bool clipboardHasMarker() const override { return marker; }
  void setClipboardPicture(std::span<const std::uint8_t> bmp, std::u16string_view text) override {
    clipboardPicture.assign(bmp.begin(), bmp.end());
    clipboard = text;
    marker = false;
  }

  std::vector<Rect> invalidated;
  std::map<int, int> timers; // running timers: id -> interval
  bool captured = false;
  CursorShape cursor = CursorShape::Arrow;
  FocusTarget focus = FocusTarget::Grid;
  unsigned heldModifiers = 0;
  std::deque<int> popupChoices;                         // answers of trackPopupMenu, else 0
  std::vector<std::vector<PopupItem>> popupsShown;      // every menu shown
  std::deque<int> dropDownChoices;                      // answers of trackDropDownList, else -1
  std::vector<std::vector<std::u16string>> dropDownsShown; // every drop-down list shown
  std::deque<std::optional<std::u16string>> fileNames;  // answers of the file dialogs, else none
  std::vector<std::u16string> opened;
  std::u16string clipboard;
  bool marker = false; // the program's own cells are on the clipboard
  std::vector<std::uint8_t> clipboardPicture; // the last picture copied
};

/// The services in force: a HeadlessWindowServices unless another was set.
WindowServices& windowServices();
/// Installs services (not owned), or the default again when given nullptr.
void setWindowServices(WindowServices* services);

} // namespace platform
