#pragma once
// Form controls in the window: operating them with the mouse (the linked
// cell is written as a typed entry would be, and the control's macro runs),
// their format dialog, and the Insert menu's control commands.

#include "app/app.h"

namespace app {

/// A plain press on a control operates it; true when the press was the
/// control's (a Ctrl+press, or a label, group box or button without a
/// macro, is left to select the object).
bool press_control(App& app, int object, platform::Point p);

/// The format dialog of the selected control; false when no control with
/// a "控制" page is selected.
bool format_selected_control(App& app);

/// Chains the press hook and the control painting.
void install_controls(App& app);

} // namespace app
