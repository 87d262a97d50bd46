#include "../comments/CommentsTestSupport.h"

#include "account/FavSynchronousCommonFunction.h"
#include "foundation/CommonFunction.h"
#include "foundation/WebFileStampStore.h"
#include "networking/AFNetManager.h"
#include "networking/AFStreamingMultipartFormData.h"
#include "networking/AFURLSessionManager.h"
#include "ScopeGuard.h"
#include "URLCacheScope.h"

#include <QUrlQuery>

#include <typeinfo>

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

// The body with its multipart boundary replaced by a fixed text, so two bodies compare.
QByteArray withoutBoundary(const LoopbackRequest& request)
{
    const QByteArray type = request.header("Content-Type");
    const qsizetype at = type.indexOf("boundary=");
    return at < 0 ? request.body : QByteArray(request.body).replace(type.mid(at + 9), "BOUNDARY");
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

    void saveFavourite(const QString& id, const QString& title)
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite(id, title), false));
    }

    // The favourites file of the last upload the service received.
    std::optional<FavSynchronousCommonFunction::FileContents> lastUploadedFile() const
    {
        const QList<LoopbackRequest> requests = m_server.requests();
        for (auto it = requests.crbegin(); it != requests.crend(); ++it) {
            if (it->method == "POST")
                return FavSynchronousCommonFunction::readFavoriteFile(
                    FavSynchronousCommonFunction::unzipFavoriteFile(zipPartOf(it->body)), QString::fromLatin1(kAccount));
        }
        return std::nullopt;
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

// An upload the service did not take leaves the account as it was: marked, at its version, and
// the next synchronisation sends the favourites again.
TEST_F(FavSync, AnUploadTheServiceDidNotTakeKeepsTheMarkAndTheVersionAndGoesUpAgain)
{
    struct Case
    {
        const char* name;
        LoopbackReply reply;
    };
    const Case cases[] = {
        {"answered \"false\"", LoopbackReply::text(200, "false")},
        {"answered with an error status", LoopbackReply::text(500, "true")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store->Favrite_Data_check(QString::fromLatin1(kAccount)));
            ASSERT_TRUE(store->Favrite_Data_deleteAllFavriteDataByUserAccount(QString::fromLatin1(kAccount)));
            FavriteUserAndContents fresh;
            fresh.UserAccount = QString::fromLatin1(kAccount);
            fresh.lastUpdateTime = QDateTime::fromSecsSinceEpoch(1765000000);
            ASSERT_TRUE(store->FavriteUserAndContents_setNewsData(fresh));
        }
        m_server.clearRequests();
        saveFavourite(QStringLiteral("712001"), QStringLiteral("甲文"));
        const FavriteUserAndContentsPtr before = row();
        ASSERT_TRUE(before && before->bModified);
        serveVersion("3");
        m_server.route("POST", QStringLiteral("/olvenna/userfileupload.aspx"), c.reply);

        MessageCapture log;
        EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Failed);
        ASSERT_EQ(m_server.requestCount(), 2);
        const FavriteUserAndContentsPtr after = row();
        ASSERT_TRUE(after);
        EXPECT_TRUE(after->bModified);
        EXPECT_EQ(after->favritteVersion, before->favritteVersion);
        EXPECT_TRUE(log.contains(QStringLiteral("favourites upload of %1").arg(QString::fromLatin1(kAccount))))
            << qPrintable(log.messages().join(u'\n'));

        m_server.route("POST", QStringLiteral("/olvenna/userfileupload.aspx"), LoopbackReply::text(200, "true"));
        m_server.clearRequests();
        EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Uploaded);
        EXPECT_EQ(paths(), (QStringList{QStringLiteral("GET /olvenna/GetSyncFileVer.aspx"),
                                        QStringLiteral("POST /olvenna/userfileupload.aspx")}));
        EXPECT_FALSE(row()->bModified);
        EXPECT_EQ(row()->favritteVersion, 4);
    }
}

