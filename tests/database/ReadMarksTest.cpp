#include "DatabaseTestSupport.h"

#include "Library/FMDB/FMDBLog.h"

#include <QStringList>

#include <type_traits>

namespace {

constexpr qint64 kDay = 86400;

// A deeper array than one level cannot even be handed to a getter.
static_assert(!std::is_constructible_v<DatabaseOperate::ReadMarkItem<Feed>, QList<QList<FeedPtr>>>);
static_assert(std::is_constructible_v<DatabaseOperate::ReadMarkItem<Feed>, QList<FeedPtr>>);

FeedPtr feed(const QString& guid, bool haveRead = false)
{
    auto item = std::make_shared<Feed>();
    item->guid = guid;
    item->isHaveRead = haveRead;
    return item;
}

NSListADInfoPtr ad(const QString& url, int32_t type = 1, const QString& title = QString())
{
    auto item = std::make_shared<NSListADInfo>();
    item->adUrl = url;
    item->adTitle = title;
    item->listADType = type;
    return item;
}

}  // namespace

class ReadMarksTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        Clock::setNow(QDateTime::fromSecsSinceEpoch(m_now).addMSecs(750));
    }

    void TearDown() override
    {
        FMDBLog::setSink({});
        Clock::resetLocalZone();
        DatabaseTest::TearDown();
    }

    // Moves the fixed clock to so many seconds before the test's "now".
    void at(qint64 secondsBefore) { Clock::setNow(QDateTime::fromSecsSinceEpoch(m_now - secondsBefore)); }
    void backToNow() { Clock::setNow(QDateTime::fromSecsSinceEpoch(m_now)); }

    QStringList column(const QString& sql)
    {
        QStringList values;
        auto rs = file().executeQuery(sql);
        while (rs && rs->next())
            values << rs->stringForColumnIndex(0);
        return values;
    }

    const qint64 m_now = 1700000000;
};

TEST_F(ReadMarksTest, NewsMarksAreFoundByDecimalIdAndRecordedOnce)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->getNewsState({}));
    EXPECT_TRUE(file().tableExists(QStringLiteral("NewsState")));

    EXPECT_TRUE(store->setNewsState(QStringLiteral("123456"), true, QStringLiteral("first title")));
    EXPECT_FALSE(store->setNewsState(QStringLiteral("123456"), true, QStringLiteral("second title")));
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT title FROM NewsState WHERE guid = '123456'")),
              QStringLiteral("first title"));

    // A row whose state is 0 marks nothing, and a getter never clears a flag.
    file().executeUpdate(QStringLiteral("INSERT INTO NewsState VALUES ('777', 0, 't')"));
    FeedPtr read = feed(QStringLiteral("123456"));
    FeedPtr notMarked = feed(QStringLiteral("777"));
    FeedPtr longer = feed(QStringLiteral("1234567"));
    FeedPtr empty = feed(QStringLiteral(""));
    FeedPtr alreadyRead = feed(QStringLiteral("999"), true);
    EXPECT_TRUE(store->getNewsState({read, notMarked, longer, empty, alreadyRead}));
    EXPECT_TRUE(read->isHaveRead);
    EXPECT_FALSE(notMarked->isHaveRead);
    EXPECT_FALSE(longer->isHaveRead);
    EXPECT_FALSE(empty->isHaveRead);
    EXPECT_TRUE(alreadyRead->isHaveRead);
}

TEST_F(ReadMarksTest, NestedArraysAreWalkedOneLevelAndNullRecordsSkipped)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store->setNewsState(QStringLiteral("11"), true, QStringLiteral("a")));
    ASSERT_TRUE(store->setNewsState(QStringLiteral("12"), true, QStringLiteral("b")));
    FeedPtr top = feed(QStringLiteral("11"));
    FeedPtr inSection = feed(QStringLiteral("12"));
    FeedPtr unread = feed(QStringLiteral("13"));
    EXPECT_TRUE(store->getNewsState({top, QList<FeedPtr>{nullptr, inSection, unread}, FeedPtr(), QList<FeedPtr>{}}));
    EXPECT_TRUE(top->isHaveRead);
    EXPECT_TRUE(inSection->isHaveRead);
    EXPECT_FALSE(unread->isHaveRead);
}

