#include "fileformats/compound/compound_file.h"

#include <algorithm>
#include <cstring>

namespace compound {
namespace {

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderDifatEntries = 109;

std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void set16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void set32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool asciiEqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z')
      x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z')
      y = static_cast<char16_t>(y - 32);
    if (x != y)
      return false;
  }
  return true;
}

} // namespace

// ---- reading ----

const std::uint8_t* CompoundFile::sector(std::uint32_t n) const {
  if (n + 1 == m_sectorCount && !m_lastSector.empty())
    return m_lastSector.data();
  return m_bytes.data() + (static_cast<size_t>(n) + 1) * m_sectorSize;
}

bool CompoundFile::followChain(const std::vector<std::uint32_t>& fat, std::uint32_t start,
                               std::uint32_t limit, std::vector<std::uint32_t>& chain,
                               bool toTheCut) const {
  chain.clear();
  std::vector<bool> seen(limit, false);
  for (std::uint32_t s = start; s != kEndOfChain;) {
    // A file cut short leaves the rest of a chain in sectors that are not
    // there: what lies before the cut is read.
    if (toTheCut && m_cut && s >= m_sectorCount && s < m_fat.size() && !chain.empty())
      return true;
    // A free entry, a number past the table or a sector met twice is damage.
    if (s >= limit || s >= fat.size() || seen[s])
      return false;
    seen[s] = true;
    chain.push_back(s);
    s = fat[s];
  }
  return true;
}

bool CompoundFile::open(std::span<const std::uint8_t> bytes) {
  m_entries.clear();
  m_fat.clear();
  m_miniFat.clear();
  m_miniStreamChain.clear();
  if (bytes.size() < 512 || !std::equal(std::begin(kSignature), std::end(kSignature), bytes.data()))
    return false;
  const std::uint8_t* h = bytes.data();
  const std::uint16_t major = get16(h + 0x1A);
  const std::uint16_t shift = get16(h + 0x1E);
  if (!((major == 3 && shift == 9) || (major == 4 && shift == 12)) || get16(h + 0x20) != 6)
    return false;
  m_sectorSize = 1u << shift;
  if (bytes.size() < m_sectorSize)
    return false;
  // A last sector cut short by a truncated file reads as if zero-filled.
  const size_t bodySize = bytes.size() - m_sectorSize;
  m_sectorCount = static_cast<std::uint32_t>(
      std::min<size_t>((bodySize + m_sectorSize - 1) / m_sectorSize, 0xFFFFFFF0u));
  // Only that last sector is copied; the rest is read in place.
  m_bytes = bytes;
  m_lastSector.clear();
  if (const size_t tail = bodySize % m_sectorSize;
      tail != 0 && m_sectorCount == bodySize / m_sectorSize + 1) {
    const size_t lastStart = static_cast<size_t>(m_sectorCount) * m_sectorSize;
    if (lastStart < bytes.size()) {
      m_lastSector.assign(bytes.begin() + static_cast<std::ptrdiff_t>(lastStart), bytes.end());
      m_lastSector.resize(m_sectorSize, 0);
    }
  }

  const std::uint32_t fatCount = get32(h + 0x2C);
  const std::uint32_t perSector = m_sectorSize / 4;
  if (fatCount > m_sectorCount)
    return false;
  std::vector<std::uint32_t> fatSectors;
  for (size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatCount; ++i)
    fatSectors.push_back(get32(h + 0x4C + 4 * i));
  std::vector<bool> seenDifat(m_sectorCount, false);
  for (std::uint32_t d = get32(h + 0x44); fatSectors.size() < fatCount && d != kEndOfChain;) {
    if (d >= m_sectorCount || seenDifat[d])
      return false;
    seenDifat[d] = true;
    const std::uint8_t* p = sector(d);
    for (std::uint32_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i)
      fatSectors.push_back(get32(p + 4 * i));
    d = get32(p + 4 * (perSector - 1));
  }
  if (fatSectors.size() < fatCount)
    return false;
  m_fat.reserve(static_cast<size_t>(fatCount) * perSector);
  for (std::uint32_t f : fatSectors) {
    if (f >= m_sectorCount)
      return false;
    const std::uint8_t* p = sector(f);
    for (std::uint32_t i = 0; i < perSector; ++i)
      m_fat.push_back(get32(p + 4 * i));
  }

  // Sectors the table gives out beyond the end of the file: the file was cut short.
  m_cut = false;
  for (size_t i = m_sectorCount; i < m_fat.size() && !m_cut; ++i)
    m_cut = m_fat[i] != kFreeSector;
  std::vector<std::uint32_t> chain;
  if (!followChain(m_fat, get32(h + 0x30), m_sectorCount, chain) || chain.empty())
    return false;
  for (std::uint32_t s : chain) {
    const std::uint8_t* p = sector(s);
    for (std::uint32_t e = 0; e < m_sectorSize / 128; ++e) {
      const std::uint8_t* d = p + 128 * e;
      DirectoryEntry entry;
      const std::uint16_t nameBytes = std::min<std::uint16_t>(get16(d + 0x40), 64);
      for (std::uint16_t k = 0; k + 1 < nameBytes; k += 2) {
        const char16_t c = static_cast<char16_t>(get16(d + k));
        if (c == 0)
          break;
        entry.name += c;
      }
      entry.type = d[0x42];
      entry.startSector = get32(d + 0x74);
      entry.size = get32(d + 0x78);
      // Version 3 files may leave junk in the high half of the size.
      if (major == 4)
        entry.size |= static_cast<std::uint64_t>(get32(d + 0x7C)) << 32;
      m_entries.push_back(std::move(entry));
    }
  }
  if (m_entries.empty() || m_entries[0].type != 5)
    return false;

  m_miniCutoff = get32(h + 0x38);
  std::vector<std::uint32_t> miniFatChain;
  const std::uint32_t firstMiniFat = get32(h + 0x3C);
  if (firstMiniFat != kEndOfChain && firstMiniFat != kFreeSector) {
    if (!followChain(m_fat, firstMiniFat, m_sectorCount, miniFatChain))
      return false;
    for (std::uint32_t s : miniFatChain) {
      const std::uint8_t* p = sector(s);
      for (std::uint32_t i = 0; i < perSector; ++i)
        m_miniFat.push_back(get32(p + 4 * i));
    }
  }
  const std::uint32_t rootStart = m_entries[0].startSector;
  if (rootStart != kEndOfChain && rootStart != kFreeSector &&
      !followChain(m_fat, rootStart, m_sectorCount, m_miniStreamChain))
    m_miniStreamChain.clear(); // the mini stream is damaged; regular streams still read
  return true;
}

