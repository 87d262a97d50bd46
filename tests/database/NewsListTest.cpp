#include "DatabaseTestSupport.h"
#include "database/ServerUrls.h"

namespace {

NewsListDataPtr serverChannel(int64_t id, const QString& name, const QString& listUrl, const QString& slideUrl, bool shown)
{
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = id;
    channel->ListName = name;
    channel->ListUrl = listUrl;
    channel->SlideUrl = slideUrl;
    channel->bDisplay = shown;
    return channel;
}

QList<int64_t> orders(const QList<NewsListDataPtr>& channels)
{
    QList<int64_t> result;
    for (const NewsListDataPtr& channel : channels)
        result.append(channel->iDisplayOrder);
    return result;
}

const QString kServer = QStringLiteral("http://feeds.test/xml/");

}  // namespace

class NewsListTest : public DatabaseTest
{
protected:
    static QList<NewsListDataPtr> shown(DatabaseOperate& store)
    {
        QList<NewsListDataPtr> list;
        EXPECT_TRUE(store.NewsList_getCurrentDisplayNewsList(list));
        return list;
    }
    static QList<NewsListDataPtr> hidden(DatabaseOperate& store)
    {
        QList<NewsListDataPtr> list;
        EXPECT_TRUE(store.NewsList_getCurrentNoDisplayNewsList(list));
        return list;
    }
    QVariant column(int64_t id, const QString& name)
    {
        auto rs = file().executeQuery(QStringLiteral("SELECT * FROM CategoryList WHERE ListId = ?"), {qint64(id)});
        QVariant value;
        if (rs && rs->next())
            value = rs->objectForColumnName(name);
        if (rs)
            rs->close();
        return value;
    }
    // Replaces the table with channels of the given ids, all shown.
    static void replaceWithShown(DatabaseOperate& store, const QList<int64_t>& channelIds)
    {
        QList<NewsListDataPtr> list;
        for (const int64_t id : channelIds)
            list.append(serverChannel(id, QStringLiteral("c%1").arg(id), kServer + QStringLiteral("%1.xml").arg(id), QString(), true));
        ASSERT_TRUE(store.NewsList_update(list));
    }
};

