#pragma once
// Whole-file reads and writes. Saving goes through a temporary file in the
// same folder that replaces the old file only once it is complete, so a
// failed save never destroys what was there.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

/// The bytes of a whole file, in a buffer that was never zero-filled (a
/// large workbook would otherwise have every page written twice).
class FileBytes {
public:
  std::span<const std::uint8_t> bytes() const { return {m_data.get(), m_size}; }

private:
  friend bool readWholeFile(std::u16string_view path, FileBytes& out);
  std::unique_ptr<std::uint8_t[]> m_data;
  size_t m_size = 0;
};

/// Reads a whole file; false (and no bytes) when it cannot be opened or read.
[[nodiscard]] bool readWholeFile(std::u16string_view path, FileBytes& out);

/// Writes `bytes` to a new temporary file beside `path`, then renames it over
/// `path`. On any failure the temporary file is removed, `path` is left as it
/// was, and false is returned.
[[nodiscard]] bool replaceFileAtomically(std::u16string_view path, std::span<const std::uint8_t> bytes);

} // namespace platform
