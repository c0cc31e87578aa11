#include "model/cell_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace model {
namespace {

std::vector<std::pair<int, int>> contents(const CellTable& t) {
  std::vector<std::pair<int, int>> out;
  for (auto p = t.begin(); !t.isEnd(p); p = t.next(p))
    out.emplace_back(t.at(p)->row, t.at(p)->column);
  return out;
}

TEST(OwnedText, HoldsCopiesAndMoves) {
  OwnedText a(u"123.45");
  EXPECT_EQ(a.view(), u"123.45");
  EXPECT_EQ(a.size(), 6u);
  OwnedText b = a;
  a.assign(u"x");
  EXPECT_EQ(b.view(), u"123.45");
  OwnedText c = std::move(b);
  EXPECT_TRUE(b.isNull());
  EXPECT_EQ(c.view(), u"123.45");
  OwnedText empty(u"");
  EXPECT_FALSE(empty.isNull()); // an empty input differs from no input
  EXPECT_EQ(empty.size(), 0u);
}

TEST(OwnedText, ArenaTextsOfEveryLengthReadBackAndGiveWayToOwnedOnes) {
  // Lengths around the even rounding, and beyond the quarter chunk that gets
  // a chunk of its own, interleaved so the current chunk must survive.
  TextArena arena;
  std::vector<std::u16string> texts;
  std::vector<OwnedText> held(3000);
  for (size_t i = 0; i < held.size(); ++i) {
    const size_t length = i % 500 == 7 ? 9000 + i : i % 5;
    texts.emplace_back(length, static_cast<char16_t>(u'a' + i % 26));
    held[i].assignIn(arena, texts.back());
  }
  for (size_t i = 0; i < held.size(); ++i) {
    ASSERT_FALSE(held[i].isNull());
    ASSERT_EQ(held[i].view(), texts[i]) << i;
  }
  // Copies own their text; an owned text replaces an arena one and back.
  OwnedText copy = held[7];
  held[7].assign(u"typed");
  EXPECT_EQ(copy.view(), texts[7]);
  EXPECT_EQ(held[7].view(), u"typed");
  held[8].assignIn(arena, held[8].view()); // from its own text
  EXPECT_EQ(held[8].view(), texts[8]);
  held[9].reset();
  EXPECT_TRUE(held[9].isNull());
  held.clear(); // arena texts are not freed one by one
  arena.clear();
  EXPECT_EQ(copy.view(), texts[7]);
}

TEST(OwnedText, SharesAStringValuesTextForAsLongAsEitherHoldsIt) {
  CellValue value = CellValue::string(u"shared text");
  OwnedText a;
  a.assignShared(value);
  EXPECT_EQ(a.view(), u"shared text");
  EXPECT_EQ(a.view().data(), value.stringValue().data()); // no copy
  EXPECT_EQ(a.size(), 11u);
  value = CellValue::number(1); // the text outlives the value
  EXPECT_EQ(a.view(), u"shared text");
  OwnedText copy = a; // a copy owns its text
  EXPECT_NE(copy.view().data(), a.view().data());
  OwnedText moved = std::move(a);
  EXPECT_TRUE(a.isNull());
  EXPECT_EQ(moved.view(), u"shared text");
  moved.assign(u"typed"); // gives up its share
  EXPECT_EQ(copy.view(), u"shared text");
  // Several holders of one text, let go in any order.
  CellValue v = CellValue::string(u"");
  std::vector<OwnedText> holders(4);
  for (OwnedText& h : holders)
    h.assignShared(v);
  EXPECT_FALSE(holders[0].isNull()); // an empty text is still a text
  v = CellValue();
  holders[2].reset();
  holders[0].assignShared(CellValue::string(u"other"));
  EXPECT_EQ(holders[0].view(), u"other");
  EXPECT_EQ(holders[3].view(), u"");
}

TEST(CellTable, LoadedTextsLiveUntilTheTableClears) {
  CellTable t;
  for (int r = 0; r < 2000; ++r) {
    CellRecord* c = t.append(static_cast<std::uint16_t>(r), 0);
    c->input.assignIn(t.textArena(), std::u16string(static_cast<size_t>(r % 40), u'x'));
  }
  t.erase(t.find(5, 0).position);
  t.at(6, 0)->input.assign(u"=A1");
  EXPECT_EQ(t.at(4, 0)->input.size(), 4u);
  EXPECT_EQ(t.at(6, 0)->input.view(), u"=A1");
  EXPECT_EQ(t.at(1999, 0)->input.size(), 1999u % 40);
  t.clear();
  CellRecord* c = t.append(0, 0);
  c->input.assignIn(t.textArena(), u"again");
  EXPECT_EQ(t.at(0, 0)->input.view(), u"again");
}

TEST(CellTable, RandomInsertsStaySortedAndUnique) {
  // Enough cells to split many blocks, in an order that hits every block.
  CellTable t;
  std::mt19937 rng(42);
  std::set<std::pair<int, int>> expected;
  for (int i = 0; i < 20000; ++i) {
    const int r = static_cast<int>(rng() % 3000), c = static_cast<int>(rng() % 40);
    CellRecord* rec = t.findOrInsert(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
    ASSERT_EQ(rec->row, r);
    ASSERT_EQ(rec->column, c);
    expected.emplace(r, c);
  }
  EXPECT_EQ(t.count(), expected.size());
  const auto got = contents(t);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin(), expected.end()));
  for (const auto& [r, c] : expected) {
    const auto s = t.find(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
    ASSERT_TRUE(s.found);
    EXPECT_EQ(t.at(s.position)->row, r);
  }
}

// Rows 100-2099 of a table spanning many blocks reversed, and the columns
// of rows 0-99 swapped in pairs: every record keeps its address, the table
// stays ordered and searchable, and cells outside the rows stay put.
TEST(CellTable, RekeyRowsPermutesRecordsInPlace) {
  CellTable t;
  std::mt19937 rng(3);
  for (int i = 0; i < 15000; ++i)
    (void)t.findOrInsert(static_cast<std::uint16_t>(rng() % 2200), static_cast<std::uint8_t>(rng() % 12));
  std::vector<std::pair<const CellRecord*, std::pair<int, int>>> expected;
  for (auto p = t.begin(); !t.isEnd(p); p = t.next(p)) {
    const CellRecord* c = t.at(p);
    int r = c->row, col = c->column;
    if (r >= 100 && r <= 2099)
      r = 2199 - r;
    else if (r < 100)
      col ^= 1;
    expected.push_back({c, {r, col}});
  }
  const auto keyOf = [](int r, int c) { return (static_cast<std::uint32_t>(r) << 8) | static_cast<std::uint32_t>(c); };
  ASSERT_TRUE(t.rekeyRows(100, 2099, [&](const CellRecord& c) { return keyOf(2199 - c.row, c.column); }));
  ASSERT_TRUE(t.rekeyRows(0, 99, [&](const CellRecord& c) { return keyOf(c.row, c.column ^ 1); }));
  const auto got = contents(t);
  ASSERT_TRUE(std::is_sorted(got.begin(), got.end()));
  ASSERT_EQ(got.size(), expected.size());
  for (const auto& [rec, at] : expected) {
    EXPECT_EQ(t.at(static_cast<std::uint16_t>(at.first), static_cast<std::uint8_t>(at.second)), rec);
    EXPECT_EQ(std::make_pair(int{rec->row}, int{rec->column}), at);
  }
  EXPECT_EQ(t.lastColumn(), 11);

  // Keys that leave the rows or collide change nothing.
  const auto before = contents(t);
  EXPECT_FALSE(t.rekeyRows(0, 99, [&](const CellRecord& c) { return keyOf(c.row + 100, c.column); }));
  EXPECT_FALSE(t.rekeyRows(0, 99, [&](const CellRecord& c) { return keyOf(c.row, 0); }));
  EXPECT_EQ(contents(t), before);
}

TEST(CellTable, LastColumnFollowsInsertsErasesAndClear) {
  CellTable t;
  EXPECT_EQ(t.lastColumn(), -1);
  // Random inserts and erases against a multiset kept on the side.
  std::mt19937 rng(7);
  std::multiset<int> columns;
  for (int i = 0; i < 3000; ++i) {
    const auto row = static_cast<std::uint16_t>(rng() % 300);
    const auto column = static_cast<std::uint8_t>(rng() % 256);
    const CellTable::Search s = t.find(row, column);
    if (s.found && rng() % 2) {
      t.erase(s.position);
      columns.erase(columns.find(column));
    } else if (!s.found) {
      t.insert(s.position, row, column);
      columns.insert(column);
    }
    ASSERT_EQ(t.lastColumn(), columns.empty() ? -1 : *columns.rbegin()) << i;
  }
  t.clear();
  EXPECT_EQ(t.lastColumn(), -1);
  t.append(0, 3);
  EXPECT_EQ(t.lastColumn(), 3);
}

TEST(CellTable, FindGivesInsertionPositions) {
  CellTable t;
  EXPECT_FALSE(t.find(0, 0).found);
  EXPECT_TRUE(t.isEnd(t.find(0, 0).position));
  t.append(1, 1);
  t.append(1, 5);
  t.append(3, 0);
  struct Row {
    int row, column;
    bool found;
    int rankOfPosition; // how many cells come before the position
  } rows[] = {
      {0, 255, false, 0}, {1, 1, true, 0},  {1, 2, false, 1},
      {1, 5, true, 1},    {2, 0, false, 2}, {3, 0, true, 2},
      {3, 1, false, 3},   {65535, 255, false, 3}, // past the last cell: the count
  };
  for (const Row& row : rows) {
    const auto s = t.find(static_cast<std::uint16_t>(row.row), static_cast<std::uint8_t>(row.column));
    EXPECT_EQ(s.found, row.found) << row.row << "," << row.column;
    int rank = 0;
    for (auto p = t.begin(); !(p == s.position) && !t.isEnd(p); p = t.next(p))
      ++rank;
    EXPECT_EQ(rank, row.rankOfPosition) << row.row << "," << row.column;
  }
}

TEST(CellTable, RecordsKeepTheirAddressAcrossInserts) {
  CellTable t;
  CellRecord* first = t.findOrInsert(5000, 3);
  first->input.assign(u"kept");
  for (int r = 0; r < 4000; ++r)
    t.findOrInsert(static_cast<std::uint16_t>(r), 0);
  EXPECT_EQ(t.at(5000, 3), first);
  EXPECT_EQ(first->input.view(), u"kept");
}

TEST(CellTable, AppendOutOfOrderFallsBackToSortedInsert) {
  CellTable t;
  t.append(5, 0);
  t.append(2, 0); // a careless loader must not break the order
  t.append(5, 0); // nor create a duplicate
  EXPECT_EQ(contents(t), (std::vector<std::pair<int, int>>{{2, 0}, {5, 0}}));
}

TEST(CellTable, EraseAndRangeWalk) {
  CellTable t;
  for (int r = 0; r < 600; ++r)
    for (int c = 0; c < 3; ++c)
      t.append(static_cast<std::uint16_t>(r), static_cast<std::uint8_t>(c));
  // Erase a whole block's worth from the middle.
  for (int r = 100; r < 400; ++r)
    t.erase(t.find(static_cast<std::uint16_t>(r), 1).position);
  EXPECT_EQ(t.count(), 1800u - 300u);
  EXPECT_EQ(t.at(200, 1), nullptr);
  ASSERT_NE(t.at(200, 2), nullptr);

  std::vector<std::pair<int, int>> seen;
  t.forEachIn(CellRange{99, 1, 101, 2},
              [&](CellRecord& c) { seen.emplace_back(c.row, c.column); });
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{99, 1}, {99, 2}, {100, 2}, {101, 2}}));
  EXPECT_EQ(t.last()->row, 599);

  while (!t.empty())
    t.erase(t.begin());
  EXPECT_TRUE(t.isEnd(t.begin()));
  EXPECT_EQ(t.last(), nullptr);
}

