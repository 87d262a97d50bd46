#pragma once

#include "LoopbackStoreTest.h"
#include "RecordingUrlOpener.h"
#include "database/ServerUrls.h"
#include "foundation/GlobalValues.h"
#include "newslist/NewsListLinks.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>

#include <gtest/gtest.h>

// One item of a feed written by a test.
struct FeedItem
{
    QString id;
    bool top = false;
    QString title = QStringLiteral("标题");
    QString date = QStringLiteral("2026-12-07 10:00:00");
    QString v;
    QString color;  // element c
    QString image;  // element image
};

inline QByteArray itemXml(const FeedItem& item)
{
    QString xml = item.top ? QStringLiteral("<item t=\"1\">") : QStringLiteral("<item>");
    xml += QStringLiteral("<newsid>%1</newsid><title>%2</title><postdate>%3</postdate>"
                          "<commentcount>7</commentcount>")
               .arg(item.id, item.title, item.date);
    if (!item.color.isEmpty())
        xml += QStringLiteral("<c>%1</c>").arg(item.color);
    if (!item.v.isNull())
        xml += QStringLiteral("<v>%1</v>").arg(item.v);
    if (!item.image.isEmpty())
        xml += QStringLiteral("<image>%1</image>").arg(item.image);
    xml += QStringLiteral("</item>");
    return xml.toUtf8();
}

inline QByteArray newsFeed(const QList<FeedItem>& items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel>";
    for (const FeedItem& item : items)
        xml += itemXml(item);
    return xml + "</channel></rss>";
}

// Items with ids from first downwards.
inline QList<FeedItem> descendingItems(int count, int first)
{
    QList<FeedItem> items;
    for (int i = 0; i < count; ++i)
        items.append({QString::number(first - i)});
    return items;
}

// A ranking feed of count items in its first section, ids from first downwards.
inline QByteArray rankFeed(int count, int first)
{
    QByteArray doc = "<rss><channel48rank>";
    for (int i = 0; i < count; ++i)
        doc += itemXml({QString::number(first - i)});
    return doc + "</channel48rank></rss>";
}

inline QByteArray slideFeed(int count, const QString& device = QString())
{
    QByteArray xml = "<rss><channel>";
    for (int i = 0; i < count; ++i)
        xml += QStringLiteral("<item><title>焦点%1</title><link>%1</link><opentype>1</opentype>"
                              "<device>%2</device></item>")
                   .arg(i)
                   .arg(device)
                   .toUtf8();
    return xml + "</channel></rss>";
}

inline LoopbackReply xmlReply(const QByteArray& body, const QByteArray& lastModified = QByteArray())
{
    LoopbackReply reply = LoopbackReply::text(200, body, "text/xml; charset=utf-8");
    if (!lastModified.isEmpty())
        reply.withHeader("Last-Modified", lastModified);
    return reply;
}

// Tells the lists that follow it what it shows, as the program's pane does.
class FakeArticlePane : public ArticlePaneLink
{
public:
    QStringList shown;      // guids, in order
    QStringList deals;      // product ids
    int emptied = 0;
    void show(const FeedPtr& feed) override
    {
        shown.append(feed ? feed->guid : QString());
        tellFollowers(shown.last());
    }
    void emptyRecordNewsAndHot() override { ++emptied; }
    void showDealByClick(const QString& productId, bool) override
    {
        deals.append(productId);
        tellFollowers(QString());
    }
    void followShownArticles(QObject* list, std::function<void(const QString&)> tell) override
    {
        followers.append({list, std::move(tell)});
    }

private:
    void tellFollowers(const QString& newsId)
    {
        for (const auto& [list, tell] : std::as_const(followers))
            if (list)
                tell(newsId);
    }
    QList<std::pair<QPointer<QObject>, std::function<void(const QString&)>>> followers;
};

class FakePushFlag : public PushNewsFlag
{
public:
    bool flag = false;
    bool isPushNews() const override { return flag; }
    void setIsPushNews(bool value) override { flag = value; }
};

// A fresh store, the list URLs of the URL table on the loopback server, fakes for the neighbours,
// the clock fixed and every switch a test may flip restored afterwards.
class NewsListTest : public LoopbackStoreTest
{
protected:
    void SetUp() override
    {
        const QString from = QStringLiteral("http://") + QLatin1String(ServerHosts::kNewsApi);
        const QString to = base();
        setUpStore([&](int number, const QString& builtIn) {
            QString value = builtIn;
            if ((number >= 16 && number <= 22) || number == 76)
                value.replace(from, to);
            return value;
        });
        if (HasFatalFailure())
            return;
        Clock::setNow(QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()));
        ArticlePaneLink::install(pane);
        PushNewsFlag::install(push);
        m_tips = gbUpdateNewsCountTiShi.load();
        m_random = gbApiRandom.load();
        m_loadAll = gbLoadAllData.load();
        gbUpdateNewsCountTiShi = true;
        gbApiRandom = false;
        gbLoadAllData = true;
    }

    void TearDown() override
    {
        // Requests cancelled by models that went with the test end on the event loop.
        drainMainQueue();
        spin(50);
        gbUpdateNewsCountTiShi = m_tips;
        gbApiRandom = m_random;
        gbLoadAllData = m_loadAll;
        ArticlePaneLink::install(nullptr);
        PushNewsFlag::install(nullptr);
        ListADManagerLink::install(nullptr);
        tearDownStore();
    }

    NewsListData channel(int64_t id, const QString& list, const QString& slide = QString(), const QString& more = QString(),
                         int64_t loadType = 1) const
    {
        NewsListData data;
        data.iListID = id;
        data.ListName = QStringLiteral("频道");
        data.ListUrl = base() + list;
        data.SlideUrl = slide.isEmpty() ? QStringLiteral("") : base() + slide;
        data.LoadMoreUrl = more.isEmpty() ? QStringLiteral("") : base() + more;
        data.iLoadType = loadType;
        data.bDisplay = true;
        return data;
    }

    std::shared_ptr<FakeArticlePane> pane = std::make_shared<FakeArticlePane>();
    std::shared_ptr<FakePushFlag> push = std::make_shared<FakePushFlag>();

private:
    bool m_tips = true;
    bool m_random = false;
    bool m_loadAll = true;
};
