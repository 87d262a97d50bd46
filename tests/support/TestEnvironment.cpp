#include "TestEnvironment.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/StorageRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>

#include <cstdio>
#include <memory>

namespace {
QString gRootPath;
}

void TestEnvironment::SetUp()
{
    m_root = new QTemporaryDir();
    gRootPath = m_root->path();
    StorageRoot::setRoot(gRootPath);
    Clock::reset();
}

void endRepliesStillRunning()
{
    if (!qApp)
        return;
    for (QNetworkReply* reply : qApp->findChildren<QNetworkReply*>())
        reply->abort();
    // Finished replies go by deferred deletion, which a wait outside the event loop must ask for.
    const auto repliesLeft = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList urls;
        for (QNetworkReply* reply : qApp->findChildren<QNetworkReply*>())
            urls.append(reply->url().toString());
        return urls;
    };
    if (!waitUntil([&] { return repliesLeft().isEmpty(); }, 30000))
        std::fprintf(stderr, "replies still there at the end: %s\n", qPrintable(repliesLeft().join(QLatin1Char(' '))));
}

void TestEnvironment::TearDown()
{
    // A reply cut off by its access manager's destruction at exit leaves the network thread's
    // objects behind, which the leak check would report against whichever test ran last.
    endRepliesStillRunning();
    // The application's access managers go now, while events still run: one destroyed with the
    // application object waits only five seconds for its network thread to end, and on a loaded
    // machine leaves the thread and everything in it behind when that is not enough. The program's
    // code makes a new one should anything still ask.
    if (qApp) {
        qDeleteAll(qApp->findChildren<QNetworkAccessManager*>(Qt::FindDirectChildrenOnly));
        // A network thread that ended late is deleted on its own finished signal.
        spin(100);
    }
    StorageRoot::setRoot(QString());
    delete m_root;
    m_root = nullptr;
}

QString TestEnvironment::rootPath()
{
    return gRootPath;
}

namespace {

// Runs the event loop until the condition holds or the time is up.
bool spinUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs, std::source_location where)
{
    if (spinUntil(condition, timeoutMs))
        return true;
    std::fprintf(stderr, "waitUntil: the condition at %s:%u did not hold within %d ms\n", where.file_name(),
                 static_cast<unsigned>(where.line()), timeoutMs);
    return false;
}

bool drainMainQueue(std::source_location where)
{
    // The main queue and posted events run in the order they were queued, so a marker queued now
    // runs after all that came before it.
    const auto markerRan = std::make_shared<bool>(false);
    dispatch::asyncMain([markerRan] { *markerRan = true; });
    return waitUntil([markerRan] { return *markerRan; }, 20000, where);
}

void spin(int ms)
{
    spinUntil([] { return false; }, ms);
}

QString sourceFolder(const char* sourceFile)
{
    const QString path = QString::fromUtf8(sourceFile);
    if (QDir::isAbsolutePath(path))
        return QFileInfo(path).absolutePath();
    // Test programs live in <build>/tests and the build runs the compiler in <build>.
    const QDir buildRoot(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    return QFileInfo(buildRoot.absoluteFilePath(path)).absolutePath();
}
