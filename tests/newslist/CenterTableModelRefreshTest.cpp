#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/ChannelState.h"
#include "newslist/ListCacheFile.h"
#include "ScopeGuard.h"
#include "networking/URLSession.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>

#include <QRegularExpression>

namespace {

const QString kList = QStringLiteral("/xml/newslist/news.xml");
const QString kSlides = QStringLiteral("/xml/slide/slide.xml");

// The requests sent, without their queries, in one line.
std::string withoutQueries(QStringList lines)
{
    for (QString& line : lines)
        line = line.section(QLatin1Char('?'), 0, 0);
    return lines.join(QLatin1Char(' ')).toStdString();
}

bool hasRandomQuery(const QString& line)
{
    static const QRegularExpression pattern(QStringLiteral("\\?r=\\d+$"));
    return pattern.match(line).hasMatch();
}

}  // namespace

class RefreshTest : public NewsListTest
{
protected:
    void serve(const QByteArray& list, const QByteArray& listModified, const QByteArray& slides,
               const QByteArray& slidesModified)
    {
        server.route("GET", kList, xmlReply(list, listModified));
        server.route("GET", kSlides, xmlReply(slides, slidesModified));
    }
};

TEST_F(RefreshTest, FirstShowThenThrottledAndCountedRefreshes)
{
    // 20 items, the first pinned.
    QList<FeedItem> items = descendingItems(20, 1000);
    items[0].top = true;
    const QByteArray first = newsFeed(items);
    serve(first, "LM1", slideFeed(2), "S1");
    CenterTableModel model(channel(101, kList, kSlides, QStringLiteral("/xml/newslist/news_")));
    ModelProbe probe(model);

    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 22; }));
    EXPECT_EQ(sent().mid(0, 4).size(), 4);
    QStringList lines = sent();
    lines.sort();
    EXPECT_EQ(lines, (QStringList{QStringLiteral("GET ") + kList, QStringLiteral("GET ") + kSlides,
                                  QStringLiteral("HEAD ") + kList, QStringLiteral("HEAD ") + kSlides}));
    EXPECT_TRUE(probe.toasts.isEmpty());  // no stored id yet: no count
    EXPECT_FALSE(model.firstLoadView());
    EXPECT_EQ(ListCacheFile::read(ListCacheFile::filePathForUrl(model.newslistData().ListUrl)), first);
    EXPECT_FALSE(ListCacheFile::read(ListCacheFile::slideFilePathForUrl(model.newslistData().SlideUrl)).isEmpty());
    EXPECT_EQ(model.channelState().getCurrentMaxNewsID(), 999);  // first unpinned
    EXPECT_EQ(model.channelState().getNewListLastUpdateTime(), QStringLiteral("LM1"));
    EXPECT_EQ(model.channelState().getSlideDataLastUpdateTime(), QStringLiteral("S1"));
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("1000")});  // the first item opens

    // The refresh button a minute later: nothing is asked.
    server.clearRequests();
    Clock::advance(60 * 1000);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return !probe.toasts.isEmpty(); })) << "the refresh's tip";
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(probe.toasts, QStringList{QStringLiteral("本栏目暂无更新")});

    // 181 s after the load, the same Last-Modified: only the HEAD requests, with a cache-buster.
    probe.toasts.clear();
    Clock::advance(121 * 1000);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && server.requestCount() >= 2; })) << "waited for the two HEAD requests";
    // The refresh has ended; the pause is room for a third request that must not be logged.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    lines = sent();
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char(' ')).toStdString();
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("HEAD "))) << line.toStdString();
        EXPECT_TRUE(hasRandomQuery(line)) << line.toStdString();
    }
    EXPECT_EQ(probe.toasts, QStringList{QStringLiteral("本栏目暂无更新")});

    // A new list: a new pinned item, an old pinned one, three new items, then the old ones.
    QList<FeedItem> next{{QStringLiteral("1100"), true}, {QStringLiteral("990"), true}, {QStringLiteral("1003")},
                         {QStringLiteral("1002")}, {QStringLiteral("1001")}};
    next.append(descendingItems(10, 999));
    serve(newsFeed(next), "LM2", slideFeed(2), "S1");
    server.clearRequests();
    probe.toasts.clear();
    Clock::advance(181 * 1000);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && firstGuid(model) == QStringLiteral("1100"); }));
    EXPECT_EQ(probe.toasts, QStringList{QStringLiteral("为您更新了4篇文章")});
    EXPECT_EQ(model.channelState().getCurrentMaxNewsID(), 1003);
    EXPECT_EQ(model.channelState().getNewListLastUpdateTime(), QStringLiteral("LM2"));
    EXPECT_EQ(sent().filter(QStringLiteral("GET ")).size(), 1);  // the slides were unchanged

    // Within 180 s of that answer a refresh only pretends.
    server.clearRequests();
    probe.toasts.clear();
    Clock::advance(10 * 1000);
    model.loadData(false);
    ASSERT_TRUE(waitUntil([&] { return idle(model); })) << "waited for the refresh to end";
    ASSERT_TRUE(drainMainQueue());
    spin(100);  // room for a request that must not be logged
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(probe.toasts, QStringList{QStringLiteral("本栏目暂无更新")});
}