TEST_F(ReadMarksTest, WriteConfirmationNeverOpensTheFile)
{
    file().executeUpdate(QStringLiteral("CREATE TABLE NewsState (guid text PRIMARY KEY ,state Boolean,title text)"));
    file().executeUpdate(QStringLiteral("INSERT INTO NewsState VALUES ('500', 1, 't')"));
    DatabaseOperate::Lease store;
    EXPECT_FALSE(store->updateSuccessHaveread(QStringLiteral("500"), true));
    ASSERT_TRUE(store->getNewsState({}));
    EXPECT_TRUE(store->updateSuccessHaveread(QStringLiteral("500"), true));
    EXPECT_FALSE(store->updateSuccessHaveread(QStringLiteral("500"), false));
    EXPECT_FALSE(store->updateSuccessHaveread(QStringLiteral("501"), true));
}

TEST_F(ReadMarksTest, OnlyOwnAdsAreMarkedAndClosedAdsAreFoundByUrlOrTitle)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->setListADState(QStringLiteral("http://ad.example/own"), true));
    EXPECT_FALSE(store->setListADState(QStringLiteral("http://ad.example/own"), true));
    EXPECT_EQ(file().doubleForQuery(QStringLiteral("SELECT freadtime FROM NewsADState")), double(m_now));

    NSListADInfoPtr own = ad(QStringLiteral("http://ad.example/own"));
    NSListADInfoPtr outside = ad(QStringLiteral("http://ad.example/own"), 4);
    NSListADInfoPtr nested = ad(QStringLiteral("http://ad.example/own"));
    EXPECT_TRUE(store->getListADState({own, outside, QList<NSListADInfoPtr>{nested}}));
    EXPECT_TRUE(own->isHaveRead);
    EXPECT_FALSE(outside->isHaveRead);
    EXPECT_TRUE(nested->isHaveRead);

    // A key holding a quote is stored as it is.
    EXPECT_TRUE(store->setListADDeleteState(QStringLiteral("Tom's ad"), true));
    EXPECT_TRUE(store->setListADDeleteState(QStringLiteral("http://ad.example/closed"), true));
    EXPECT_EQ(column(QStringLiteral("SELECT guid FROM NewsADDeleteState ORDER BY guid")),
              QStringList({QStringLiteral("Tom's ad"), QStringLiteral("http://ad.example/closed")}));
    NSListADInfoPtr network = ad(QStringLiteral("http://other.example/"), 3, QStringLiteral("Tom's ad"));
    EXPECT_TRUE(store->isListADDelete(network, true));
    EXPECT_FALSE(store->isListADDelete(network, false));
    EXPECT_TRUE(store->isListADDelete(ad(QStringLiteral("http://ad.example/closed")), false));
    EXPECT_FALSE(store->isListADDelete(nullptr, true));
}

TEST_F(ReadMarksTest, AnOldAdTableGainsReadTimesFromItsLocalTexts)
{
    Clock::setLocalZone(QTimeZone(-5 * 3600));
    FMDatabase& old = file();
    old.executeUpdate(QStringLiteral("CREATE TABLE NewsADState (guid text PRIMARY KEY ,state Boolean, readtime text)"));
    old.executeUpdate(QStringLiteral("INSERT INTO NewsADState VALUES ('http://a', 1, '2016-01-02 03:04:05')"));
    old.executeUpdate(QStringLiteral("INSERT INTO NewsADState VALUES ('http://b', 1, NULL)"));
    old.executeUpdate(QStringLiteral("INSERT INTO NewsADState VALUES ('http://c''s', 1, 'not a time')"));
    // Enough rows to need more than one copying statement.
    old.beginTransaction();
    for (int i = 0; i < 700; ++i)
        old.executeUpdate(QStringLiteral("INSERT INTO NewsADState VALUES (?, 1, '2016-01-01 00:00:00')"),
                          {QStringLiteral("http://many/%1").arg(i)});
    old.commit();
    QStringList log;
    FMDBLog::setSink([&](const QString& line) { log << line; });

    DatabaseOperate::Lease store;
    NSListADInfoPtr a = ad(QStringLiteral("http://a"));
    EXPECT_TRUE(store->getListADState({a}));
    EXPECT_TRUE(a->isHaveRead);
    // 2016-01-02 03:04:05 at UTC-5 is 08:04:05 UTC.
    EXPECT_EQ(old.doubleForQuery(QStringLiteral("SELECT freadtime FROM NewsADState WHERE guid = 'http://a'")), 1451721845.0);
    EXPECT_EQ(old.stringForQuery(QStringLiteral("SELECT typeof(freadtime) FROM NewsADState WHERE guid = 'http://b'")),
              QStringLiteral("real"));
    EXPECT_EQ(old.doubleForQuery(QStringLiteral("SELECT freadtime FROM NewsADState WHERE guid = 'http://b'")), 0.0);
    EXPECT_EQ(old.doubleForQuery(QStringLiteral("SELECT freadtime FROM NewsADState WHERE guid = 'http://c''s'")), 0.0);
    EXPECT_EQ(old.intForQuery(QStringLiteral("SELECT count(*) FROM NewsADState WHERE freadtime = 1451624400")), 700);
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char('\n')).toStdString();

    // Converted once; new marks carry the time of now.
    EXPECT_TRUE(store->setListADState(QStringLiteral("http://d"), true));
    EXPECT_EQ(old.doubleForQuery(QStringLiteral("SELECT freadtime FROM NewsADState WHERE guid = 'http://d'")), double(m_now));
    EXPECT_EQ(old.doubleForQuery(QStringLiteral("SELECT freadtime FROM NewsADState WHERE guid = 'http://a'")), 1451721845.0);
}

