#include "TestEnvironment.h"
#include "platform/ProcessEnvironment.h"

#include <QApplication>

#include <openssl/crypto.h>

#include <ctime>

#include <gtest/gtest.h>

// A test program that must act before the application object exists (registering a URL scheme,
// for one) defines this; the others get the empty default.
__attribute__((weak)) void tidwenBeforeApplication() {}

int main(int argc, char** argv)
{
    // Widgets, fonts and alert sheets need a GUI application; tests never need a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Times and texts read the same on every machine; the web engine's sandbox cannot start as
    // root, which is how the tests run in CI.
    qputenv("TZ", "UTC");
    ::tzset();
    qputenv("LC_ALL", "C.UTF-8");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Servers, workers and the application object start threads: the environment is complete
    // before them.
    processenvironment::completeBeforeThreads();
    // The web view shares its GL contexts with the widgets; Qt wants this before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Qt's own network threads (the one that loads the system's root certificates, for one) may
    // still be decoding when a short test returns; OpenSSL's exit handler would free the tables
    // under them. Its state stays until the process is gone instead.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    tidwenBeforeApplication();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new TestEnvironment);
    return RUN_ALL_TESTS();
}
