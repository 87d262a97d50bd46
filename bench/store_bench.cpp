// The content store against bare prepared sqlite3 statements doing the same rows: the favourites
// bulk insert (10,000 rows in one transaction) and the news read marks of a 10,000-item list (one
// keyed select per item). Both sides start from the same records and hand back the same results.
// Both files are written without a disk flush per commit (synchronous = OFF), so that the
// statements, not the disk, are measured.
#include "BenchSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "database/DatabaseOperate.h"
#include "foundation/models/Favrite_Data.h"
#include "foundation/models/Feed.h"
#include "platform/StorageRoot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kRows = 10000;
const QString kAccount = QStringLiteral("reader@example.com");

struct Fixture
{
    QTemporaryDir dir;
    QList<Favrite_DataPtr> favourites;
    DatabaseOperate::ReadMarkList<Feed> feeds;

    Fixture()
    {
        StorageRoot::setRoot(dir.path());
        const QDateTime saved = QDateTime::fromSecsSinceEpoch(1700000000);
        for (int i = 0; i < kRows; ++i) {
            auto item = std::make_shared<Favrite_Data>();
            item->newsID = QString::number(900000 + i);
            item->newsTitle = QStringLiteral("标题 number %1 of the saved articles").arg(i);
            item->favritetime = saved.addSecs(i);
            item->userAccount = kAccount;
            favourites.append(item);
            auto feed = std::make_shared<Feed>();
            feed->guid = QString::number(500000 + (i * 7919) % kRows);
            feeds.append(feed);
        }
    }

    QString barePath() const { return QDir(dir.path()).filePath(QStringLiteral("bare.db")); }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

sqlite3* openBare()
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(fixture().barePath()).constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE IF NOT EXISTS Favrite_Data (favriteDataTag INTEGER PRIMARY KEY AUTOINCREMENT, newsID "
                 "text, newsTitle text, ffavritetime double, userAccount text)",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS NewsState (guid text PRIMARY KEY ,state Boolean,title text)", nullptr,
                 nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    return db;
}

void bindText(sqlite3_stmt* statement, int index, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(statement, index, bytes.constData(), -1, SQLITE_TRANSIENT);
}

void BM_Bare_FavouritesInsert(benchmark::State& state)
{
    sqlite3* db = openBare();
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Favrite_Data (newsID,newsTitle,ffavritetime,userAccount) VALUES (?,?,?,?)", -1,
                       &insert, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_exec(db, "DELETE FROM Favrite_Data", nullptr, nullptr, nullptr);
        state.ResumeTiming();
        sqlite3_exec(db, "begin exclusive transaction", nullptr, nullptr, nullptr);
        for (const Favrite_DataPtr& item : fixture().favourites) {
            bindText(insert, 1, item->newsID);
            bindText(insert, 2, item->newsTitle);
            sqlite3_bind_double(insert, 3, std::floor(double(item->favritetime.toMSecsSinceEpoch()) / 1000.0));
            bindText(insert, 4, item->userAccount);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_exec(db, "commit transaction", nullptr, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    sqlite3_finalize(insert);
    sqlite3_close(db);
}

// The store's own connection, set to write as the bare side does.
void useUnflushedStore(DatabaseOperate& store)
{
    if (const std::shared_ptr<FMDatabase> db = store.loadDB(QStringLiteral("tidwenMAC.db")))
        db->executeUpdate(QStringLiteral("PRAGMA synchronous = OFF"));
}

void BM_Store_FavouritesInsert(benchmark::State& state)
{
    DatabaseOperate::Lease store;
    useUnflushedStore(*store);
    for (auto _ : state) {
        state.PauseTiming();
        store->Favrite_Data_deleteAllFavriteDataByUserAccount(kAccount);
        state.ResumeTiming();
        if (!store->Favrite_Data_setNewsFavriteDataArray(fixture().favourites))
            state.SkipWithError("the bulk insert failed");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// Every other guid of the list is marked read.
void fillReadMarks()
{
    DatabaseOperate::Lease store;
    for (int i = 0; i < kRows; i += 2)
        store->setNewsState(QString::number(500000 + i), true, QStringLiteral("title"));
    sqlite3* db = openBare();
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    for (int i = 0; i < kRows; i += 2) {
        const std::string sql = "INSERT OR REPLACE INTO NewsState (guid, state, title) VALUES ('" +
                                std::to_string(500000 + i) + "', 1, 'title')";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

int markedCount()
{
    int marked = 0;
    for (const auto& item : fixture().feeds)
        marked += std::get<FeedPtr>(item)->isHaveRead ? 1 : 0;
    return marked;
}

void clearMarks()
{
    for (const auto& item : fixture().feeds)
        std::get<FeedPtr>(item)->isHaveRead = false;
}

void BM_Bare_ReadMarks(benchmark::State& state)
{
    sqlite3* db = openBare();
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT state FROM NewsState where guid = ?", -1, &select, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        clearMarks();
        state.ResumeTiming();
        for (const auto& item : fixture().feeds) {
            Feed& feed = *std::get<FeedPtr>(item);
            bool ok = false;
            const qint64 key = feed.guid.toLongLong(&ok);
            if (!ok)
                continue;
            sqlite3_bind_int64(select, 1, key);
            while (sqlite3_step(select) == SQLITE_ROW) {
                if (sqlite3_column_int(select, 0) != 0)
                    feed.isHaveRead = true;
            }
            sqlite3_reset(select);
        }
    }
    if (markedCount() != kRows / 2)
        state.SkipWithError("wrong marks");
    state.SetItemsProcessed(state.iterations() * kRows);
    sqlite3_finalize(select);
    sqlite3_close(db);
}

void BM_Store_ReadMarks(benchmark::State& state)
{
    DatabaseOperate::Lease store;
    for (auto _ : state) {
        state.PauseTiming();
        clearMarks();
        state.ResumeTiming();
        store->getNewsState(fixture().feeds);
    }
    if (markedCount() != kRows / 2)
        state.SkipWithError("wrong marks");
    state.SetItemsProcessed(state.iterations() * kRows);
}

#define STORE_BENCHMARK(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(7)
STORE_BENCHMARK(BM_Bare_FavouritesInsert);
STORE_BENCHMARK(BM_Store_FavouritesInsert);
STORE_BENCHMARK(BM_Bare_ReadMarks);
STORE_BENCHMARK(BM_Store_ReadMarks);

}  // namespace

int main(int argc, char** argv)
{
    fixture();
    fillReadMarks();
    bench::FastestRunReporter reporter;
    if (!bench::runRegisteredBenchmarks(&argc, argv, &reporter))
        return 1;
    const auto print = [&](const char* label, const char* store, const char* bare) {
        bench::printMedianRatio(reporter, label, store, bare, "bare sqlite3", 7);
    };
    print("Content store, favourites bulk insert of 10,000 rows in one transaction", "BM_Store_FavouritesInsert",
          "BM_Bare_FavouritesInsert");
    print("Content store, news read marks of a 10,000-item list (keyed selects)", "BM_Store_ReadMarks",
          "BM_Bare_ReadMarks");
    return 0;
}