int CompoundFile::findStream(std::u16string_view name) const {
  for (size_t i = 0; i < m_entries.size(); ++i)
    if (m_entries[i].type == 2 && asciiEqualsIgnoreCase(m_entries[i].name, name))
      return static_cast<int>(i);
  return -1;
}

bool CompoundFile::readStream(int index, std::vector<std::uint8_t>& out) const {
  std::span<const std::uint8_t> inPlace;
  if (!readStream(index, out, inPlace))
    return false;
  if (!inPlace.empty())
    out.assign(inPlace.begin(), inPlace.end());
  return true;
}

bool CompoundFile::readStream(int index, std::vector<std::uint8_t>& out,
                              std::span<const std::uint8_t>& inPlace) const {
  out.clear();
  inPlace = {};
  if (index < 0 || static_cast<size_t>(index) >= m_entries.size())
    return false;
  const DirectoryEntry& e = m_entries[static_cast<size_t>(index)];
  // A size beyond the file cannot be honest; read what the chain holds.
  const std::uint64_t size = std::min<std::uint64_t>(
      e.size, (static_cast<std::uint64_t>(m_sectorCount) + 1) * m_sectorSize);
  std::vector<std::uint32_t> chain;
  // Where the stream lives follows from its declared size, not from what is left of the file.
  if (e.size < m_miniCutoff && index != 0) {
    const std::uint32_t miniPerSector = m_sectorSize / 64;
    const std::uint32_t miniLimit =
        static_cast<std::uint32_t>(m_miniStreamChain.size()) * miniPerSector;
    if (size == 0)
      return true;
    if (!followChain(m_miniFat, e.startSector, miniLimit, chain))
      return false;
    out.reserve(chain.size() * 64);
    for (std::uint32_t m : chain) {
      const std::uint8_t* p = sector(m_miniStreamChain[m / miniPerSector]) + 64 * (m % miniPerSector);
      out.insert(out.end(), p, p + 64);
    }
  } else {
    if (size == 0)
      return true;
    if (!followChain(m_fat, e.startSector, m_sectorCount, chain, /*toTheCut=*/true))
      return false;
    if (chain.empty())
      return true; // a stream that claims a size but owns no sector
    // Writers lay a stream out in consecutive sectors as a rule; such a
    // stream is handed out where it lies in the file, without a copy.
    bool consecutive = true;
    for (size_t k = 1; k < chain.size() && consecutive; ++k)
      consecutive = chain[k] == chain[k - 1] + 1;
    const size_t first = (static_cast<size_t>(chain[0]) + 1) * m_sectorSize;
    const size_t length = std::min<size_t>(static_cast<size_t>(size), chain.size() * m_sectorSize);
    if (consecutive && length <= m_bytes.size() && first <= m_bytes.size() - length) {
      inPlace = m_bytes.subspan(first, length);
      return true;
    }
    out.reserve(chain.size() * m_sectorSize);
    for (std::uint32_t s : chain) {
      const std::uint8_t* p = sector(s);
      out.insert(out.end(), p, p + m_sectorSize);
    }
  }
  if (out.size() > size)
    out.resize(static_cast<size_t>(size));
  return true;
}

