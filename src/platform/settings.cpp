#include "platform/settings.h"

#include "platform/files.h"

#include "platform/unicode.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace platform {
namespace {

std::string escapeValue(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string unescapeValue(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

} // namespace

std::u16string hexText(std::span<const std::uint8_t> bytes) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> parseHexText(std::u16string_view text) {
  if (text.size() % 2 != 0)
    return std::nullopt;
  const auto digit = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9')
      return c - u'0';
    if (c >= u'a' && c <= u'f')
      return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
      return c - u'A' + 10;
    return -1;
  };
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = digit(text[i]);
    const int lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0)
      return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
  }
  return out;
}

std::optional<std::uint32_t> parseDwordText(std::u16string_view text) {
  if (text.empty() || text.size() > 10)
    return std::nullopt;
  std::uint64_t v = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9')
      return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - u'0');
  }
  if (v > 0xFFFFFFFFu)
    return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

std::optional<std::vector<std::uint8_t>> SettingsStore::binaryValue(std::u16string_view group,
                                                                    std::u16string_view key) const {
  const std::optional<std::u16string> text = value(group, key);
  if (!text)
    return std::nullopt;
  return parseHexText(*text);
}

void SettingsStore::setBinaryValue(std::u16string_view group, std::u16string_view key,
                                   std::span<const std::uint8_t> bytes) {
  setValue(group, key, hexText(bytes));
}

std::optional<std::uint32_t> SettingsStore::dwordValue(std::u16string_view group,
                                                       std::u16string_view key) const {
  const std::optional<std::u16string> text = value(group, key);
  if (!text)
    return std::nullopt;
  return parseDwordText(*text);
}

void SettingsStore::setDwordValue(std::u16string_view group, std::u16string_view key,
                                  std::uint32_t v) {
  std::u16string text;
  for (char c : std::to_string(v))
    text += static_cast<char16_t>(c);
  setValue(group, key, text);
}

std::optional<std::u16string> MemorySettingsStore::value(std::u16string_view group,
                                                         std::u16string_view key) const {
  const auto it = m_values.find({std::u16string(group), std::u16string(key)});
  if (it == m_values.end())
    return std::nullopt;
  return it->second;
}

void MemorySettingsStore::setValue(std::u16string_view group, std::u16string_view key,
                                   std::u16string_view value) {
  m_values[{std::u16string(group), std::u16string(key)}] = std::u16string(value);
}

IniSettingsStore::IniSettingsStore(std::string path) : m_path(std::move(path)) {
  std::ifstream in(m_path, std::ios::binary);
  std::string line;
  std::u16string group;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '#')
      continue;
    if (line.front() == '[' && line.back() == ']') {
      group = fromUtf8(std::string_view(line).substr(1, line.size() - 2));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
      continue;
    m_values[{group, fromUtf8(std::string_view(line).substr(0, eq))}] =
        fromUtf8(unescapeValue(std::string_view(line).substr(eq + 1)));
  }
}

bool IniSettingsStore::flush() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target(m_path);
  if (target.has_parent_path())
    fs::create_directories(target.parent_path(), ec);
  std::string text;
  const std::u16string* current = nullptr;
  for (const auto& [k, v] : m_values) {
    if (!current || *current != k.first) {
      text += (current ? "\n[" : "[") + toUtf8(k.first) + "]\n";
      current = &k.first;
    }
    text += toUtf8(k.second) + "=" + escapeValue(toUtf8(v)) + "\n";
  }
  return replaceFileAtomically(
      fromUtf8(m_path), std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string defaultSettingsPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    base = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    base = std::string(home) + "/.config";
  else
    base = ".";
  return base + "/Quenby Works/Cellwick.ini";
}

} // namespace platform
