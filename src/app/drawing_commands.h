#pragma once
// Drawing objects and comments on the grid: arming the mouse to drag out a
// new object (Insert > 绘图 and the controls), selecting, moving, sizing,
// nudging and deleting objects, and the comment command with its pop-up.
// Every change records one entry of the undo list first.

#include "app/app.h"
#include "view/grid_layout.h"

namespace app {

/// Arms the mouse to drag out a new object of the kind: the next press on
/// the cells starts the rubber outline, the release makes the object (with
/// `hooks.prepareNewObject` filling what the kind adds) and selects it.
/// Escape, or a press outside the cells, disarms. The controls' commands
/// call it with their kinds as the Insert menu's shapes do.
void begin_insert_object(App& app, int kind);

/// Selects an object (-1: none), repainting the handles that come and go.
void select_object(App& app, int index);

/// Records the undo entry of an object command on the active sheet with
/// the sheet's object list. False when it could not be recorded (the
/// command must not run then) or when the sheet is protected (refused with
/// the protection message).
bool record_object_undo(App& app, model::UndoAction action);

/// Whether the format command (190) has a dialog for the sheet's selected object.
bool can_format_selected_object(const model::Sheet* sheet);
/// The format dialog of the selected object; the change is one undo entry.
/// False when there is no dialog for it.
bool format_selected_object(App& app);

/// The chart settings dialog on the active chart sheet's chart or the
/// selected embedded chart; OK stores the edited chart as one undo entry.
/// False when there is no chart to edit (the command is another's then).
bool edit_chart(App& app);

/// Whether Cut and Copy take the sheet's selected object: any but a
/// comment (it goes with its cell) and the filter's arrows.
bool can_copy_selected_object(const model::Sheet* sheet);
/// Cut (one undo entry) or Copy of the selected object: it is kept for
/// Paste and its text put on the system clipboard. False when no object is
/// selected (the command is the cells' then).
bool copy_selected_object(App& app, bool cut);
/// Whether Paste makes an object: the last Copy or Cut was an object's and
/// nothing has been copied since, and the sheet is a worksheet.
bool can_paste_object(const model::Sheet* sheet, const platform::WindowServices& window);
/// Pastes the copied object onto the active sheet as one undo entry, a
/// step right of and below the last one pasted (a cut object first comes
/// back where it was), and selects it. False when Paste is the cells'.
bool paste_object(App& app);

/// Deletes the selected object; false when none is selected.
bool delete_selected_object(App& app);

/// The grid's share of the mouse for objects. A press while a new object
/// is armed: true when it started the drag (or disarmed on a press off the
/// cells).
bool press_for_new_object(App& app, const view::HitTest& hit, platform::Point p);
/// The release of a move, size or new-object drag: makes the change.
void finish_object_drag(App& app, CaptureMode was, platform::Point p, bool shift);
/// The rubber outline of the new object as the mouse has it now (window pixels).
view::PaintOverlays::NewObject new_object_outline(const App& app);

/// A character typed while a text box is selected goes into its text
/// (Backspace takes the last one back, Enter starts a new line). True when
/// the box took it.
bool type_into_object(App& app, char16_t ch);

/// Keys while an object is selected or a new one armed: Escape disarms or
/// drops the selection, the arrows move the object a pixel, Delete deletes
/// it, Tab and Shift+Tab step through the objects. True when used.
bool object_keydown(App& app, unsigned key, bool shift);

/// The mouse rests over the cells with no button held: a cell with a
/// comment shows it after the pop-up delay; leaving the cell hides it.
void hover_for_comment(App& app, const view::HitTest& hit);
/// Hides the comment pop-up when one is shown.
void hide_comment(App& app);

/// Installs the comment pop-up hook.
void install_drawing(App& app);

/// The author given to new comments: the user's login name.
std::u16string comment_author();

} // namespace app
