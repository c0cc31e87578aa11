#include "platform/files.h"

#include "platform/unicode.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

bool readWholeFile(std::u16string_view path, std::vector<std::uint8_t>& out) {
  out.clear();
  std::FILE* f = std::fopen(toUtf8(path).c_str(), "rb");
  if (!f)
    return false;
  std::uint8_t buffer[1 << 16];
  bool ok = true;
  while (true) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, f);
    out.insert(out.end(), buffer, buffer + n);
    if (n < sizeof buffer) {
      ok = std::ferror(f) == 0;
      break;
    }
  }
  std::fclose(f);
  return ok;
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
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
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
