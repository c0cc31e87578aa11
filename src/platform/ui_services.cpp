#include "platform/ui_services.h"

#include "platform/unicode.h"

#include <cstdio>

namespace platform {
namespace {

HeadlessUiServices g_echoingServices(/*echoToStderr=*/true);
UiServices* g_services = &g_echoingServices;

const char* buttonsName(MessageButtons b) {
  switch (b) {
  case MessageButtons::Ok: return "OK";
  case MessageButtons::OkCancel: return "OK/Cancel";
  case MessageButtons::YesNo: return "Yes/No";
  case MessageButtons::YesNoCancel: return "Yes/No/Cancel";
  case MessageButtons::RetryCancel: return "Retry/Cancel";
  case MessageButtons::AbortRetryIgnore: return "Abort/Retry/Ignore";
  }
  return "?";
}

const char* answerName(MessageAnswer a) {
  switch (a) {
  case MessageAnswer::Ok: return "OK";
  case MessageAnswer::Cancel: return "Cancel";
  case MessageAnswer::Abort: return "Abort";
  case MessageAnswer::Retry: return "Retry";
  case MessageAnswer::Ignore: return "Ignore";
  case MessageAnswer::Yes: return "Yes";
  case MessageAnswer::No: return "No";
  }
  return "?";
}

} // namespace

UiServices& ui() { return *g_services; }

void setUiServices(UiServices* services) {
  g_services = services ? services : &g_echoingServices;
}

MessageAnswer safeDefaultAnswer(MessageButtons buttons) {
  switch (buttons) {
  case MessageButtons::Ok: return MessageAnswer::Ok;
  case MessageButtons::OkCancel:
  case MessageButtons::YesNoCancel:
  case MessageButtons::RetryCancel: return MessageAnswer::Cancel;
  case MessageButtons::YesNo: return MessageAnswer::No;
  case MessageButtons::AbortRetryIgnore: return MessageAnswer::Abort;
  }
  return MessageAnswer::Cancel;
}

MessageAnswer HeadlessUiServices::messageBox(std::u16string_view text,
                                             std::optional<std::u16string_view> caption,
                                             MessageButtons buttons, MessageIcon icon) {
  MessageAnswer answer = safeDefaultAnswer(buttons);
  if (!m_script.empty()) {
    answer = m_script.front();
    m_script.pop_front();
  }
  std::optional<std::u16string> ownedCaption;
  if (caption)
    ownedCaption.emplace(*caption);
  m_shown.push_back({std::u16string(text), ownedCaption, buttons, icon, answer});
  if (m_echo) {
    std::fprintf(stderr, "[%s] %s (%s -> %s)\n", caption ? toUtf8(*caption).c_str() : "",
                 toUtf8(text).c_str(), buttonsName(buttons), answerName(answer));
  }
  return answer;
}

void HeadlessUiServices::setWaitCursor(bool on) { m_waitDepth += on ? 1 : (m_waitDepth > 0 ? -1 : 0); }

ScopedUiServices::ScopedUiServices(UiServices& services) : m_previous(&ui()) {
  setUiServices(&services);
}

ScopedUiServices::~ScopedUiServices() { setUiServices(m_previous); }

} // namespace platform
