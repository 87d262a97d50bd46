// The access layer against bare prepared sqlite3 statements doing the same work: 10,000 inserts in
// one transaction, and 10,000 selects by key. Both sides start from the same QString values and
// hand back QStrings, as a caller in this program would. The file is written without a disk flush
// per commit (synchronous = OFF) so that the statements, not the disk, are measured.
#include "BenchSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 10000;

const QString kCreate = QStringLiteral("CREATE TABLE IF NOT EXISTS items (id INTEGER PRIMARY KEY, name TEXT, score REAL)");
const QString kInsert = QStringLiteral("INSERT INTO items (id, name, score) VALUES (?, ?, ?)");
const QString kSelect = QStringLiteral("SELECT name, score FROM items WHERE id = ?");

struct Fixture
{
    QTemporaryDir dir;
    QStringList names;
    std::vector<int> keys;  // every id once, in a random order

    Fixture()
    {
        for (int i = 0; i < kRows; ++i)
            names << QStringLiteral("item name number %1").arg(i);
        keys.resize(kRows);
        for (int i = 0; i < kRows; ++i)
            keys[i] = i;
        std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    }

    QString path(const char* name) const { return QDir(dir.path()).filePath(QString::fromLatin1(name)); }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

std::shared_ptr<FMDatabase> openLayer(const char* name, bool cached)
{
    auto db = FMDatabase::databaseWithPath(fixture().path(name));
    db->open();
    db->executeUpdate(QStringLiteral("PRAGMA synchronous = OFF"));
    db->executeUpdate(kCreate);
    db->setShouldCacheStatements(cached);
    return db;
}

sqlite3* openBare(const char* name)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(fixture().path(name)).constData(), &db);
    sqlite3_exec(db, "PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
    sqlite3_exec(db, kCreate.toUtf8().constData(), nullptr, nullptr, nullptr);
    return db;
}

sqlite3_stmt* prepareBare(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
    return statement;
}

void fillLayer(FMDatabase& db)
{
    const QStringList& names = fixture().names;
    db.beginTransaction();
    for (int i = 0; i < kRows; ++i)
        db.executeUpdate(kInsert, {i, names[i], i * 0.5});
    db.commit();
}

void fillBare(sqlite3* db)
{
    const QStringList& names = fixture().names;
    sqlite3_stmt* insert = prepareBare(db, kInsert);
    sqlite3_exec(db, "begin exclusive transaction", nullptr, nullptr, nullptr);
    for (int i = 0; i < kRows; ++i) {
        const QByteArray name = names[i].toUtf8();
        sqlite3_bind_int64(insert, 1, i);
        sqlite3_bind_text(insert, 2, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 3, i * 0.5);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_exec(db, "commit transaction", nullptr, nullptr, nullptr);
    sqlite3_finalize(insert);
}

void layerInsert(benchmark::State& state, bool cached)
{
    auto db = openLayer(cached ? "layer-insert-cached.db" : "layer-insert.db", cached);
    for (auto _ : state) {
        state.PauseTiming();
        db->executeUpdate(QStringLiteral("DELETE FROM items"));
        state.ResumeTiming();
        fillLayer(*db);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Layer_Insert(benchmark::State& state) { layerInsert(state, true); }
void BM_LayerUncached_Insert(benchmark::State& state) { layerInsert(state, false); }

void BM_Bare_Insert(benchmark::State& state)
{
    sqlite3* db = openBare("bare-insert.db");
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_exec(db, "DELETE FROM items", nullptr, nullptr, nullptr);
        state.ResumeTiming();
        fillBare(db);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    sqlite3_close(db);
}

void layerSelect(benchmark::State& state, bool cached)
{
    auto db = openLayer(cached ? "layer-select-cached.db" : "layer-select.db", cached);
    db->executeUpdate(QStringLiteral("DELETE FROM items"));
    fillLayer(*db);
    for (auto _ : state) {
        for (const int key : fixture().keys) {
            const std::shared_ptr<FMResultSet> rs = db->executeQuery(kSelect, {key});
            rs->next();
            QString name = rs->stringForColumnIndex(0);
            double score = rs->doubleForColumnIndex(1);
            benchmark::DoNotOptimize(name);
            benchmark::DoNotOptimize(score);
            rs->close();
        }
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Layer_Select(benchmark::State& state) { layerSelect(state, true); }
void BM_LayerUncached_Select(benchmark::State& state) { layerSelect(state, false); }

void BM_Bare_Select(benchmark::State& state)
{
    sqlite3* db = openBare("bare-select.db");
    sqlite3_exec(db, "DELETE FROM items", nullptr, nullptr, nullptr);
    fillBare(db);
    sqlite3_stmt* select = prepareBare(db, kSelect);
    for (auto _ : state) {
        for (const int key : fixture().keys) {
            sqlite3_bind_int64(select, 1, key);
            sqlite3_step(select);
            QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)),
                                             sqlite3_column_bytes(select, 0));
            double score = sqlite3_column_double(select, 1);
            benchmark::DoNotOptimize(name);
            benchmark::DoNotOptimize(score);
            sqlite3_reset(select);
        }
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    sqlite3_finalize(select);
    sqlite3_close(db);
}

// Each runs five times; the ratios compare the medians of the five.
#define FMDB_BENCHMARK(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(5)
FMDB_BENCHMARK(BM_Bare_Insert);
FMDB_BENCHMARK(BM_Layer_Insert);
FMDB_BENCHMARK(BM_LayerUncached_Insert);
FMDB_BENCHMARK(BM_Bare_Select);
FMDB_BENCHMARK(BM_Layer_Select);
FMDB_BENCHMARK(BM_LayerUncached_Select);

void printRatio(const bench::FastestRunReporter& reporter, const char* label, const std::string& layer,
                const std::string& bare)
{
    bench::printMedianRatio(reporter, label, layer, bare, "bare sqlite3", 5);
}

}  // namespace

int main(int argc, char** argv)
{
    bench::FastestRunReporter reporter;
    if (!bench::runRegisteredBenchmarks(&argc, argv, &reporter))
        return 1;
    printRatio(reporter, "FMDatabase, 10,000 inserts in one transaction (statement cache on)", "BM_Layer_Insert",
                        "BM_Bare_Insert");
    printRatio(reporter, "FMDatabase, 10,000 keyed selects (statement cache on)", "BM_Layer_Select", "BM_Bare_Select");
    printRatio(reporter, "FMDatabase, 10,000 inserts in one transaction (cache off, as the stores run)",
                        "BM_LayerUncached_Insert", "BM_Bare_Insert");
    printRatio(reporter, "FMDatabase, 10,000 keyed selects (cache off, as the stores run)", "BM_LayerUncached_Select",
                        "BM_Bare_Select");
    return 0;
}
