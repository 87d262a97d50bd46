#include "RoadFixture.h"

#include "EndImageLoads.h"
#include "TestEnvironment.h"
#include "article/views/RightViewController.h"
#include "networking/ReachabilityFlagsProvider.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/CenterViewController.h"
#include "platform/Clock.h"

#include "app/BeforeApplication.h"
#include "app/wiring/ProgramWiring.h"

#include <QApplication>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTemporaryDir>

namespace road {

std::unique_ptr<standin::StandinService> Road::s_service;
std::unique_ptr<AppDelegate> Road::s_delegate;
QString Road::s_setupProblem;
QList<FeedEntry> Road::s_feed;
qint64 Road::s_startMs = -1;

namespace {

// The network is up: a default route through a live interface, as far as the program can tell.
class NetworkUp : public ReachabilityFlagsProvider
{
public:
    bool getFlags(SCNetworkReachabilityFlags& flags) override
    {
        flags = kSCNetworkReachabilityFlagsReachable;
        return true;
    }
    bool setCallback(ChangeCallback) override { return true; }
    bool schedule() override { return true; }
    void unschedule() override {}
};

}  // namespace

QByteArray getThroughProxy(const QUrl& url)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::applicationProxy());
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    waitUntil([&] { return reply->isFinished(); }, 30000);
    return reply->isFinished() && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
}

QString standinSpki(const standin::StandinService& service)
{
    QTemporaryDir folder;
    const QString readyFile = folder.filePath(QStringLiteral("ready"));
    service.writeReadyFile(readyFile);
    QFile ready(readyFile);
    if (ready.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : ready.readAll().split('\n')) {
            if (line.startsWith("spki="))
                return QString::fromLatin1(line.mid(5));
        }
    }
    return QString();
}

standin::StandinOptions roadStandinOptions()
{
    standin::StandinOptions options;
    options.seed = 7;
    options.now = QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
    return options;
}

void pointProcessAtStandin(const standin::StandinService& service)
{
    // The web view takes its proxy and the stand-in's server key from its command line, read
    // when the first page is made. Both are known only once the stand-in's thread runs, so the
    // variable exists since before the first thread (the program's start sets it) and only its
    // value changes here: that replaces one entry of the environment array, which neither moves
    // nor frees the array under a thread reading it. As run.sh's, these flags come after the
    // program's own.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        ADD_FAILURE() << "QTWEBENGINE_CHROMIUM_FLAGS was not set before the first thread";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") +
                                              QStringLiteral(" --proxy-server=http://127.0.0.1:%1 --ignore-certificate-errors-spki-list=%2")
                                                  .arg(service.port())
                                                  .arg(standinSpki(service))
                                                  .toLatin1());
    QNetworkProxy::setApplicationProxy(service.proxy());
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificate(service.caCertificate());
    QSslConfiguration::setDefaultConfiguration(tls);
    ReachabilityFlagsProvider::setFactory(
        [](const ReachabilityTarget&) -> std::shared_ptr<ReachabilityFlagsProvider> { return std::make_shared<NetworkUp>(); });
    Clock::setNow(service.now());
}

