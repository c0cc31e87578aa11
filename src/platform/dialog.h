#pragma once
// Modal dialogs as data: a template lists the controls with their positions
// in dialog units, and a procedure reacts to what the user does. A host
// turns the template into a window (the Qt host in the desktop program) or
// drives the procedure from a script (ScriptedDialogHost in tests), so the
// procedures stay portable and testable without a window system.

#include "platform/canvas.h"
#include "platform/text_metrics.h"

#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Closing ids, numbered as the Win32 ones (IDOK, IDCANCEL), which stay
/// macros on that platform and so are not reused as names here.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum class ControlKind : std::uint8_t {
  Static, // label
  Edit,   // text field: one line unless kStyleMultiLine
  Button, // push button; kIdOk and kIdCancel close the dialog
  CheckBox,
  Radio,
  ListBox,
  ComboBox, // drop-down list of items (the user cannot type into it)
  GroupBox, // frame with a caption drawn around other controls
  Picker,   // a custom control; its text names the window class ("ColorPicker")
  ScrollBar, // runs over [low, high]; vertical when taller than wide
};

/// The window classes of the program's own controls (ControlKind::Picker).
/// The picker buttons carry a value and an option word; "FontPreview"
/// draws a font sample; any other class is drawn by the dialog procedure
/// (paintControl) and reports presses to it (onClickAt).
inline constexpr std::u16string_view kColourPickerClass = u"ColorPicker";
inline constexpr std::u16string_view kPatternPickerClass = u"PatternPicker";
inline constexpr std::u16string_view kLinePickerClass = u"LinePicker";
inline constexpr std::u16string_view kBorderPickerClass = u"BorderPicker";
inline constexpr std::u16string_view kFontPreviewClass = u"FontPreview";

/// Check box states.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kIndeterminate = 2;

/// Bits of DialogControl::style.
enum ControlStyle : std::uint32_t {
  kStyleDefault = 1u << 0,    // the button Enter presses
  kStyleDisabled = 1u << 1,   // starts disabled
  kStylePassword = 1u << 2,   // edit shows bullets
  kStyleGroupStart = 1u << 3, // first radio button of a group
  kStyleCentre = 1u << 4,     // static text centred
  kStyleThreeState = 1u << 5, // check box the user can also leave indeterminate
  kStyleEditable = 1u << 6,   // combo box the user may also type into
  kStyleUpDown = 1u << 7,     // edit holding a number, with an up-down control over [low, high]
  kStyleMultiLine = 1u << 8,  // edit of several lines: Enter starts a new line
  kStyleShiftDefault = 1u << 9, // the button Shift+Enter presses
};

struct DialogControl {
  int id = 0; // 0 or -1 for labels nothing refers to
  ControlKind kind = ControlKind::Static;
  std::u16string text;
  int x = 0, y = 0, w = 0, h = 0; // dialog units
  std::uint32_t style = 0;
  int limit = 0; // edit: most characters the user may type; 0 = no limit
  int low = 0, high = 0; // kStyleUpDown: the range the arrows step through
};

struct DialogTemplate {
  std::u16string title;
  int width = 0, height = 0; // dialog units
  std::vector<DialogControl> controls;

  const DialogControl* control(int id) const;
};

/// A tabbed dialog: one template per page (its title is the tab's text),
/// with OK and Cancel supplied by the host.
struct PropertySheetTemplate {
  std::u16string title;
  std::vector<DialogTemplate> pages;
  int startPage = 0;          // the page shown first
  int* shownPage = nullptr;   // when set, receives the page shown when the sheet closed
};

/// What a control reports.
enum class Notification : std::uint8_t {
  Clicked,          // button, check box or radio button pressed
  Changed,          // the user edited an edit's text
  SelectionChanged, // the user chose another list or combo item
  DoubleClicked,    // a list item was double-clicked
  Scrolled,         // a scroll bar's position moved (a line, a page or a drag)
};

/// The controls of a running dialog, by id. Calls naming an id the dialog
/// does not have do nothing and read as empty.
class DialogControls {
public:
  virtual ~DialogControls() = default;
  virtual std::u16string text(int id) const = 0;
  virtual void setText(int id, std::u16string_view text) = 0;
  virtual bool checked(int id) const = 0;
  virtual void setChecked(int id, bool on) = 0;
  /// Replaces a list's or combo's items; the selection becomes none.
  virtual void setItems(int id, const std::vector<std::u16string>& items) = 0;
  /// Shows a colour swatch (0x00BBGGRR) beside an item.
  virtual void setItemColour(int id, int index, std::uint32_t colour) = 0;
  virtual int itemCount(int id) const = 0;
  virtual std::u16string itemText(int id, int index) const = 0;
  /// The selected item, or -1.
  virtual int selection(int id) const = 0;
  /// Selects an item (-1 for none); an index out of range selects none.
  virtual void setSelection(int id, int index) = 0;
  virtual bool enabled(int id) const = 0;
  virtual void setEnabled(int id, bool on) = 0;
  /// Selects part of an edit's text and gives it the focus.
  virtual void selectText(int id, int start, int end) = 0;

