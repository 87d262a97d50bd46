#pragma once

#include "article/views/ArticleSchemeHandler.h"
#include "database/ServerUrls.h"
#include "platform/ProcessEnvironment.h"
#include "platform/StorageRoot.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>

namespace bench {

// What a benchmark with article web views needs before its application exists: no sandbox (the
// runs are root in CI), the offscreen platform unless one is asked for, GL contexts shared with the
// widgets, and the article page's own scheme.
inline void prepareArticleWebProcess()
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The benchmark's servers and Qt's network threads read the environment while the first web
    // view is made, which adds a variable of the engine's.
    processenvironment::completeBeforeThreads();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ArticleSchemeHandler::registerScheme();
}

// The application of such a benchmark: the web process prepared before it exists, and a storage
// root of its own for the article cache, removed before the application ends.
class ArticleBenchApplication
{
public:
    ArticleBenchApplication(int& argc, char** argv) : m_application(argc, argv) { StorageRoot::setRoot(m_root.path()); }

private:
    struct Prepared
    {
        Prepared() { prepareArticleWebProcess(); }
    };

    Prepared m_prepared;
    QApplication m_application;
    QTemporaryDir m_root;
};

// Every server address of the program on a closed loopback port, paths kept: no request leaves
// the machine and every load falls back to what is cached.
inline void pointServersAtClosedPort()
{
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
        if (QString* global = ServerUrls::global(number))
            *global = QStringLiteral("http://127.0.0.1:9") + QUrl(ServerUrls::builtInValue(number)).path();
    }
}

// Runs the event loop until done() holds; false after timeoutMs.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Cancelled requests end on the event loop; they must not be left for the application's teardown.
inline void drainEvents()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace bench