TEST_F(NewsListTest, FirstUseBuildsTheBuiltInChannels)
{
    UserDefaults::standardUserDefaults().setBool(true, QStringLiteral("NewListEdit"));
    file().executeUpdate(QStringLiteral("CREATE TABLE NewsList (a)"));
    DatabaseOperate::Lease store;
    const QList<NewsListDataPtr> list = shown(*store);
    EXPECT_FALSE(file().tableExists(QStringLiteral("NewsList")));
    EXPECT_EQ(rowCount(QStringLiteral("CategoryList")), 17);
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("NewsListVersion")), QStringLiteral("1"));
    EXPECT_FALSE(UserDefaults::standardUserDefaults().boolForKey(QStringLiteral("NewListEdit")));

    ASSERT_EQ(list.size(), 11);
    EXPECT_EQ(orders(list), (QList<int64_t>{1, 2, 3, 4, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(ids(list.mid(0, 3)), (QList<int64_t>{101, 102, 109}));
    const QList<int64_t> fourth = ids(list.mid(3, 2));
    EXPECT_TRUE(fourth.contains(153) && fourth.contains(103));
    EXPECT_EQ(ids(list.mid(5)), (QList<int64_t>{104, 105, 151, 106, 107, 108}));
    EXPECT_EQ(ids(hidden(*store)), (QList<int64_t>{110, 111, 112, 113, 114, 152}));

    const NewsListData& first = *list.at(0);
    EXPECT_EQ(first.ListName, QStringLiteral("最新"));
    EXPECT_EQ(first.ListUrl, QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml"));
    EXPECT_EQ(first.SlideUrl, QStringLiteral("http://api.tidwen.example/xml/slide/slide.xml"));
    EXPECT_EQ(first.LoadMoreUrl, QStringLiteral("http://api.tidwen.example/xml/newslist/news_"));
    EXPECT_FALSE(first.bCanDelete);
    EXPECT_FALSE(first.bCanChangeOrder);
    // The ranking channel has neither a slide feed nor next pages.
    const NewsListData& ranking = *list.at(1);
    EXPECT_EQ(ranking.iLoadType, 2);
    EXPECT_EQ(ranking.SlideUrl, QStringLiteral(""));
    EXPECT_EQ(ranking.LoadMoreUrl, QStringLiteral(""));
    EXPECT_EQ(column(102, QStringLiteral("SlideUrl")).toString(), QStringLiteral("nohave"));
}

TEST_F(NewsListTest, AReplaceWritesTheServerListWithItsFieldRules)
{
    QList<NewsListDataPtr> list = {
        serverChannel(101, QStringLiteral("最新"), kServer + QStringLiteral("news.xml"), kServer + QStringLiteral("slide.xml"), true),
        serverChannel(120, QStringLiteral("it's new"), kServer + QStringLiteral("new.xml"), QString(), false),
        serverChannel(102, QStringLiteral("排行"), kServer + QStringLiteral("rank.xml"), QStringLiteral(""), true),
        serverChannel(130, QStringLiteral("no list"), QStringLiteral("nohave"), QString(), true),
        serverChannel(109, QStringLiteral("苹果"), kServer + QStringLiteral("ios.xml.xml"), QString(), true),
    };
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store->NewsList_update(list));
    EXPECT_EQ(list.size(), 5);  // a replace leaves the list as it was

    EXPECT_EQ(rowCount(QStringLiteral("CategoryList")), 5);
    EXPECT_EQ(column(101, QStringLiteral("displayOrder")).toInt(), 1);
    EXPECT_EQ(column(120, QStringLiteral("displayOrder")).toInt(), 0);
    EXPECT_EQ(column(102, QStringLiteral("displayOrder")).toInt(), 2);
    EXPECT_EQ(column(130, QStringLiteral("displayOrder")).toInt(), 3);
    EXPECT_EQ(column(109, QStringLiteral("displayOrder")).toInt(), 4);
    EXPECT_EQ(column(101, QStringLiteral("CanDelete")).toInt(), 0);
    EXPECT_EQ(column(101, QStringLiteral("canChangeOrder")).toInt(), 0);
    EXPECT_EQ(column(120, QStringLiteral("CanDelete")).toInt(), 1);
    EXPECT_EQ(column(102, QStringLiteral("LoadType")).toInt(), 2);
    EXPECT_EQ(column(109, QStringLiteral("LoadType")).toInt(), 1);
    EXPECT_EQ(column(102, QStringLiteral("LoadMoreUrl")).toString(), QStringLiteral("nohave"));
    EXPECT_EQ(column(101, QStringLiteral("LoadMoreUrl")).toString(), kServer + QStringLiteral("news_"));
    EXPECT_EQ(column(109, QStringLiteral("LoadMoreUrl")).toString(), kServer + QStringLiteral("ios__"));
    EXPECT_EQ(column(120, QStringLiteral("SlideUrl")).toString(), QStringLiteral("nohave"));
    EXPECT_EQ(column(102, QStringLiteral("SlideUrl")).toString(), QStringLiteral("nohave"));
    EXPECT_EQ(column(101, QStringLiteral("SlideUrl")).toString(), kServer + QStringLiteral("slide.xml"));
    EXPECT_EQ(column(120, QStringLiteral("ListName")).toString(), QStringLiteral("it's new"));

    // A channel without a list address is stored but never listed.
    QList<NewsListDataPtr> listed;
    ASSERT_TRUE(store->NewsList_getAllNewsList(listed, true));
    EXPECT_EQ(ids(listed), (QList<int64_t>{101, 102, 109, 120}));

    // New channels are mapped; maps of channels that left stay.
    EXPECT_EQ(store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(120, true), 1200);
    EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(120), 120);
    EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(120), 120);
    EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(114), 114);
}

