#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "platform/StorageRoot.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QByteArray enveloped(const QByteArray& fields)
{
    return R"(<?xml version="1.0" encoding="utf-8"?>)"
           R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)"
           "<GResponse><GResult>" +
           fields + "</GResult></GResponse></soap:Body></soap:Envelope>";
}

QByteArray plain(const QByteArray& fields)
{
    return "<UserInfo>" + fields + "</UserInfo>";
}

}  // namespace

TEST(AccountReply, EnvelopedReplyAndLevel)
{
    const NSMyUserInfoPtr info = CommonFunction::parseXML(enveloped("<UserID>5</UserID><RankDays>12</RankDays>"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->userID, 5);
    EXPECT_EQ(info->nLevel, 2);
    EXPECT_DOUBLE_EQ(info->fLeftDays, 9.0);

    // An envelope without the expected inner elements applies nothing, not even root fields.
    const auto hollow = CommonFunction::parseXML(
        "<Envelope><soap:Body><Other><GResult><UserID>5</UserID></GResult></Other></soap:Body><UserID>6</UserID></Envelope>");
    EXPECT_EQ(hollow->userID, 99999);

    // A root attribute of that name is no envelope: the fields under the root count.
    const auto attributeOnly = CommonFunction::parseXML(
        R"(<r xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/" soap:Body="x"><UserID>6</UserID></r>)");
    EXPECT_EQ(attributeOnly->userID, 6);
}

TEST(AccountReply, EveryFieldOfAPlainReply)
{
    const auto info = CommonFunction::parseXML(plain(
        "<UserName>acc</UserName><UserID> 123abc</UserID><NickName>昵称</NickName><RankDays>4.5</RankDays>"
        "<PindrakeTodayHours>1.5</PindrakeTodayHours><OlvennaTodayHours>0.25</OlvennaTodayHours>"
        "<TidwenLogon> +0yes</TidwenLogon><TidwenReadCount>9000000000</TidwenReadCount>"
        "<ModifyCountRemain>2</ModifyCountRemain><userGroup>3</userGroup><M>true</M><t>1</t>"
        "<DrumvellTodayHours>7</DrumvellTodayHours><Medal>1,2</Medal><Mobile>13800000000</Mobile>"
        "<Coin>88</Coin><ConLDays>4</ConLDays>"));
    EXPECT_EQ(info->userAccount, "acc");
    EXPECT_EQ(info->userID, 123);
    EXPECT_EQ(info->userName, "昵称");
    EXPECT_DOUBLE_EQ(info->fOnlineDays, 4.5);
    EXPECT_EQ(info->nLevel, 0);
    EXPECT_DOUBLE_EQ(info->fLeftDays, 0.5);
    EXPECT_DOUBLE_EQ(info->fTodayOnlineHoursPindrake, 1.5);
    EXPECT_DOUBLE_EQ(info->fTodayOnlineHoursOlvenna, 0.25);
    EXPECT_TRUE(info->bTidwenLogon);
    EXPECT_EQ(info->TidwenReadCount, 9000000000LL);
    EXPECT_EQ(info->iModifyUserNameCountLeft, 2);
    EXPECT_EQ(info->iUserGroup, 3);
    EXPECT_TRUE(info->bTidwenM);
    EXPECT_EQ(info->iNoShowDevice, 1);
    EXPECT_DOUBLE_EQ(info->fTodayOnlineHoursDrumvell, 7.0);
    EXPECT_EQ(info->Medal, "1,2");
    EXPECT_EQ(info->phoneNum, "13800000000");
    EXPECT_EQ(info->userCoinCount, "88");
    EXPECT_EQ(info->userContinueDays, "4");
}

TEST(AccountReply, FlagsClampsAndFallbacks)
{
    EXPECT_FALSE(CommonFunction::parseXML(plain("<M>True</M>"))->bTidwenM);
    EXPECT_FALSE(CommonFunction::parseXML(plain("<M>1</M>"))->bTidwenM);

    const auto hours = CommonFunction::parseXML(enveloped(
        "<PindrakeTodayHours>3.5</PindrakeTodayHours><OlvennaTodayHours>-1</OlvennaTodayHours>"
        "<DrumvellTodayHours>3.5</DrumvellTodayHours>"));
    EXPECT_DOUBLE_EQ(hours->fTodayOnlineHoursPindrake, 2.0);
    EXPECT_DOUBLE_EQ(hours->fTodayOnlineHoursOlvenna, 0.0);
    EXPECT_DOUBLE_EQ(hours->fTodayOnlineHoursDrumvell, 3.5);
    EXPECT_DOUBLE_EQ(CommonFunction::parseXML(plain("<PindrakeTodayHours>-1</PindrakeTodayHours>"))
                         ->fTodayOnlineHoursPindrake,
                     0.0);

    const auto mobileOnly = CommonFunction::parseXML(enveloped("<UserName></UserName><Mobile>139</Mobile>"));
    EXPECT_EQ(mobileOnly->userAccount, "139");
    EXPECT_EQ(CommonFunction::parseXML(plain("<UserName>u</UserName><Mobile>139</Mobile>"))->userAccount, "u");

    // Empty elements and same-named attributes leave the defaults.
    const auto empty = CommonFunction::parseXML(R"(<r UserID="5" NickName="n"><Coin/><Medal></Medal></r>)");
    EXPECT_EQ(empty->userID, 99999);
    EXPECT_EQ(empty->userName, "");
    EXPECT_EQ(empty->userCoinCount, "");
    EXPECT_EQ(empty->Medal, "");

    const auto none = CommonFunction::parseXML(QByteArray());
    EXPECT_EQ(none->userID, 99999);
    EXPECT_DOUBLE_EQ(none->fLeftDays, 0.0);
    for (const QByteArray& bad : {QByteArray(""), QByteArray("<r><UserID>5</r>")}) {
        const auto failed = CommonFunction::parseXML(bad);
        EXPECT_EQ(failed->userID, 99999);
        EXPECT_EQ(failed->nLevel, 0);
        EXPECT_DOUBLE_EQ(failed->fLeftDays, 5.0);
    }
}

TEST(AccountReply, LastUserInfoPathCreatesItsFolders)
{
    ASSERT_TRUE(QDir(StorageRoot::documentsPath()).removeRecursively());
    const QString path = CommonFunction::getLastUserInfoPath();
    EXPECT_EQ(path, StorageRoot::documentsPath() + "/lastUserInfo/info.xml");
    EXPECT_TRUE(QFileInfo(QFileInfo(path).path()).isDir());
    EXPECT_EQ(CommonFunction::getLastUserInfoPath(), path);
}

class AvatarAddress : public ::testing::Test
{
protected:
    void TearDown() override { gAvatarHost.set(QStringLiteral("")); }
};

TEST_F(AvatarAddress, PathsFromTheUserId)
{
    EXPECT_EQ(CommonFunction::GetAvatarAddress("123"), "http://avatar.tidwen.example/avatars/000/00/01/23_60.jpg");
    EXPECT_EQ(CommonFunction::GetBigAvatarAddress("123"),
              "http://avatar.tidwen.example/avatars/000/00/01/23_avatar.jpg");
    EXPECT_EQ(CommonFunction::GetAvatarAddress("123456789"),
              "http://avatar.tidwen.example/avatars/123/45/67/89_60.jpg");
    EXPECT_EQ(CommonFunction::GetAvatarAddress("12345678901"),
              "http://avatar.tidwen.example/avatars/123/45/67/89_60.jpg");
    EXPECT_EQ(CommonFunction::GetAvatarAddress(QString()), "http://avatar.tidwen.example/avatars/000/00/00/00_60.jpg");
    EXPECT_EQ(CommonFunction::GetAvatarAddress("ab"), "http://avatar.tidwen.example/avatars/000/00/00/ab_60.jpg");
}

TEST_F(AvatarAddress, ConfiguredHostOnlyWhenUsable)
{
    gAvatarHost.set("img-2.other.example");
    EXPECT_EQ(CommonFunction::GetAvatarAddress("1"), "http://img-2.other.example/avatars/000/00/00/01_60.jpg");
    EXPECT_EQ(CommonFunction::GetBigAvatarAddress("1"), "http://img-2.other.example/avatars/000/00/00/01_avatar.jpg");
    for (const QString& host : {QStringLiteral(""), QString::fromLatin1(CommonFunction::kBuiltInAvatarHost),
                                QStringLiteral("evil.example/x?"), QStringLiteral("a@evil.example"),
                                QStringLiteral("host:80"), QStringLiteral("主机.example")}) {
        gAvatarHost.set(host);
        EXPECT_EQ(CommonFunction::GetAvatarAddress("1"), "http://avatar.tidwen.example/avatars/000/00/00/01_60.jpg")
            << qPrintable(host);
    }
}

TEST(ClientCodes, ClassesAndLabels)
{
    EXPECT_EQ(CommonFunction::htmlDeviceClass(2), "");
    EXPECT_EQ(CommonFunction::htmlDeviceClass(9), "mobile windows8");
    EXPECT_EQ(CommonFunction::htmlDeviceClass(15), "mobile macbook");
    EXPECT_EQ(CommonFunction::htmlDeviceClass(22), "mobile brevel");
    EXPECT_EQ(CommonFunction::htmlDeviceClass(18), "");
    EXPECT_EQ(CommonFunction::htmlDeviceClass(-1), "");

    EXPECT_EQ(CommonFunction::htmlDeviceName(14, ""), "iMac");
    EXPECT_EQ(CommonFunction::htmlDeviceName(14, QString()), "iMac");
    EXPECT_EQ(CommonFunction::htmlDeviceName(14, "My Mac"), "My Mac");
    EXPECT_EQ(CommonFunction::htmlDeviceName(6, ""), "WAP版");
    EXPECT_EQ(CommonFunction::htmlDeviceName(6, "phone"), "WAP版");
    EXPECT_EQ(CommonFunction::htmlDeviceName(23, ""), "Brevel浏览器iOS版");
    EXPECT_EQ(CommonFunction::htmlDeviceName(3, "iPhone 6"), "iPhone 6");
    EXPECT_TRUE(CommonFunction::htmlDeviceName(1, QString()).isNull());
    const QString empty = CommonFunction::htmlDeviceName(8, QStringLiteral(""));
    EXPECT_TRUE(empty.isEmpty() && !empty.isNull());
}

TEST(ClientCodes, EveryCodeOfTheTable)
{
    struct Row { int32_t code; const char* cssClass; const char* labelWhenNoName; };
    // A null label: the comment's own (null or empty) device text comes back.
    const Row rows[] = {
        {0, "", nullptr},
        {1, "mobile wp", nullptr},          {2, "", nullptr},
        {3, "mobile iphone", nullptr},      {4, "mobile ipad", nullptr},
        {5, "mobile itouch", nullptr},      {6, "mobile wap", "WAP版"},
        {7, "mobile windows8", nullptr},    {8, "mobile android", nullptr},
        {9, "mobile windows8", nullptr},    {10, "mobile windows8", nullptr},
        {11, "mobile win10", nullptr},      {12, "mobile brevel", "Brevel浏览器WP版"},
        {13, "mobile watch", nullptr},      {14, "mobile imac", "iMac"},
        {15, "mobile macbook", "MacBook"},  {16, "", nullptr},
        {17, "", nullptr},                  {18, "", nullptr},
        {19, "", nullptr},                  {20, "", nullptr},
        {21, "mobile brevel", "Brevel浏览器"}, {22, "mobile brevel", "Brevel浏览器安卓版"},
        {23, "mobile brevel", "Brevel浏览器iOS版"}, {24, "", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        const QString cssClass = CommonFunction::htmlDeviceClass(row.code);
        EXPECT_EQ(cssClass, QString::fromUtf8(row.cssClass));
        EXPECT_FALSE(cssClass.isNull());

        const QString fixed = QString::fromUtf8(row.labelWhenNoName);
        const QString empty = CommonFunction::htmlDeviceName(row.code, QStringLiteral(""));
        const QString null = CommonFunction::htmlDeviceName(row.code, QString());
        if (row.labelWhenNoName) {
            EXPECT_EQ(empty, fixed);
            EXPECT_EQ(null, fixed);
        } else {
            EXPECT_TRUE(empty.isEmpty() && !empty.isNull());
            EXPECT_TRUE(null.isNull());
        }
        // Only the WAP code replaces a device text the comment has.
        EXPECT_EQ(CommonFunction::htmlDeviceName(row.code, QStringLiteral("Dev")),
                  row.code == 6 ? QStringLiteral("WAP版") : QStringLiteral("Dev"));
    }
}
