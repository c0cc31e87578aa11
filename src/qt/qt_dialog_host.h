#pragma once
// Dialog templates shown as Qt dialogs: each control becomes the matching
// widget at its template position (dialog units scaled by the dialog font),
// and the widgets' signals reach the dialog procedure.

#include "platform/dialog.h"

#include <QString>

class QWidget;

namespace qtui {

/// The object name of a control's widget, "control<id>", by which tests
/// and style sheets find it.
QString controlObjectName(int id);

class QtDialogHost final : public platform::DialogHost {
public:
  /// Dialogs are modal over `parent` (may be null).
  explicit QtDialogHost(QWidget* parent = nullptr) : m_parent(parent) {}

  int run(const platform::DialogTemplate& dialog, platform::DialogProcedure& procedure) override;
  int runSheet(const platform::PropertySheetTemplate& sheet,
               std::span<platform::DialogProcedure* const> pages) override;

private:
  QWidget* m_parent;
};

} // namespace qtui