TEST_F(NewsListTest, AMergeKeepsTheUsersArrangement)
{
    UserDefaults::standardUserDefaults().setBool(false, QStringLiteral("NewListEdit"));
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->NewsList_check());
        // The user hid 102 and moved 109 behind 104.
        ASSERT_TRUE(store->NewsList_OnlyUpdateNewsListByNewsListID(
            {editorChoice(102, false, 0), editorChoice(109, true, 6)}));
    }
    UserDefaults::standardUserDefaults().setBool(true, QStringLiteral("NewListEdit"));

    QList<NewsListDataPtr> list = {
        serverChannel(109, QStringLiteral("苹果新"), kServer + QStringLiteral("apple.xml"), QString(), false),
        serverChannel(200, QStringLiteral("新频道"), kServer + QStringLiteral("n200.xml"), QString(), true),
        serverChannel(101, QStringLiteral("最新"), kServer + QStringLiteral("news.xml"), kServer + QStringLiteral("s.xml"), true),
        serverChannel(102, QStringLiteral("排行"), kServer + QStringLiteral("rank.xml"), QString(), true),
        serverChannel(111, QStringLiteral("网络"), kServer + QStringLiteral("net.xml"), QString(), true),
        serverChannel(201, QStringLiteral("隐藏"), kServer + QStringLiteral("n201.xml"), QString(), false),
    };
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store->NewsList_update(list));
    // Only the new channels are left in the list.
    EXPECT_EQ(ids(list), (QList<int64_t>{200, 201}));

    // Kept: new name and addresses, the user's shown state and order.
    EXPECT_EQ(column(109, QStringLiteral("ListName")).toString(), QStringLiteral("苹果新"));
    EXPECT_EQ(column(109, QStringLiteral("ListUrl")).toString(), kServer + QStringLiteral("apple.xml"));
    EXPECT_EQ(column(109, QStringLiteral("LoadMoreUrl")).toString(), kServer + QStringLiteral("apple_"));
    EXPECT_EQ(column(101, QStringLiteral("SlideUrl")).toString(), kServer + QStringLiteral("s.xml"));
    EXPECT_EQ(column(109, QStringLiteral("bDisplay")).toInt(), 1);
    EXPECT_EQ(column(102, QStringLiteral("bDisplay")).toInt(), 0);
    EXPECT_EQ(column(111, QStringLiteral("bDisplay")).toInt(), 0);
    // Removed: the channels missing from the server list, with their map rows.
    EXPECT_EQ(rowCount(QStringLiteral("CategoryList")), 6);
    EXPECT_EQ(column(153, QStringLiteral("ListId")), QVariant());
    EXPECT_EQ(store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(104, false), 0);
    EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(104), 0);
    EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(104), 0);
    EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(200), 200);

    // Shown channels numbered from 1 without gaps, the new one after the kept ones.
    const QList<NewsListDataPtr> now = shown(*store);
    EXPECT_EQ(ids(now), (QList<int64_t>{101, 109, 200}));
    EXPECT_EQ(orders(now), (QList<int64_t>{1, 2, 3}));
    EXPECT_EQ(column(201, QStringLiteral("displayOrder")).toInt(), 0);
}

TEST_F(NewsListTest, TheEditorWritesOnlyShownStateAndOrder)
{
    DatabaseOperate::Lease store;
    EXPECT_FALSE(store->NewsList_OnlyUpdateNewsListByNewsListID({}));
    EXPECT_TRUE(store->NewsList_OnlyUpdateNewsListByNewsListID({editorChoice(111, true, 11)}));
    EXPECT_EQ(column(111, QStringLiteral("bDisplay")).toInt(), 1);
    EXPECT_EQ(column(111, QStringLiteral("displayOrder")).toInt(), 11);
    EXPECT_EQ(column(111, QStringLiteral("ListName")).toString(), QStringLiteral("网络焦点"));

    EXPECT_TRUE(store->NewsList_OnlyUpdateNewsListByNewsListID(
        {editorChoice(104, false, 0), editorChoice(112, true, 12), editorChoice(105, true, 2)}));
    EXPECT_EQ(column(104, QStringLiteral("bDisplay")).toInt(), 0);
    EXPECT_EQ(column(104, QStringLiteral("displayOrder")).toInt(), 0);
    EXPECT_EQ(column(112, QStringLiteral("displayOrder")).toInt(), 12);
    EXPECT_EQ(column(105, QStringLiteral("displayOrder")).toInt(), 2);
    EXPECT_EQ(column(112, QStringLiteral("LoadMoreUrl")).toString(),
              QStringLiteral("http://api.tidwen.example/xml/newslist/it_"));
    EXPECT_EQ(column(106, QStringLiteral("displayOrder")).toInt(), 8);

    // Two or more go out as one CASE statement, in which the first choice for an id wins;
    // one UPDATE per channel would leave the last.
    EXPECT_TRUE(store->NewsList_OnlyUpdateNewsListByNewsListID({editorChoice(107, true, 7), editorChoice(107, false, 8)}));
    EXPECT_EQ(column(107, QStringLiteral("bDisplay")).toInt(), 1);
    EXPECT_EQ(column(107, QStringLiteral("displayOrder")).toInt(), 7);
}