WorkbookStreamReader::Result WorkbookStreamReader::openWorkbookStream(
    std::span<const std::uint8_t> file) {
  m_stream.clear();
  m_view = {};
  m_position = 0;
  m_workbookName = false;
  CompoundFile cf;
  if (!cf.open(file))
    return Result::NotCompound;
  int index = cf.findStream(u"Workbook");
  m_workbookName = index >= 0;
  if (index < 0)
    index = cf.findStream(u"Book");
  if (index < 0)
    return Result::WorkbookNotFound;
  if (!cf.readStream(index, m_stream, m_view))
    return Result::Damaged;
  if (m_view.empty())
    m_view = m_stream;
  return Result::Ok;
}

size_t WorkbookStreamReader::readStream(void* buffer, size_t length) {
  if (m_position >= m_view.size())
    return 0;
  const size_t n = std::min(length, m_view.size() - m_position);
  std::memcpy(buffer, m_view.data() + m_position, n);
  m_position += n;
  return n;
}

// ---- writing ----

CompoundFileWriter::CompoundFileWriter(std::u16string_view streamName) : m_name(streamName) {}

void CompoundFileWriter::put16(std::uint16_t v) {
  const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  m_stream.insert(m_stream.end(), b, b + 2);
}

void CompoundFileWriter::put32(std::uint32_t v) {
  std::uint8_t b[4];
  set32(b, v);
  m_stream.insert(m_stream.end(), b, b + 4);
}

void CompoundFileWriter::putBytes(const void* data, size_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  m_stream.insert(m_stream.end(), p, p + length);
}

void CompoundFileWriter::patchStream32(size_t offset, std::uint32_t v) {
  if (offset + 4 <= m_stream.size())
    set32(m_stream.data() + offset, v);
}

namespace {

// Sector plan of a written file: the directory in sector 0, the first FAT
// sector in sector 1, then the stream in one run with a further FAT sector
// after every 128 sectors; DIFAT sectors (and the FAT sectors they need) go
// at the end when the header's 109 FAT slots are not enough.
struct Plan {
  std::vector<std::uint32_t> fat;        // entry per sector
  std::vector<std::uint32_t> fatSectors; // in order
  std::vector<std::uint32_t> streamSectors;
  std::vector<std::uint32_t> difatSectors;
  std::uint32_t total = 0;

  std::uint32_t take(std::uint32_t entry) {
    fat.push_back(entry);
    return total++;
  }
  std::uint32_t takeFat() {
    const std::uint32_t s = take(kFatSector);
    fatSectors.push_back(s);
    return s;
  }
};

Plan planSectors(size_t streamSectors) {
  Plan plan;
  plan.take(kEndOfChain); // the directory, one sector
  plan.takeFat();
  std::uint32_t previous = 0;
  for (size_t i = 0; i < streamSectors; ++i) {
    const std::uint32_t s = plan.take(kEndOfChain);
    if (i > 0) {
      // The previous sector's entry lives in the next FAT sector when the
      // previous sector opens a new block of 128.
      if (previous % 128 == 0)
        plan.takeFat();
      plan.fat[previous] = s;
    }
    plan.streamSectors.push_back(s);
    previous = s;
  }
  if (previous % 128 == 0 && previous / 128 >= plan.fatSectors.size())
    plan.takeFat();
  // More than the header's FAT slots: DIFAT sectors hold the rest, 127 each,
  // and themselves need FAT entries, which may need more FAT sectors.
  while (true) {
    const size_t fats = plan.fatSectors.size();
    const size_t needDifat = fats > kHeaderDifatEntries ? (fats - kHeaderDifatEntries + 126) / 127 : 0;
    if (plan.difatSectors.size() < needDifat) {
      plan.difatSectors.push_back(plan.take(kDifatSector));
      continue;
    }
    if (static_cast<size_t>(plan.total) > plan.fatSectors.size() * 128) {
      plan.takeFat();
      continue;
    }
    break;
  }
  return plan;
}

void writeDirectoryEntry(std::uint8_t* d, std::u16string_view name, std::uint8_t type,
                         std::uint32_t left, std::uint32_t right, std::uint32_t child,
                         std::uint32_t start, std::uint32_t size, std::uint32_t lastFour) {
  for (size_t i = 0; i < name.size() && i < 31; ++i)
    set16(d + 2 * i, name[i]);
  set16(d + 0x40, static_cast<std::uint16_t>(2 * (name.size() + 1)));
  d[0x42] = type;
  d[0x43] = 1; // black
  set32(d + 0x44, left);
  set32(d + 0x48, right);
  set32(d + 0x4C, child);
  set32(d + 0x74, start);
  set32(d + 0x78, size);
  set32(d + 0x7C, lastFour);
}

} // namespace

