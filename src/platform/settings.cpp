#include "platform/settings.h"

#include "platform/files.h"

#include "platform/unicode.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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
