// The settings pages' cache size and cache clearing over 3,000 files in the six cache folders,
// against the plain Qt and sqlite3 calls doing the same work.

#include "BenchSupport.h"

#include "app/settings/CacheCleaner.h"
#include "database/CacheLayout.h"
#include "database/DatabaseOperate.h"
#include "database/StoreConnection.h"
#include "platform/StorageRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

constexpr int kFiles = 3000;
constexpr int kReadMarks = 200;

const char* const kFolders[] = {CacheLayout::kNewsListFolder,  CacheLayout::kSlideFolder,
                                CacheLayout::kCommentManageFolder, CacheLayout::kSingleNewsFolder,
                                CacheLayout::kHotProductDetailFolder, CacheLayout::kAdImageFolder};
const char* const kTables[] = {"NewsState",   "ForumState",          "ZefupState",
                               "HotCommentState", "NewsADState",     "NewsADDeleteState",
                               "SingleNewsLastUpdateTime", "SingleForumLastUpdateTime", "UserReadNews"};

QTemporaryDir& root()
{
    static QTemporaryDir dir;
    return dir;
}

// 3,000 files of 1 to 4 KiB spread over the six folders, a few in sub-folders.
void fillFolders()
{
    const QByteArray bytes(4096, 'x');
    for (int i = 0; i < kFiles; ++i) {
        QString folder = CacheLayout::folderPath(kFolders[i % 6]);
        if (i % 10 == 0)
            folder = QDir(folder).filePath(QStringLiteral("sub%1").arg(i % 3));
        QDir().mkpath(folder);
        QFile file(QDir(folder).filePath(QStringLiteral("f%1.xml").arg(i)));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes.constData(), 1024 + (i * 37) % 3072);
    }
}

void fillTables()
{
    DatabaseOperate::Lease store;
    if (!store)
        return;
    for (int i = 0; i < kReadMarks; ++i)
        store->setNewsState(QString::number(700000 + i), true, QStringLiteral("t"));
    store->setZefupState(QStringLiteral("77"), true);
    store->setNewsLastUpdateTime(QStringLiteral("Mon"), 1, QStringLiteral("700000"));
}

CacheCleaner& cleaner()
{
    // The ad-image and picture-memory owners have no counterpart on the bare side.
    static CacheCleaner c(CacheCleaner::Owners{[] {}, [] {}});
    return c;
}

void BM_Bare_Size(benchmark::State& state)
{
    for (auto _ : state) {
        int64_t total = 0;
        QDirIterator it(CacheLayout::cacheRoot(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            total += it.fileInfo().size();
        }
        benchmark::DoNotOptimize(total);
    }
}

void BM_Cleaner_Size(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(cleaner().getCacheFilesSize());
}

void BM_Bare_Clean(benchmark::State& state)
{
    const QByteArray dbPath = QDir(StorageRoot::documentsPath()).filePath(QLatin1String(kDatabaseFileName)).toUtf8();
    sqlite3* db = nullptr;
    sqlite3_open(dbPath.constData(), &db);
    for (auto _ : state) {
        state.PauseTiming();
        fillFolders();
        fillTables();
        state.ResumeTiming();
        for (int i = 0; i < 5; ++i) {
            const QString path = CacheLayout::folderPath(kFolders[i]);
            QDir(path).removeRecursively();
            QDir().mkpath(path);
        }
        for (const char* table : kTables)
            sqlite3_exec(db, (QByteArray("DELETE FROM ") + table).constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
}

void BM_Cleaner_Clean(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        fillFolders();
        fillTables();
        state.ResumeTiming();
        benchmark::DoNotOptimize(cleaner().cleanCaches());
    }
}

BENCHMARK(BM_Bare_Size)->Unit(benchmark::kMillisecond)->Repetitions(7);
BENCHMARK(BM_Cleaner_Size)->Unit(benchmark::kMillisecond)->Repetitions(7);
BENCHMARK(BM_Bare_Clean)->Unit(benchmark::kMillisecond)->Iterations(4)->Repetitions(7);
BENCHMARK(BM_Cleaner_Clean)->Unit(benchmark::kMillisecond)->Iterations(4)->Repetitions(7);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    StorageRoot::setRoot(root().path());
    fillFolders();
    fillTables();
    bench::FastestRunReporter reporter;
    if (!bench::runRegisteredBenchmarks(&argc, argv, &reporter))
        return 1;
    const auto print = [&](const char* label, const char* ours, const char* bare, const char* reference) {
        bench::printMedianRatio(reporter, label, ours, bare, reference, 7);
    };
    print("Cache size over 3,000 files in six folders", "BM_Cleaner_Size", "BM_Bare_Size", "bare QDirIterator sum");
    print("Cache clearing of the same, nine tables emptied", "BM_Cleaner_Clean", "BM_Bare_Clean",
          "bare removeRecursively, mkpath and sqlite3 DELETE");
    return 0;
}
