// Date and time functions. Expected serials come from python3's datetime
// (days since 1899-12-30, which equals the serial for dates from 1 March
// 1900 on) unless a row says otherwise; the 1900 leap day and the weekday
// numbering around it follow the serial convention itself.

#include "functions/families.h"
#include "functions/function_test_util.h"

#include "model/workbook.h"

namespace functions {
namespace {

using model::CellValue;
using model::ErrorCode;

struct Row {
  const char16_t* formula;
  double expected;
};

class DatetimeTest : public testing::FunctionTest {
protected:
  DatetimeTest() : FunctionTest(registerDatetimeFunctions) {}

  void expectRows(std::initializer_list<Row> rows) {
    for (const Row& r : rows)
      EXPECT_TRUE(testing::near(number(r.formula), r.expected)) << platform::toUtf8(r.formula);
  }
};

#define EXPECT_ROWS(...) expectRows(__VA_ARGS__)

TEST_F(DatetimeTest, DateAroundTheLeapDayOf1900) {
  EXPECT_ROWS({
      {u"=DATE(1900,1,1)", 1},
      {u"=DATE(1900,2,28)", 59},
      {u"=DATE(1900,2,29)", 60},
      {u"=DATE(1900,3,1)", 61},
      {u"=DATE(99,1,1)", 36161},     // 1999-01-01
      {u"=DATE(2000,2,29)", 36585},
      {u"=DATE(2024,3,15)", 45366},
  });
}

// Month numbers outside 1-12 carry into the year (the bare day count would
// put month 15 of 2000 on 3 March 2001).
TEST_F(DatetimeTest, DateCarriesMonthsIntoYears) {
  EXPECT_ROWS({
      {u"=DATE(2000,13,1)", 36892}, // 2001-01-01
      {u"=DATE(2000,15,1)", 36951}, // 2001-03-01
      {u"=DATE(2000,0,1)", 36495},  // 1999-12-01
      {u"=DATE(2000,-1,1)", 36465}, // 1999-11-01
  });
}

TEST_F(DatetimeTest, DateDayOverflowAndBadInput) {
  EXPECT_TRUE(testing::near(number(u"=DATE(2000,3,0)"), 36585));   // last day of February
  EXPECT_TRUE(testing::near(number(u"=DATE(2000,1,32)"), 36557));  // 1 February
  EXPECT_EQ(eval(u"=DATE(1E300,1,1)"), CellValue::error(ErrorCode::Num));
  EXPECT_EQ(eval(u"=DATE(2000,1E12,1)"), CellValue::error(ErrorCode::Num));
  EXPECT_EQ(eval(u"=YEAR(-1E300)"), CellValue::error(ErrorCode::Num));
}

TEST_F(DatetimeTest, PartsOfSerials) {
  EXPECT_ROWS({
      {u"=YEAR(60)", 1900}, {u"=MONTH(60)", 2}, {u"=DAY(60)", 29},
      {u"=DAY(59)", 28},    {u"=DAY(61)", 1},   {u"=MONTH(61)", 3},
      {u"=YEAR(36585.75)", 2000}, {u"=MONTH(36585.75)", 2}, {u"=DAY(36585.75)", 29},
      {u"=DAY(0)", 0}, {u"=MONTH(0)", 1},
      {u"=HOUR(0.75)", 18}, {u"=MINUTE(0.5+1/1440*7)", 7},
      {u"=SECOND(TIME(1,2,3))", 3}, {u"=MINUTE(TIME(1,2,3))", 2}, {u"=HOUR(TIME(1,2,3))", 1},
      // 0.49999 s rounds down, 0.5 s rounds up; 23:59:59.6 rounds into the next day.
      {u"=SECOND(1.4/86400)", 1}, {u"=SECOND(1.5/86400)", 2}, {u"=HOUR(1-0.4/86400)", 0},
  });
}

TEST_F(DatetimeTest, TimeAndClock) {
  EXPECT_TRUE(testing::near(number(u"=TIME(12,30,0)"), 0.5 + 30.0 / 1440));
  EXPECT_TRUE(testing::near(number(u"=TIME(25,0,0)"), 25.0 / 24)); // no wrapping
  EXPECT_TRUE(testing::near(number(u"=TIME(1.9,0,0)"), 1.0 / 24)); // truncated
  // The fixture's clock says 2024-03-15 10:30.
  EXPECT_TRUE(testing::near(number(u"=TODAY()"), 45366));
  EXPECT_TRUE(testing::near(number(u"=NOW()"), 45366 + 10.5 / 24));
}

TEST_F(DatetimeTest, TextToDatesAndTimes) {
  EXPECT_TRUE(testing::near(number(u"=DATEVALUE(\"2/29/2000\")"), 36585));
  EXPECT_TRUE(testing::near(number(u"=DATEVALUE(\"3/1/1900\")"), 61));
  EXPECT_TRUE(testing::near(number(u"=TIMEVALUE(\"12:30 PM\")"), 0.5 + 30.0 / 1440));
  EXPECT_TRUE(testing::near(number(u"=TIMEVALUE(\"2/29/2000 6:00\")"), 0.25));
  EXPECT_EQ(eval(u"=DATEVALUE(\"2/30/2000\")"), CellValue::error(ErrorCode::Value));
  EXPECT_EQ(eval(u"=TIMEVALUE(\"noon\")"), CellValue::error(ErrorCode::Value));
}

TEST_F(DatetimeTest, Weekday) {
  // 2024-03-15 is a Friday, 2024-03-17 a Sunday.
  EXPECT_ROWS({
      {u"=WEEKDAY(1)", 1}, {u"=WEEKDAY(1,2)", 7}, {u"=WEEKDAY(1,3)", 6},
      {u"=WEEKDAY(45366)", 6}, {u"=WEEKDAY(45366,2)", 5}, {u"=WEEKDAY(45366,3)", 4},
      {u"=WEEKDAY(45368)", 1}, {u"=WEEKDAY(45368,2)", 7}, {u"=WEEKDAY(45366,9)", 6},
  });
}

TEST_F(DatetimeTest, Days360) {
  EXPECT_ROWS({
      {u"=DAYS360(DATE(2004,2,28),DATE(2004,3,31))", 30},
      {u"=DAYS360(DATE(2000,1,1),DATE(2000,1,31))", 30},      // end 31 becomes 1 February
      {u"=DAYS360(DATE(2000,1,30),DATE(2000,1,31))", 0},      // both count as 30
      {u"=DAYS360(DATE(2000,1,1),DATE(2000,1,31),TRUE)", 29}, // European: 31 counts as 30
      {u"=DAYS360(DATE(2000,1,1),DATE(2001,1,1))", 360},
      {u"=DAYS360(DATE(2001,1,1),DATE(2000,1,1))", -360},
      {u"=DAYS360(DATE(2000,2,29),DATE(2000,3,31))", 30},
      {u"=DAYS360(DATE(2000,2,29),DATE(2000,3,31),TRUE)", 31},
  });
}

TEST_F(DatetimeTest, Datedif) {
  set("A1", u"=DATE(2000,1,15)");
  set("A2", u"=DATE(2000,3,10)");
  EXPECT_ROWS({
      {u"=DATEDIF(A1,A2,\"md\")", 24},
      {u"=DATEDIF(A1,A2,\"ym\")", 1},
      {u"=DATEDIF(A1,A2,\"yd\")", 55},
      {u"=DATEDIF(A1,A2,\"D\")", 55},
      {u"=DATEDIF(A1,A2,\"m\")", 1},
      {u"=DATEDIF(A1,A2,\"y\")", 0},
      {u"=DATEDIF(DATE(2000,3,15),DATE(2010,3,14),\"y\")", 9},
      {u"=DATEDIF(DATE(2000,3,15),DATE(2010,3,15),\"Y\")", 10},
      // "yd" across a year end: 2001-11-15 to 2002-01-10 is 56 days.
      {u"=DATEDIF(DATE(2001,11,15),DATE(2002,1,10),\"yd\")", 56},
      // "md" in January reads the month before as December of the year before:
      // 2000-12-20 to 2001-01-05 is 16 days.
      {u"=DATEDIF(DATE(2000,12,20),DATE(2001,1,5),\"md\")", 16},
  });
  EXPECT_EQ(eval(u"=DATEDIF(A2,A1,\"d\")"), CellValue::error(ErrorCode::Num));
  EXPECT_EQ(eval(u"=DATEDIF(A1,A2,\"w\")"), CellValue::error(ErrorCode::Num));
}

TEST_F(DatetimeTest, MonthArithmetic) {
  EXPECT_ROWS({
      {u"=EDATE(DATE(2000,1,31),1)", 36585},   // 2000-02-29
      {u"=EDATE(DATE(2023,1,31),1)", 44985},   // 2023-02-28
      {u"=EDATE(DATE(2024,3,31),-1)", 45351},  // 2024-02-29
      {u"=EDATE(DATE(2000,1,15),-12)", 36175}, // 1999-01-15
      {u"=EOMONTH(DATE(2001,2,3),0)", 36950},  // 2001-02-28
      {u"=EOMONTH(DATE(2024,1,15),-2)", 45260}, // 2023-11-30
      {u"=EOMONTH(DATE(2000,1,15),1)", 36585},
      {u"=EDATE(DATE(2000,1,15),1.9)", 36571}, // months truncated: 2000-02-15
  });
  EXPECT_EQ(eval(u"=EDATE(1,-1E6)"), CellValue::error(ErrorCode::Num));
}

TEST_F(DatetimeTest, Networkdays) {
  set("H1", u"=DATE(2024,3,29)");
  set("H2", u"=DATE(2024,3,29)");
  set("H3", u"=DATE(2024,3,30)"); // a Saturday: no effect
  set("H4", u"not a date");
  EXPECT_ROWS({
      {u"=NETWORKDAYS(DATE(2024,3,1),DATE(2024,3,31))", 21},
      {u"=NETWORKDAYS(DATE(2024,3,1),DATE(2024,3,31),H1:H4)", 20}, // listed twice, off once
      {u"=NETWORKDAYS(DATE(2023,12,25),DATE(2024,1,5),{45285,45292})", 8},
      {u"=NETWORKDAYS(DATE(2024,3,15),DATE(2024,3,15))", 1},
      {u"=NETWORKDAYS(DATE(2024,3,16),DATE(2024,3,18))", 1}, // Saturday to Monday
      // A span inside one weekend has no working day.
      {u"=NETWORKDAYS(DATE(2024,3,16),DATE(2024,3,17))", 0},
      {u"=NETWORKDAYS(DATE(2024,3,16),DATE(2024,3,16))", 0},
      // A reversed span counts the same days, negative.
      {u"=NETWORKDAYS(DATE(2024,3,31),DATE(2024,3,1),H1)", -20},
      {u"=NETWORKDAYS(DATE(2024,3,17),DATE(2024,3,16))", 0},
  });
}

TEST_F(DatetimeTest, Workday) {
  set("H1", u"=DATE(2023,12,25)");
  set("H2", u"=DATE(2024,1,1)");
  set("H3", u"=DATE(2023,12,26)");
  EXPECT_ROWS({
      {u"=WORKDAY(DATE(2024,3,15),0)", 45366},
      {u"=WORKDAY(DATE(2024,3,15),1)", 45369},
      {u"=WORKDAY(DATE(2024,3,15),10)", 45380},
      {u"=WORKDAY(DATE(2024,3,15),100)", 45506},
      {u"=WORKDAY(DATE(2024,3,16),1)", 45369},
      {u"=WORKDAY(DATE(2024,3,15),-1)", 45365},
      {u"=WORKDAY(DATE(2024,3,17),-1)", 45366},
      {u"=WORKDAY(DATE(2023,12,22),5,H1:H2)", 45293},  // 2024-01-02
      {u"=WORKDAY(DATE(2024,1,5),-5,H1:H2)", 45288},   // 2023-12-28
      {u"=WORKDAY(DATE(2023,12,22),1,H1:H3)", 45287},  // two holidays in a row: 2023-12-27
  });
  EXPECT_EQ(eval(u"=WORKDAY(1,1E300)"), CellValue::error(ErrorCode::Num));
}

TEST_F(DatetimeTest, Weeknum) {
  EXPECT_ROWS({
      {u"=WEEKNUM(DATE(2005,1,1),0)", 53}, // ISO week 53 of 2004
      {u"=WEEKNUM(DATE(2008,12,29),0)", 1}, // ISO week 1 of 2009
      {u"=WEEKNUM(DATE(2010,1,3),0)", 53},
      {u"=WEEKNUM(DATE(2021,1,3),21)", 53},
      {u"=WEEKNUM(DATE(2024,3,15))", 11},
      {u"=WEEKNUM(DATE(2024,3,15),2)", 11},
      {u"=WEEKNUM(DATE(2023,1,1),2)", 1},
      {u"=WEEKNUM(DATE(2023,1,2),2)", 2},  // 1 January 2023 was a Sunday
      {u"=WEEKNUM(DATE(2023,1,2),11)", 2},
      {u"=WEEKNUM(DATE(2023,12,31))", 53},
  });
  EXPECT_EQ(eval(u"=WEEKNUM(45366,8)"), CellValue::error(ErrorCode::Num));
}

TEST_F(DatetimeTest, Yearfrac) {
  EXPECT_ROWS({
      {u"=YEARFRAC(DATE(2000,1,1),DATE(2001,1,1),1)", 366.0 / 365},
      {u"=YEARFRAC(DATE(2000,1,1),DATE(2000,7,1))", 0.5},
      {u"=YEARFRAC(DATE(2000,1,1),DATE(2000,7,1),2)", 182.0 / 360},
      // A start after the end is negative, in every basis.
      {u"=YEARFRAC(DATE(2000,7,1),DATE(2000,1,1),2)", -182.0 / 360},
      {u"=YEARFRAC(DATE(2000,7,1),DATE(2000,1,1),1)", -182.0 / 365},
      {u"=YEARFRAC(DATE(2000,7,1),DATE(2000,1,1),3)", -182.0 / 365},
      {u"=YEARFRAC(DATE(2000,7,1),DATE(2000,1,1))", -0.5},
      {u"=YEARFRAC(DATE(2000,7,1),DATE(2000,1,1),4)", -0.5},
      {u"=YEARFRAC(DATE(2000,3,31),DATE(2000,1,1),0)", -89.0 / 360},
      {u"=YEARFRAC(DATE(2000,1,1),DATE(2000,7,1),3)", 182.0 / 365},
      // US: the end on day 31 after a start before day 30 moves to 1 April.
      {u"=YEARFRAC(DATE(2000,1,1),DATE(2000,3,31),0)", 90.0 / 360},
      {u"=YEARFRAC(DATE(2000,1,1),DATE(2000,3,31),4)", 89.0 / 360},
  });
  EXPECT_EQ(eval(u"=YEARFRAC(1,2,5)"), CellValue::error(ErrorCode::Num));
  EXPECT_EQ(eval(u"=YEARFRAC(1,2,-1)"), CellValue::error(ErrorCode::Num));
}

TEST_F(DatetimeTest, DateSystem1904) {
  book->date1904 = 1;
  EXPECT_ROWS({
      {u"=DATE(2000,1,1)", 35064}, // 36526 - 1462
      {u"=DATE(1904,1,1)", 0},
      {u"=YEAR(0)", 1904},
      {u"=DAY(35064)", 1},
      {u"=EDATE(35064,1)", 35064 + 31},
      {u"=WEEKDAY(35064)", 7}, // 2000-01-01 was a Saturday
      {u"=NETWORKDAYS(35064,35064+9)", 6}, // 3-7 and 10 January 2000
      {u"=TODAY()", 45366 - 1462},
  });
}

TEST_F(DatetimeTest, DaysAndIsoWeekNumbers) {
  EXPECT_ROWS({
      {u"=DAYS(DATE(2024,3,15),DATE(2024,1,1))", 74},
      {u"=DAYS(DATE(2021,3,15),DATE(2021,2,1))", 42},
      {u"=DAYS(1,10)", -9},
      {u"=DAYS(10.9,1.1)", 9},
      {u"=ISOWEEKNUM(DATE(2012,3,9))", 10},
      {u"=ISOWEEKNUM(DATE(2021,1,1))", 53}, // a Friday: the last week of 2020
      {u"=ISOWEEKNUM(DATE(2021,1,4))", 1},
      {u"=ISOWEEKNUM(DATE(2024,12,30))", 1}, // a Monday: the first week of 2025
      {u"=ISOWEEKNUM(DATE(2026,12,31))", 53},
  });
  EXPECT_EQ(show(eval(u"=ISOWEEKNUM(-1)")), "#NUM!");
  EXPECT_EQ(show(eval(u"=DAYS(\"x\",1)")), "#VALUE!");
}

} // namespace
} // namespace functions
