#include "platform/files.h"

#include "platform/memory.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

bool readWholeFile(std::u16string_view path, FileBytes& out) {
  out = FileBytes();
  std::FILE* f = std::fopen(toUtf8(path).c_str(), "rb");
  if (!f)
    return false;
  const bool ok = withAllocation([&] {
    // Reading straight into a buffer of the file's size spares a bounce
    // buffer and the copies of a doubling one; a file that grows meanwhile
    // is still read to its end.
    size_t size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
      const long end = std::ftell(f);
      size = end > 0 ? static_cast<size_t>(end) : 0;
      std::rewind(f);
    }
    size_t capacity = size + 1; // the spare byte finds the end without a copy
    out.m_data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    for (;;) {
      if (out.m_size == capacity) {
        auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity * 2);
        std::copy(out.m_data.get(), out.m_data.get() + out.m_size, bigger.get());
        out.m_data = std::move(bigger);
        capacity *= 2;
      }
      const size_t got = std::fread(out.m_data.get() + out.m_size, 1, capacity - out.m_size, f);
      out.m_size += got;
      if (got == 0)
        break;
    }
  });
  const bool read = ok && std::ferror(f) == 0;
  std::fclose(f);
  if (!read)
    out = FileBytes();
  return read;
}

bool replaceFileAtomically(std::u16string_view path, std::span<const std::uint8_t> bytes) {
  namespace fs = std::filesystem;
  const fs::path target(toUtf8(path));
  std::error_code ec;
  // "x" refuses an existing file, so two saves never share a temporary name.
  std::FILE* f = nullptr;
  fs::path temp;
  for (int attempt = 0; attempt < 100 && !f; ++attempt) {
    temp = target;
    temp += ".~cw" + std::to_string(attempt) + ".tmp";
    f = std::fopen(temp.c_str(), "wbx");
  }
  if (!f)
    return false;
  // An empty span may carry a null pointer, which fwrite must not be given.
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (ok) {
    fs::rename(temp, target, ec);
    ok = !ec;
  }
  if (!ok)
    fs::remove(temp, ec);
  return ok;
}

} // namespace platform
