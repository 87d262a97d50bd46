// The shell's two start-up paths against the plain libraries doing the same work:
// - the server URL table and the start-up switches (UrlList_get + initGlobalVar) on a warm
//   database vs bare sqlite3 reading the same rows (the 100 URLs and one statement per setting);
// - building the main window up to its first paint, offscreen, vs a bare QWidget tree of the same
//   shape (a 70-wide strip with seven buttons beside a splitter of two panes), in paired rounds.
#include "BenchSupport.h"

#include "app/GlobalVarInit.h"
#include "app/views/MainWindowController.h"
#include "app/views/PaneFactory.h"
#include "database/DatabaseOperate.h"
#include "database/SettingsDatabaseOperate.h"
#include "platform/StorageRoot.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QSplitter>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// The settings keys start-up reads, each in its own statement as the store does.
const char* const kSettingKeys[] = {
    "AutoNightMode", "themeMode", "NightStartTime", "NightEndTime", "ReplyRemind", "OnlyShowPictureInWIFI",
    "NewsFullScreenMode", "UpdateNewsCountTiShi", "ShowMainViewTiShi", "ShowNewsViewTiShiNew", "Xiti",
    "DouZaiMai", "AllMute", "ClickPlay", "RefreshPlay", "SendPlay", "CoinPlay",
};

void shellStartupReads()
{
    {
        DatabaseOperate::Lease store;
        store->UrlList_get();
    }
    initGlobalVar();
}

// The same rows through bare sqlite3 on one open connection.
class BareReads
{
public:
    explicit BareReads(const QString& file)
    {
        sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    }
    ~BareReads() { sqlite3_close(m_db); }

    long long run()
    {
        long long bytes = 0;
        sqlite3_stmt* urls = nullptr;
        sqlite3_prepare_v2(m_db, "SELECT UrlName, ListUrl FROM UrlList1", -1, &urls, nullptr);
        while (sqlite3_step(urls) == SQLITE_ROW)
            bytes += sqlite3_column_bytes(urls, 1);
        sqlite3_finalize(urls);
        for (const char* key : kSettingKeys) {
            sqlite3_stmt* setting = nullptr;
            sqlite3_prepare_v2(m_db, "SELECT value FROM Settings where name = ?", -1, &setting, nullptr);
            sqlite3_bind_text(setting, 1, key, -1, SQLITE_STATIC);
            while (sqlite3_step(setting) == SQLITE_ROW)
                bytes += sqlite3_column_bytes(setting, 0);
            sqlite3_finalize(setting);
        }
        return bytes;
    }

private:
    sqlite3* m_db = nullptr;
};