TEST_F(RefreshTest, FailedSlidesWithAnUnchangedListSayTheUpdateFailed)
{
    serve(newsFeed(descendingItems(12, 500)), "LM1", slideFeed(1), "S1");
    CenterTableModel model(channel(101, kList, kSlides));
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 14; }));

    server.route("GET", kSlides, LoopbackReply::text(500, "down"));
    Clock::advance(181 * 1000);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && !probe.toasts.isEmpty(); }));
    EXPECT_EQ(probe.toasts, QStringList{QStringLiteral("更新列表失败")});
    EXPECT_EQ(model.slideDataArray().size(), 1);  // the old strip stays
}

TEST_F(RefreshTest, ANewListWaitsForLateSlides)
{
    serve(newsFeed(descendingItems(12, 500)), "LM1", slideFeed(1), "S1");
    CenterTableModel model(channel(101, kList, kSlides));
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 14; }));

    server.route("GET", kList, xmlReply(newsFeed(descendingItems(12, 600)), "LM2"));
    LoopbackReply late = xmlReply(slideFeed(3), "S2");
    late.delayMs = 300;
    server.route("GET", kSlides, late);
    Clock::advance(181 * 1000);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    EXPECT_TRUE(model.isLoadSlide());
    EXPECT_EQ(firstGuid(model), QStringLiteral("500"));  // the new rows wait
    ASSERT_TRUE(waitUntil([&] { return idle(model); }));
    EXPECT_EQ(firstGuid(model), QStringLiteral("600"));
    EXPECT_EQ(model.slideDataArray().size(), 3);
    EXPECT_EQ(model.rowCount(), 14);
    EXPECT_EQ(probe.toasts, QStringList{QStringLiteral("为您更新了12篇文章")});
}

TEST_F(RefreshTest, AMissingNewsListFallsBackToTheFeedFolder)
{
    server.route("GET", kList, LoopbackReply::text(404, "missing"));
    server.route("GET", QStringLiteral("/rss/news.xml"), xmlReply(newsFeed(descendingItems(3, 10)), "LM"));
    CenterTableModel model(channel(101, kList));
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 4; }));
    EXPECT_TRUE(sent().contains(QStringLiteral("GET /rss/news.xml"))) << sent().join(QLatin1Char(' ')).toStdString();
}

TEST_F(RefreshTest, AMissingListOutsideTheFallbackPathsFailsAndTheErrorViewReloads)
{
    const QString phone = QStringLiteral("/xml/newslist/phone.xml");
    server.route("GET", phone, LoopbackReply::text(404, "missing"));
    CenterTableModel model(channel(103, phone));
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model); }, 30000));
    EXPECT_EQ(probe.toasts.value(0), QStringLiteral("新闻加载失败，请查看网络设置"));
    EXPECT_TRUE(probe.errorView);
    EXPECT_TRUE(model.firstLoadView());
    EXPECT_EQ(sent(), QStringList{QStringLiteral("HEAD ") + phone});

    server.route("GET", phone, xmlReply(newsFeed(descendingItems(2, 7)), "P"));
    model.reloadDataByErrorBtn();
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 3; }));
    EXPECT_EQ(sent().value(1), QStringLiteral("HEAD ") + phone);
    EXPECT_FALSE(probe.errorView);
}

