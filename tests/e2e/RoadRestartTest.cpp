// The program started again on the storage of an earlier run, as a user starts it every day: the
// cached list shows at once and its first article opens, the server is still asked (HEAD), and
// the read marks of the earlier runs stay, also after a run that was killed during a refresh.

#include "RoadFixture.h"

#include "TestEnvironment.h"
#include "app/AppDelegate.h"
#include "app/wiring/ProgramWiring.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "newslist/CenterTableModel.h"
#include "newslist/NewsRowStyle.h"
#include "newslist/views/CenterTableView.h"
#include "platform/StorageRoot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QNetworkProxy>
#include <QProcess>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>
#include <cstdio>
#include <memory>

#ifndef TIDWEN_PROGRAM_PATH
#define TIDWEN_PROGRAM_PATH ""  // a build without the program
#endif

namespace road {
namespace {

const QString kNewsHost = QStringLiteral("api.tidwen.example");
const QString kListPath = QStringLiteral("/xml/newslist/news\\.xml(\\?.*)?");

// Runs what the event loop still holds, as main does once its loop ends.
void drainEvents()
{
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// One run of the program in this process, made as main makes it: the delegate, the program's own
// wiring, then start-up. Ending it destroys the window and all it made.
class ProgramRun
{
public:
    explicit ProgramRun(const standin::StandinService& service)
    {
        m_clock.start();
        m_delegate = std::make_unique<AppDelegate>();
        installProgramWiring(*m_delegate);
        // The wiring asks for the platform's proxy settings; here the proxy is the stand-in.
        QNetworkProxy::setApplicationProxy(service.proxy());
        m_delegate->applicationDidFinishLaunching();
    }
    ~ProgramRun() { end(); }

    void end()
    {
        m_delegate.reset();
        drainEvents();
    }

    qint64 elapsedMs() const { return m_clock.elapsed(); }

    QWidget* window() const { return m_delegate ? dynamic_cast<QWidget*>(m_delegate->MainWindowController()) : nullptr; }

    CenterTableView* list(int64_t listId) const
    {
        QWidget* main = window();
        for (CenterTableView* view : main ? main->findChildren<CenterTableView*>() : QList<CenterTableView*>()) {
            if (view->newslistData().iListID == listId)
                return view;
        }
        return nullptr;
    }

    RightViewController* pane() const
    {
        QWidget* main = window();
        return main ? main->findChild<RightViewController*>() : nullptr;
    }

    QString heading() const
    {
        RightViewController* detail = pane();
        QWebEnginePage* page = detail && detail->webView() ? detail->webView()->page() : nullptr;
        return page ? runScript(page, QStringLiteral("(function(){var h=document.querySelector('h1');return h?h.innerText:'';})()"))
                          .toString()
                    : QString();
    }

    bool waitForHeading(const QString& title, int timeoutMs = 30000) const
    {
        return waitUntil([&] { return heading() == title; }, timeoutMs);
    }

private:
    QElapsedTimer m_clock;
    std::unique_ptr<AppDelegate> m_delegate;
};

int itemRows(CenterTableView* list)
{
    return list ? int(itemTitles(list).size()) : 0;
}

// Pixels of the row's picture in exactly that colour: a title drawn in it has many.
int pixelsOfColour(CenterTableView* list, int row, const QColor& colour)
{
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QApplication::processEvents();
    const QImage picture = list->viewport()->grab(list->visualRect(index)).toImage();
    int count = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            count += picture.pixelColor(x, y).rgb() == colour.rgb() ? 1 : 0;
    }
    return count;
}

// The program's storage seen by another process through the XDG folders it reads: the data,
// cache and config folders each hold a "tidwen" link to this process's storage root.
QProcessEnvironment childEnvironment(const standin::StandinService& service, const QString& xdgBase)
{
    const QString root = TestEnvironment::rootPath();
    const struct
    {
        const char* variable;
        const char* folder;
        QString target;
    } links[] = {
        {"XDG_DATA_HOME", "data", root},  // <data>/tidwen/Documents
        {"XDG_CACHE_HOME", "cache", root + QStringLiteral("/Caches")},
        {"XDG_CONFIG_HOME", "config", root + QStringLiteral("/Preferences")},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& link : links) {
        const QString home = xdgBase + QLatin1Char('/') + QLatin1String(link.folder);
        QDir().mkpath(home);
        QDir().mkpath(link.target);
        QFile::link(link.target, home + QStringLiteral("/tidwen"));
        env.insert(QLatin1String(link.variable), home);
    }
    const QString proxy = QStringLiteral("http://127.0.0.1:%1").arg(service.port());
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
        env.insert(QLatin1String(name), proxy);
    env.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1,localhost"));
    env.insert(QStringLiteral("SSL_CERT_DIR"), service.caFolder());
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               QStringLiteral("--proxy-server=%1 --ignore-certificate-errors-spki-list=%2").arg(proxy, standinSpki(service)));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    return env;
}

// The floor of a warm start: a bare window with a list of the same titles, made and painted.
qint64 bareWindowMs(const QStringList& titles)
{
    QElapsedTimer clock;
    clock.start();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new QListView(&window);
    view->setModel(new QStringListModel(titles, view));
    layout->addWidget(view);
    window.resize(1300, 900);
    window.show();
    QApplication::processEvents();
    view->viewport()->grab();
    return clock.elapsed();
}

#ifdef __SANITIZE_ADDRESS__
constexpr const char* kBuildKind = " [sanitized build: slower than the program]";
#else
constexpr const char* kBuildKind = "";
#endif

}  // namespace