TEST(CellTable, ErasedRecordsAreReusedClean) {
  CellTable t;
  CellRecord* a = t.findOrInsert(1, 1);
  a->input.assign(u"=A1");
  a->value = CellValue::string(u"old");
  a->precedents = std::make_unique<PrecedentList>(1);
  t.erase(t.find(1, 1).position);
  CellRecord* b = t.findOrInsert(2, 2);
  EXPECT_TRUE(b->input.isNull());
  EXPECT_TRUE(b->value.isEmpty());
  EXPECT_EQ(b->precedents, nullptr);
  EXPECT_EQ(b->formatIndex, 15);
  EXPECT_EQ(b->calcState, CalcState::NotValid);
}

TEST(Volatility, ClassesFromFormulaText) {
  const struct {
    std::u16string_view input;
    VolatilityClass expected;
  } rows[] = {
      {u"=RAND()", VolatilityClass::Volatile},
      {u"=1+now()", VolatilityClass::Volatile},
      {u"=SUM(OFFSET(A1,1,1))", VolatilityClass::Volatile},
      {u"=SUBTOTAL(9,A1:A3)", VolatilityClass::Volatile},
      {u"=INFO(\"osversion\")", VolatilityClass::Info},
      {u"=CELL(\"width\",A1)", VolatilityClass::Cell},
      {u"=SUM(A1:A3)", VolatilityClass::None},
      {u"RAND()", VolatilityClass::None},          // text, not a formula
      {u"=\"RAND()\"", VolatilityClass::None},     // inside a string constant
      {u"=MYRAND(1)", VolatilityClass::None},      // tail of a longer name
      {u"=NOW", VolatilityClass::None},            // a name, not a call
      {u"=CELL(\"row\")+RAND()", VolatilityClass::Volatile},
      {u"", VolatilityClass::None},
  };
  for (const auto& row : rows)
    EXPECT_EQ(volatilityClassOf(row.input), row.expected)
        << std::string(row.input.begin(), row.input.end());
}

