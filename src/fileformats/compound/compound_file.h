#pragma once
// The compound document container of binary workbooks: a file system of
// 512-byte (or 4096-byte) sectors chained through a FAT, with a directory of
// named streams. The reader finds the workbook stream and hands its bytes
// out; the writer produces a fixed four-entry directory with one stream.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace compound {

inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr std::uint32_t kMiniStreamCutoff = 4096;

inline constexpr std::u16string_view kMessageWorkbookNotFound = u"Workbook not found in file";

struct DirectoryEntry {
  std::u16string name;
  std::uint8_t type = 0; // 1 storage, 2 stream, 5 root
  std::uint32_t startSector = kEndOfChain;
  std::uint64_t size = 0;
};

/// A parsed container. Every chain is followed once, checked for cycles and
/// for sector numbers past the end of the file; a damaged container fails to
/// open instead of reading garbage.
class CompoundFile {
public:
  /// Parses the header, the FAT (with DIFAT sectors), the mini FAT and the
  /// directory. Returns false when the bytes are not a readable container.
  /// The bytes are read in place: they must outlive this object.
  [[nodiscard]] bool open(std::span<const std::uint8_t> bytes);

  const std::vector<DirectoryEntry>& entries() const { return m_entries; }

  /// Index of the stream entry with this name (ASCII case-insensitive), or -1.
  int findStream(std::u16string_view name) const;

  /// Reads a whole stream. A chain shorter than the stream's size, or one
  /// that runs past the end of a file cut short, gives the bytes that exist
  /// (the caller meets the end early). False for a chain that is damaged
  /// before its end.
  [[nodiscard]] bool readStream(int entry, std::vector<std::uint8_t>& out) const;
  /// The same, except that a stream lying whole in consecutive sectors of the
  /// file is given as `inPlace` (a view of the opened bytes) and `out` stays
  /// empty; otherwise `inPlace` is empty and `out` holds the copy.
  [[nodiscard]] bool readStream(int entry, std::vector<std::uint8_t>& out,
                                std::span<const std::uint8_t>& inPlace) const;

  std::uint32_t sectorSize() const { return m_sectorSize; }

private:
  /// The sectors of a chain; false when it is damaged. With `toTheCut`, a
  /// chain that runs past the end of a truncated file ends there instead.
  bool followChain(const std::vector<std::uint32_t>& fat, std::uint32_t start,
                   std::uint32_t limit, std::vector<std::uint32_t>& chain,
                   bool toTheCut = false) const;
  const std::uint8_t* sector(std::uint32_t n) const;

  std::span<const std::uint8_t> m_bytes;
  // A last sector cut short by the end of the file, zero-filled to full size.
  std::vector<std::uint8_t> m_lastSector;
  std::uint32_t m_sectorSize = 512;
  std::uint32_t m_sectorCount = 0;
  bool m_cut = false; // the FAT gives out sectors past the end of the file
  std::vector<std::uint32_t> m_fat;
  std::vector<std::uint32_t> m_miniFat;
  std::vector<std::uint32_t> m_miniStreamChain; // sectors of the root entry's stream
  std::uint32_t m_miniCutoff = kMiniStreamCutoff;
  std::vector<DirectoryEntry> m_entries;
};

/// The workbook stream of a binary workbook, read whole, with a cursor the
/// record readers move as they go.
class WorkbookStreamReader {
public:
  enum class Result { Ok, NotCompound, WorkbookNotFound, Damaged };

  WorkbookStreamReader() = default;
  // The view may point into the object's own copy.
  WorkbookStreamReader(const WorkbookStreamReader&) = delete;
  WorkbookStreamReader& operator=(const WorkbookStreamReader&) = delete;

  /// Finds "Workbook", else "Book", and loads it; the position is 0. The
  /// stream may be a view of `file`, which must then outlive this object.
  Result openWorkbookStream(std::span<const std::uint8_t> file);

  /// Copies min(length, bytes left) bytes and advances; 0 at the end.
  size_t readStream(void* buffer, size_t length);

  size_t streamPosition() const { return m_position; }
  /// Moves the cursor; positions past the end read as the end.
  void setStreamPosition(size_t position) { m_position = position; }
  size_t streamSize() const { return m_view.size(); }
  /// True when the stream was named "Workbook" (BIFF8) rather than "Book".
  bool isWorkbookName() const { return m_workbookName; }
  std::span<const std::uint8_t> bytes() const { return m_view; }

private:
  std::vector<std::uint8_t> m_stream; // a copy, when the stream is scattered
  std::span<const std::uint8_t> m_view; // the stream: in the file or in m_stream
  size_t m_position = 0;
  bool m_workbookName = false;
};

/// Builds a container with the fixed directory (root, the workbook stream,
/// two empty summary streams) around one stream written piece by piece.
class CompoundFileWriter {
public:
  /// `streamName` is "Workbook" for BIFF8 and "Book" for earlier versions.
  explicit CompoundFileWriter(std::u16string_view streamName = u"Workbook");

  void put16(std::uint16_t v);
  void put32(std::uint32_t v);
  void putBytes(const void* data, size_t length);
  /// Overwrites four bytes already written at a stream offset.
  void patchStream32(size_t streamOffset, std::uint32_t v);
  size_t streamOffset() const { return m_stream.size(); }

  /// Lays out the sectors and returns the file's bytes. The stream is padded
  /// with zeros to at least 4096 bytes (so it never lands in the mini
  /// stream) and to whole sectors; FAT sectors follow every 128 sectors, and
  /// DIFAT sectors are added when more than 109 FAT sectors are needed.
  std::vector<std::uint8_t> finishFile() const;

private:
  std::u16string m_name;
  std::vector<std::uint8_t> m_stream;
};

} // namespace compound