TEST_F(RefreshTest, AnOfflineReplyIsShownButNeitherCachedNorStored)
{
    network->reachable = false;
    serve(newsFeed(descendingItems(5, 80)), "LM1", slideFeed(1), "S1");
    CenterTableModel model(channel(101, kList, kSlides));
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.newsListArray().size() == 5; }));
    EXPECT_EQ(probe.offline, QStringList{QStringLiteral("网络不给力啊")});
    EXPECT_TRUE(ListCacheFile::read(ListCacheFile::filePathForUrl(model.newslistData().ListUrl)).isEmpty());
    EXPECT_TRUE(ListCacheFile::read(ListCacheFile::slideFilePathForUrl(model.newslistData().SlideUrl)).isEmpty());
    EXPECT_TRUE(model.channelState().getNewListLastUpdateTime().isNull());
    EXPECT_TRUE(model.channelState().getSlideDataLastUpdateTime().isNull());
    EXPECT_EQ(model.channelState().getCurrentMaxNewsID(), -1);
}

// A refresh asked for while another hangs does not wait for it: the hung one is given up, the
// new one's request goes out at once, with the spinner, and its list shows when it is answered.
TEST_F(RefreshTest, ARefreshDuringAHungOneStartsAtOnce)
{
    const CenterTableModel probeModel(channel(101, kList));
    ASSERT_TRUE(ListCacheFile::write(ListCacheFile::filePathForUrl(probeModel.newslistData().ListUrl),
                                     newsFeed(descendingItems(4, 40))));
    server.route("GET", kList, LoopbackReply::silent());
    CenterTableModel model(channel(101, kList));
    int spinners = 0;
    QObject::connect(&model, &CenterTableModel::spinnerShown, [&] { ++spinners; });
    model.showByClick(true);
    EXPECT_EQ(firstGuid(model), QStringLiteral("40"));  // at once, from the cache
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; })) << "waited for the HEAD that hangs";

    server.route("GET", kList, xmlReply(newsFeed(descendingItems(6, 60)), "LM"));
    model.loadData(false);
    EXPECT_EQ(spinners, 1) << "the new refresh runs with no sign of it";
    ASSERT_TRUE(waitUntil([&] { return idle(model) && firstGuid(model) == QStringLiteral("60"); }, 20000))
        << "the new refresh waited for the hung one; sent: " << withoutQueries(sent());
    EXPECT_EQ(withoutQueries(sent()), ("HEAD " + kList + " HEAD " + kList + " GET " + kList).toStdString());
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("40"), QStringLiteral("60")}));
}

// A reply of a given-up refresh changes nothing once a new refresh began: the list HEAD that is
// answered just as the reader asks again neither sends a GET of its own nor ends the new refresh.
TEST_F(RefreshTest, AGivenUpRefreshsReplyChangesNothing)
{
    server.route("GET", kList, xmlReply(newsFeed(descendingItems(5, 50)), "LM1"));
    CenterTableModel model(channel(103, kList));
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 6; }));

    // The list has changed; the reader asks again the moment the first HEAD's answer lands, before
    // its handler has run (the access manager reports a finished reply before the session's
    // completion is run on the main queue).
    server.route("GET", kList, xmlReply(newsFeed(descendingItems(6, 60)), "LM2"));
    server.clearRequests();
    probe.toasts.clear();
    Clock::advance(181 * 1000);
    bool askedAgain = false;
    QSet<QNetworkAccessManager*> watched;
    URLSession::setAccessManagerHook([&](QNetworkAccessManager* manager) {
        if (!manager || watched.contains(manager))
            return;
        watched.insert(manager);
        QObject::connect(manager, &QNetworkAccessManager::finished, &model, [&](QNetworkReply* reply) {
            if (!askedAgain && reply->operation() == QNetworkAccessManager::HeadOperation) {
                askedAgain = true;
                model.loadData(false);
            }
        });
    });
    ScopeExit unhook([] { URLSession::setAccessManagerHook({}); });
    model.loadData(false);
    ASSERT_TRUE(waitUntil([&] { return askedAgain && idle(model) && firstGuid(model) == QStringLiteral("60"); }))
        << "asked again: " << askedAgain << ", first item " << firstGuid(model).toStdString();
    ASSERT_TRUE(drainMainQueue());
    spin(200);  // room for a request or an outcome that must not come
    EXPECT_EQ(withoutQueries(sent()), ("HEAD " + kList + " HEAD " + kList + " GET " + kList).toStdString())
        << "the given-up refresh sent a request of its own";
    EXPECT_LE(probe.toasts.size(), 1) << probe.toasts.join(u' ').toStdString();
}

