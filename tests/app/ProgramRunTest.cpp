#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The built program, started as a user would (under the offscreen platform here), shows its
// window and ends cleanly when the window goes away (a session's end closes it with SIGTERM).
TEST(ProgramRun, StartsShowsItsWindowAndQuitsCleanly)
{
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../src/app/tidwen"));
    if (!QFileInfo::exists(program))
        GTEST_SKIP() << "the program is not built: " << program.toStdString();

    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.info=true"));
    // Nothing may leave this machine: any request goes to a port where nobody listens.
    env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("https_proxy"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=%1").arg(
        sourceFolder(__FILE__) + QStringLiteral("/fixtures/program_lsan.supp")));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {});
    ASSERT_TRUE(process.waitForStarted(10000));
    QByteArray log;
    // Running for a few seconds: it must not end on its own.
    EXPECT_FALSE(process.waitForFinished(4000)) << process.readAll().toStdString();
    log += process.readAll();
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(20000));
    log += process.readAll();

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << log.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << log.toStdString();
    EXPECT_TRUE(log.contains("main window: shown with the left bar and two panes")) << log.toStdString();
    EXPECT_TRUE(log.contains("tidwen: the event loop ended with 0")) << log.toStdString();
    EXPECT_FALSE(log.contains("ERROR: AddressSanitizer")) << log.toStdString();
    EXPECT_FALSE(log.contains("ERROR: LeakSanitizer")) << log.toStdString();
    EXPECT_FALSE(log.contains("runtime error:")) << log.toStdString();
    // Start-up read and wrote its stores in the user's folders.
    EXPECT_TRUE(QFileInfo::exists(home.filePath(QStringLiteral("data/tidwen/Documents/tidwenMAC.db"))));
}
