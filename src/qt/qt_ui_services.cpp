#include "qt/qt_ui_services.h"

#include "qt/modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMessageBox>

namespace qtui {
namespace {

using platform::MessageAnswer;
using platform::MessageButtons;

QMessageBox::Icon qtIcon(platform::MessageIcon icon) {
  switch (icon) {
  case platform::MessageIcon::Information:
    return QMessageBox::Information;
  case platform::MessageIcon::Warning:
    return QMessageBox::Warning;
  case platform::MessageIcon::Error:
    return QMessageBox::Critical;
  case platform::MessageIcon::Question:
    return QMessageBox::Question;
  case platform::MessageIcon::None:
    break;
  }
  return QMessageBox::NoIcon;
}

struct ButtonSet {
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton escape; // what closing the box answers
};

ButtonSet qtButtons(MessageButtons buttons) {
  switch (buttons) {
  case MessageButtons::OkCancel:
    return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel};
  case MessageButtons::YesNo:
    return {QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
  case MessageButtons::YesNoCancel:
    return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel};
  case MessageButtons::RetryCancel:
    return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Cancel};
  case MessageButtons::AbortRetryIgnore:
    return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort};
  case MessageButtons::Ok:
    break;
  }
  return {QMessageBox::Ok, QMessageBox::Ok};
}

MessageAnswer answerOf(int button, MessageButtons buttons) {
  switch (button) {
  case QMessageBox::Ok:
    return MessageAnswer::Ok;
  case QMessageBox::Cancel:
    return MessageAnswer::Cancel;
  case QMessageBox::Abort:
    return MessageAnswer::Abort;
  case QMessageBox::Retry:
    return MessageAnswer::Retry;
  case QMessageBox::Ignore:
    return MessageAnswer::Ignore;
  case QMessageBox::Yes:
    return MessageAnswer::Yes;
  case QMessageBox::No:
    return MessageAnswer::No;
  default:
    return platform::safeDefaultAnswer(buttons);
  }
}

// The boxes speak the program's language whatever Qt's translation is.
// clang-format off
constexpr struct {
  QMessageBox::StandardButton button;
  const char16_t* text;
} kButtonTexts[] = {
    {QMessageBox::Ok,     u"确定"},
    {QMessageBox::Cancel, u"取消"},
    {QMessageBox::Yes,    u"是"},
    {QMessageBox::No,     u"否"},
    {QMessageBox::Retry,  u"重试"},
    {QMessageBox::Abort,  u"中止"},
    {QMessageBox::Ignore, u"忽略"},
};
// clang-format on

QString toQString(std::u16string_view s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

void labelStandardButtons(QMessageBox& box) {
  for (const auto& b : kButtonTexts)
    if (QAbstractButton* button = box.button(b.button))
      button->setText(QString::fromUtf16(b.text));
}

QtUiServices::~QtUiServices() {
  while (m_waitDepth > 0) {
    QApplication::restoreOverrideCursor();
    --m_waitDepth;
  }
}

MessageAnswer QtUiServices::messageBox(std::u16string_view text,
                                       std::optional<std::u16string_view> caption,
                                       MessageButtons buttons, platform::MessageIcon icon) {
  const ButtonSet set = qtButtons(buttons);
  QMessageBox box(qtIcon(icon), caption ? toQString(*caption) : QString(), toQString(text),
                  set.buttons, m_parent);
  box.setEscapeButton(set.escape);
  labelStandardButtons(box);
  // The wait cursor of a running operation must not hide the pointer over the box.
  if (m_waitDepth > 0)
    QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int chosen = execModal(box);
  if (m_waitDepth > 0)
    QApplication::restoreOverrideCursor();
  return answerOf(chosen, buttons);
}

void QtUiServices::setWaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_waitDepth;
  } else if (m_waitDepth > 0) {
    QApplication::restoreOverrideCursor();
    --m_waitDepth;
  }
}

void QtUiServices::requestRepaint(std::uint32_t targets) {
  if (onRepaint)
    onRepaint(targets);
}

void QtUiServices::enableSaveButton(bool on) {
  if (onSaveButton)
    onSaveButton(on);
}

} // namespace qtui