// A favourite saved after the upload read the favourites and before the service answered is not
// in the file that went up: the account stays marked, so the next synchronisation sends it
// instead of taking a newer file of another copy that lacks it.
TEST_F(FavSync, AFavouriteSavedWhileTheUploadIsOnItsWayStaysMarkedAndGoesUpNext)
{
    saveFavourite(QStringLiteral("712001"), QStringLiteral("甲文"));
    serveVersion("3");
    m_server.route("POST", QStringLiteral("/olvenna/userfileupload.aspx"), [](const LoopbackRequest&) {
        // The service's thread: the upload has left, its answer not yet.
        DatabaseOperate::Lease store;
        if (!store || !store->Favrite_Data_setNewsFavriteData(*favourite(QStringLiteral("712003"), QStringLiteral("丙文")), false))
            return LoopbackReply::text(500, "the test could not save");
        return LoopbackReply::text(200, "true");
    });
    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Uploaded);
    const auto first = lastUploadedFile();
    ASSERT_TRUE(first);
    EXPECT_EQ(idsOf(first->favourites), QStringList{QStringLiteral("712001")});
    ASSERT_TRUE(row());
    EXPECT_TRUE(row()->bModified);

    // Another copy of the account has since put up version 9, without 712003.
    FavriteUserAndContents other;
    other.UserAccount = QString::fromLatin1(kAccount);
    other.favritteVersion = 9;
    other.lastUpdateTime = QDateTime::fromSecsSinceEpoch(1765000000);
    const QByteArray zip = FavSynchronousCommonFunction::zipFavoriteFile(FavSynchronousCommonFunction::favoriteFile(
        other, {favourite(QStringLiteral("712001"), QStringLiteral("甲文"))}));
    ASSERT_FALSE(zip.isEmpty());
    m_server.route("GET", QStringLiteral("/olvenna/GetUserFile.aspx"), LoopbackReply::text(200, zip, "application/zip"));
    m_server.route("POST", QStringLiteral("/olvenna/userfileupload.aspx"), LoopbackReply::text(200, "true"));
    serveVersion("9");
    m_server.clearRequests();

    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Uploaded);
    const auto second = lastUploadedFile();
    ASSERT_TRUE(second) << qPrintable(paths().join(u'\n'));
    EXPECT_EQ(idsOf(second->favourites), (QStringList{QStringLiteral("712001"), QStringLiteral("712003")}));
    EXPECT_EQ(second->header.favritteVersion, 10);
    EXPECT_EQ(idsOf(stored()), (QStringList{QStringLiteral("712001"), QStringLiteral("712003")}));
    EXPECT_FALSE(row()->bModified);
    EXPECT_EQ(row()->favritteVersion, 10);
}

// The upload runs on a plain session manager of its own, as a data task that it resumes itself;
// what goes over the wire is what a multipart POST of the request entry sends.
TEST_F(FavSync, TheUploadRunsOnItsOwnSessionManagerAndSendsTheSameRequest)
{
    saveFavourite(QStringLiteral("712001"), QStringLiteral("甲文"));
    serveVersion("3");
    m_server.route("POST", QStringLiteral("/olvenna/userfileupload.aspx"), LoopbackReply::silent());
    std::optional<FavSynchronousCommonFunction::Outcome> outcome;
    const auto sync = FavSynchronousCommonFunction::synchronize(
        QString::fromLatin1(kAccount), QString::fromLatin1(kPassword),
        [&](FavSynchronousCommonFunction::Outcome o) { outcome = o; });
    ASSERT_TRUE(waitUntil([&] { return m_server.requestCount() == 2; }, 30000)) << qPrintable(paths().join(u'\n'));
    const LoopbackRequest upload = m_server.requests().last();
    ASSERT_EQ(upload.method, "POST");

    const std::shared_ptr<AFURLSessionManager> manager = sync->sessionManager();
    ASSERT_TRUE(manager);
    EXPECT_EQ(typeid(*manager), typeid(AFURLSessionManager));
    const std::shared_ptr<AFURLResponseSerialization> serializer = manager->responseSerializer();
    ASSERT_TRUE(serializer);
    EXPECT_EQ(typeid(*serializer), typeid(AFHTTPResponseSerializer));
    EXPECT_EQ(manager->sessionConfiguration().timeoutIntervalForRequest,
              URLSessionConfiguration::defaultSessionConfiguration().timeoutIntervalForRequest);
    const QList<std::shared_ptr<URLSessionTask>> tasks = manager->dataTasks();
    ASSERT_EQ(tasks.size(), 1);
    EXPECT_EQ(tasks.first()->kind(), URLSessionTask::Kind::Data);
    EXPECT_EQ(tasks.first()->originalRequest().URL.path(), QStringLiteral("/olvenna/userfileupload.aspx"));
    EXPECT_EQ(tasks.first()->state(), URLSessionTaskState::Running);

    // The same fields and zip through the request entry's multipart POST, for comparison.
    const QByteArray zip = zipPartOf(upload.body);
    ASSERT_FALSE(zip.isEmpty());
    const QVariantMap fields{
        {QStringLiteral("user"), QString::fromLatin1(kAccount)},
        {QStringLiteral("pass"), CommonFunction::EncrypteUTF8(QString::fromLatin1(kPassword), kDesKeyFavorites)},
        {QStringLiteral("ver"), QStringLiteral("4")}};
    m_server.route("POST", QStringLiteral("/reference"), LoopbackReply::text(200, "true"));
    bool referenceDone = false;
    AFNetManager::requestWithUrlString(
        m_server.url(QStringLiteral("/reference")).toString(), fields, nullptr,
        [&](AFMultipartFormData& form) {
            form.appendPartWithFileData(zip, QStringLiteral("file"), QString::fromLatin1(kAccount) + QStringLiteral(".zip"),
                                        QStringLiteral("application/zip"));
        },
        [&](const std::shared_ptr<URLSessionDataTask>&, const QVariant&) { referenceDone = true; },
        [&](const std::shared_ptr<URLSessionDataTask>&, const Error&) { referenceDone = true; });
    ASSERT_TRUE(waitUntil([&] { return referenceDone; }, 30000));
    const LoopbackRequest reference = m_server.requests().last();
    EXPECT_EQ(withoutBoundary(upload), withoutBoundary(reference));
    const auto headerLines = [](const LoopbackRequest& request) {  // the boundary aside
        QStringList lines;
        for (const auto& [name, value] : request.headers)
            lines.append(QString::fromLatin1(name.toLower() == "content-type" ? name : name + ": " + value));
        return lines;
    };
    EXPECT_EQ(headerLines(upload), headerLines(reference));
    EXPECT_TRUE(upload.header("Content-Type").startsWith("multipart/form-data; boundary="));

    manager->invalidateSessionCancelingTasks(true);
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 30000));
    EXPECT_EQ(*outcome, FavSynchronousCommonFunction::Outcome::Failed);
    EXPECT_TRUE(row()->bModified);
}

