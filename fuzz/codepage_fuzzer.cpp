// Feeds any bytes through the ANSI code page converters. The first byte picks
// the code page; the rest is read, written back and read again.

#include "platform/code_page.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

struct Page {
  int codePage;
  bool singleByte;
};

constexpr Page kPages[] = {
    // clang-format off
    {437, true},   {850, true},   {874, true},   {932, false},  {936, false},  {949, false},
    {950, false},  {1250, true},  {1251, true},  {1252, true},  {1253, true},  {1254, true},
    {1255, true},  {1256, true},  {1257, true},  {1258, true},  {65001, false},
    // clang-format on
};

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const Page &page = kPages[data[0] % std::size(kPages)];
  const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);

  std::u16string first;
  check(platform::toUtf16(page.codePage, bytes, first));
  // No byte sequence of these pages reads as more UTF-16 units than it has
  // bytes; a single-byte page reads exactly one per byte.
  check(first.size() <= bytes.size());
  if (page.singleByte)
    check(first.size() == bytes.size());

  std::string written;
  check(platform::fromUtf16(page.codePage, first, written));
  if (page.singleByte)
    check(written.size() == first.size());

  // Whatever was read can be written and read back the same, except that the
  // U+FFFD standing for malformed bytes is written as '?' where the page has
  // no U+FFFD of its own.
  std::u16string again;
  check(platform::toUtf16(page.codePage, written, again));
  std::u16string expected = first;
  if (page.codePage != 65001)
    for (char16_t &c : expected)
      if (c == 0xFFFD)
        c = u'?';
  check(again == expected);

  // Writing is stable from then on.
  std::string rewritten;
  check(platform::fromUtf16(page.codePage, again, rewritten));
  check(rewritten == written);
  return 0;
}
