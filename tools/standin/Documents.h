#pragma once

#include "StandinContent.h"

#include <QByteArray>
#include <QList>

#include "foundation/EncryptionKeys.h"

// The service's documents in the formats the client reads: XML feeds and articles, JSON and
// JSONP replies, the account reply and the enciphered configuration.
namespace standin::documents {

// "yyyy-MM-dd HH:mm:ss" in Beijing time (UTC+8).
QString beijingText(const QDateTime& moment);

QByteArray newsListFeed(const QList<const NewsItem*>& items);
QByteArray rankFeed(const QList<QList<const NewsItem*>>& sections);
QByteArray slideFeed(const QList<Slide>& slides);
QByteArray articleDocument(const NewsItem& item);
QByteArray voteDocument(qint64 voteId, bool voted, const QString& title);

// "showcomment(" + JSON array + ")".
QByteArray commentJsonp(const QList<Comment>& comments);
QByteArray commentArray(const QList<Comment>& comments);
QByteArray relatedNews(const QList<const NewsItem*>& items);
QByteArray newsGrade(qint64 newsId);
// {"success":1,"content":[...]} with the deals items; success 0 and no content when refused.
QByteArray dealsReply(const QList<Deal>& deals, bool success = true);
QByteArray dealDetail(const Deal& deal);

// An XML document whose root element holds only text.
QByteArray xmlValue(const QString& rootName, const QString& text);

struct Account
{
    QString account = QStringLiteral("tidwen_demo");
    QString password = QStringLiteral("demo2026");
    qint64 userId = 1234567;
    QString nickName = QStringLiteral("演示用户");
};
const Account& demoAccount();
// The user-information reply of an operation ("G", "L", ...) in the enveloped form; an empty
// result when account is null.
QByteArray accountReply(const QString& operation, const Account* account);

// The configuration file in plain text: no URL table, no channel list, one hot-comments row;
// list-ad slots and the list-ad request's address only when asked.
QByteArray configurationXml(bool listAds = false);
// Where the configuration sends the list-ad request.
inline constexpr auto kListAdRequestUrl = "http://report.tidwen.example/api/listad.aspx";
// The list-ad reply to a request's JSON body: two ads for each slot it names.
QByteArray listAdReply(const QByteArray& request);
QByteArray medalXml();
// Enciphered whole (single DES, ECB) after padding with blanks to whole blocks, so that a
// reader that deciphers it and strips zero padding still gets well-formed XML.
QByteArray encipherFile(const QByteArray& plain, const DesKey& key);

}  // namespace standin::documents
