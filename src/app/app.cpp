#include "app/app.h"

#include "platform/ui_services.h"

namespace app {

App::App(model::WorkbookList& b, platform::WindowServices& w) : books(b), window(w) {}

model::Sheet* App::gridSheet() {
  model::Workbook* wb = book();
  if (!wb || wb->sheetCount() == 0)
    return nullptr;
  model::Sheet& s = wb->active();
  return (s.kind == model::SheetKind::Worksheet || s.kind == model::SheetKind::Macro) ? &s : nullptr;
}

void App::relayout() {
  model::Workbook* wb = book();
  if (!wb) {
    layout = view::GridLayout{};
    layout.client = layoutInput.client;
    return;
  }
  layout = view::relayout(*wb, layoutInput);
}

void App::set_status_text(int part, std::u16string_view text) {
  if (part < 0 || part >= static_cast<int>(statusText.size()) || statusText[static_cast<size_t>(part)] == text)
    return;
  statusText[static_cast<size_t>(part)] = std::u16string(text);
  platform::ui().requestRepaint(platform::kRepaintStatusBar);
}

void App::setEndMode(bool on) {
  endMode = on;
  set_status_text(kStatusEndPart, on ? u"END" : u"");
}

void App::leaveEndMode() {
  if (endMode)
    setEndMode(false);
}

void App::redrawAll() {
  relayout();
  window.invalidate(layout.client);
  platform::ui().requestRepaint(platform::kRepaintGrid | platform::kRepaintTabs);
}

} // namespace app
