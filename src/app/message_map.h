#pragma once
// The main window procedure: messages are looked up in the MessageMap, a
// table of (message, handler) rows searched linearly; others are ignored
// (the default window procedure's share is done by the window system).

#include "app/app.h"

namespace app {

using MessageHandler = LResult (*)(App&, unsigned msg, WParam, LParam);

struct MessageMapEntry {
  unsigned message;
  MessageHandler handler;
};

LResult main_window_proc(App& app, unsigned msg, WParam wParam, LParam lParam);

} // namespace app
