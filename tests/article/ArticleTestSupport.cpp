#include "ArticleTestSupport.h"
#include "RememberedAccount.h"
#include "UrlTableSupport.h"

#include "article/ArticleCacheFile.h"
#include "database/DatabaseOperate.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/GlobalValues.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QThreadPool>
#include <QUrl>

#include <cstdio>

namespace {

void loadTable(const QStringList& urls)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->UrlList_check());
    ASSERT_TRUE(store->UrlList_update(urls));
    ASSERT_TRUE(store->UrlList_get());
}

}  // namespace

ServerUrlScope::ServerUrlScope(const LoopbackHttpServer& server)
{
    QStringList urls = builtInUrlTable();
    const QUrl base = server.url();
    for (QString& value : urls) {
        QUrl url(value);
        if (!value.contains(QStringLiteral("://")))
            continue;
        url.setScheme(base.scheme());
        url.setHost(base.host());
        url.setPort(base.port());
        value = url.toString();
    }
    loadTable(urls);
}

ServerUrlScope::~ServerUrlScope()
{
    loadTable(builtInUrlTable());
}

QStringList RecordingHost::scriptsCalling(const QString& function) const
{
    QStringList found;
    for (const QString& script : scripts) {
        if (script.startsWith(function + QLatin1Char('(')))
            found.append(script);
    }
    return found;
}

void ArticleFixture::SetUp()
{
    m_apiRandom = gbApiRandom.load();
    m_douZaiMai = gbDouZaiMai.load();
    m_loadAll = gbLoadAllData.load();
    m_related = gRelatedNewsCount.load();
    m_scoreMax = gNewsScoreMax.load();
    m_minRaters = gNewsScoreMinRaters.load();
    gbApiRandom = false;
    gbDouZaiMai = true;
    gbLoadAllData = true;
    QDir(ArticleCacheFile::folderPath()).removeRecursively();
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        store->clearNewsLastUpdateTimeDB();
    }
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        settings->UserLandData_logOut();
        settings->UserLandData_deleteUserDataByUserName(QStringLiteral("reader@tidwen.example"));
    }
    for (const char* key : {"coinRead", "coinNewsLastTime"})
        UserDefaults::standardUserDefaults().setObject(QVariant(), QLatin1String(key));
    ArticleAppDelegate::install(delegate);
    urls = std::make_unique<ServerUrlScope>(server);
}

void ArticleFixture::TearDown()
{
    // Cancelled requests finish on the event loop; let them end before the next test (and before
    // the application object goes away, whose teardown cannot take their last events).
    drainMainQueue();
    spin(100);  // and those whose network thread hands them back a moment later
    QCoreApplication::sendPostedEvents();
    urls.reset();
    ArticleAppDelegate::install(nullptr);
    gbApiRandom = m_apiRandom;
    gbDouZaiMai = m_douZaiMai;
    gbLoadAllData = m_loadAll;
    gRelatedNewsCount = m_related;
    gNewsScoreMax = m_scoreMax;
    gNewsScoreMinRaters = m_minRaters;
}

QByteArray ArticleFixture::articleXml(const QString& newsId, const QString& title, const QString& detail,
                                      const QString& extra)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><item><newsid>%1</newsid>"
                          "<title><![CDATA[%2]]></title><postdate>2026-12-01 10:00:00</postdate>"
                          "<newssource>科技日报</newssource><newsauthor>李明</newsauthor><z>王五</z>"
                          "<hitcount>321</hitcount><commentcount>12</commentcount>%4"
                          "<detail><![CDATA[%3]]></detail></item></channel></rss>")
        .arg(newsId, title, detail, extra)
        .toUtf8();
}

FeedPtr ArticleFixture::item(const QString& newsId, const QString& postDate)
{
    auto feed = std::make_shared<Feed>();
    feed->guid = newsId;
    feed->title = QStringLiteral("列表标题");
    feed->postDate = postDate;
    return feed;
}

void ArticleFixture::rememberAccount(bool rememberPassword, const QString& name, const QString& password)
{
    ::rememberAccount(name, password, true, rememberPassword);
}

bool ArticleFixture::settleReplies(const TaskCompletionCount& ended, const QString& pathPrefix, qsizetype requests,
                                   std::source_location where)
{
    if (!waitUntil([&] { return ended.countFor(pathPrefix) >= requests; }, 30000, where))
        return false;
    // Blocks are built on the global pool and handed back through the main queue.
    if (!QThreadPool::globalInstance()->waitForDone(30000)) {
        std::fprintf(stderr, "settleReplies at %s:%u: the global pool did not finish\n", where.file_name(),
                     static_cast<unsigned>(where.line()));
        return false;
    }
    return drainMainQueue(where);
}

QList<LoopbackRequest> ArticleFixture::requestsTo(const QString& pathPrefix) const
{
    QList<LoopbackRequest> found;
    for (const LoopbackRequest& request : server.requests()) {
        if (request.path.startsWith(pathPrefix))
            found.append(request);
    }
    return found;
}
