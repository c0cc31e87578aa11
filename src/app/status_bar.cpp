#include "app/status_bar.h"

namespace app {

void update_status_summary(App& app) { app.set_status_text(kStatusSummaryPart, u""); }

} // namespace app
