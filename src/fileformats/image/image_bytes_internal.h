#pragma once
// Little-endian fields of untrusted picture bytes. Reads past the end give 0,
// so callers check sizes once per record instead of on every field.

#include <cstdint>
#include <span>

namespace image {

inline std::uint16_t le16(std::span<const std::uint8_t> b, size_t at) {
  if (at > b.size() || b.size() - at < 2)
    return 0;
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t le32(std::span<const std::uint8_t> b, size_t at) {
  if (at > b.size() || b.size() - at < 4)
    return 0;
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::int16_t les16(std::span<const std::uint8_t> b, size_t at) {
  return static_cast<std::int16_t>(le16(b, at));
}
inline std::int32_t les32(std::span<const std::uint8_t> b, size_t at) {
  return static_cast<std::int32_t>(le32(b, at));
}

inline void putLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putLe32(std::uint8_t* p, std::uint32_t v) {
  putLe16(p, v);
  putLe16(p + 2, v >> 16);
}

} // namespace image
