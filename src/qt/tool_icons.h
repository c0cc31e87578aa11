#pragma once
// The tool bar's icons: the desktop theme's icon for a command where the
// theme has one, else a small icon drawn here, so every button shows a
// picture whatever the desktop.

#include <QIcon>

namespace qtui {

/// The icon of a tool-bar command (110 New ... 167 Insert function); a null
/// icon for other identifiers.
QIcon toolIcon(int commandId);
/// The drawn icon alone, ignoring the theme (what a desktop without one shows).
QIcon drawnToolIcon(int commandId);

} // namespace qtui