TEST(CellValue, OwnsAndCopiesEveryKind) {
  CellValue s = CellValue::string(u"abc");
  CellValue copy = s;
  EXPECT_EQ(copy.stringValue(), u"abc");
  EXPECT_EQ(copy.stringValue().data(), s.stringValue().data()); // shared, not duplicated
  s = CellValue::string(u"xyz");
  EXPECT_EQ(copy.stringValue(), u"abc");

  const SheetRange area{2, packCell(1, 2), packCell(5, 7)};
  CellValue ref = CellValue::reference(area);
  EXPECT_EQ(ref.referenceValue(), area);
  EXPECT_EQ(ref.referenceValue().range(), (CellRange{1, 2, 5, 7}));

  CellValue arr = CellValue::array(2, 2, {CellValue::number(1), CellValue::string(u"x"),
                                          CellValue::boolean(true), CellValue::error(ErrorCode::NA)});
  CellValue arr2 = arr;
  arr2.arrayItem(0, 1) = CellValue::number(9);
  EXPECT_EQ(arr.arrayItem(0, 1).stringValue(), u"x");
  EXPECT_EQ(arr2.arrayItem(1, 1).errorValue(), ErrorCode::NA);
  EXPECT_FALSE(arr == arr2);

  CellValue moved = std::move(arr);
  EXPECT_TRUE(arr.isEmpty());
  EXPECT_EQ(moved.arrayRows(), 2);

  CellValue areas = CellValue::areas({area, area});
  CellValue areas2 = areas;
  EXPECT_TRUE(areas == areas2);
  EXPECT_EQ(areas2.areasValue().size(), 2u);

  // Negative sheet indexes (the owning sheet) survive the packing.
  EXPECT_EQ(CellValue::reference({-1, 0, 0}).referenceValue().sheet, -1);
  EXPECT_EQ(static_cast<int>(CellValue::jump(-1, packCell(3, 4)).jumpSheet()), -1);
}

