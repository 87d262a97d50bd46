#include "TestEnvironment.h"

#include "platform/Clock.h"
#include "platform/StorageRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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

QString sourceFolder(const char* sourceFile)
{
    const QString path = QString::fromUtf8(sourceFile);
    if (QDir::isAbsolutePath(path))
        return QFileInfo(path).absolutePath();
    // Test programs live in <build>/tests and the build runs the compiler in <build>.
    const QDir buildRoot(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    return QFileInfo(buildRoot.absoluteFilePath(path)).absolutePath();
}