TEST_F(RefreshTest, AListWithoutUnpinnedItemsKeepsTheStoredHighestId)
{
    QList<FeedItem> pinned{{QStringLiteral("90"), true}, {QStringLiteral("91"), true}};
    server.route("GET", kList, xmlReply(newsFeed(pinned), "LM"));
    CenterTableModel model(channel(101, kList));
    model.channelState().setCurrentMaxNewsID(50);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 3; }));
    EXPECT_EQ(model.channelState().getCurrentMaxNewsID(), 50);
}

TEST_F(RefreshTest, AnEmptyReplyKeepsTheRowsAndSaysSo)
{
    serve(newsFeed(descendingItems(3, 30)), "LM1", QByteArray(), QByteArray());
    CenterTableView view(channel(103, QStringLiteral("/xml/newslist/news.xml")));
    CenterTableModel& model = *view.tableModel();
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 4; }));
    model.tableViewSelectionDidChange(2);
    server.route("GET", kList, xmlReply("<rss><channel/></rss>", "LM2"));
    Clock::advance(181 * 1000);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && probe.toasts.size() >= 2; }));
    EXPECT_EQ(probe.toasts, (QStringList{QStringLiteral("新闻加载失败，请查看网络设置"), QStringLiteral("更新列表失败")}));
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.selectedRow(), 2) << "the open item lost its mark";
    EXPECT_FALSE(probe.errorView) << "the rows from the network went behind the error view";
}

TEST_F(RefreshTest, RankingListsSaySuccessAndKeepNoHighestId)
{
    const QString rank = QStringLiteral("/xml/newslist/rank.xml");
    QByteArray doc = "<rss><channel48rank>" + itemXml({QStringLiteral("30")}) + itemXml({QStringLiteral("29")})
                     + "</channel48rank><channelmonthrank>" + itemXml({QStringLiteral("5")}) + "</channelmonthrank></rss>";
    server.route("GET", rank, xmlReply(doc, "R1"));
    CenterTableModel model(channel(102, rank, QString(), QString(), 2));
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 7; }));
    EXPECT_EQ(probe.toasts, QStringList{QStringLiteral("更新列表成功")});
    EXPECT_EQ(model.channelState().getNewListLastUpdateTime(), QStringLiteral("R1"));
    EXPECT_EQ(model.channelState().getCurrentMaxNewsID(), -1);
    // The joined sections: row 3 is the month item under the second header.
    EXPECT_EQ(model.rowAt(1).index, 0);
    EXPECT_EQ(model.rowAt(3).index, 2);
    EXPECT_EQ(model.rowAt(4).kind, NewsListRow::Nothing);
}

TEST_F(RefreshTest, APretendRefreshOfflineSaysNothing)
{
    serve(newsFeed(descendingItems(3, 30)), "LM1", QByteArray(), QByteArray());
    CenterTableModel model(channel(103, kList));
    ModelProbe probe(model);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 4; }));
    network->reachable = false;
    model.loadData(false);
    EXPECT_FALSE(idle(model));  // until the pretend refresh runs
    ASSERT_TRUE(waitUntil([&] { return idle(model); }));
    EXPECT_TRUE(probe.toasts.isEmpty());
}

// Started offline, a ranking channel shows its cached sections; a cache that holds no item is no
// list to show, and the failed refresh brings the error view instead of a blank column.
TEST_F(RefreshTest, AnOfflineStartShowsTheRankingCacheOrTheErrorView)
{
    network->reachable = false;
    NewsListData rank = channel(102, QString(), QString(), QString(), 2);
    rank.ListUrl = QStringLiteral("http://127.0.0.1:%1/xml/newslist/rank.xml").arg(LoopbackHttpServer::closedPort());
    for (const auto& [cache, items] : {std::pair{rankFeed(3, 30), 3}, std::pair{QByteArray("<rss><channel48rank/></rss>"), 0}}) {
        ASSERT_TRUE(ListCacheFile::write(ListCacheFile::filePathForUrl(rank.ListUrl), cache));
        CenterTableModel model(rank);
        ModelProbe probe(model);
        model.showByClick(true);
        ASSERT_TRUE(waitUntil([&] { return idle(model); })) << items;
        EXPECT_EQ(model.newsListArray().size(), items);
        EXPECT_EQ(probe.errorView, items == 0);
    }
}
