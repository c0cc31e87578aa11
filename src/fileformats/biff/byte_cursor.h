#pragma once
// Reading little-endian fields from untrusted bytes. Every read checks that
// the bytes are there; a failed read returns false and leaves the cursor
// where it was.

#include <cstdint>
#include <cstring>
#include <span>

namespace biff {

class ByteCursor {
public:
  ByteCursor() = default;
  explicit ByteCursor(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

  size_t position() const { return m_pos; }
  size_t remaining() const { return m_bytes.size() - m_pos; }
  bool atEnd() const { return m_pos >= m_bytes.size(); }
  std::span<const std::uint8_t> rest() const { return m_bytes.subspan(m_pos); }

  [[nodiscard]] bool skip(size_t n) {
    if (n > remaining())
      return false;
    m_pos += n;
    return true;
  }
  [[nodiscard]] bool u8(std::uint8_t& out) {
    if (remaining() < 1)
      return false;
    out = m_bytes[m_pos++];
    return true;
  }
  [[nodiscard]] bool u16(std::uint16_t& out) {
    if (remaining() < 2)
      return false;
    out = static_cast<std::uint16_t>(m_bytes[m_pos] | (m_bytes[m_pos + 1] << 8));
    m_pos += 2;
    return true;
  }
  [[nodiscard]] bool u32(std::uint32_t& out) {
    if (remaining() < 4)
      return false;
    out = static_cast<std::uint32_t>(m_bytes[m_pos]) |
          (static_cast<std::uint32_t>(m_bytes[m_pos + 1]) << 8) |
          (static_cast<std::uint32_t>(m_bytes[m_pos + 2]) << 16) |
          (static_cast<std::uint32_t>(m_bytes[m_pos + 3]) << 24);
    m_pos += 4;
    return true;
  }
  [[nodiscard]] bool f64(double& out) {
    if (remaining() < 8)
      return false;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
      bits = (bits << 8) | m_bytes[m_pos + static_cast<size_t>(i)];
    std::memcpy(&out, &bits, 8);
    m_pos += 8;
    return true;
  }
  [[nodiscard]] bool bytes(size_t n, std::span<const std::uint8_t>& out) {
    if (n > remaining())
      return false;
    out = m_bytes.subspan(m_pos, n);
    m_pos += n;
    return true;
  }

private:
  std::span<const std::uint8_t> m_bytes;
  size_t m_pos = 0;
};

} // namespace biff
