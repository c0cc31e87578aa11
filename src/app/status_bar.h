#pragma once
// The status bar's summary of the selection and its pop-up menu of functions.

#include "app/app.h"

namespace app {

/// The names of the summary functions 0-6.
inline constexpr std::u16string_view kSummaryNames[7] = {u"无",   u"平均值", u"计数", u"数值计数",
                                                         u"最大值", u"最小值", u"求和"};

/// Recomputes part 1 from the active sheet's selection.
void update_status_summary(App& app);

} // namespace app
