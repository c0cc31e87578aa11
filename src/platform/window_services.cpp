#include "platform/window_services.h"

namespace platform {

int HeadlessWindowServices::trackPopupMenu(const std::vector<PopupItem>& items, Point) {
  popupsShown.push_back(items);
  if (popupChoices.empty())
    return 0;
  const int id = popupChoices.front();
  popupChoices.pop_front();
  return id;
}

int HeadlessWindowServices::trackDropDownList(const std::vector<std::u16string>& items, const Rect&, int) {
  dropDownsShown.push_back(items);
  if (dropDownChoices.empty())
    return -1;
  const int index = dropDownChoices.front();
  dropDownChoices.pop_front();
  return index;
}

std::optional<std::u16string> HeadlessWindowServices::askOpenFileName(std::u16string_view) {
  if (fileNames.empty())
    return std::nullopt;
  auto name = std::move(fileNames.front());
  fileNames.pop_front();
  return name;
}

std::optional<std::u16string> HeadlessWindowServices::askSaveFileName(std::u16string_view filter,
                                                                      std::u16string_view) {
  return askOpenFileName(filter);
}

namespace {
HeadlessWindowServices& defaultServices() {
  static HeadlessWindowServices services;
  return services;
}
WindowServices* g_services = nullptr;
} // namespace

WindowServices& windowServices() { return g_services ? *g_services : defaultServices(); }

void setWindowServices(WindowServices* services) { g_services = services; }

} // namespace platform