// An array may be given one of its own items: the item is read before the
// array's memory goes (the sanitizer build catches a read after it).
TEST(CellValue, AssigningAnArrayItsOwnItem) {
  struct Case {
    CellValue item;
    bool move;
  };
  const Case cases[] = {
      {CellValue::number(4.5), false}, {CellValue::number(4.5), true},
      {CellValue::string(u"kept"), false}, {CellValue::string(u"kept"), true},
      {CellValue::error(ErrorCode::Ref), false}, {CellValue::reference({0, 1, 2}), true},
  };
  for (const Case& c : cases) {
    CellValue arr = CellValue::array(1, 2, {CellValue::boolean(false), c.item});
    if (c.move)
      arr = std::move(arr.arrayItem(0, 1));
    else
      arr = arr.arrayItem(0, 1);
    EXPECT_TRUE(arr == c.item) << static_cast<int>(c.item.kind()) << " move " << c.move;
  }
  CellValue self = CellValue::string(u"self");
  CellValue& alias = self;
  self = alias;
  self = std::move(alias);
  EXPECT_EQ(self.stringValue(), u"self");
}

TEST(CellValue, ErrorTexts) {
  const std::u16string_view texts[] = {u"#NULL!", u"#DIV/0!", u"#VALUE!", u"#REF!",
                                       u"#NAME?", u"#NUM!",   u"#N/A"};
  for (int i = 0; i < kErrorCodeCount; ++i) {
    EXPECT_EQ(errorText(static_cast<ErrorCode>(i)), texts[i]);
    EXPECT_EQ(findErrorCode(texts[i]), i);
  }
  EXPECT_EQ(findErrorCode(u"#n/a"), 6);
  EXPECT_EQ(findErrorCode(u"#N/A "), -1);
  EXPECT_EQ(findErrorCode(u""), -1);
}

} // namespace
} // namespace model