TEST_F(ReadMarksTest, DealsAndThreadsRenewTheirTimeWhileHotCommentsAreInsertOnly)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->setZefupState(QStringLiteral("1001"), true));
    at(-3600);
    EXPECT_TRUE(store->setZefupState(QStringLiteral("1001"), false));
    EXPECT_EQ(rowCount(QStringLiteral("ZefupState")), 1);
    EXPECT_EQ(file().doubleForQuery(QStringLiteral("SELECT freadtime FROM ZefupState")), double(m_now + 3600));
    EXPECT_EQ(file().intForQuery(QStringLiteral("SELECT state FROM ZefupState")), 1);
    // Product ids compare as numbers: "01001" is the same deal; an empty id records nothing.
    EXPECT_FALSE(store->setZefupState(QStringLiteral(""), true));
    auto deal = std::make_shared<HotProductModel>();
    deal->pro_productid = QStringLiteral("01001");
    auto other = std::make_shared<HotProductModel>();
    other->pro_productid = QStringLiteral("1002");
    EXPECT_TRUE(store->getZefupState({deal, other, nullptr}));
    EXPECT_TRUE(deal->isHaveRead);
    EXPECT_FALSE(other->isHaveRead);

    EXPECT_TRUE(store->setForumState(7, true, 1500.25));
    EXPECT_TRUE(store->setForumState(7, true, 1600.5));
    EXPECT_EQ(rowCount(QStringLiteral("ForumState")), 1);
    auto seen = std::make_shared<ForumFeed>();
    seen->forumId = 7;
    seen->replyTime = 1600.5;
    auto newerReply = std::make_shared<ForumFeed>(*seen);
    newerReply->replyTime = 1700.0;
    EXPECT_TRUE(store->getForumState({seen, newerReply}, true));
    EXPECT_TRUE(seen->isHaveRead);
    EXPECT_FALSE(newerReply->isHaveRead);
    EXPECT_TRUE(store->getForumState({QList<ForumFeedPtr>{newerReply}}, false));
    EXPECT_TRUE(newerReply->isHaveRead);

    EXPECT_TRUE(store->setHotCommentState(QStringLiteral("42"), true));
    EXPECT_FALSE(store->setHotCommentState(QStringLiteral("42"), true));
    EXPECT_TRUE(store->setHotCommentState(QStringLiteral("0"), true));
    auto comment = std::make_shared<CommentFeed>();
    comment->commentId = 42;
    auto noId = std::make_shared<CommentFeed>();
    EXPECT_TRUE(store->getHotCommentState({comment, noId}));
    EXPECT_TRUE(comment->isHaveRead);
    EXPECT_FALSE(noId->isHaveRead);
}

