#include "text/utility.h"

#include <gtest/gtest.h>

using namespace zumen;

TEST(Utility, DateTextAndFormatDate)
{
    for (const Variant &none : {Variant(), Variant(""), Variant("abc"), Variant(20010305)})
        EXPECT_EQ(DateText(none), "0000/00/00");
    EXPECT_EQ(DateText(Variant(QDate(1999, 12, 31))), "1999/12/31");
    EXPECT_EQ(DateText(Variant("1999-12-31")), "1999/12/31");
    EXPECT_EQ(FormatDate(QDate(5, 1, 2)), "0005/01/02");
    EXPECT_EQ(TextToDate("0000/00/00"), ZeroDate());
    EXPECT_EQ(FormatDate(TextToDate("abc")), "1899/12/30");
}

TEST(Utility, ParseDateReadsWhatUsersType)
{
    const QDate today(2024, 6, 15);
    const std::pair<const char *, QDate> dates[] = {
        {"2001-3-5", {2001, 3, 5}},
        {"29/1/1", {2029, 1, 1}},
        {"30/1/1", {1930, 1, 1}},
        {"2001年3月5日", {2001, 3, 5}},
        {"3/5", {2024, 3, 5}},
        {"２００１／３／５", {2001, 3, 5}},
        {"平成元年1月8日", {1989, 1, 8}},
        {"ｈ１３．３．５", {2001, 3, 5}},
        {"令和6年2月29日", {2024, 2, 29}},
        {"M1/1/1", {1868, 1, 1}},
        {"㍻13年3月5日", {2001, 3, 5}},
    };
    for (const auto &[text, date] : dates)
        EXPECT_EQ(ParseDate(QString::fromUtf8(text), today), date) << text;

    for (const char *text : {"", "abc", "2023/2/29", "2001/13/01", "2001/3-5", "3.5", "12345",
                             "平成0年1月1日", "2001/3/5/7", "0000/00/00"})
        EXPECT_FALSE(ParseDate(QString::fromUtf8(text), today).has_value()) << text;
}

TEST(Utility, NumberValueKeepsOnlyDigitsPointAndMinus)
{
    const std::pair<const char *, double> values[] = {
        {"", 0},    {"1,234.5円", 1234.5},         {"12-34", 12}, {"1.2.3", 1.2},
        {"--5", 0}, {"－１，２３４．５", -1234.5},
    };
    for (const auto &[text, value] : values)
        EXPECT_EQ(NumberValue(QString::fromUtf8(text)), value) << text;
    EXPECT_EQ(NumberValue(QString(400, QLatin1Char('9'))), 0);
}

TEST(Utility, FormatNumberLanguage)
{
    const std::tuple<Variant, const char *, const char *> cases[] = {
        {5, "000", "005"},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {-2.5, "0", "-3"},
        {5, "#.##", "5."},
        {0, "#,###", ""},
        {0.256, "0.0%", "25.6%"},
        {1234567, "#,##0,", "1,235"},
        {-0.001, "0.00", "0.00"},
        {-5, "0;(0)", "(5)"},
        {0, "0;(0);\"ゼロ\"", "ゼロ"},
        {5, "\"No;\"000", "No;005"},
        {5, "\\#0\\%", "#5%"},
        {12345, "0.00E+00", "1.23E+04"},
        {99999, "0.0E+0", "1.0E+5"},
        {1e20, "#,##0", "100,000,000,000,000,000,000"},
        {"abc", "0.0", "abc"},
        {Variant(), "0", ""},
        // No format: the trimmed basic rendering, to 15 digits.
        {0.5, "", ".5"},
        {1e20, "", "1E+20"},
        {1e14, "", "100000000000000"},
        {123456789012345678.0, "", "1.23456789012346E+17"},
    };
    for (const auto &[value, format, text] : cases)
        EXPECT_EQ(FormatNumber(value, QString::fromUtf8(format)), QString::fromUtf8(text)) << format;
}

TEST(Utility, FormatRightAndClipToMaxLength)
{
    EXPECT_EQ(FormatRight(5, "#,##0"), "    5");
    EXPECT_EQ(FormatRight(12345, "#,##0"), "2,345");
    EXPECT_EQ(FormatRight(Variant(), "0000"), "    ");
    EXPECT_EQ(FormatRight(5, QString(25, QLatin1Char('#'))), QString(20, QLatin1Char(' ')) + "5");
    // Lengths count CP932 bytes; a cut double-byte character goes whole.
    EXPECT_EQ(ClipToMaxLength("ｱｲｳ", 2), "ｱｲ");
    EXPECT_EQ(ClipToMaxLength("aＢc", 2), "a");
    EXPECT_EQ(ClipToMaxLength("abc", -1), "");
}