std::vector<std::uint8_t> CompoundFileWriter::finishFile() const {
  const size_t padded = std::max<size_t>((m_stream.size() + 511) / 512 * 512, kMiniStreamCutoff);
  const Plan plan = planSectors(padded / 512);
  std::vector<std::uint8_t> file((static_cast<size_t>(plan.total) + 1) * 512, 0);
  auto at = [&](std::uint32_t sector) { return file.data() + (static_cast<size_t>(sector) + 1) * 512; };

  std::uint8_t* h = file.data();
  std::copy(std::begin(kSignature), std::end(kSignature), h);
  set16(h + 0x18, 0x003E);
  set16(h + 0x1A, 3);
  set16(h + 0x1C, 0xFFFE);
  set16(h + 0x1E, 9);
  set16(h + 0x20, 6);
  set32(h + 0x2C, static_cast<std::uint32_t>(plan.fatSectors.size()));
  set32(h + 0x30, 0);
  set32(h + 0x38, kMiniStreamCutoff);
  set32(h + 0x3C, kEndOfChain);
  set32(h + 0x44, plan.difatSectors.empty() ? kEndOfChain : plan.difatSectors[0]);
  set32(h + 0x48, static_cast<std::uint32_t>(plan.difatSectors.size()));
  for (size_t i = 0; i < kHeaderDifatEntries; ++i)
    set32(h + 0x4C + 4 * i, i < plan.fatSectors.size() ? plan.fatSectors[i] : kFreeSector);
  for (size_t d = 0; d < plan.difatSectors.size(); ++d) {
    std::uint8_t* p = at(plan.difatSectors[d]);
    for (size_t i = 0; i < 127; ++i) {
      const size_t k = kHeaderDifatEntries + d * 127 + i;
      set32(p + 4 * i, k < plan.fatSectors.size() ? plan.fatSectors[k] : kFreeSector);
    }
    set32(p + 508, d + 1 < plan.difatSectors.size() ? plan.difatSectors[d + 1] : kEndOfChain);
  }
  for (size_t f = 0; f < plan.fatSectors.size(); ++f) {
    std::uint8_t* p = at(plan.fatSectors[f]);
    for (size_t i = 0; i < 128; ++i) {
      const size_t s = f * 128 + i;
      set32(p + 4 * i, s < plan.fat.size() ? plan.fat[s] : kFreeSector);
    }
  }

  std::uint8_t* dir = at(0);
  const std::uint32_t streamSize = static_cast<std::uint32_t>(padded);
  writeDirectoryEntry(dir, u"Root Entry", 5, kFreeSector, kFreeSector, 2, kEndOfChain, 0,
                      kFreeSector);
  writeDirectoryEntry(dir + 128, m_name, 2, kFreeSector, kFreeSector, kFreeSector,
                      plan.streamSectors.front(), streamSize, 11);
  writeDirectoryEntry(dir + 256, u"\x05SummaryInformation", 2, 1, 3, kFreeSector, kEndOfChain, 0,
                      0);
  writeDirectoryEntry(dir + 384, u"\x05" u"DocumentSummaryInformation", 2, kFreeSector,
                      kFreeSector, kFreeSector, kEndOfChain, 0, 0);

  for (size_t i = 0; i < plan.streamSectors.size(); ++i) {
    const size_t from = i * 512;
    if (from >= m_stream.size())
      break;
    const size_t n = std::min<size_t>(512, m_stream.size() - from);
    std::memcpy(at(plan.streamSectors[i]), m_stream.data() + from, n);
  }
  return file;
}

} // namespace compound