TEST_F(ReadMarksTest, ClearsNeverMakeATableAndEmptyAnExistingOne)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->clearNewsStateDB());
    EXPECT_TRUE(store->clearListADStateDB());
    EXPECT_TRUE(store->clearListADDeleteStateDB());
    EXPECT_TRUE(store->clearForumStateDB());
    EXPECT_TRUE(store->clearZefupStateDB());
    EXPECT_TRUE(store->clearHotCommentStateDB());
    EXPECT_TRUE(store->autoClearNewsStateDB(QStringLiteral("5")));
    EXPECT_TRUE(store->autoClearZefupStateDB());
    EXPECT_TRUE(store->autoClearListADDeleteStateDB());
    EXPECT_TRUE(column(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")).isEmpty());

    ASSERT_TRUE(store->setNewsState(QStringLiteral("1"), true, QStringLiteral("t")));
    ASSERT_TRUE(store->setHotCommentState(QStringLiteral("2"), true));
    EXPECT_TRUE(store->clearNewsStateDB());
    EXPECT_TRUE(store->clearHotCommentStateDB());
    EXPECT_EQ(rowCount(QStringLiteral("NewsState")), 0);
    EXPECT_EQ(rowCount(QStringLiteral("HotCommentState")), 0);
}

TEST_F(ReadMarksTest, PruningKeepsThirtyDaysOfReadMarksAndAYearOfClosedAds)
{
    DatabaseOperate::Lease store;
    at(29 * kDay);
    store->setZefupState(QStringLiteral("29"), true);
    store->setListADState(QStringLiteral("29"), true);
    store->setHotCommentState(QStringLiteral("29"), true);
    store->setForumState(29, true, 0);
    at(31 * kDay);
    store->setZefupState(QStringLiteral("31"), true);
    store->setListADState(QStringLiteral("31"), true);
    store->setHotCommentState(QStringLiteral("31"), true);
    store->setForumState(31, true, 0);
    at(300 * kDay);
    store->setListADDeleteState(QStringLiteral("300"), true);
    at(366 * kDay);
    store->setListADDeleteState(QStringLiteral("366"), true);
    backToNow();

    EXPECT_TRUE(store->autoClearZefupStateDB());
    EXPECT_TRUE(store->autoClearListADStateDB());
    EXPECT_TRUE(store->autoClearHotCommentStateDB());
    EXPECT_TRUE(store->autoClearForumStateDB());
    EXPECT_TRUE(store->autoClearListADDeleteStateDB());
    EXPECT_EQ(column(QStringLiteral("SELECT proid FROM ZefupState")), QStringList{QStringLiteral("29")});
    EXPECT_EQ(column(QStringLiteral("SELECT guid FROM NewsADState")), QStringList{QStringLiteral("29")});
    EXPECT_EQ(column(QStringLiteral("SELECT guid FROM HotCommentState")), QStringList{QStringLiteral("29")});
    EXPECT_EQ(column(QStringLiteral("SELECT forumid FROM ForumState")), QStringList{QStringLiteral("29")});
    EXPECT_EQ(column(QStringLiteral("SELECT guid FROM NewsADDeleteState")), QStringList{QStringLiteral("300")});
}

TEST_F(ReadMarksTest, NewsMarksArePrunedByNumericId)
{
    DatabaseOperate::Lease store;
    for (const char* id : {"499999", "500000", "500001", "1000000", "abc"})
        ASSERT_TRUE(store->setNewsState(QString::fromLatin1(id), true, QStringLiteral("t")));
    EXPECT_TRUE(store->autoClearNewsStateDB(QStringLiteral("not an id")));
    EXPECT_EQ(rowCount(QStringLiteral("NewsState")), 5);
    EXPECT_TRUE(store->autoClearNewsStateDB(QStringLiteral("500000")));
    EXPECT_EQ(column(QStringLiteral("SELECT guid FROM NewsState ORDER BY guid")),
              QStringList({QStringLiteral("1000000"), QStringLiteral("500001"), QStringLiteral("abc")}));
}

TEST_F(ReadMarksTest, AStoreThatCannotOpenChangesNoFlag)
{
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);
    DatabaseOperate::Lease store;
    FeedPtr item = feed(QStringLiteral("1"));
    EXPECT_FALSE(store->getNewsState({item}));
    EXPECT_FALSE(item->isHaveRead);
    EXPECT_FALSE(store->setNewsState(QStringLiteral("1"), true, QStringLiteral("t")));
    EXPECT_FALSE(store->setZefupState(QStringLiteral("1"), true));
    EXPECT_FALSE(store->getListADState({ad(QStringLiteral("x"))}));
    EXPECT_FALSE(store->isListADDelete(ad(QStringLiteral("x")), false));
}