void Road::SetUpTestSuite()
{
    // main gives the program the project's version, which the launch report names.
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1"));

    s_service = std::make_unique<standin::StandinService>(roadStandinOptions());
    if (!s_service->isListening()) {
        s_setupProblem = QStringLiteral("the stand-in did not start: ") + s_service->error();
        return;
    }

    pointProcessAtStandin(*s_service);

    s_feed = readFeedTitles(getThroughProxy(QUrl(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml"))));
    if (s_feed.size() != 20) {
        s_setupProblem = QStringLiteral("the stand-in's first channel has %1 items, not 20").arg(s_feed.size());
        return;
    }
    s_service->clearLog();

    s_delegate = std::make_unique<AppDelegate>();
    installProgramWiring(*s_delegate);
    // The composition asks for the platform's proxy settings; here the proxy is the stand-in.
    QNetworkProxy::setApplicationProxy(s_service->proxy());
    QElapsedTimer clock;
    clock.start();
    auto loginEnded = std::make_shared<bool>(false);
    QObject::connect(s_delegate.get(), &AppDelegate::automaticLoginEnded, s_delegate.get(), [loginEnded] { *loginEnded = true; });
    s_delegate->applicationDidFinishLaunching();
    waitUntil(
        [&] {
            CenterTableView* list = channelList(101);
            return list && list->model()->rowCount() >= 22;
        },
        30000);
    if (CenterTableView* list = channelList(101); list && list->model()->rowCount() >= 22)
        s_startMs = clock.elapsed();
    // The detail pane is made once the first list is on screen.
    if (!waitUntil([] { return detailPane() != nullptr; }, 30000))
        s_setupProblem = QStringLiteral("the detail pane was not made after the first list");
    // A login of a test's own that began while the start-up's automatic login runs would be turned
    // away as busy, as a user's would.
    if (!waitUntil([&] { return *loginEnded; }, 60000))
        s_setupProblem = QStringLiteral("the start-up's automatic login did not end");
}

void Road::TearDownTestSuite()
{
    s_delegate.reset();
    // Replies and cancellations still queued for the main thread run now, while the application
    // object can take the events their clean-up posts.
    spin(300);
    endImageLoads();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ReachabilityFlagsProvider::setFactory({});
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    Clock::reset();
    s_service.reset();
}

void Road::SetUp()
{
    if (!s_setupProblem.isEmpty())
        GTEST_SKIP() << qPrintable(s_setupProblem);
}

void Road::TearDown()
{
    if (s_service)
        s_service->clearFaults();
}

QWidget* Road::mainWindow()
{
    return s_delegate ? dynamic_cast<QWidget*>(s_delegate->MainWindowController()) : nullptr;
}

CenterViewController* Road::listColumn()
{
    QWidget* window = mainWindow();
    return window ? window->findChild<CenterViewController*>() : nullptr;
}

CenterTableView* Road::channelList(int64_t listId)
{
    QWidget* window = mainWindow();
    if (!window)
        return nullptr;
    for (CenterTableView* list : window->findChildren<CenterTableView*>()) {
        if (list->newslistData().iListID == listId)
            return list;
    }
    return nullptr;
}

RightViewController* Road::detailPane()
{
    QWidget* window = mainWindow();
    return window ? window->findChild<RightViewController*>() : nullptr;
}

int rowOfEntry(CenterTableView* list, qsizetype entryIndex)
{
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (model->data(index, CenterTableModel::RowKindRole).toInt() == NewsListRow::Item &&
            model->data(index, CenterTableModel::ItemIndexRole).toLongLong() == entryIndex)
            return row;
    }
    return -1;
}

void clickRow(CenterTableView* list, int row)
{
    clickIndex(list, list->model()->index(row, 0));
}

void clickIndex(QAbstractItemView* list, const QModelIndex& index)
{
    list->scrollTo(index);
    QApplication::processEvents();
    const QPoint at = list->visualRect(index).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &release);
}

QStringList itemTitles(CenterTableView* list)
{
    QStringList titles;
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (model->data(index, CenterTableModel::RowKindRole).toInt() == NewsListRow::Item)
            titles.append(model->data(index, Qt::DisplayRole).toString());
    }
    return titles;
}

}  // namespace road

namespace road {
namespace {
EnvironmentSnapshot gEnvironmentBeforeThreads;
}

const EnvironmentSnapshot& environmentBeforeThreads()
{
    return gEnvironmentBeforeThreads;
}

}  // namespace road

// As main does, before the application object starts the process's first threads.
void tidwenBeforeApplication()
{
    prepareBeforeApplication();
    road::gEnvironmentBeforeThreads = EnvironmentSnapshot::take();
}
