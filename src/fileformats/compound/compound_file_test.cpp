#include "fileformats/compound/compound_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>

namespace compound {
namespace {

std::uint32_t u32(const std::vector<std::uint8_t>& f, size_t offset) {
  return static_cast<std::uint32_t>(f[offset]) | (static_cast<std::uint32_t>(f[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(f[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(f[offset + 3]) << 24);
}

std::uint16_t u16(const std::vector<std::uint8_t>& f, size_t offset) {
  return static_cast<std::uint16_t>(f[offset] | (f[offset + 1] << 8));
}

std::vector<std::uint8_t> pattern(size_t n) {
  std::vector<std::uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
  return v;
}

std::vector<std::uint8_t> written(const std::vector<std::uint8_t>& stream,
                                  std::u16string_view name = u"Workbook") {
  CompoundFileWriter w(name);
  w.putBytes(stream.data(), stream.size());
  return w.finishFile();
}

// The FAT entry of sector n, read by hand from the header's FAT list.
std::uint32_t fatEntry(const std::vector<std::uint8_t>& f, std::uint32_t n) {
  const std::uint32_t fatSector = u32(f, 0x4C + 4 * (n / 128));
  return u32(f, (fatSector + 1) * 512 + 4 * (n % 128));
}

TEST(CompoundWriter, SmallStreamLayout) {
  const auto f = written(pattern(100));
  ASSERT_EQ(f.size(), 512u * 11); // header, directory, FAT, 8 stream sectors
  EXPECT_EQ(u32(f, 0), 0xE011CFD0u);
  EXPECT_EQ(u16(f, 0x1A), 3);
  EXPECT_EQ(u16(f, 0x1E), 9);
  EXPECT_EQ(u32(f, 0x2C), 1u);          // one FAT sector
  EXPECT_EQ(u32(f, 0x4C), 1u);          // ... in sector 1
  EXPECT_EQ(u32(f, 0x50), 0xFFFFFFFFu); // the other DIFAT slots are free
  EXPECT_EQ(u32(f, 0x3C), kEndOfChain); // no mini FAT
  // Directory: entry 1 is the stream, starting at sector 2, 4096 bytes.
  const size_t dir = 512;
  EXPECT_EQ(u16(f, dir + 0x40), 22);                 // "Root Entry"
  EXPECT_EQ(f[dir + 0x42], 5);
  EXPECT_EQ(u16(f, dir + 128 + 0x40), 18);           // "Workbook"
  EXPECT_EQ(u32(f, dir + 128 + 0x74), 2u);
  EXPECT_EQ(u32(f, dir + 128 + 0x78), 4096u);        // padded to 4096
  EXPECT_EQ(u32(f, dir + 128 + 0x7C), 11u);
  EXPECT_EQ(u16(f, dir + 256 + 0x40), 40);           // "\5SummaryInformation"
  EXPECT_EQ(u32(f, dir + 256 + 0x78), 0u);
  EXPECT_EQ(u16(f, dir + 384 + 0x40), 56);
  // FAT: directory, the FAT itself, the stream 2..9.
  EXPECT_EQ(fatEntry(f, 0), kEndOfChain);
  EXPECT_EQ(fatEntry(f, 1), kFatSector);
  for (std::uint32_t s = 2; s < 9; ++s)
    EXPECT_EQ(fatEntry(f, s), s + 1);
  EXPECT_EQ(fatEntry(f, 9), kEndOfChain);
  EXPECT_EQ(fatEntry(f, 10), kFreeSector);
  // The tail of the stream is zero.
  EXPECT_EQ(f[(2 + 1) * 512 + 100], 0);
}

TEST(CompoundWriter, SecondFatSectorAfter128Sectors) {
  const auto f = written(pattern(129 * 512));
  EXPECT_EQ(u32(f, 0x2C), 2u);
  EXPECT_EQ(u32(f, 0x50), 130u);                  // the second FAT sector
  EXPECT_EQ(fatEntry(f, 130), kFatSector);        // its own entry 2
  EXPECT_EQ(u32(f, (130 + 1) * 512 + 8), kFatSector);
  EXPECT_EQ(fatEntry(f, 128), 129u);
  EXPECT_EQ(fatEntry(f, 129), 131u);              // the chain jumps over it
  EXPECT_EQ(fatEntry(f, 131), kEndOfChain);       // 129 sectors: 2..129, 131
}

TEST(CompoundRoundTrip, SizesAroundTheEdges) {
  // Sizes across the mini-stream cutoff, sector and FAT-block boundaries, and
  // past the 109 FAT sectors the header holds (DIFAT sectors needed).
  for (size_t size : {0u, 1u, 100u, 4095u, 4096u, 4097u, 65536u, 128u * 512u, 129u * 512u + 1u,
                      109u * 128u * 512u + 5000u, 300u * 128u * 512u}) {
    const std::vector<std::uint8_t> stream = pattern(size);
    const auto file = written(stream);
    WorkbookStreamReader r;
    ASSERT_EQ(r.openWorkbookStream(file), WorkbookStreamReader::Result::Ok) << size;
    EXPECT_TRUE(r.isWorkbookName());
    ASSERT_GE(r.streamSize(), size);
    EXPECT_EQ(r.streamSize() % 512, 0u);
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), r.bytes().begin())) << size;
    if (size > 109u * 128u * 512u) {
      EXPECT_GT(u32(file, 0x48), 0u) << "DIFAT sectors in use";
      EXPECT_NE(u32(file, 0x44), kEndOfChain);
    }
  }
}

TEST(CompoundReader, CursorReads) {
  const auto file = written(pattern(5000), u"Book");
  WorkbookStreamReader r;
  ASSERT_EQ(r.openWorkbookStream(file), WorkbookStreamReader::Result::Ok);
  EXPECT_FALSE(r.isWorkbookName());
  std::uint8_t buf[16];
  ASSERT_EQ(r.readStream(buf, 4), 4u);
  EXPECT_EQ(buf[1], 7);
  r.setStreamPosition(r.streamSize() - 2);
  EXPECT_EQ(r.readStream(buf, 16), 2u); // a short read at the end
  EXPECT_EQ(r.readStream(buf, 16), 0u);
  r.setStreamPosition(r.streamSize() + 100);
  EXPECT_EQ(r.readStream(buf, 1), 0u);
}

// A version-3 container written field by field: a 4095-byte "Workbook"
// stream in the mini stream and a regular "Book" stream; the reader must
// prefer "Workbook" and follow the mini FAT.
std::vector<std::uint8_t> handBuiltMiniFile(const std::vector<std::uint8_t>& mini,
                                            const std::vector<std::uint8_t>& regular) {
  // Sectors: 0 directory, 1 FAT, 2 mini FAT, 3.. mini stream container, then regular.
  const size_t miniSectors = (mini.size() + 63) / 64;
  const size_t containerSectors = (miniSectors * 64 + 511) / 512;
  const size_t regularSectors = (regular.size() + 511) / 512;
  const size_t total = 3 + containerSectors + regularSectors;
  std::vector<std::uint8_t> f((total + 1) * 512, 0);
  auto put32 = [&](size_t o, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      f[o + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  auto put16 = [&](size_t o, std::uint16_t v) {
    f[o] = static_cast<std::uint8_t>(v);
    f[o + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(f.data(), sig, 8);
  put16(0x1A, 3);
  put16(0x1C, 0xFFFE);
  put16(0x1E, 9);
  put16(0x20, 6);
  put32(0x2C, 1);
  put32(0x30, 0);
  put32(0x38, 4096);
  put32(0x3C, 2); // mini FAT in sector 2
  put32(0x40, 1);
  put32(0x44, kEndOfChain);
  put32(0x4C, 1);
  for (int i = 1; i < 109; ++i)
    put32(0x4C + 4 * i, kFreeSector);
  const size_t fat = 2 * 512;
  for (int i = 0; i < 128; ++i)
    put32(fat + 4 * i, kFreeSector);
  put32(fat + 0, kEndOfChain);
  put32(fat + 4, kFatSector);
  put32(fat + 8, kEndOfChain);
  for (size_t s = 0; s < containerSectors; ++s)
    put32(fat + 4 * (3 + s), s + 1 < containerSectors ? 4 + s : kEndOfChain);
  const size_t firstRegular = 3 + containerSectors;
  for (size_t s = 0; s < regularSectors; ++s)
    put32(fat + 4 * (firstRegular + s),
          s + 1 < regularSectors ? firstRegular + s + 1 : kEndOfChain);
  const size_t miniFat = 3 * 512;
  for (int i = 0; i < 128; ++i)
    put32(miniFat + 4 * i, kFreeSector);
  for (size_t m = 0; m < miniSectors; ++m)
    put32(miniFat + 4 * m, m + 1 < miniSectors ? m + 1 : kEndOfChain);
  std::memcpy(f.data() + 4 * 512, mini.data(), mini.size());
  std::memcpy(f.data() + (firstRegular + 1) * 512, regular.data(), regular.size());
  auto entry = [&](int i, std::u16string_view name, std::uint8_t type, std::uint32_t start,
                   std::uint32_t size) {
    const size_t d = 512 + 128 * i;
    for (size_t k = 0; k < name.size(); ++k)
      put16(d + 2 * k, name[k]);
    put16(d + 0x40, static_cast<std::uint16_t>(2 * name.size() + 2));
    f[d + 0x42] = type;
    put32(d + 0x74, start);
    put32(d + 0x78, size);
  };
  entry(0, u"Root Entry", 5, 3, static_cast<std::uint32_t>(containerSectors * 512));
  entry(1, u"Book", 2, static_cast<std::uint32_t>(firstRegular),
        static_cast<std::uint32_t>(regular.size()));
  entry(2, u"Workbook", 2, 0, static_cast<std::uint32_t>(mini.size()));
  return f;
}

TEST(CompoundReader, MiniStreamAndNamePreference) {
  const auto mini = pattern(4095);
  std::vector<std::uint8_t> regular(4096, 0xAB);
  const auto file = handBuiltMiniFile(mini, regular);
  WorkbookStreamReader r;
  ASSERT_EQ(r.openWorkbookStream(file), WorkbookStreamReader::Result::Ok);
  EXPECT_TRUE(r.isWorkbookName());
  EXPECT_TRUE(std::ranges::equal(r.bytes(), mini));
}

TEST(CompoundReader, DamageFailsCleanly) {
  const auto good = written(pattern(20000));
  struct Row {
    const char* what;
    size_t offset;
    std::uint32_t value;
    WorkbookStreamReader::Result expected;
  } rows[] = {
      {"signature", 0, 0x12345678, WorkbookStreamReader::Result::NotCompound},
      {"sector shift", 0x1C, 0x000AFFFE, WorkbookStreamReader::Result::NotCompound},
      {"FAT count past the file", 0x2C, 1000000, WorkbookStreamReader::Result::NotCompound},
      {"FAT sector out of range", 0x4C, 999999, WorkbookStreamReader::Result::NotCompound},
      {"directory start out of range", 0x30, 5000, WorkbookStreamReader::Result::NotCompound},
      // Sector 5's FAT entry pointing back at sector 3: a cycle in the stream.
      {"cyclic stream chain", (1 + 1) * 512 + 4 * 5, 3, WorkbookStreamReader::Result::Damaged},
      // The stream's chain running into a free sector.
      {"chain into free", (1 + 1) * 512 + 4 * 4, kFreeSector, WorkbookStreamReader::Result::Damaged},
  };
  for (const Row& row : rows) {
    auto bad = good;
    for (int i = 0; i < 4; ++i)
      bad[row.offset + i] = static_cast<std::uint8_t>(row.value >> (8 * i));
    WorkbookStreamReader r;
    EXPECT_EQ(r.openWorkbookStream(bad), row.expected) << row.what;
  }
  // Renamed stream: neither name present.
  auto renamed = good;
  renamed[512 + 128] = 'X';
  WorkbookStreamReader r;
  EXPECT_EQ(r.openWorkbookStream(renamed), WorkbookStreamReader::Result::WorkbookNotFound);
  // Truncated files: too short for a header, and cut in the middle of the stream.
  EXPECT_EQ(r.openWorkbookStream(std::span(good.data(), 100)),
            WorkbookStreamReader::Result::NotCompound);
}

// A file cut short after its allocation table and directory is read as far
// as it goes: the stream is the part that is still there.
TEST(CompoundReader, AFileCutShortReadsAsFarAsItGoes) {
  const auto stream = pattern(20000);
  const auto good = written(stream);
  for (size_t keep : {size_t{4 * 512}, size_t{10 * 512}, size_t{20 * 512 + 100}, good.size() - 3000}) {
    SCOPED_TRACE(keep);
    WorkbookStreamReader r;
    ASSERT_EQ(r.openWorkbookStream(std::span(good.data(), keep)), WorkbookStreamReader::Result::Ok);
    // Sectors 2 onward hold the stream; the last one kept may be cut inside.
    const size_t whole = (keep - 512) / 512 - 2;
    ASSERT_GE(r.bytes().size(), whole * 512);
    EXPECT_LE(r.bytes().size(), stream.size());
    EXPECT_TRUE(std::equal(r.bytes().begin(), r.bytes().begin() + static_cast<std::ptrdiff_t>(whole * 512),
                           stream.begin()));
  }
  // Cut before the first sector of the stream: nothing of it is there.
  WorkbookStreamReader r;
  EXPECT_EQ(r.openWorkbookStream(std::span(good.data(), 3 * 512)),
            WorkbookStreamReader::Result::Damaged);
}

#ifdef CELLWICK_CORPUS_DIR
// Real files from other programs: each names the stream it holds.
TEST(CompoundCorpus, EveryFileFindsItsStream) {
  const std::filesystem::path dir = CELLWICK_CORPUS_DIR;
  std::ifstream manifest(dir / "MANIFEST.tsv");
  if (!manifest)
    GTEST_SKIP() << "corpus not present at " << dir;
  std::string line;
  std::getline(manifest, line); // header
  int checked = 0;
  while (std::getline(manifest, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    for (std::string c; std::getline(ss, c, '\t');)
      cols.push_back(c);
    if (cols.size() < 7 || cols[1] != "xls")
      continue;
    std::ifstream in(dir / "xls" / cols[0], std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    WorkbookStreamReader r;
    const auto result = r.openWorkbookStream(bytes);
    // Containers the independent reader finds damaged may be refused, except
    // those merely cut short: they are read as far as they go.
    const bool damaged = cols.size() > 9 && cols[9].rfind("fail:CompDocError", 0) == 0;
    const std::string features = cols.size() > 10 ? cols[10] : "";
    const bool cutShort = !cols[6].empty() &&
                          features.find("cfb:chain-beyond-eof") != std::string::npos &&
                          features.find("cfb:fat-loop") == std::string::npos;
    if (cutShort) {
      EXPECT_EQ(result, WorkbookStreamReader::Result::Ok) << cols[0];
    } else if (damaged) {
      EXPECT_NE(result, WorkbookStreamReader::Result::Ok) << cols[0];
    } else if (cols[5] == "ole" && !cols[6].empty()) {
      EXPECT_EQ(result, WorkbookStreamReader::Result::Ok) << cols[0];
    } else if (cols[5] != "ole") {
      EXPECT_EQ(result, WorkbookStreamReader::Result::NotCompound) << cols[0];
    }
    ++checked;
  }
  EXPECT_GT(checked, 100);
}
#endif

} // namespace
} // namespace compound
