#include "functions/criteria.h"

#include "functions/function_test_util.h"

#include <chrono>
#include <string>
#include <vector>

namespace functions {
namespace {

using platform::toUtf8;

// Criteria read dates and numbers with the regional settings, so the
// workbook fixture's pinned en-US locale is used.
class CriteriaTest : public testing::FunctionTest {
protected:
  CriteriaTest() : FunctionTest(nullptr) {}
};

CellValue num(double x) { return CellValue::number(x); }
CellValue str(std::u16string_view s) { return CellValue::string(s); }
CellValue boolean(bool b) { return CellValue::boolean(b); }
CellValue err(model::ErrorCode e) { return CellValue::error(e); }

TEST(WildcardMatch, Table) {
  const struct {
    std::u16string_view pattern, text;
    bool caseSensitive, expected;
  } kRows[] = {
      {u"a*", u"Apple", false, true},
      {u"a*", u"a", false, true},
      {u"a*", u"ba", false, false},
      {u"?b", u"ab", false, true},
      {u"?b", u"b", false, false},
      {u"?b", u"abb", false, false},
      {u"~*", u"*", false, true},
      {u"~*", u"a", false, false},
      {u"~*", u"**", false, false},
      {u"a~?c", u"a?c", false, true},
      {u"a~?c", u"abc", false, false},
      {u"~~", u"~", false, true},
      {u"~~", u"~~", false, false},
      {u"~x", u"~x", false, true},   // a tilde before an ordinary character is itself
      {u"~x", u"x", false, false},
      {u"ab~", u"ab~", false, true}, // a trailing tilde is itself
      {u"", u"", false, true},
      {u"", u"a", false, false},
      {u"*", u"", false, true},
      {u"***", u"", false, true},
      {u"*?", u"", false, false},
      {u"*?", u"x", false, true},
      {u"?*?", u"a", false, false},
      {u"?*?", u"ab", false, true},
      {u"abc", u"ABC", false, true},
      {u"abc", u"ABC", true, false},
      {u"A*c", u"abC", true, false},
      {u"A*C", u"AbC", true, true},
      {u"abc", u"abcd", false, false},
      {u"*.txt", u"report.TXT", false, true},
      {u"*ab", u"aab", false, true},
      {u"a*ab", u"aaab", false, true},
      {u"*ab*cd", u"abxabcd", false, true},
      {u"a*b*c", u"abxbyc", false, true},
      {u"a*b*c", u"abxbyd", false, false},
      {u"*a*", u"bbb", false, false},
      {u"\u00c4*", u"\u00e4BC", false, true},       // folding beyond ASCII
      {u"stra\u00dfe", u"STRA\u00dfE", false, true},
      {u"\u00e9", u"\u00c9", true, false},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(wildcardMatch(row.pattern, row.text, row.caseSensitive), row.expected)
        << toUtf8(row.pattern) << " vs " << toUtf8(row.text) << " cs=" << row.caseSensitive;
}

// The definition, by recursion over every split: exponential, but fine for
// the tiny inputs below, and independent of the two-pointer matcher.
bool referenceMatch(std::u16string_view p, std::u16string_view t) {
  if (p.empty())
    return t.empty();
  if (p[0] == u'*') {
    for (size_t k = 0; k <= t.size(); ++k)
      if (referenceMatch(p.substr(1), t.substr(k)))
        return true;
    return false;
  }
  if (t.empty())
    return false;
  if (p[0] == u'~' && p.size() > 1 && (p[1] == u'*' || p[1] == u'?' || p[1] == u'~'))
    return p[1] == t[0] && referenceMatch(p.substr(2), t.substr(1));
  if (p[0] == u'?' || p[0] == t[0])
    return referenceMatch(p.substr(1), t.substr(1));
  return false;
}

std::vector<std::u16string> allStrings(std::u16string_view alphabet, size_t maxLength) {
  std::vector<std::u16string> out{u""};
  for (size_t begin = 0, length = 1; length <= maxLength; ++length) {
    const size_t end = out.size();
    for (size_t i = begin; i < end; ++i)
      for (char16_t c : alphabet)
        out.push_back(out[i] + c);
    begin = end;
  }
  return out;
}

TEST(WildcardMatch, AgreesWithTheRecursiveDefinitionOnSmallInputs) {
  const std::vector<std::u16string> patterns = allStrings(u"ab*?~", 5);
  const std::vector<std::u16string> texts = allStrings(u"ab*~", 5);
  int failures = 0;
  for (const std::u16string& p : patterns)
    for (const std::u16string& t : texts)
      if (wildcardMatch(p, t, true) != referenceMatch(p, t) && ++failures <= 10)
        ADD_FAILURE() << toUtf8(p) << " vs " << toUtf8(t);
  EXPECT_EQ(failures, 0);
}

TEST(WildcardMatch, PathologicalPatternsFinishQuickly) {
  const auto start = std::chrono::steady_clock::now();
  const std::u16string as(2000, u'a');
  EXPECT_FALSE(wildcardMatch(u"*a*a*a*a*a*a*a*b", as, false));
  EXPECT_TRUE(wildcardMatch(u"*a*a*a*a*a*a*a*a", as, false));
  const std::u16string stars(100000, u'*');
  EXPECT_TRUE(wildcardMatch(stars, as, false));
  EXPECT_FALSE(wildcardMatch(stars + u"b", as, false));
  std::u16string manyStars;
  for (int i = 0; i < 200; ++i)
    manyStars += u"*a";
  EXPECT_FALSE(wildcardMatch(manyStars + u"b", as, false));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 2.0);
}

TEST_F(CriteriaTest, MatchesCellValues) {
  const auto E = model::ErrorCode::NA;
  const struct {
    CellValue criterion, cell;
    bool expected;
  } kRows[] = {
      {str(u">=10"), num(10), true},
      {str(u">=10"), num(12), true},
      {str(u">=10"), num(9), false},
      {str(u">=10"), str(u"12"), true},   // text reading as a number compares numerically
      {str(u">=10"), str(u"abc"), false}, // text does not exceed a number
      {str(u">=10"), CellValue(), false},
      {str(u">=10"), boolean(true), false},
      {str(u"<5"), CellValue(), false},
      {str(u">1/1/2000"), num(36527), true},
      {str(u">1/1/2000"), num(36526), false},
      {str(u"="), CellValue(), true},
      {str(u"="), num(0), false},
      {str(u"="), str(u"a"), false},
      {str(u"<>"), CellValue(), false},
      {str(u"<>"), num(0), true},
      {str(u"<>"), str(u"a"), true},
      {str(u"<>"), boolean(false), true},
      {str(u"="), str(u""), false}, // empty text is not a blank cell
      {str(u"<>"), str(u""), true},
      {str(u""), str(u""), true},   // without "=" the empty criterion takes empty text
      {str(u""), CellValue(), true},
      {str(u"=*"), str(u""), true},
      {str(u"<>5"), CellValue(), true},
      {str(u"<>5"), num(5), false},
      {str(u"<>5"), num(6), true},
      {str(u"<>5"), str(u"5"), false},
      {str(u"<>a*"), str(u"Apple"), false},
      {str(u"<>a*"), str(u"pear"), true},
      {str(u"a*"), str(u"Apple"), true},
      {str(u"a*"), str(u"a"), true},
      {str(u"a*"), str(u"banana"), false},
      {str(u"a*"), num(1), false},
      {str(u"~*"), str(u"*"), true},
      {str(u"~*"), str(u"a"), false},
      {str(u"?b"), str(u"ab"), true},
      {str(u"?b"), str(u"b"), false},
      {str(u"=10"), num(10), true},
      {str(u"=10"), str(u"10"), true},
      {str(u"10"), num(10), true},
      {str(u"10"), num(11), false},
      {str(u"10%"), num(0.1), true},
      {str(u""), CellValue(), true},
      {str(u""), num(0), false},
      {str(u"true"), boolean(true), true},
      {str(u"true"), boolean(false), false},
      {str(u"=#n/a"), err(E), true},
      {str(u"#N/A"), err(model::ErrorCode::Div0), false},
      {str(u"<b"), str(u"A"), true},
      {str(u"<b"), str(u"B"), false},
      {str(u">a"), str(u"B"), true},
      {str(u"<=apple"), str(u"APPLE"), true},
      {str(u">FALSE"), boolean(true), true},
      {str(u">FALSE"), boolean(false), false},
      {str(u"<=TRUE"), boolean(false), true},
      {str(u">maybe"), boolean(true), false},
      {num(5), num(5), true},
      {num(5), str(u"5"), true},
      {num(5), num(5.000001), false},
      {num(5), boolean(true), false},
      {num(1), boolean(true), false},
      {num(5), CellValue(), false},
      {CellValue(), num(0), true},
      {CellValue(), CellValue(), false},
      {CellValue(), str(u""), false},
      {boolean(true), boolean(true), true},
      {boolean(true), num(1), false},
      {boolean(true), str(u"TRUE"), false},
      {err(E), err(E), true},
      {err(E), err(model::ErrorCode::Div0), false},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(parseCriterion(row.criterion).matches(row.cell), row.expected)
        << show(row.criterion) << " against " << show(row.cell);
}

TEST_F(CriteriaTest, TableOrsRowsAndAndsColumns) {
  const std::vector<std::u16string> headers = {u"Tree", u"Height", u"Age"};
  // Tree | height | Other
  // Apple| >10    | x       (Other names no database column: ignored)
  // Pear |        |
  const std::vector<CellValue> criteria = {
      str(u"tree"),  str(u"HEIGHT"), str(u"Other"),
      str(u"Apple"), str(u">10"),    str(u"x"),
      str(u"Pear"),  CellValue(),    CellValue(),
  };
  CriteriaTable table;
  ASSERT_TRUE(table.build(headers, criteria, 3));
  EXPECT_EQ(table.usedColumns(), (std::vector<int>{0, 1}));
  EXPECT_FALSE(table.selectsAll());
  const struct {
    CellValue tree, height;
    bool expected;
  } kRecords[] = {
      {str(u"apple"), num(18), true},
      {str(u"Apple"), num(8), false},  // first row needs both columns
      {str(u"Pear"), num(1), true},    // second row tests the tree only
      {str(u"Cherry"), num(20), false},
      {CellValue(), num(20), false},
  };
  for (const auto& r : kRecords) {
    const CellValue record[] = {r.tree, r.height, num(0)};
    EXPECT_EQ(table.matches(record), r.expected) << show(r.tree) << ", " << show(r.height);
  }
}

TEST_F(CriteriaTest, TableEdges) {
  const std::vector<std::u16string> headers = {u"A", u"B", u"A"};
  CriteriaTable table;
  // Headers alone are no criteria.
  const std::vector<CellValue> headersOnly = {str(u"A")};
  EXPECT_FALSE(table.build(headers, headersOnly, 1));
  EXPECT_FALSE(table.build(headers, {}, 0));

  // A row whose only criterion stands under an unknown header selects everything.
  const std::vector<CellValue> unknown = {str(u"Z"), num(1)};
  ASSERT_TRUE(table.build(headers, unknown, 1));
  EXPECT_TRUE(table.selectsAll());
  const CellValue any[] = {num(7), num(8), num(9)};
  EXPECT_TRUE(table.matches(any));

  // The leftmost of two equal database headers is tested.
  const std::vector<CellValue> duplicate = {str(u"a"), num(1)};
  ASSERT_TRUE(table.build(headers, duplicate, 1));
  EXPECT_EQ(table.usedColumns(), std::vector<int>{0});
  const CellValue left[] = {num(1), num(0), num(2)};
  const CellValue right[] = {num(2), num(0), num(1)};
  EXPECT_TRUE(table.matches(left));
  EXPECT_FALSE(table.matches(right));
  // A record shorter than the tested column reads as empty there.
  EXPECT_FALSE(table.matches(std::span<const CellValue>()));

  // A number header matches the printed number.
  const std::vector<std::u16string> numbered = {u"2024", u"x"};
  const std::vector<CellValue> byNumber = {num(2024), str(u">5")};
  ASSERT_TRUE(table.build(numbered, byNumber, 1));
  EXPECT_EQ(table.usedColumns(), std::vector<int>{0});
}

} // namespace
} // namespace functions
