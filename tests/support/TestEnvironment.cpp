#include "TestEnvironment.h"

#include "platform/Clock.h"
#include "platform/StorageRoot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

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

void TestEnvironment::TearDown()
{
    StorageRoot::setRoot(QString());
    delete m_root;
    m_root = nullptr;
}

QString TestEnvironment::rootPath()
{
    return gRootPath;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
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

void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}
