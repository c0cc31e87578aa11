// The workbook stream read in place from the file's bytes, and the copies
// made when it cannot be: a stream scattered over the file, a last sector
// cut short.

#include "fileformats/compound/compound_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace compound {
namespace {

std::vector<std::uint8_t> pattern(size_t n) {
  std::vector<std::uint8_t> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<std::uint8_t>((i * 13 + i / 509) & 0xFF);
  return v;
}

std::vector<std::uint8_t> written(const std::vector<std::uint8_t>& stream) {
  CompoundFileWriter w;
  w.putBytes(stream.data(), stream.size());
  return w.finishFile();
}

bool liesIn(std::span<const std::uint8_t> view, const std::vector<std::uint8_t>& file) {
  return !view.empty() && view.data() >= file.data() &&
         view.data() + view.size() <= file.data() + file.size();
}

// The writer puts a FAT sector after every 128 sectors, so a stream of more
// than 127 sectors is scattered and must be copied; a shorter one is read
// where it lies. Both read the same bytes.
TEST(CompoundStreamView, InPlaceWhenConsecutiveCopiedOtherwise) {
  const struct {
    size_t size;
    bool inPlace;
  } kRows[] = {
      {5000, true},
      {127 * 512, true},
      {128 * 512 + 1, false},
      {300 * 512, false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.size);
    const std::vector<std::uint8_t> stream = pattern(row.size);
    const std::vector<std::uint8_t> file = written(stream);
    WorkbookStreamReader r;
    ASSERT_EQ(r.openWorkbookStream(file), WorkbookStreamReader::Result::Ok);
    ASSERT_GE(r.bytes().size(), stream.size());
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), r.bytes().begin()));
    EXPECT_EQ(liesIn(r.bytes(), file), row.inPlace);
    // The cursor reads through the same view.
    std::vector<std::uint8_t> back(stream.size());
    ASSERT_EQ(r.readStream(back.data(), back.size()), back.size());
    EXPECT_EQ(back, stream);

    // The copying overload gives the same bytes.
    CompoundFile cf;
    ASSERT_TRUE(cf.open(file));
    std::vector<std::uint8_t> copy;
    ASSERT_TRUE(cf.readStream(cf.findStream(u"Workbook"), copy));
    EXPECT_TRUE(std::ranges::equal(copy, r.bytes()));
  }
}

// A file cut inside its last sector reads as if that sector were
// zero-filled: exactly as the same file padded with zeros.
TEST(CompoundStreamView, TruncatedLastSectorReadsAsZeroFilled) {
  for (size_t size : {600u, 5000u, 20000u}) {
    const std::vector<std::uint8_t> full = written(pattern(size));
    for (size_t cut : {1u, 100u, 511u}) {
      SCOPED_TRACE(testing::Message() << size << " bytes, " << cut << " cut");
      std::vector<std::uint8_t> truncated(full.begin(), full.end() - static_cast<std::ptrdiff_t>(cut));
      std::vector<std::uint8_t> padded = truncated;
      padded.resize(full.size(), 0);
      WorkbookStreamReader a, b;
      const auto ra = a.openWorkbookStream(truncated);
      const auto rb = b.openWorkbookStream(padded);
      ASSERT_EQ(ra, rb);
      if (ra != WorkbookStreamReader::Result::Ok)
        continue;
      EXPECT_TRUE(std::ranges::equal(a.bytes(), b.bytes()));
    }
  }
}

} // namespace
} // namespace compound
