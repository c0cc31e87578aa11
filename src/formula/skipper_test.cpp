#include "formula/skipper.h"

#include "platform/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace formula {
namespace {

TEST(Skipper, EntryCheck) {
  const struct {
    std::u16string_view text;
    bool wellFormed;
  } rows[] = {
      {u"=1+2*3", true},
      {u"=(1+2)*3", true},
      {u"=SUM(A1:A3)", true},
      {u"=sum(1,,2)", true},            // an empty argument
      {u"=IF(A1>0,\"yes\",\"no\")", true},
      {u"=A1 B1", true},                // intersection
      {u"= A1 + B1 ", true},            // spaces around operands
      {u"=50%%", true},
      {u"=7%4", true},
      {u"=-2^2", true},
      {u"=--1", true},
      {u"={1,2;3,4}", true},
      {u"='My Sheet'!A1", true},
      {u"='It''s'!A1+1", true},
      {u"=Sheet2!Rate*2", true},        // a name local to another sheet
      {u"='My Sheet'!Rate+Sheet2!Rate", true},
      {u"=SUM('It''s'!Rate,1)", true},
      {u"=#N/A", true},
      {u"=#DIV/0!+1", true},
      {u"=1E+3", true},
      {u"=1 E 3", true},
      {u"=A1<>B1", true},
      {u"=A1<=B1", true},
      {u"=\"a\"&\"b\"", true},
      {u"=\"He said \"\"hi\"\"\"", true}, // a doubled quote is one quote
      {u"=\"\"\"\"", true},                 // a string holding one quote
      {u"=LEN(\"a\"\",b\")", true},
      {u"=\"a\"\"", false},                 // the doubled quote leaves it open
      {u"+1+A1", true},
      {u"=(A1,B2)", true},              // a union in brackets
      {u"=AREAS((A1:B2,E2,F4:H16))", true},
      {u"=SUM((A1,B1),C1)", true},
      {u"-A1", true},
      {u"=", false},
      {u"=   ", false},
      {u"=1+", false},
      {u"=(1", false},
      {u"=1)", false},
      {u"=SUM(1", false},
      {u"=SUM(1+)", false},
      {u"=\"abc", false},
      {u"=*2", false},
      {u"=1 2 *", false},
      {u"={1,2", false},
      {u"={}", false},
      {u"='Sheet1A1", false},
      {u"=()", false},
      {u"=(A1,)", false},
      {u"=(,A1)", false},
      {u"abc", false},
      {u"", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(isWellFormedFormula(row.text, u','), row.wellFormed) << platform::toUtf8(row.text);
}

TEST(Skipper, ArgumentAndOperandEnds) {
  const std::u16string_view t = u"SUM(A1,B2),\"x,y\",(1,2)";
  EXPECT_EQ(skipOperand(t, 0, u','), 10u);
  EXPECT_EQ(skipExpression(t, 11, u','), 16u); // the comma inside quotes does not end it
  EXPECT_EQ(skipExpression(t, 17, u','), t.size());
  EXPECT_EQ(skipExpression(u"1+2;3", 0, u';'), 3u);
  EXPECT_EQ(skipExpression(u"\"a\"\",b\",1", 0, u','), 7u); // the comma is inside the string
}

TEST(Skipper, StringLiteralsWithDoubledQuotes) {
  const struct {
    std::u16string_view text;
    size_t end; // npos when unclosed
    std::u16string_view content;
  } rows[] = {
      {u"\"abc\"+1", 5, u"abc"},
      {u"\"\"", 2, u""},
      {u"\"\"\"\"", 4, u"\""},
      {u"\"He said \"\"hi\"\"\"", 16, u"He said \"hi\""},
      {u"\"a\"\"", std::u16string_view::npos, u""},
      {u"\"abc", std::u16string_view::npos, u""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(stringLiteralEnd(row.text, 0), row.end) << platform::toUtf8(row.text);
    size_t pos = 0;
    std::u16string content;
    EXPECT_EQ(readStringLiteral(row.text, pos, row.text.size(), content),
              row.end != std::u16string_view::npos);
    if (row.end != std::u16string_view::npos) {
      EXPECT_EQ(pos, row.end);
      EXPECT_EQ(platform::toUtf8(content), platform::toUtf8(row.content));
    }
  }
}

TEST(Skipper, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  std::u16string deep = u"=";
  deep.append(100000, u'(');
  deep += u"1";
  deep.append(100000, u')');
  EXPECT_FALSE(isWellFormedFormula(deep, u','));
  std::u16string unary = u"=" + std::u16string(100000, u'-') + u"1";
  EXPECT_FALSE(isWellFormedFormula(unary, u','));
  std::u16string fine = u"=" + std::u16string(500, u'(') + u"1" + std::u16string(500, u')');
  EXPECT_TRUE(isWellFormedFormula(fine, u','));
}

} // namespace
} // namespace formula