// The favourites GETs carry the enciphered password: a reply the service lets caches keep is kept
// by none, and a connection lost before the answer does not send the request again.
TEST_F(FavSync, AFavouritesGetAnsweredAsCacheableIsNeitherCachedNorSentAgain)
{
    URLCacheScope cache;
    m_server.route("GET", QStringLiteral("/olvenna/GetSyncFileVer.aspx"), LoopbackReply::text(200, "0").withHeader("Cache-Control", "max-age=600"));
    ASSERT_EQ(sync(), FavSynchronousCommonFunction::Outcome::UpToDate);
    EXPECT_FALSE(cache.holds(m_server.url(m_server.requests().first().pathAndQuery())));

    m_server.route("GET", QStringLiteral("/olvenna/GetSyncFileVer.aspx"), LoopbackReply::closeConnection());
    saveFavourite(QStringLiteral("712011"), QStringLiteral("新二"));  // due again: a change to upload
    EXPECT_EQ(sync(), FavSynchronousCommonFunction::Outcome::Failed);
    EXPECT_EQ(m_server.requestCount(), 2) << qPrintable(paths().join(u'\n'));
}

// The file is a small XML element; its titles stand as characters, not character references,
// and a character XML cannot hold is left out rather than making the file unreadable.
TEST(FavouritesFile, TitlesStandAsCharactersAndComeBackWhole)
{
    FavriteUserAndContents header;
    header.UserAccount = QString::fromLatin1(kAccount);
    header.favritteVersion = 7;
    const QList<Favrite_DataPtr> items{favourite(QStringLiteral("12"), QStringLiteral("中文标题 <a&b> é")),
                                       favourite(QStringLiteral("13"), QStringLiteral("bell\a"))};
    const QByteArray file = FavSynchronousCommonFunction::favoriteFile(header, items);
    EXPECT_TRUE(file.startsWith("<main ")) << file.toStdString();
    EXPECT_TRUE(file.contains(QStringLiteral("newsTitle=\"中文标题 &lt;a&amp;b&gt; ").toUtf8())) << file.toStdString();
    EXPECT_FALSE(file.contains("&#x4E")) << file.toStdString();

    const auto read = FavSynchronousCommonFunction::readFavoriteFile(file, QString::fromLatin1(kAccount));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->header.favritteVersion, 7);
    ASSERT_EQ(read->favourites.size(), 2);
    EXPECT_EQ(read->favourites[0]->newsTitle, QStringLiteral("中文标题 <a&b> é"));
    EXPECT_EQ(read->favourites[0]->favritetime, items[0]->favritetime);
    EXPECT_EQ(read->favourites[1]->newsTitle, QStringLiteral("bell"));
}
