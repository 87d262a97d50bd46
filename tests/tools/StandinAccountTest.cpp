// The stand-in's account service as a reader tries it by hand: the password change and the
// reply count of the demo account.
#include "StandinTestSupport.h"

#include "foundation/CommonFunction.h"
#include "standin/Documents.h"

#include <gtest/gtest.h>

namespace {

const QString kAccountApi = QStringLiteral("https://account.tidwen.example/api/");

QByteArray enciphered(const QString& text)
{
    return QUrl::toPercentEncoding(CommonFunction::EncrypteUTF8(text, kDesKeyRequest));
}

class StandinAccount : public ::testing::Test
{
protected:
    // The root text of an account call's reply.
    QString call(const QString& path, const QByteArray& form)
    {
        const Fetched reply = client.fetch("POST", path.startsWith(QLatin1String("http")) ? path : kAccountApi + path, {}, form);
        EXPECT_EQ(reply.status, 200) << path.toStdString() << " " << reply.error;
        const QString body = QString::fromUtf8(reply.body);
        const qsizetype end = body.lastIndexOf(QLatin1String("</"));
        return body.left(end).section(QLatin1Char('>'), -1);
    }
    QString changePassword(const QString& oldPassword, const QString& newPassword)
    {
        return call(QStringLiteral("user.asmx/MP"),
                    "userHash=" + enciphered(demo.account + QChar(0x0C) + oldPassword) +
                        "&strPwd=" + enciphered(oldPassword + QChar(0x0C) + newPassword));
    }
    qint64 userIdWith(const QString& password)
    {
        const Fetched user = client.fetch("POST", kAccountApi + QStringLiteral("User.asmx/G"), {},
                                          "userHash=" + enciphered(demo.account + QChar(0x0C) + password));
        const NSMyUserInfoPtr info = CommonFunction::parseXML(user.body);
        return info ? info->userID : 0;
    }

    const standin::documents::Account& demo = standin::documents::demoAccount();
    standin::StandinService service{testOptions()};
    ProxyClient client{service, service.caCertificate()};
};

}  // namespace

TEST_F(StandinAccount, APasswordChangeNeedsTheOldPasswordAndKeepsTheNewOneForTheRun)
{
    EXPECT_EQ(changePassword(QStringLiteral("wrong"), QStringLiteral("fresh2026")), QStringLiteral("false"));
    EXPECT_EQ(userIdWith(demo.password), demo.userId);

    EXPECT_EQ(changePassword(demo.password, QStringLiteral("fresh2026")), QStringLiteral("true"));
    EXPECT_EQ(userIdWith(QStringLiteral("fresh2026")), demo.userId);
    EXPECT_EQ(userIdWith(demo.password), 99999);
    // The favourites follow the new password.
    const Fetched version = client.get(QStringLiteral("https://account.tidwen.example/olvenna/GetSyncFileVer.aspx?user=%1&pass=%2")
                                           .arg(demo.account, CommonFunction::EncrypteUTF8(QStringLiteral("fresh2026"), kDesKeyFavorites)));
    EXPECT_NE(version.body, QByteArray("-1"));
    // The old one no longer opens the account, not even to change it back.
    EXPECT_EQ(changePassword(demo.password, QStringLiteral("again2026")), QStringLiteral("false"));
    EXPECT_EQ(userIdWith(QStringLiteral("fresh2026")), demo.userId);
}

TEST_F(StandinAccount, RepliesToACommentTheDemoAccountPostedAreCounted)
{
    const QString countUrl = QStringLiteral("http://api.community.tidwen.example/s/reply.asmx/GetReplyCount");
    const auto replyCount = [&](qint64 seen) {
        return call(countUrl, "strUserID=" + enciphered(QString::number(demo.userId)) + "&commentID=" + QByteArray::number(seen));
    };
    EXPECT_EQ(replyCount(0), QStringLiteral("0"));

    const qint64 newsId = service.publish(1).first();
    const QByteArray hash = "&userHash=" + enciphered(demo.account + QChar(0x0C) + demo.password);
    const auto post = [&](qint64 parentId, const QString& text) {
        service.clearLog();
        call(QStringLiteral("http://comment.tidwen.example/tidwen/postComment.aspx"),
             "newsid=" + QByteArray::number(newsId) + "&parentid=" + QByteArray::number(parentId) +
                 "&content=" + QUrl::toPercentEncoding(text) + hash);
        const QList<QJsonObject> log = service.requestLog();
        return log.isEmpty() ? 0 : log.last().value(QStringLiteral("fields")).toObject().value(QStringLiteral("postedId")).toString().toLongLong();
    };
    const qint64 comment = post(0, QStringLiteral("沙发"));
    ASSERT_GT(comment, 0);
    EXPECT_EQ(replyCount(0), QStringLiteral("0"));
    const qint64 firstReply = post(comment, QStringLiteral("同意"));
    const qint64 secondReply = post(comment, QStringLiteral("再顶"));
    ASSERT_GT(secondReply, firstReply);
    EXPECT_EQ(replyCount(0), QStringLiteral("2"));
    EXPECT_EQ(replyCount(firstReply), QStringLiteral("1"));
    EXPECT_EQ(replyCount(secondReply), QStringLiteral("0"));
    // Another user has no replies; the community's own count stays apart.
    EXPECT_EQ(call(countUrl, "strUserID=" + enciphered(QStringLiteral("42")) + "&commentID=0"), QStringLiteral("0"));
    EXPECT_EQ(call(countUrl, "strUserID=" + enciphered(QString::number(demo.userId)) + "&rID=0"), QStringLiteral("0"));
}