BareReads& bareReads()
{
    static BareReads reads(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
    return reads;
}

// The two panes as plain widgets, as the bare tree has them; installed as the program installs
// its real panes.
class EmptyPanes : public PaneFactory
{
public:
    QWidget* makeCenterViewController(QWidget* parent) override { return new QWidget(parent); }
    QWidget* makeRightViewController(QWidget* parent) override { return new QWidget(parent); }
};

// What the event loop delivers between building a window and its first paint (the constraint
// layout's pass among it), the same for both trees.
void deliverPendingEvents()
{
    QCoreApplication::sendPostedEvents();
}

void buildMainWindow()
{
    MainWindowController window;
    window.resize(1280, 800);
    deliverPendingEvents();
    const QImage shot = window.grab().toImage();
    benchmark::DoNotOptimize(shot.constBits());
}

void buildBareTree()
{
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* strip = new QWidget(&window);
    strip->setFixedWidth(70);
    for (int i = 0; i < 7; ++i)
        new QPushButton(strip);
    auto* split = new QSplitter(&window);
    split->addWidget(new QWidget(split));
    split->addWidget(new QWidget(split));
    layout->addWidget(strip);
    layout->addWidget(split, 1);
    window.resize(1280, 800);
    deliverPendingEvents();
    const QImage shot = window.grab().toImage();
    benchmark::DoNotOptimize(shot.constBits());
}

void BM_ShellStartupReads(benchmark::State& state)
{
    for (auto _ : state)
        shellStartupReads();
}
BENCHMARK(BM_ShellStartupReads)->Unit(benchmark::kMicrosecond);

void BM_BareSqliteReads(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(bareReads().run());
}
BENCHMARK(BM_BareSqliteReads)->Unit(benchmark::kMicrosecond);

// The first-paint comparison is not left to the library's loop: it runs one side's whole
// measurement after the other's, so a change of the machine's load between them moves the ratio.
// Here the two sides alternate in short paired rounds (which goes first alternates too) and the
// figure is the median of the per-round ratios; wall time and this thread's CPU time are both
// kept, the CPU time being what other processes' load cannot stretch.
struct Timing
{
    double wall = 0;  // seconds per build
    double cpu = 0;
};

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <typename Job>
Timing timeBatch(Job job, int builds)
{
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    for (int i = 0; i < builds; ++i)
        job();
    const double cpu = threadCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    return {wall / builds, cpu / builds};
}

struct PaintComparison
{
    Timing shell, bare;       // medians over the rounds, per build
    double wallRatio = 0;     // median of the rounds' shell / bare ratios
    double cpuRatio = 0;
    int rounds = 0;
    int buildsPerRound = 0;
};

PaintComparison comparePaints(int rounds, int buildsPerRound)
{
    std::vector<double> shellWall, bareWall, shellCpu, bareCpu, wallRatios, cpuRatios;
    for (int round = 0; round < rounds; ++round) {
        Timing shell, bare;
        if (round % 2 == 0) {
            shell = timeBatch(buildMainWindow, buildsPerRound);
            bare = timeBatch(buildBareTree, buildsPerRound);
        } else {
            bare = timeBatch(buildBareTree, buildsPerRound);
            shell = timeBatch(buildMainWindow, buildsPerRound);
        }
        shellWall.push_back(shell.wall);
        bareWall.push_back(bare.wall);
        shellCpu.push_back(shell.cpu);
        bareCpu.push_back(bare.cpu);
        wallRatios.push_back(shell.wall / bare.wall);
        cpuRatios.push_back(bare.cpu > 0 ? shell.cpu / bare.cpu : 0);
    }
    PaintComparison result;
    result.shell = {bench::median(shellWall), bench::median(shellCpu)};
    result.bare = {bench::median(bareWall), bench::median(bareCpu)};
    result.wallRatio = bench::median(wallRatios);
    result.cpuRatio = bench::median(cpuRatios);
    result.rounds = rounds;
    result.buildsPerRound = buildsPerRound;
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;
    StorageRoot::setRoot(root.path());
    PaneFactory::install(std::make_shared<EmptyPanes>());
    // Warm: the tables exist and every default row is stored.
    shellStartupReads();
    buildMainWindow();

    bench::FastestRunReporter reporter;
    if (!bench::runRegisteredBenchmarks(&argc, argv, &reporter))
        return 1;
    const double reads = reporter.ratio("BM_ShellStartupReads", "BM_BareSqliteReads");
    std::printf("URL table + start-up switches / bare sqlite3: %.2fx (target <= 2)\n", reads);

    // Warm both trees up alike before the paired rounds.
    comparePaints(4, 10);
    const PaintComparison paint = comparePaints(101, 20);
    std::printf("first paint per build, medians of %d paired rounds of %d: main window %.3f ms wall, %.3f ms CPU; "
                "bare widget tree %.3f ms wall, %.3f ms CPU\n",
                paint.rounds, paint.buildsPerRound, paint.shell.wall * 1e3, paint.shell.cpu * 1e3,
                paint.bare.wall * 1e3, paint.bare.cpu * 1e3);
    std::printf("main window to first paint / bare widget tree: %.2fx wall, %.2fx CPU (target <= 1.5)\n",
                paint.wallRatio, paint.cpuRatio);
    return 0;
}
