#pragma once
// The frame's own messages: closing, help, size changes and the status
// bar's notifications.

#include "app/app.h"

namespace app {

LResult on_close(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_help(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_size(App& app, unsigned msg, WParam wParam, LParam lParam);
LResult on_notify(App& app, unsigned msg, WParam wParam, LParam lParam);

/// Runs New as the program does when no file opens at start.
void startup_open(App& app, std::u16string_view commandLine);

} // namespace app
