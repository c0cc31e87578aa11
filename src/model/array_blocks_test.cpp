#include "model/array_blocks.h"

#include <gtest/gtest.h>

#include <random>

namespace model {
namespace {

std::vector<ArrayFormulaRecord> blocksOf(std::initializer_list<CellRange> ranges) {
  std::vector<ArrayFormulaRecord> out;
  for (const CellRange& r : ranges)
    out.push_back({r, u""});
  return out;
}

TEST(ArrayBlockIndex, FindsTheBlockHoldingACell) {
  // Rows and columns: a tall block in column B, a wide one in row 10, a
  // single cell, and a block starting below the others.
  const auto blocks = blocksOf({{0, 1, 99, 1}, {10, 2, 10, 200}, {5, 0, 5, 0}, {200, 0, 300, 255}});
  const ArrayBlockIndex index(blocks);
  struct Case {
    int row, column, block;
  } const kCases[] = {
      {0, 1, 0},    {99, 1, 0},   {100, 1, -1}, {50, 0, -1},  {10, 2, 1},   {10, 200, 1},
      {10, 201, -1}, {11, 2, -1}, {5, 0, 2},    {4, 0, -1},   {200, 0, 3},  {300, 255, 3},
      {250, 128, 3}, {301, 0, -1}, {199, 255, -1}, {65535, 255, -1},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(index.find(c.row, c.column), c.block) << c.row << "," << c.column;
}

TEST(ArrayBlockIndex, EmptyListHoldsNothing) {
  const std::vector<ArrayFormulaRecord> none;
  EXPECT_EQ(ArrayBlockIndex(none).find(0, 0), -1);
}

// Against a walk of every block, the first one holding the cell counts,
// overlapping blocks included.
TEST(ArrayBlockIndex, AgreesWithAWalkOfEveryBlock) {
  std::mt19937 random(7);
  std::vector<ArrayFormulaRecord> blocks;
  for (int i = 0; i < 300; ++i) {
    const auto r = static_cast<std::uint16_t>(random() % 500);
    const auto c = static_cast<std::uint8_t>(random() % 40);
    const auto h = static_cast<std::uint16_t>(random() % (i % 10 == 0 ? 200 : 4));
    const auto w = static_cast<std::uint8_t>(random() % 5);
    blocks.push_back({{r, c, static_cast<std::uint16_t>(r + h), static_cast<std::uint8_t>(c + w)}, u""});
  }
  const ArrayBlockIndex index(blocks);
  for (int row = 0; row < 720; row += 3)
    for (int column = 0; column < 48; ++column) {
      int expected = -1;
      for (size_t b = 0; b < blocks.size() && expected < 0; ++b)
        if (blocks[b].range.contains(row, column))
          expected = static_cast<int>(b);
      ASSERT_EQ(index.find(row, column), expected) << row << "," << column;
    }
}

TEST(DropOverlappingArrayBlocks, KeepsBlocksThatShareNoCell) {
  struct Case {
    const char* what;
    std::vector<ArrayFormulaRecord> blocks;
    std::vector<CellRange> kept;
  };
  const Case kCases[] = {
      {"apart", blocksOf({{0, 0, 1, 1}, {0, 2, 1, 3}, {2, 0, 2, 0}}),
       {{0, 0, 1, 1}, {0, 2, 1, 3}, {2, 0, 2, 0}}},
      {"the same cell twice", blocksOf({{3, 3, 3, 3}, {3, 3, 3, 3}}), {{3, 3, 3, 3}}},
      {"a block inside another", blocksOf({{0, 0, 9, 9}, {4, 4, 5, 5}}), {{0, 0, 9, 9}}},
      {"the upper one stays, whatever the order", blocksOf({{5, 0, 6, 3}, {0, 2, 5, 2}}),
       {{0, 2, 5, 2}}},
      {"left stays in one row", blocksOf({{0, 3, 0, 8}, {0, 0, 0, 3}}), {{0, 0, 0, 3}}},
      {"a block ended above leaves room", blocksOf({{0, 0, 4, 0}, {5, 0, 9, 0}, {2, 1, 7, 1}}),
       {{0, 0, 4, 0}, {5, 0, 9, 0}, {2, 1, 7, 1}}},
      {"a long block met far below", blocksOf({{0, 10, 60000, 10}, {1, 0, 1, 20}, {59999, 9, 59999, 11}}),
       {{0, 10, 60000, 10}}},
      {"a neighbour to the left that ends before", blocksOf({{0, 0, 0, 1}, {0, 2, 3, 2}, {1, 0, 1, 5}}),
       {{0, 0, 0, 1}, {0, 2, 3, 2}}},
  };
  for (const Case& c : kCases) {
    std::vector<ArrayFormulaRecord> blocks = c.blocks;
    dropOverlappingArrayBlocks(blocks);
    ASSERT_EQ(blocks.size(), c.kept.size()) << c.what;
    for (size_t i = 0; i < blocks.size(); ++i)
      EXPECT_EQ(blocks[i].range, c.kept[i]) << c.what << " " << i;
  }
}

// Whatever is dropped, what stays shares no cell, and a block is dropped
// only for one kept that it meets.
TEST(DropOverlappingArrayBlocks, WhatStaysIsDisjointAndNothingIsDroppedForNothing) {
  std::mt19937 random(11);
  std::vector<ArrayFormulaRecord> blocks;
  for (int i = 0; i < 400; ++i) {
    const auto r = static_cast<std::uint16_t>(random() % 300);
    const auto c = static_cast<std::uint8_t>(random() % 30);
    blocks.push_back({{r, c, static_cast<std::uint16_t>(r + random() % 6),
                       static_cast<std::uint8_t>(c + random() % 4)}, u""});
  }
  std::vector<ArrayFormulaRecord> kept = blocks;
  dropOverlappingArrayBlocks(kept);
  ASSERT_LT(kept.size(), blocks.size());
  for (size_t i = 0; i < kept.size(); ++i)
    for (size_t j = i + 1; j < kept.size(); ++j)
      ASSERT_FALSE(kept[i].range.intersects(kept[j].range)) << i << " " << j;
  for (const ArrayFormulaRecord& b : blocks) {
    bool stays = false, meets = false;
    for (const ArrayFormulaRecord& k : kept) {
      stays = stays || k.range == b.range;
      meets = meets || k.range.intersects(b.range);
    }
    EXPECT_TRUE(stays || meets);
  }
}

} // namespace
} // namespace model