TEST_F(NewsListTest, TheHotCommentChannelLandsFourthAndRenumbersTheOthers)
{
    DatabaseOperate::Lease store;
    replaceWithShown(*store, {101, 102, 103, 104, 105});
    EXPECT_TRUE(store->HotComment_insert(QStringLiteral("热评"), kServer + QStringLiteral("hot")));
    const QList<NewsListDataPtr> list = shown(*store);
    EXPECT_EQ(ids(list), (QList<int64_t>{101, 102, 103, 153, 104, 105}));
    EXPECT_EQ(orders(list), (QList<int64_t>{1, 2, 3, 4, 5, 6}));
    const NewsListData& hot = *list.at(3);
    EXPECT_EQ(hot.ListName, QStringLiteral("热评"));
    EXPECT_EQ(hot.LoadMoreUrl, kServer + QStringLiteral("hot?s="));
    EXPECT_EQ(hot.SlideUrl, QStringLiteral(""));
    EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(153), 0);

    // Present: renamed, new addresses, nothing else moves.
    EXPECT_TRUE(store->HotComment_insert(QStringLiteral("上热评"), kServer + QStringLiteral("hot2")));
    EXPECT_EQ(column(153, QStringLiteral("ListName")).toString(), QStringLiteral("上热评"));
    EXPECT_EQ(column(153, QStringLiteral("ListUrl")).toString(), kServer + QStringLiteral("hot2"));
    EXPECT_EQ(column(153, QStringLiteral("LoadMoreUrl")).toString(), kServer + QStringLiteral("hot2?s="));
    EXPECT_EQ(column(153, QStringLiteral("displayOrder")).toInt(), 4);
    EXPECT_EQ(rowCount(QStringLiteral("CategoryList")), 6);

    store->HotComment_delete();
    EXPECT_EQ(ids(shown(*store)), (QList<int64_t>{101, 102, 103, 104, 105}));
    EXPECT_EQ(orders(shown(*store)), (QList<int64_t>{1, 2, 3, 5, 6}));
}

TEST_F(NewsListTest, WithFewShownChannelsTheHotCommentChannelComesLast)
{
    DatabaseOperate::Lease store;
    replaceWithShown(*store, {101, 102});
    EXPECT_TRUE(store->HotComment_insert(QStringLiteral("热评"), kServer + QStringLiteral("hot")));
    EXPECT_EQ(ids(shown(*store)), (QList<int64_t>{101, 102, 153}));
    EXPECT_EQ(orders(shown(*store)), (QList<int64_t>{1, 2, 3}));
}

TEST_F(NewsListTest, TheHotCommentChannelIsNotAddedToAFileWithoutChannels)
{
    DatabaseOperate::Lease store;
    EXPECT_FALSE(store->HotComment_insert(QStringLiteral("热评"), kServer + QStringLiteral("hot")));
    EXPECT_FALSE(file().tableExists(QStringLiteral("CategoryList")));
}

TEST_F(NewsListTest, AChannelMapThatCannotBeMadeAbandonsTheWholeUpdate)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store->NewsList_check());
    // An index holds the name of the first map, so that map cannot be made: its check closes the
    // connection, and the open transaction with it.
    ASSERT_TRUE(file().executeUpdate(
        QStringLiteral("CREATE INDEX NewWebFileLastModifyTime ON CategoryList (ListName)")));

    QList<NewsListDataPtr> list = {
        serverChannel(101, QStringLiteral("最新"), kServer + QStringLiteral("news.xml"), QString(), true),
        serverChannel(120, QStringLiteral("新"), kServer + QStringLiteral("new.xml"), QString(), true),
    };
    EXPECT_FALSE(store->NewsList_update(list));

    // Nothing of the new list was kept, and nothing was written outside the transaction.
    EXPECT_EQ(rowCount(QStringLiteral("CategoryList")), 17);
    EXPECT_EQ(column(120, QStringLiteral("ListId")), QVariant());
    EXPECT_FALSE(file().tableExists(QStringLiteral("NewWebFileLastUpdateTime")));
    EXPECT_FALSE(file().tableExists(QStringLiteral("NewListMaxNewsID")));

    // The same in a merge, where the first map step removes a channel that left the list.
    UserDefaults::standardUserDefaults().setBool(true, QStringLiteral("NewListEdit"));
    QList<NewsListDataPtr> merged = list;
    EXPECT_FALSE(store->NewsList_update(merged));
    EXPECT_EQ(rowCount(QStringLiteral("CategoryList")), 17);
    EXPECT_EQ(column(101, QStringLiteral("ListUrl")).toString(), ServerUrls::builtInValue(16));
    EXPECT_FALSE(file().tableExists(QStringLiteral("NewWebFileLastUpdateTime")));
    UserDefaults::standardUserDefaults().setBool(false, QStringLiteral("NewListEdit"));

    // The next operation opens the file again.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP INDEX NewWebFileLastModifyTime")));
    EXPECT_TRUE(store->NewsList_update(list));
    EXPECT_EQ(ids(shown(*store)), (QList<int64_t>{101, 120}));
}
