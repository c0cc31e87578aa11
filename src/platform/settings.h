#pragma once
// Per-user settings as named string values in groups ("Recent files" /
// "File1"). The desktop program keeps them in QSettings; the command-line
// tool in an INI file; tests in memory. Failures are never reported: a value
// that cannot be read is absent, a write that fails is lost.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class SettingsStore {
public:
  virtual ~SettingsStore() = default;
  virtual std::optional<std::u16string> value(std::u16string_view group,
                                              std::u16string_view key) const = 0;
  virtual void setValue(std::u16string_view group, std::u16string_view key,
                        std::u16string_view value) = 0;
  /// Writes pending changes out; false when that failed.
  virtual bool flush() { return true; }

  /// Binary values and 32-bit numbers (the registry's REG_BINARY and
  /// REG_DWORD). Stores that only hold text keep bytes as lower-case hex
  /// digits and numbers in decimal; a value that does not read back as its
  /// kind is absent. A store with native kinds overrides these.
  virtual std::optional<std::vector<std::uint8_t>> binaryValue(std::u16string_view group,
                                                               std::u16string_view key) const;
  virtual void setBinaryValue(std::u16string_view group, std::u16string_view key,
                              std::span<const std::uint8_t> bytes);
  virtual std::optional<std::uint32_t> dwordValue(std::u16string_view group,
                                                  std::u16string_view key) const;
  virtual void setDwordValue(std::u16string_view group, std::u16string_view key,
                             std::uint32_t value);
};

/// The text forms the text-only stores use for binary values and numbers.
std::u16string hexText(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> parseHexText(std::u16string_view text);
std::optional<std::uint32_t> parseDwordText(std::u16string_view text);

class MemorySettingsStore : public SettingsStore {
public:
  std::optional<std::u16string> value(std::u16string_view group,
                                      std::u16string_view key) const override;
  void setValue(std::u16string_view group, std::u16string_view key,
                std::u16string_view value) override;

protected:
  std::map<std::pair<std::u16string, std::u16string>, std::u16string> m_values;
};

/// An INI file: "[group]" lines, then "key=value" lines, UTF-8. Values are
/// written with "\\", "\n" and "\r" escaped so a value is always one line.
/// Loaded once on construction; flush() rewrites the whole file through a
/// temporary file.
class IniSettingsStore final : public MemorySettingsStore {
public:
  explicit IniSettingsStore(std::string path);
  bool flush() override;
  const std::string& path() const { return m_path; }

private:
  std::string m_path;
};

/// $XDG_CONFIG_HOME/Quenby Works/Cellwick.ini, or ~/.config/... without it.
std::string defaultSettingsPath();

} // namespace platform
