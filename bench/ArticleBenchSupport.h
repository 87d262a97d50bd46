#pragma once

#include "article/views/ArticleSchemeHandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

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
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ArticleSchemeHandler::registerScheme();
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
