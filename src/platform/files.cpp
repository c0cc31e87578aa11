#include "platform/files.h"

#include "platform/memory.h"
#include "platform/unicode.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  std::error_code ec;
  fs::path target(toUtf8(path));
  // Saving through a symbolic link replaces the file it names; replacing the
  // link itself would cut it off from that file.
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (ec)
      return false;
    target = resolved;
  }
  // The replacement takes the old file's permissions and, where allowed, its
  // owner; a new file gets what the user's umask gives.
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // O_EXCL refuses an existing file, so two saves never share a temporary name.
  int fd = -1;
  fs::path temp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target;
    temp += ".~cw" + std::to_string(attempt) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0)
    return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    ok = n > 0;
    done += ok ? static_cast<size_t>(n) : 0;
  }
  if (ok && replacing) {
    (void)::fchown(fd, old.st_uid, old.st_gid);
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  }
  // The data reaches the disk before the rename makes it the file: a crash
  // in between leaves the old file, never an empty new one.
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) {
    fs::rename(temp, target, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(temp, ec);
    return false;
  }
  // The rename itself is made durable through the folder.
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return true;
}

} // namespace platform
