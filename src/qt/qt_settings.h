#pragma once
// Per-user settings on QSettings (organisation "Quenby Works", application
// "Cellwick"): the registry on Windows, an INI file in the user's config
// folder elsewhere. Groups and keys keep their names, so "Recent files/File1"
// and "Options/CmdBarData" are where a user would look for them.

#include "platform/settings.h"

#include <QSettings>

namespace qtui {

class QtSettingsStore final : public platform::SettingsStore {
public:
  QtSettingsStore();
  /// A store on a given file in INI format (tests).
  explicit QtSettingsStore(const QString& iniPath);

  std::optional<std::u16string> value(std::u16string_view group,
                                      std::u16string_view key) const override;
  void setValue(std::u16string_view group, std::u16string_view key,
                std::u16string_view value) override;
  bool flush() override;

  /// Binary values are kept as byte arrays and numbers as unsigned integers,
  /// the kinds QSettings maps to the registry's binary and DWORD values.
  std::optional<std::vector<std::uint8_t>> binaryValue(std::u16string_view group,
                                                       std::u16string_view key) const override;
  void setBinaryValue(std::u16string_view group, std::u16string_view key,
                      std::span<const std::uint8_t> bytes) override;
  std::optional<std::uint32_t> dwordValue(std::u16string_view group,
                                          std::u16string_view key) const override;
  void setDwordValue(std::u16string_view group, std::u16string_view key,
                     std::uint32_t value) override;

private:
  mutable QSettings m_settings;
};

} // namespace qtui
