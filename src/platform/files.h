#pragma once
// Whole-file reads and writes. Saving goes through a temporary file in the
// same folder that replaces the old file only once it is complete, so a
// failed save never destroys what was there.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

/// Reads a whole file; false when it cannot be opened or read.
[[nodiscard]] bool readWholeFile(std::u16string_view path, std::vector<std::uint8_t>& out);

/// Writes `bytes` to a new temporary file beside `path`, then renames it over
/// `path`. On any failure the temporary file is removed, `path` is left as it
/// was, and false is returned.
[[nodiscard]] bool replaceFileAtomically(std::u16string_view path, std::span<const std::uint8_t> bytes);

} // namespace platform