  /// Check boxes: kUnchecked, kChecked or kIndeterminate. Setting
  /// kIndeterminate makes the box three-state for the rest of the run.
  virtual int checkState(int id) const = 0;
  virtual void setCheckState(int id, int state) = 0;
  /// A picker button's value (a palette index or a colour value of the
  /// picker, a pattern, a line style) and its option word.
  virtual int pickerValue(int id) const = 0;
  virtual void setPickerValue(int id, int value) = 0;
  virtual void setPickerOption(int id, int option) = 0;
  /// The font a "FontPreview" control shows its sample in.
  virtual void setPreviewFont(int id, const FontSpec& font) = 0;
  /// Asks an owner-drawn control to be painted again.
  virtual void invalidate(int id) = 0;
  /// A scroll bar's position, and its range with the step a page click makes.
  virtual int scrollPosition(int id) const = 0;
  virtual void setScroll(int id, int position, int low, int high, int page) = 0;
};

/// The behaviour of one dialog. Message boxes it shows go through ui() and
/// appear over the dialog.
class DialogProcedure {
public:
  virtual ~DialogProcedure() = default;
  /// Before the dialog is shown: fill lists, set initial texts.
  virtual void onInit(DialogControls&) {}
  /// A control other than OK and Cancel reported something. Returns 0 to
  /// stay open, kIdOk to act as if OK were pressed (onOk decides), or
  /// another id to close the dialog with it.
  virtual int onCommand(DialogControls&, int id, Notification what) {
    (void)id, (void)what;
    return 0;
  }
  /// OK was pressed: read the controls and return true to close, or tell the
  /// user what is wrong and return false to stay open.
  virtual bool onOk(DialogControls&) { return true; }
  /// Property sheets: the user is going from this page to another. Return
  /// false, after telling the user why, to keep this page shown.
  virtual bool onLeavePage(DialogControls&) { return true; }
  /// Paints an owner-drawn control whose bounds are `r`.
  virtual void paintControl(int id, Canvas& canvas, const Rect& r) {
    (void)id, (void)canvas, (void)r;
  }
  /// A left press at `p` inside an owner-drawn control whose bounds are
  /// `r`; returns as onCommand does.
  virtual int onClickAt(DialogControls& controls, int id, Point p, const Rect& r) {
    (void)controls, (void)id, (void)p, (void)r;
    return 0;
  }
};

class DialogHost {
public:
  virtual ~DialogHost() = default;
  /// Shows the dialog modally; returns the closing id (kIdOk, kIdCancel or
  /// another id a procedure closed with).
  virtual int run(const DialogTemplate& dialog, DialogProcedure& procedure) = 0;
  /// Shows a property sheet; `pages` holds one procedure per page. OK asks
  /// every page in order and stays open at the first that refuses.
  virtual int runSheet(const PropertySheetTemplate& sheet,
                       std::span<DialogProcedure* const> pages) = 0;
};

/// The host in force: a ScriptedDialogHost with nothing queued (every
/// dialog is cancelled) unless setDialogHost installed another.
DialogHost& dialogHost();
/// Installs a host (not owned), or the default again when given nullptr.
void setDialogHost(DialogHost* host);

/// Installs a host for the life of a scope, then restores the one before.
class ScopedDialogHost {
public:
  explicit ScopedDialogHost(DialogHost& host);
  ~ScopedDialogHost();
  ScopedDialogHost(const ScopedDialogHost&) = delete;
  ScopedDialogHost& operator=(const ScopedDialogHost&) = delete;

private:
  DialogHost* m_previous;
};

