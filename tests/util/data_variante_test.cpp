// Date-time values and the tagged value's conversions.
#include <gtest/gtest.h>

#include <tuple>

#include "util/conversao.h"
#include "util/datetime.h"
#include "util/variant.h"

namespace pagvigia {
namespace {

TEST(DateTime, DaysFromTheZeroPoint) {
  EXPECT_EQ(EncodeDate(1899, 12, 30).value, 0);
  EXPECT_EQ(EncodeDate(2000, 1, 1).value, 36526);
  EXPECT_EQ(EncodeDate(1900, 3, 1).value, 61);
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0).value, -1.25);
  EXPECT_THROW(EncodeDate(2026, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2026, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2024, 2, 29));
}

TEST(DateTime, DecodeRoundTripsToTheMillisecond) {
  for (const TDateTimeParts& p : {TDateTimeParts{2026, 12, 8, 23, 59, 59, 999}, TDateTimeParts{1, 1, 1, 0, 0, 0, 1},
                                  TDateTimeParts{1899, 12, 29, 6, 30, 0, 0}, TDateTimeParts{9999, 12, 31, 12, 0, 0, 0}}) {
    const TDateTimeParts d =
        DecodeDateTime(EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
    EXPECT_EQ(std::tie(d.year, d.month, d.day, d.hour, d.minute, d.second, d.millisecond),
              std::tie(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
  }
  const TDateTimeParts z = DecodeDateTime(TDateTime(1e300));  // nonsense: the zero date, no crash
  EXPECT_EQ(z.year, 1899);
}

TEST(DateTime, FormatPatternsOfTheLogs) {
  const TDateTime dt = EncodeDateTime(2026, 3, 7, 9, 5, 4, 32);
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn:ss", dt), "07/03/2026 09:05:04");
  EXPECT_EQ(FormatDateTime("DD/MM/YYYY HH:mm:ss", dt), "07/03/2026 09:05:04");
  EXPECT_EQ(FormatDateTime("dd/mm/yy hh:nn:ss:zzz", dt), "07/03/26 09:05:04:032");
  EXPECT_EQ(FormatDateTime("yyyymmdd'T'hhnnss", dt), "20260307T090504");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 3, 7)), "07/03/2026");
  EXPECT_EQ(DateTimeToStr(dt), "07/03/2026 09:05:04");
}

TEST(DateTime, ParseTheUsualForms) {
  EXPECT_EQ(StrToDateTime("07/03/2026"), EncodeDate(2026, 3, 7));
  EXPECT_EQ(StrToDateTime("2026-03-07T09:05:04"), EncodeDateTime(2026, 3, 7, 9, 5, 4));
  EXPECT_EQ(StrToDateTime("07/03/2026 09:05"), EncodeDateTime(2026, 3, 7, 9, 5, 0));
  EXPECT_EQ(StrToDateTime("09:05:04"), EncodeTime(9, 5, 4));
  for (const char* bad : {"", "31/02/2026", "2026-03-07X", "07/03", "ab/cd/efgh", "25:00", "2026-03-07T09"})
    EXPECT_THROW(StrToDateTime(bad), EConvertError) << bad;
}

TEST(TVariant, ConversionsBetweenKinds) {
  EXPECT_EQ(TVariant().AsString(), "");
  EXPECT_EQ(TVariant().AsInteger(), 0);
  EXPECT_EQ(TVariant(std::int32_t{-7}).AsString(), "-7");
  EXPECT_EQ(TVariant(25.5).AsString(), "25.5");
  EXPECT_EQ(TVariant(true).AsString(), "True");
  EXPECT_EQ(TVariant(" 12 ").AsInteger(), 12);
  EXPECT_EQ(TVariant("2.5").AsInteger(), 2);  // ties to even
  EXPECT_EQ(TVariant(3.5).AsInteger(), 4);
  EXPECT_THROW(TVariant("abc").AsInteger(), EConvertError);
  EXPECT_THROW(TVariant(3e9).AsInteger(), EConvertError);
  EXPECT_THROW(TVariant("3000000000").AsInteger(), EConvertError);
  EXPECT_DOUBLE_EQ(TVariant("12.5").AsDouble(), 12.5);
  EXPECT_THROW(TVariant("12,5").AsDouble(), EConvertError);
  EXPECT_DOUBLE_EQ(TVariant(std::int32_t{3}).AsDouble(), 3);
  EXPECT_TRUE(TVariant("TRUE").AsBoolean());
  EXPECT_FALSE(TVariant("0").AsBoolean());
  EXPECT_THROW(TVariant("talvez").AsBoolean(), EConvertError);
  EXPECT_EQ(TVariant("08/12/2026").AsDateTime(), EncodeDate(2026, 12, 8));
  EXPECT_THROW(TVariant("ontem").AsDateTime(), EConvertError);
  EXPECT_EQ(TVariant(EncodeDate(2026, 12, 8)).AsString(), "08/12/2026");
  EXPECT_EQ(TVariant("x").kind(), TVariant::Kind::String);
  EXPECT_TRUE(TVariant().IsEmpty());
}

}  // namespace
}  // namespace pagvigia
