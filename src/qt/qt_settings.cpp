#include "qt/qt_settings.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace qtui {
namespace {

QString toQString(std::u16string_view s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

QString settingsKey(std::u16string_view group, std::u16string_view key) {
  return toQString(group) + u'/' + toQString(key);
}

} // namespace

QtSettingsStore::QtSettingsStore()
    : m_settings(QStringLiteral("Quenby Works"), QStringLiteral("Cellwick")) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : m_settings(iniPath, QSettings::IniFormat) {}

std::optional<std::u16string> QtSettingsStore::value(std::u16string_view group,
                                                     std::u16string_view key) const {
  const QVariant v = m_settings.value(settingsKey(group, key));
  if (!v.isValid() || !v.canConvert<QString>())
    return std::nullopt;
  return v.toString().toStdU16String();
}

void QtSettingsStore::setValue(std::u16string_view group, std::u16string_view key,
                               std::u16string_view value) {
  m_settings.setValue(settingsKey(group, key), toQString(value));
}

bool QtSettingsStore::flush() {
  m_settings.sync();
  return m_settings.status() == QSettings::NoError;
}

std::optional<std::vector<std::uint8_t>>
QtSettingsStore::binaryValue(std::u16string_view group, std::u16string_view key) const {
  const QVariant v = m_settings.value(settingsKey(group, key));
  if (!v.isValid())
    return std::nullopt;
  // A value written by another store as hex text reads back too.
  if (v.typeId() != QMetaType::QByteArray)
    return platform::parseHexText(v.toString().toStdU16String());
  const QByteArray bytes = v.toByteArray();
  return std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   reinterpret_cast<const std::uint8_t*>(bytes.constData()) +
                                       bytes.size());
}

void QtSettingsStore::setBinaryValue(std::u16string_view group, std::u16string_view key,
                                     std::span<const std::uint8_t> bytes) {
  m_settings.setValue(settingsKey(group, key),
                      QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                 static_cast<qsizetype>(bytes.size())));
}

std::optional<std::uint32_t> QtSettingsStore::dwordValue(std::u16string_view group,
                                                         std::u16string_view key) const {
  const QVariant v = m_settings.value(settingsKey(group, key));
  if (!v.isValid())
    return std::nullopt;
  // INI files give every number back as text; the registry as an integer.
  bool ok = false;
  const qulonglong n = v.toULongLong(&ok);
  if (!ok || n > 0xFFFFFFFFull)
    return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

void QtSettingsStore::setDwordValue(std::u16string_view group, std::u16string_view key,
                                    std::uint32_t value) {
  m_settings.setValue(settingsKey(group, key), static_cast<uint>(value));
}

} // namespace qtui