/// The controls of a dialog held in memory: what ScriptedDialogHost gives
/// procedures, and a record of what they left behind.
class ControlState final : public DialogControls {
public:
  struct Control {
    ControlKind kind = ControlKind::Static;
    std::u16string text;
    int checkState = kUnchecked;
    bool threeState = false;
    bool enabled = true;
    int pickerValue = 0;
    int pickerOption = 0;
    FontSpec previewFont;
    int width = 0, height = 0; // dialog units
    std::vector<std::u16string> items;
    std::map<int, std::uint32_t> itemColours;
    int selection = -1;
    int selectionStart = 0, selectionEnd = 0; // of an edit's text
    int limit = 0;
    bool groupStart = false;
    bool editable = false; // a combo box with kStyleEditable: `text` is what it shows
    int scrollPosition = 0, scrollLow = 0, scrollHigh = 0, scrollPage = 1;
  };

  ControlState() = default;
  explicit ControlState(const DialogTemplate& dialog);

  std::u16string text(int id) const override;
  void setText(int id, std::u16string_view text) override;
  bool checked(int id) const override;
  void setChecked(int id, bool on) override;
  void setItems(int id, const std::vector<std::u16string>& items) override;
  void setItemColour(int id, int index, std::uint32_t colour) override;
  int itemCount(int id) const override;
  std::u16string itemText(int id, int index) const override;
  int selection(int id) const override;
  void setSelection(int id, int index) override;
  bool enabled(int id) const override;
  void setEnabled(int id, bool on) override;
  void selectText(int id, int start, int end) override;
  int checkState(int id) const override;
  void setCheckState(int id, int state) override;
  int pickerValue(int id) const override;
  void setPickerValue(int id, int value) override;
  void setPickerOption(int id, int option) override;
  void setPreviewFont(int id, const FontSpec& font) override;
  void invalidate(int id) override { (void)id; }
  int scrollPosition(int id) const override;
  void setScroll(int id, int position, int low, int high, int page) override;

  bool has(int id) const { return m_controls.count(id) != 0; }
  const Control* find(int id) const;
  /// Ids of the radio buttons in the same group as `id` (itself included).
  std::vector<int> radioGroup(int id) const;

private:
  Control* get(int id);
  std::map<int, Control> m_controls;
  std::vector<int> m_order; // template order, for radio groups
};

/// One step of a scripted user.
struct DialogAction {
  enum class Kind : std::uint8_t { SetText, Check, Select, DoubleClick, Press, Choose, ClickAt, Scroll };
  Kind kind = Kind::Press;
  int id = 0;
  std::u16string text;
  int value = 0; // Check: a check state; Select and DoubleClick: the item; Choose: the picker value;
                 // Scroll: the position dragged to
  int page = 0;  // property sheets: the page the control is on
  Point at{};    // ClickAt: in the control, whose bounds are its template size in dialog units

  static DialogAction setText(int id, std::u16string_view text, int page = 0);
  static DialogAction check(int id, bool on = true, int page = 0);
  /// Clicks a check box until it shows `state` (kIndeterminate on a three-state box).
  static DialogAction checkState(int id, int state, int page = 0);
  /// Chooses a value in a picker's list.
  static DialogAction choose(int id, int value, int page = 0);
  static DialogAction clickAt(int id, Point at, int page = 0);
  static DialogAction select(int id, int index, int page = 0);
  static DialogAction doubleClick(int id, int index, int page = 0);
  static DialogAction press(int id, int page = 0);
  static DialogAction scroll(int id, int position, int page = 0);
  static DialogAction ok() { return press(kIdOk); }
  static DialogAction cancel() { return press(kIdCancel); }
};

/// Runs dialogs without a window: initialises the procedure, then plays the
/// next queued script, reporting each step to the procedure as the control
/// would. A script that ends with the dialog still open, or no script at
/// all, closes it with kIdCancel, as a user walking away would.
class ScriptedDialogHost final : public DialogHost {
public:
  /// What one run saw.
  struct Run {
    std::u16string title;
    std::vector<ControlState> afterInit; // one per page
    std::vector<ControlState> final;
    int result = kIdCancel;
    int refusedOks = 0; // OK presses the procedure refused
    int shownPage = 0;  // the page of the last step, or the start page
    int badActions = 0; // steps naming a control the dialog lacks
    int refusedLeaves = 0; // steps on another page that the shown page kept from showing
  };

  void queue(std::vector<DialogAction> script) { m_scripts.push_back(std::move(script)); }
  int run(const DialogTemplate& dialog, DialogProcedure& procedure) override;
  int runSheet(const PropertySheetTemplate& sheet,
               std::span<DialogProcedure* const> pages) override;

  const std::vector<Run>& runs() const { return m_runs; }
  size_t pendingScripts() const { return m_scripts.size(); }

private:
  std::deque<std::vector<DialogAction>> m_scripts;
  std::vector<Run> m_runs;
};

} // namespace platform
