#include "dialogs/password_dialog.h"

#include "dialogs/prompt_dialog.h"

namespace dialogs {
namespace {

std::optional<std::u16string> askPassword(std::u16string title, std::u16string label) {
  Prompt p;
  p.title = std::move(title);
  p.label = std::move(label);
  p.password = true;
  p.limit = kMaxPasswordLength;
  return askText(p);
}

} // namespace

std::optional<std::u16string> askProtectPassword() {
  return askPassword(u"保护工作表", u"请输入保护密码：");
}

std::optional<std::u16string> askUnprotectPassword() {
  return askPassword(u"解除工作表保护", u"请输入密码：");
}

} // namespace dialogs
