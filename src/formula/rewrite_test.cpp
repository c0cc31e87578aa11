#include "formula/rewrite.h"

#include "model/workbook.h"
#include "platform/locale_strings.h"
#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace formula {
namespace {

using model::CellRange;
using M = RewriteMode;

std::unique_ptr<model::Workbook> makeBook() {
  auto book = std::make_unique<model::Workbook>();
  for (const char16_t *name : {u"Sheet1", u"Sheet2", u"My Sheet"}) {
    auto sheet = std::make_unique<model::Sheet>();
    sheet->name = name;
    book->sheets.push_back(std::move(sheet));
  }
  model::DefinedName total;
  total.name = u"Total";
  total.formula = u"=Sheet1!$A$1";
  book->names.push_back(total);
  return book;
}

std::string show(std::u16string_view text) { return platform::toUtf8(text); }

// Blocks as the editing commands describe them (0-based).
constexpr CellRange kRowsFrom5{4, 0, 65535, 255};     // rows 5.. : insert above row 5
constexpr CellRange kRowsFrom5ColsBC{4, 1, 65535, 2}; // cells B5:C65536
constexpr CellRange kColumnsFromC{0, 2, 65535, 255};  // columns C..
constexpr CellRange kColumnsFromD{0, 3, 65535, 255};  // columns D.. : delete B:C
constexpr CellRange kA1B2{0, 0, 1, 1};
constexpr CellRange kA10{9, 0, 9, 0};
constexpr CellRange kNone{0, 0, 0, 0};

struct Row {
  RewriteMode mode;
  std::u16string_view text;
  CellRange moved;
  int rowOffset;
  int columnOffset;
  std::u16string_view expected;
};

void check(const Row *rows, size_t count, int sheet = 0, int movedSheet = 0) {
  const auto book = makeBook();
  for (size_t k = 0; k < count; ++k) {
    const Row &row = rows[k];
    const auto got = rewriteFormula(row.mode, *book, sheet, row.text, movedSheet, row.moved,
                                    row.rowOffset, row.columnOffset);
    ASSERT_TRUE(got.has_value()) << show(row.text);
    EXPECT_EQ(show(*got), show(row.expected))
        << "mode " << static_cast<int>(row.mode) << " " << show(row.text) << " by ("
        << row.rowOffset << "," << row.columnOffset << ")";
  }
}

TEST(Rewrite, InsertingAndDeletingRows) {
  constexpr Row kRows[] = {
      // clang-format off
      // insert 2 rows above row 5
      {M::Move,       u"=A5",                    kRowsFrom5,  2, 0, u"=A7"},
      {M::Move,       u"=SUM(A1:A10)",           kRowsFrom5,  2, 0, u"=SUM(A1:A12)"},
      {M::Move,       u"=SUM(A10:A1)",           kRowsFrom5,  2, 0, u"=SUM(A1:A12)"},
      {M::Move,       u"=A4+SUM(A1:A4)",         kRowsFrom5,  2, 0, u"=A4+SUM(A1:A4)"},
      {M::Move,       u"=$A$5*A$6",              kRowsFrom5,  2, 0, u"=$A$7*A$8"},
      {M::Move,       u"=A5..B6",                kRowsFrom5,  2, 0, u"=A7:B8"},
      {M::Move,       u"=A5&\"A5\"",             kRowsFrom5,  2, 0, u"=A7&\"A5\""},
      {M::Move,       u"=A65535",                kRowsFrom5,  2, 0, u"=#REF!"},     // pushed off, never row 1
      {M::Move,       u"=SUM(A1:A65536)",        kRowsFrom5,  2, 0, u"=SUM(A1:A65536)"},
      {M::Move,       u"=SUM(A65530:A65536)",    kRowsFrom5,  2, 0, u"=SUM(A65532:A65536)"},
      {M::Move,       u"=SUM(A65535:A65536)",    kRowsFrom5,  2, 0, u"=SUM(#REF!)"},
      {M::Move,       u"=Sheet1!A5+'Sheet1'!A5", kRowsFrom5,  2, 0, u"=Sheet1!A7+'Sheet1'!A7"},
      {M::Move,       u"=sheet1!a5",             kRowsFrom5,  2, 0, u"=sheet1!A7"},
      {M::Move,       u"=Sheet2!A5+'My Sheet'!A5", kRowsFrom5, 2, 0, u"=Sheet2!A5+'My Sheet'!A5"},
      {M::SecondPass, u"=A5",                    kRowsFrom5,  2, 0, u"=A7"},
      // delete rows 3-4: the rows from 5 on move up by 2
      {M::Move,       u"=A5",                    kRowsFrom5, -2, 0, u"=A3"},
      {M::Move,       u"=A3",                    kRowsFrom5, -2, 0, u"=#REF!"},
      {M::Move,       u"=A4",                    kRowsFrom5, -2, 0, u"=#REF!"},
      {M::Move,       u"=A2",                    kRowsFrom5, -2, 0, u"=A2"},
      {M::Move,       u"=SUM(A1:A10)",           kRowsFrom5, -2, 0, u"=SUM(A1:A8)"},
      {M::Move,       u"=SUM(A3:A10)",           kRowsFrom5, -2, 0, u"=SUM(A3:A8)"},
      {M::Move,       u"=SUM(A1:A4)",            kRowsFrom5, -2, 0, u"=SUM(A1:A2)"},
      {M::Move,       u"=SUM($A$3:$B$4)",        kRowsFrom5, -2, 0, u"=SUM(#REF!)"},
      {M::Move,       u"=A65536",                kRowsFrom5, -2, 0, u"=A65534"},
      {M::SecondPass, u"=A3",                    kRowsFrom5, -2, 0, u"=#REF!"},
      // clang-format on
  };
  check(kRows, std::size(kRows));
}

TEST(Rewrite, InsertingAndDeletingColumnsAndCells) {
  constexpr Row kRows[] = {
      // clang-format off
      // insert 2 columns before C
      {M::Move, u"=C1",               kColumnsFromC,  0,  2, u"=E1"},
      {M::Move, u"=SUM(A1:D1)",       kColumnsFromC,  0,  2, u"=SUM(A1:F1)"},
      {M::Move, u"=B1",               kColumnsFromC,  0,  2, u"=B1"},
      {M::Move, u"=IU1",              kColumnsFromC,  0,  2, u"=#REF!"},   // never column A
      {M::Move, u"=SUM(A1:IV1)",      kColumnsFromC,  0,  2, u"=SUM(A1:IV1)"},
      // delete columns B:C
      {M::Move, u"=D1",               kColumnsFromD,  0, -2, u"=B1"},
      {M::Move, u"=B1",               kColumnsFromD,  0, -2, u"=#REF!"},
      {M::Move, u"=$C$1",             kColumnsFromD,  0, -2, u"=#REF!"},
      {M::Move, u"=SUM(A1:E1)",       kColumnsFromD,  0, -2, u"=SUM(A1:C1)"},
      {M::Move, u"=SUM(B1:E1)",       kColumnsFromD,  0, -2, u"=SUM(B1:C1)"},
      // insert cells B5:C6, shifting down: only columns B:C move
      {M::Move, u"=B5+A5",            kRowsFrom5ColsBC, 2, 0, u"=B7+A5"},
      {M::Move, u"=SUM(B1:C10)",      kRowsFrom5ColsBC, 2, 0, u"=SUM(B1:C12)"},
      {M::Move, u"=SUM(A1:C10)",      kRowsFrom5ColsBC, 2, 0, u"=SUM(A1:C10)"},
      // clang-format on
  };
  check(kRows, std::size(kRows));
}

TEST(Rewrite, MovingABlock) {
  constexpr Row kRows[] = {
      // clang-format off
      // A1:B2 cut and pasted at C3
      {M::Move, u"=A1+$A$1",          kA1B2,  2,  2, u"=C3+$C$3"},
      {M::Move, u"=SUM(A1:B2)",       kA1B2,  2,  2, u"=SUM(C3:D4)"},
      {M::Move, u"=D4",               kA1B2,  2,  2, u"=#REF!"},         // overwritten
      {M::Move, u"=SUM(B2:C3)",       kA1B2,  2,  2, u"=SUM(B2:C3)"},    // partly in the block
      {M::Move, u"=E5",               kA1B2,  2,  2, u"=E5"},
      // A10 moved to A12, then to A2 (past the other end of A5:A10)
      {M::Move, u"=SUM(A1:A10)+A10",  kA10,   2,  0, u"=SUM(A1:A12)+A12"},
      {M::Move, u"=A12",              kA10,   2,  0, u"=#REF!"},
      {M::Move, u"=SUM(A5:A10)",      kA10,  -8,  0, u"=SUM(A5:A10)"},
      {M::Move, u"=A1",               kA1B2,  0,  0, u"=A1"},
      // clang-format on
  };
  check(kRows, std::size(kRows));
}

TEST(Rewrite, ReferencesToAnotherSheetFollowOnlyThatSheet) {
  // The formula is on Sheet2; rows 3-4 of Sheet1 are deleted.
  constexpr Row kRows[] = {
      // clang-format off
      {M::Move, u"=Sheet1!A3",             kRowsFrom5, -2, 0, u"=Sheet1!#REF!"},
      {M::Move, u"='Sheet1'!A5:A9",        kRowsFrom5, -2, 0, u"='Sheet1'!A3:A7"},
      {M::Move, u"=A5+Sheet2!A5",          kRowsFrom5, -2, 0, u"=A5+Sheet2!A5"},
      // A sheet's local name beside its references stays as written.
      {M::Move, u"=Sheet1!Total+Sheet1!A5", kRowsFrom5, -2, 0, u"=Sheet1!Total+Sheet1!A3"},
      {M::Move, u"='Sheet1'!Total*A5",     kRowsFrom5, -2, 0, u"='Sheet1'!Total*A5"},
      // clang-format on
  };
  check(kRows, std::size(kRows), /*sheet*/ 1, /*movedSheet*/ 0);
}

// A reference through a range of sheets is read whole. Inserting or
// deleting on one of its sheets leaves it as written (the cells of the
// other sheets stay where they are), also when the edited sheet is the
// last one; a range of one sheet moves like that sheet's references, and
// pasting moves relative parts as for any reference.
TEST(Rewrite, SheetRangeReferences) {
  constexpr Row kMoves[] = {
      // clang-format off
      {M::Move,   u"=SUM(Sheet1:Sheet2!A5)",        kRowsFrom5, 2, 0, u"=SUM(Sheet1:Sheet2!A5)"},
      {M::Move,   u"=SUM('Sheet2:My Sheet'!A5:B9)", kRowsFrom5, 2, 0, u"=SUM('Sheet2:My Sheet'!A5:B9)"},
      {M::Move,   u"=Sheet2:Sheet2!A5+Sheet2!A5",   kRowsFrom5, 2, 0, u"=Sheet2:Sheet2!A7+Sheet2!A7"},
      {M::Move,   u"=Sheet2:Sheet2!A3",             kRowsFrom5, -2, 0, u"=Sheet2:Sheet2!#REF!"},
      {M::Offset, u"=SUM(Sheet1:Sheet2!A5,$B$1)",   kNone,      1, 1, u"=SUM(Sheet1:Sheet2!B6,$B$1)"},
      {M::Offset, u"=SUM('Sheet2:My Sheet'!A1)",    kNone,     -1, 0, u"=SUM('Sheet2:My Sheet'!#REF!)"},
      // clang-format on
  };
  check(kMoves, std::size(kMoves), /*sheet*/ 0, /*movedSheet*/ 1);
  // Moving on the range's first or last sheet changes nothing either.
  constexpr Row kEnds[] = {
      // clang-format off
      {M::Move, u"=Sheet1:Sheet2!A5", kRowsFrom5, 2, 0, u"=Sheet1:Sheet2!A5"},
      {M::Move, u"=Sheet2:Sheet1!A5", kRowsFrom5, 2, 0, u"=Sheet2:Sheet1!A5"},
      // clang-format on
  };
  check(kEnds, std::size(kEnds), /*sheet*/ 1, /*movedSheet*/ 0);
}

// Renaming a sheet renames it wherever a qualifier names it, at either end
// of a range of sheets, quoting the new name when it needs quotes; a range
// whose ends come together is written as its one sheet. Texts in string
// constants and names that only contain the old one stay.
TEST(Rewrite, RenamingSheetQualifiers) {
  const struct {
    std::u16string_view text;
    std::u16string_view to;
    std::u16string_view renamed; // empty: unchanged
  } kRows[] = {
      // clang-format off
      {u"=Old!A1+OLD!B2",             u"New",      u"=New!A1+New!B2"},
      {u"=SUM(Old:Last!A1)",          u"New",      u"=SUM(New:Last!A1)"},
      {u"=SUM(First:Old!A1)",         u"New Name", u"=SUM('First:New Name'!A1)"},
      {u"=SUM('Old:Last'!A1)",        u"New",      u"=SUM('New:Last'!A1)"},
      {u"=SUM('First':'Old'!A1)",     u"New",      u"=SUM('First:New'!A1)"},
      {u"=SUM(Old:Last!A1)",          u"Last",     u"=SUM(Last!A1)"},
      {u"='Old'!A1&\"Old!A1\"",       u"N",        u"='N'!A1&\"Old!A1\""},
      {u"=Older!A1+SOld!A1+Old",      u"New",      u""},
      {u"=Old!Rate*2+'old'!Rate",     u"New Name", u"='New Name'!Rate*2+'New Name'!Rate"},
      {u"='It''s Old'!A1",            u"New",      u""},
      // clang-format on
  };
  for (const auto &row : kRows) {
    SCOPED_TRACE(show(row.text));
    bool changed = false;
    const std::u16string out = renameSheetQualifiers(
        row.text, u',',
        [&](SheetQualifierNames &names) {
          bool any = false;
          for (std::u16string *name : {&names.first, &names.last})
            if (platform::equalsIgnoreCase(*name, u"Old")) {
              name->assign(row.to);
              any = true;
            }
          return any;
        },
        changed);
    EXPECT_EQ(changed, !row.renamed.empty());
    EXPECT_EQ(show(out), show(row.renamed.empty() ? row.text : row.renamed));
    EXPECT_EQ(hasSheetRangeQualifier(row.text, u','), row.text.find(u':') != std::u16string::npos);
  }
}

TEST(Rewrite, PastingAtAnOffset) {
  constexpr Row kRows[] = {
      // clang-format off
      {M::Offset, u"=A1+$B$1",             kNone,  1,  1, u"=B2+$B$1"},
      {M::Offset, u"=A1",                  kNone, -1,  0, u"=#REF!"},
      {M::Offset, u"=\"A1\"\"B2\"&A1",         kNone,  1,  0, u"=\"A1\"\"B2\"&A2"},
      {M::Offset, u"=A$1+$A1",             kNone,  2,  3, u"=D$1+$A3"},
      {M::Offset, u"=SUM(A1:$B$2)",        kNone,  1,  0, u"=SUM(A2:$B$2)"},
      {M::Offset, u"=SUM(A1:B2)",          kNone,  0, -1, u"=SUM(#REF!)"},
      {M::Offset, u"=IV1",                 kNone,  0,  1, u"=#REF!"},
      {M::Offset, u"=A65536",              kNone,  1,  0, u"=#REF!"},
      {M::Offset, u"=a1..b2",              kNone,  1,  0, u"=A2:B3"},
      {M::Offset, u"='My Sheet'!A1+Sheet2!A1", kNone, 1, 0, u"='My Sheet'!A2+Sheet2!A2"},
      {M::Offset, u"=Nope!A1+'Nope'!A1+A1",kNone,  1,  0, u"=Nope!A1+'Nope'!A1+A2"},
      {M::Offset, u"=\"A1\"&A1",           kNone,  1,  0, u"=\"A1\"&A2"},
      {M::Offset, u"=\"open A1",           kNone,  1,  0, u"=\"open A1"},
      {M::Offset, u"={1,\"x\";2,3}+A1",    kNone,  1,  0, u"={1,\"x\";2,3}+A2"},
      {M::Offset, u"=2E1+1.5E+3+A1",       kNone,  1,  0, u"=2E1+1.5E+3+A2"},
      {M::Offset, u"=#REF!+#DIV/0!+#N/A+A1", kNone, 1, 0, u"=#REF!+#DIV/0!+#N/A+A2"},
      {M::Offset, u"=Total+AB1(A1)",       kNone,  1,  0, u"=Total+AB1(A2)"},
      {M::Offset, u"=SUM(A1,B1) A1:B2",    kNone,  1,  0, u"=SUM(A2,B2) A2:B3"},
      {M::Offset, u"+A1",                  kNone,  1,  0, u"+A2"},
      {M::Offset, u"-A1",                  kNone,  1,  0, u"-A2"},
      {M::Offset, u"A1",                   kNone,  1,  0, u"A1"},      // not a formula
      {M::Offset, u"=",                    kNone,  1,  0, u"="},
      {M::Offset, u"= A1 +  $A$1 ",        kNone,  0,  0, u"= A1 +  $A$1 "},
      {M::Offset, u"= $A$1 +  SUM( $B$2 )",kNone,  5,  5, u"= $A$1 +  SUM( $B$2 )"},
      // clang-format on
  };
  check(kRows, std::size(kRows));
}

TEST(Rewrite, RelativeModeNeverWraps) {
  constexpr Row kRows[] = {
      // clang-format off
      {M::Relative, u"=B2",           kNone, -1,      -1,      u"=A1"},
      {M::Relative, u"=$A$1+B1",      kNone,  3,       0,      u"=$A$1+B4"},
      {M::Relative, u"=A1",           kNone, -1,       0,      u"=#REF!"},
      {M::Relative, u"=IV65536",      kNone,  1,       0,      u"=#REF!"},
      {M::Relative, u"=A1",           kNone,  65536,   0,      u"=#REF!"},
      {M::Relative, u"=A1",           kNone,  INT_MAX, INT_MAX, u"=#REF!"},
      {M::Relative, u"=IV65536",      kNone,  INT_MIN, INT_MIN, u"=#REF!"},
      {M::Offset,   u"=A1",           kNone,  INT_MAX, 0,      u"=#REF!"},
      // clang-format on
  };
  check(kRows, std::size(kRows));

  const auto book = makeBook();
  constexpr std::u16string_view kFormulas[] = {
      u"=A1+$B$2*SUM(C3:D$4)",
      u"='My Sheet'!B2:C3&\"B2\"",
      u"=IF(A1>0,Sheet2!$A1,A$1)",
  };
  for (const auto text : kFormulas) {
    for (const int k : {1, 7, 300, 65535}) {
      const auto there = rewriteFormula(M::Relative, *book, 0, text, kNone, k, k % 256);
      ASSERT_TRUE(there.has_value());
      if (there->find(u"#REF!") != std::u16string::npos)
        continue;
      const auto back = rewriteFormula(M::Relative, *book, 0, *there, kNone, -k, -(k % 256));
      ASSERT_TRUE(back.has_value());
      EXPECT_EQ(show(*back), show(text)) << k;
    }
  }
}

// Rule formulas are kept as seen from A1: =B2>B1 typed from B2 is kept with
// its second reference one row above A1, which must wrap, not turn to #REF!,
// so that applying the rule at B2 gives the typed formula back.
TEST(Rewrite, WrapModeShiftsModuloTheSheet) {
  constexpr Row kRows[] = {
      // clang-format off
      {M::Wrap, u"=B2>B1",          kNone, -1,      -1,      u"=A1>A65536"},
      {M::Wrap, u"=A1>A65536",      kNone,  1,       1,      u"=B2>B1"},
      {M::Wrap, u"=A1",             kNone,  0,      -1,      u"=IV1"},
      {M::Wrap, u"=IV65536",        kNone,  1,       1,      u"=A1"},
      {M::Wrap, u"=$A$1+A$1+$A1",   kNone, -2,      -3,      u"=$A$1+IT$1+$A65535"},
      {M::Wrap, u"=SUM(A1:B2)",     kNone, -1,       0,      u"=SUM(A65536:B1)"},
      {M::Wrap, u"=A1",             kNone,  65536,   256,    u"=A1"},
      {M::Wrap, u"=A1",             kNone,  INT_MIN, INT_MIN, u"=A1"},
      // clang-format on
  };
  check(kRows, std::size(kRows));
}

// Found by the fuzzer: D4 in "0D4" was rewritten to E10500, and "0E10500"
// then read as a number, so moving back lost the reference.
TEST(Rewrite, NumberRunIntoLettersIsCopiedWhole) {
  constexpr Row kRows[] = {
      // clang-format off
      {M::Relative, u"=SUM(C4:0D4)",       kNone,  10496, 1, u"=SUM(D10500:0D4)"},
      {M::Relative, u"=SUM(D10500:0D4)",   kNone, -10496, -1, u"=SUM(C4:0D4)"},
      {M::Offset,   u"=2A1+A1",            kNone,  1,      0, u"=2A1+A2"},
      // clang-format on
  };
  check(kRows, std::size(kRows));
}

TEST(Rewrite, UsesTheLocaleSeparators) {
  const platform::LocaleStrings saved = platform::localeStrings();
  platform::LocaleStrings local = saved;
  local.listSeparator = u";";
  local.decimalSeparator = u",";
  platform::setLocaleStrings(local);
  constexpr Row kRows[] = {
      {M::Offset, u"=SUM(A1;B1)+1,5E1+C1", kNone, 1, 0, u"=SUM(A2;B2)+1,5E1+C2"},
  };
  check(kRows, std::size(kRows));
  platform::setLocaleStrings(saved);
}

} // namespace
} // namespace formula