TEST(RoadRestart, EveryLaterStartShowsTheCachedListAndKeepsTheReadMarks)
{
    // The web engine reads its proxy once per process: this test's stand-in would be the one the
    // other road tests' pages talk to. ctest gives every test a process of its own.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
        GTEST_SKIP() << "runs only in a process of its own (--gtest_filter=RoadRestart.*)";
    standin::StandinService service(roadStandinOptions());
    ASSERT_TRUE(service.isListening()) << qPrintable(service.error());
    pointProcessAtStandin(service);
    const QList<FeedEntry> feed =
        readFeedTitles(getThroughProxy(QUrl(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml"))));
    ASSERT_EQ(feed.size(), 20) << "the stand-in's first channel";
    QStringList titles;
    for (const FeedEntry& entry : feed)
        titles.append(entry.title);

    // First start, empty storage: the list from the network, its first article, then row two.
    qint64 coldMs = -1;
    {
        ProgramRun run(service);
        ASSERT_TRUE(waitUntil([&] { return itemRows(run.list(101)) == 20; }, 30000)) << "the first start shows no list";
        coldMs = run.elapsedMs();
        ASSERT_TRUE(run.waitForHeading(feed.at(0).title)) << "the first article did not open by itself";
        clickRow(run.list(101), rowOfEntry(run.list(101), 1));
        ASSERT_TRUE(run.waitForHeading(feed.at(1).title)) << "row two did not open";
    }

    // Second start on the same storage: the cached rows are there when start-up returns.
    service.clearLog();
    qint64 warmMs = -1;
    {
        ProgramRun run(service);
        ASSERT_NE(run.window(), nullptr) << "no main window on the second start";
        EXPECT_EQ(itemTitles(run.list(101)), titles) << "the cached list is not shown at once";
        run.list(101)->viewport()->grab();
        warmMs = run.elapsedMs();
        EXPECT_TRUE(run.waitForHeading(feed.at(0).title)) << "the first article did not open; the page shows \""
                                                          << qPrintable(run.heading()) << "\"";
        EXPECT_TRUE(waitForRequest(service, QStringLiteral("HEAD"), kNewsHost, kListPath, 0, 30000))
            << "the server was not asked whether the list changed:\n"
            << qPrintable(describeRequests(service, 0));
    }
    const qint64 floorMs = bareWindowMs(titles);
    std::printf("[road figure] start to the first list: first start %lld ms (from the network), second start %lld ms "
                "(from the cache; goal: under 250 ms), a bare window with the same list %lld ms%s\n",
                static_cast<long long>(coldMs), static_cast<long long>(warmMs), static_cast<long long>(floorMs), kBuildKind);
    std::fflush(stdout);

    // The built program, on the same storage, killed while it refreshes the list: the list has
    // changed and its download never answers.
    ASSERT_FALSE(QStringLiteral(TIDWEN_PROGRAM_PATH).isEmpty());
    service.publish(2);
    ASSERT_TRUE(service.addFault(QStringLiteral("GET api.tidwen.example /xml/newslist/news.xml* 0 silent")));
    service.clearLog();
    QTemporaryDir xdg;
    QProcess child;
    child.setProcessEnvironment(childEnvironment(service, xdg.path()));
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral(TIDWEN_PROGRAM_PATH), {});
    ASSERT_TRUE(child.waitForStarted(30000)) << qPrintable(child.errorString());
    const auto get = waitForRequest(service, QStringLiteral("GET"), kNewsHost, kListPath, 0, 60000);
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished(30000);
    ASSERT_TRUE(get) << "the killed run never refreshed the list:\n"
                     << qPrintable(describeRequests(service, 0)) << "\nits output:\n"
                     << child.readAll().right(4000).constData();

    // Third start: the cached list again, its first article, the HEAD, and both read marks. The
    // changed list still never arrives, so the rows checked stay those of the cache.
    service.clearLog();
    {
        ProgramRun run(service);
        CenterTableView* list = run.list(101);
        ASSERT_NE(list, nullptr) << "no list on the start after the kill";
        EXPECT_EQ(itemTitles(list), titles) << "the cached list is not shown at once after the kill";
        // Before the changed list arrives: row one is selected, row two was read in the first run,
        // row three never.
        const QColor read = NewsRowStyle::newsTitleColor(true, true, false, QString());
        const int secondRow = rowOfEntry(list, 1);
        const int thirdRow = rowOfEntry(list, 2);
        ASSERT_GE(secondRow, 0);
        ASSERT_GE(thirdRow, 0);
        // The edges of dark glyphs have a few pixels of that grey too; a whole title has many.
        const int readPixels = pixelsOfColour(list, secondRow, read);
        const int unreadPixels = pixelsOfColour(list, thirdRow, read);
        EXPECT_GT(readPixels, 40) << "row two is not drawn in the read colour";
        EXPECT_LT(unreadPixels * 5, readPixels) << "row three, never read, is drawn in the read colour";
        EXPECT_TRUE(run.waitForHeading(feed.at(0).title)) << "the page shows \"" << qPrintable(run.heading()) << "\"";
        EXPECT_TRUE(waitForRequest(service, QStringLiteral("HEAD"), kNewsHost, kListPath, 0, 30000))
            << qPrintable(describeRequests(service, 0));
    }
    service.clearFaults();
}

}  // namespace road
