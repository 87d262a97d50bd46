#pragma once

#include "foundation/models/NSListADInfo.h"
#include "foundation/models/NewsListData.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class DDXMLDocument;

// One list-ad slot: the range of list positions its ad may take (from the configuration) and the
// ads that take turns in it, each with its weight for the first choice (from the list-ad request).
struct ListADSlot
{
    int64_t startPos = 0;
    int64_t endPos = 0;
    QList<NSListADInfoPtr> ads;
    QList<int64_t> weights;  // one per ad, each at least 1
};

// What one configuration file says. Every value is optional: an element the file lacks leaves
// the running value alone.
struct RemoteConfig
{
    QString version;  // the root element's "v"; empty when it has none
    std::optional<QString> avatarHost;
    std::optional<long> relatedNewsCount;
    std::optional<long> newsScoreMax;
    std::optional<long> newsScoreMinRaters;
    std::optional<bool> apiRandom;
    std::optional<bool> ownAdReport;
    std::optional<QString> coinShopVersion;
    std::optional<bool> zefupHitReport;
    std::optional<bool> configReportOn;
    std::optional<QString> configReportUrl;
    bool loadAllData = false;  // only ever turns the switch on
    std::optional<QStringList> dealCategories;

    struct UrlList
    {
        QString version;
        QStringList urls;  // the non-empty "u" texts in document order
    };
    std::optional<UrlList> urlList;

    struct ChannelList
    {
        QString version;
        QList<NewsListDataPtr> channels;
    };
    std::optional<ChannelList> channelList;

    // How many hot-comments channel elements there are, and the first one's attributes.
    int hotCommentChannelCount = 0;
    QString hotCommentName;
    QString hotCommentUrl;

    std::optional<QList<ListADSlot>> listADSlots;  // positions only
    QString listADUrl;                              // the list-ad request's address

    // The configuration in plain XML, parsed into a document tree; nothing when the bytes are not
    // a well-formed document. The parser fetches nothing, loads no DTD and expands no entity.
    static std::optional<RemoteConfig> fromXml(const QByteArray& xml);
    // The configuration a parsed document holds; nothing when it has no root element.
    static std::optional<RemoteConfig> fromDocument(const DDXMLDocument& document);
    // The downloaded (enciphered) file: deciphered, trailing zero bytes cut, then fromXml.
    static std::optional<RemoteConfig> fromEnciphered(const QByteArray& data);
    // The deciphered bytes of a downloaded file, trailing zero bytes cut.
    static QByteArray DecypteData(const QByteArray& data);
};
