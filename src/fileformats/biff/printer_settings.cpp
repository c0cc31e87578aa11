#include "fileformats/biff/printer_settings.h"

#include "platform/code_page.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace biff {

namespace {

// Positions in the two layouts. Each holds a 32-character device name, 38
// bytes of numeric fields (the size field among them), a 32-character form
// name and further numeric fields; only the names differ in width.
constexpr size_t kNameChars = 32;
constexpr size_t kFieldsBytes = 38;
constexpr size_t kSizeFieldOffset = 4; // dmSize, counted from the end of the device name
constexpr size_t kNarrowFormName = kNameChars + kFieldsBytes;     // 70
constexpr size_t kNarrowPublicEnd = kNarrowFormName + kNameChars; // 102
constexpr size_t kWideFormName = 2 * kNameChars + kFieldsBytes;   // 102
constexpr size_t kWidePublicEnd = kWideFormName + 2 * kNameChars; // 166
// The fields up to dmFields must be there for the structure to mean anything.
constexpr size_t kMinimumFields = 8;

std::uint16_t sizeField(std::span<const std::uint8_t> b, size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
void putSize(std::vector<std::uint8_t> &b, size_t at, size_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void widenName(std::span<const std::uint8_t> name, int codePage, std::vector<std::uint8_t> &out) {
  const size_t end = static_cast<size_t>(std::find(name.begin(), name.end(), 0) - name.begin());
  const std::string_view bytes(reinterpret_cast<const char *>(name.data()), end);
  std::u16string text;
  if (!platform::toUtf16(codePage, bytes, text)) {
    text.clear();
    for (unsigned char ch : bytes)
      text += static_cast<char16_t>(ch);
  }
  text.resize(std::min(text.size(), kNameChars - 1));
  text.resize(kNameChars, u'\0');
  for (char16_t ch : text) {
    out.push_back(static_cast<std::uint8_t>(ch));
    out.push_back(static_cast<std::uint8_t>(ch >> 8));
  }
}

void narrowName(std::span<const std::uint8_t> name, int codePage, std::vector<std::uint8_t> &out) {
  std::u16string text;
  for (size_t i = 0; i + 1 < name.size(); i += 2) {
    const auto ch = static_cast<char16_t>(name[i] | (name[i + 1] << 8));
    if (ch == 0)
      break;
    text += ch;
  }
  std::string bytes;
  if (!platform::fromUtf16(codePage, text, bytes)) {
    bytes.clear();
    for (char16_t ch : text)
      bytes += ch < 0x100 ? static_cast<char>(ch) : '?';
  }
  bytes.resize(std::min(bytes.size(), kNameChars - 1));
  bytes.resize(kNameChars, '\0');
  out.insert(out.end(), bytes.begin(), bytes.end());
}

} // namespace

bool widenPrinterSettings(std::span<const std::uint8_t> narrow, int codePage,
                          std::vector<std::uint8_t> &out) {
  out.clear();
  if (narrow.size() < kNameChars + kMinimumFields)
    return false;
  const size_t size = sizeField(narrow, kNameChars + kSizeFieldOffset);
  if (size < kNameChars + kMinimumFields || size > narrow.size())
    return false;
  out.reserve(narrow.size() + 2 * kNameChars);
  widenName(narrow.subspan(0, kNameChars), codePage, out);
  if (size >= kNarrowPublicEnd) {
    out.insert(out.end(), narrow.begin() + kNameChars, narrow.begin() + kNarrowFormName);
    widenName(narrow.subspan(kNarrowFormName, kNameChars), codePage, out);
    out.insert(out.end(), narrow.begin() + kNarrowPublicEnd, narrow.end());
    putSize(out, 2 * kNameChars + kSizeFieldOffset, size + 2 * kNameChars);
  } else {
    // An old structure that ends before the form name.
    out.insert(out.end(), narrow.begin() + kNameChars, narrow.end());
    putSize(out, 2 * kNameChars + kSizeFieldOffset, size + kNameChars);
  }
  return true;
}

bool narrowPrinterSettings(std::span<const std::uint8_t> wide, int codePage,
                           std::vector<std::uint8_t> &out) {
  out.clear();
  if (wide.size() < 2 * kNameChars + kMinimumFields)
    return false;
  const size_t size = sizeField(wide, 2 * kNameChars + kSizeFieldOffset);
  if (size < 2 * kNameChars + kMinimumFields || size > wide.size())
    return false;
  out.reserve(wide.size());
  narrowName(wide.subspan(0, 2 * kNameChars), codePage, out);
  if (size >= kWidePublicEnd) {
    out.insert(out.end(), wide.begin() + 2 * kNameChars, wide.begin() + kWideFormName);
    narrowName(wide.subspan(kWideFormName, 2 * kNameChars), codePage, out);
    out.insert(out.end(), wide.begin() + kWidePublicEnd, wide.end());
    putSize(out, kNameChars + kSizeFieldOffset, size - 2 * kNameChars);
  } else {
    out.insert(out.end(), wide.begin() + 2 * kNameChars, wide.end());
    putSize(out, kNameChars + kSizeFieldOffset, size - kNameChars);
  }
  return true;
}

} // namespace biff
