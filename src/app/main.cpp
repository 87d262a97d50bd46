#include "app/AppDelegate.h"
#include "app/BeforeApplication.h"
#include "app/wiring/ProgramWiring.h"
#include "ui/web/WebViewGraphics.h"

#include <QApplication>
#include <QNetworkProxyFactory>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[0], &byte, 1);
}

// A session's end (SIGTERM) or Ctrl+C closes the windows, which ends the program normally.
void closeWindowsOnTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(gSignalPipe[1], &byte, 1);
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

// The composition root: makes the application and its delegate, installs into each folder's
// interfaces the implementations of the folders beside it, and queues the start-up sequence for
// the moment the event loop runs.
// Runs what is still queued for the main thread (and the deletions it leads to) while the
// application object still exists, so nothing is left for its teardown to destroy.
static void drainMainQueue()
{
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

int main(int argc, char* argv[])
{
    // As root the web view's sandbox cannot start, and the web engine then ends the process with
    // nothing on screen: say why, and how to start, before it does.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")
        && !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QStringLiteral("--no-sandbox")))
        std::fprintf(stderr, "tidwen: running as root, the web view cannot start with its sandbox on; "
                             "start it with QTWEBENGINE_DISABLE_SANDBOX=1 (scripts/run.sh does)\n");
    prepareBeforeApplication();
    QApplication app(argc, argv);
    // Before the first web view: how the web views, and the window that shows one, draw.
    webgraphics::choose();
    QApplication::setApplicationName(QStringLiteral("Tidwen"));
    QApplication::setOrganizationName(QStringLiteral("Korvask"));
    QApplication::setApplicationVersion(QStringLiteral(TIDWEN_VERSION));
    // Closing the last window ends the process; there is no shutdown work.
    QApplication::setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    // The platform's proxy settings, as the system's own network layer would use them.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    closeWindowsOnTerminationSignals();

    int status = 0;
    {
        AppDelegate delegate;
        installProgramWiring(delegate);
        QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
        status = QApplication::exec();
        qInfo("tidwen: the event loop ended with %d", status);
        drainMainQueue();
    }
    drainMainQueue();
    return status;
}
