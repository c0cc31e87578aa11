#include "app/navigation.h"

namespace app {

LResult on_keydown(App&, unsigned, WParam, LParam) { return 0; }
LResult on_lbuttondown(App&, unsigned, WParam, LParam) { return 0; }
LResult on_lbuttondblclk(App&, unsigned, WParam, LParam) { return 0; }
LResult on_lbuttonup(App&, unsigned, WParam, LParam) { return 0; }
LResult on_mousemove(App&, unsigned, WParam, LParam) { return 0; }
LResult on_rbuttondown(App&, unsigned, WParam, LParam) { return 0; }
LResult on_mousewheel(App&, unsigned, WParam, LParam) { return 0; }
LResult on_scroll(App&, unsigned, WParam, LParam) { return 0; }
LResult on_timer(App&, unsigned, WParam, LParam) { return 0; }

} // namespace app
