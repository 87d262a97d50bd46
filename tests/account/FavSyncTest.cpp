#include "../comments/CommentsTestSupport.h"

#include "account/FavSynchronousCommonFunction.h"
#include "foundation/CommonFunction.h"
#include "foundation/WebFileStampStore.h"
#include "ScopeGuard.h"

#include <QUrlQuery>

namespace {

constexpr auto kAccount = "reader";
constexpr auto kPassword = "p@ss";

Favrite_DataPtr favourite(const QString& id, const QString& title)
{
    auto item = std::make_shared<Favrite_Data>();
    item->newsID = id;
    item->newsTitle = title;
    item->userAccount = QString::fromLatin1(kAccount);
    item->favritetime = QDateTime::fromSecsSinceEpoch(1700000000 + id.toLongLong());
    return item;
}

QStringList idsOf(const QList<Favrite_DataPtr>& items)
{
    QStringList ids;
    for (const Favrite_DataPtr& item : items)
        ids.append(item->newsID);
    ids.sort();
    return ids;
}

// The zip of a multipart upload body: from its local header to the closing boundary.
QByteArray zipPartOf(const QByteArray& body)
{
    const qsizetype start = body.indexOf(QByteArray("PK\x03\x04", 4));
    const qsizetype end = body.lastIndexOf("\r\n--");
    return start >= 0 && end > start ? body.mid(start, end - start) : QByteArray();
}

}  // namespace

class FavSync : public LoopbackStoreTest
{
protected:
    void SetUp() override
    {
        LoopbackStoreTest::SetUp();
        DatabaseOperate::installWebFileStampStore();
        pointUrls({{81, m_server.url(QStringLiteral("/olvenna/GetSyncFileVer.aspx")).toString()},
                   {82, m_server.url(QStringLiteral("/olvenna/GetUserFile.aspx")).toString()},
                   {83, m_server.url(QStringLiteral("/olvenna/userfileupload.aspx")).toString()}});
        m_server.route("POST", QStringLiteral("/olvenna/userfileupload.aspx"), LoopbackReply::text(200, "true"));
    }
    void TearDown() override
    {
        WebFileStampStore::setInstance(nullptr);
        LoopbackStoreTest::TearDown();
    }

    void serveVersion(const QByteArray& version)
    {
        m_server.route("GET", QStringLiteral("/olvenna/GetSyncFileVer.aspx"), LoopbackReply::text(200, version));
    }

    FavSynchronousCommonFunction::Outcome sync()
    {
        std::optional<FavSynchronousCommonFunction::Outcome> outcome;
        FavSynchronousCommonFunction::synchronize(QString::fromLatin1(kAccount), QString::fromLatin1(kPassword),
                                                  [&](FavSynchronousCommonFunction::Outcome o) { outcome = o; });
        EXPECT_TRUE(waitUntil([&] { return outcome.has_value(); }, 30000)) << "the favourites sync never ended";
        return outcome.value_or(FavSynchronousCommonFunction::Outcome::Failed);
    }

    QList<Favrite_DataPtr> stored()
    {
        QList<Favrite_DataPtr> items;
        DatabaseOperate::Lease store;
        store->Favrite_Data_getAllFavriteURLAndTitleData(items, QString::fromLatin1(kAccount));
        return items;
    }

    FavriteUserAndContentsPtr row()
    {
        DatabaseOperate::Lease store;
        return store->FavriteUserAndContents_getDataByUser(QString::fromLatin1(kAccount));
    }

    QStringList paths() const
    {
        QStringList list;
        for (const LoopbackRequest& request : m_server.requests())
            list.append(QString::fromLatin1(request.method) + QLatin1Char(' ') + request.path);
        return list;
    }

    LoopbackHttpServer m_server;
};

