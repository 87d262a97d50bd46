#include "foundation/CommonFunction.h"

#include <QString>

#include <limits>

#include <gtest/gtest.h>

TEST(CommonFunctionText, UnescapeDecodesEscapesAndLeavesTheRest)
{
    const std::pair<const char*, const char*> cases[] = {
        {"%u4E2D%41b", "中Ab"},
        {"%u4E", "%u4E"},            // too short for either form
        {"%", "%"},
        {"abc%4", "abc%4"},
        {"%zz%u12G4", "%zz%u12G4"},  // not hex
        {"100%25 %u6587", "100% 文"},
        {"中文%20ok", "中文 ok"},    // unescaped text beyond ASCII stays
        {"ab%00cd", "ab"},           // ends at the first zero unit
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(CommonFunction::unescape(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
    EXPECT_EQ(CommonFunction::unescape(QString()), QStringLiteral(""));
    EXPECT_FALSE(CommonFunction::unescape(QString()).isNull());
}

TEST(CommonFunctionText, Hex2Dec)
{
    EXPECT_EQ(CommonFunction::hex2dec("1f"), 31);
    EXPECT_EQ(CommonFunction::hex2dec("1F"), 31);
    EXPECT_EQ(CommonFunction::hex2dec("4E2D"), 0x4E2D);
    EXPECT_EQ(CommonFunction::hex2dec(""), 0);
    EXPECT_EQ(CommonFunction::hex2dec(nullptr), 0);
    EXPECT_EQ(CommonFunction::hex2dec("g"), 16);  // letters past F keep counting
    EXPECT_EQ(CommonFunction::hex2dec("7fffffffff"), 0x7fffffffffLL);
    EXPECT_EQ(CommonFunction::hex2dec("ffffffffffffffffffff"), std::numeric_limits<int64_t>::max());
    const std::string leadingZeros = std::string(400, '0') + "a";
    EXPECT_EQ(CommonFunction::hex2dec(leadingZeros.c_str()), 10);
}

TEST(CommonFunctionText, PureNumbers)
{
    for (const char* yes : {"123", " 42 ", "-7", "+7", "\n8\t", "99999999999"})
        EXPECT_TRUE(CommonFunction::isPureInt(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"12a", "", " ", "-", "1.5", "1 2", "0x10"})
        EXPECT_FALSE(CommonFunction::isPureInt(QString::fromLatin1(no))) << no;
    for (const char* yes : {"1.5", ".5", "5.", "-1e3", "2E+10", " 3.14\n", "42"})
        EXPECT_TRUE(CommonFunction::isPureDouble(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"1e", "abc", ".", "1.2.3", "0x10", "", "1500000000000+0800", "inf"})
        EXPECT_FALSE(CommonFunction::isPureDouble(QString::fromLatin1(no))) << no;
}

TEST(CommonFunctionText, UrlStringEncodesWhatAFragmentCannotHold)
{
    EXPECT_EQ(CommonFunction::urlString(QStringLiteral("a b#c/d?e=f&g~h%")), QStringLiteral("a%20b%23c/d?e=f&g~h%25"));
    EXPECT_EQ(CommonFunction::urlString(QStringLiteral("中\"<>")), QStringLiteral("%E4%B8%AD%22%3C%3E"));
    EXPECT_EQ(CommonFunction::urlString(QStringLiteral("!$&'()*+,;=:@-._")), QStringLiteral("!$&'()*+,;=:@-._"));
    EXPECT_EQ(CommonFunction::urlString(QString()), QStringLiteral(""));
}