TEST_F(FavSync, AModifiedAccountUploadsItsFavouritesAndTheMarkIsCleared)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite(QStringLiteral("712001"), QStringLiteral("甲文")), false));
        ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite(QStringLiteral("712002"), QStringLiteral("乙文")), false));
    }
    ASSERT_TRUE(row()->bModified);
    serveVersion("3");

    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Uploaded);
    EXPECT_EQ(paths(), (QStringList{QStringLiteral("GET /olvenna/GetSyncFileVer.aspx"),
                                    QStringLiteral("POST /olvenna/userfileupload.aspx")}));
    const LoopbackRequest version = m_server.requests().first();
    const QUrlQuery query(version.query);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("user")), QString::fromLatin1(kAccount));
    EXPECT_EQ(CommonFunction::DecypteUTF8(query.queryItemValue(QStringLiteral("pass")), kDesKeyFavorites),
              QString::fromLatin1(kPassword));

    const LoopbackRequest upload = m_server.requests().last();
    EXPECT_TRUE(upload.header("Content-Type").startsWith("multipart/form-data"));
    EXPECT_TRUE(upload.body.contains("name=\"ver\"\r\n\r\n4\r\n"));  // above the service's 3
    const auto file = FavSynchronousCommonFunction::readFavoriteFile(
        FavSynchronousCommonFunction::unzipFavoriteFile(zipPartOf(upload.body)), QString::fromLatin1(kAccount));
    ASSERT_TRUE(file) << "the upload holds no readable favorite.dat";
    EXPECT_EQ(idsOf(file->favourites), (QStringList{QStringLiteral("712001"), QStringLiteral("712002")}));
    EXPECT_EQ(file->header.favritteVersion, 4);

    const FavriteUserAndContentsPtr after = row();
    ASSERT_TRUE(after);
    EXPECT_FALSE(after->bModified);
    EXPECT_EQ(after->favritteVersion, 4);
}

TEST_F(FavSync, ANewerServiceVersionReplacesTheFavouritesAndAnEqualOneSendsNothingMore)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->Favrite_Data_check(QString::fromLatin1(kAccount)));
        ASSERT_TRUE(store->Favrite_Data_setNewsFavriteDataArray({favourite(QStringLiteral("1"), QStringLiteral("旧"))}));
    }
    FavriteUserAndContents header;
    header.UserAccount = QString::fromLatin1(kAccount);
    header.favritteVersion = 5;
    header.lastUpdateTime = QDateTime::fromSecsSinceEpoch(1765000000);
    const QByteArray zip = FavSynchronousCommonFunction::zipFavoriteFile(FavSynchronousCommonFunction::favoriteFile(
        header, {favourite(QStringLiteral("712010"), QStringLiteral("新一")), favourite(QStringLiteral("712011"), QStringLiteral("新二"))}));
    ASSERT_FALSE(zip.isEmpty());
    m_server.route("GET", QStringLiteral("/olvenna/GetUserFile.aspx"), LoopbackReply::text(200, zip, "application/zip"));
    serveVersion("5");

    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Downloaded);
    EXPECT_EQ(paths(), (QStringList{QStringLiteral("GET /olvenna/GetSyncFileVer.aspx"),
                                    QStringLiteral("GET /olvenna/GetUserFile.aspx")}));
    EXPECT_EQ(idsOf(stored()), (QStringList{QStringLiteral("712010"), QStringLiteral("712011")}));
    const FavriteUserAndContentsPtr after = row();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->favritteVersion, 5);
    EXPECT_FALSE(after->bModified);
    EXPECT_EQ(after->lastUpdateTime.toSecsSinceEpoch(), 1765000000);

    // Once the stamp is older than 180 s: the same version asks once and sends nothing more.
    m_server.clearRequests();
    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::NotDue);
    EXPECT_EQ(m_server.requestCount(), 0);
    const auto restoreClock = onScopeExit([] { Clock::reset(); });
    Clock::setNow(QDateTime::currentDateTimeUtc().addSecs(181));
    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::UpToDate);
    EXPECT_EQ(paths(), QStringList{QStringLiteral("GET /olvenna/GetSyncFileVer.aspx")});
    EXPECT_EQ(idsOf(stored()), (QStringList{QStringLiteral("712010"), QStringLiteral("712011")}));
}

TEST_F(FavSync, AFileThatIsNotAFavouritesZipChangesNothing)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->Favrite_Data_check(QString::fromLatin1(kAccount)));
        ASSERT_TRUE(store->Favrite_Data_setNewsFavriteDataArray({favourite(QStringLiteral("1"), QStringLiteral("旧"))}));
    }
    serveVersion("2");
    m_server.route("GET", QStringLiteral("/olvenna/GetUserFile.aspx"), LoopbackReply::text(200, "not a zip"));
    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Failed);
    EXPECT_EQ(idsOf(stored()), QStringList{QStringLiteral("1")});
    EXPECT_EQ(row()->favritteVersion, 0);

    m_server.clearRequests();
    serveVersion("garbled");
    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Failed);
    EXPECT_EQ(m_server.requestCount(), 1);
}
