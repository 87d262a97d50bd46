#include "app/AppDelegate.h"
#include "app/BeforeApplication.h"
#include "app/QtTranslations.h"
#include "app/wiring/ProgramWiring.h"
#include "ui/web/WebViewGraphics.h"

#include <QApplication>
#include <QNetworkProxyFactory>
#include <QSocketNotifier>
#include <QWidget>

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

// A session's end (SIGTERM) or Ctrl+C closes the main window, which ends the program normally;
// before the window is up the loop just ends.
void closeWindowsOnTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(gSignalPipe[1], &byte, 1);
        // As the reader's closing it: the main window goes, and the program with it.
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

// The composition root: makes the application, then runs the program on it (runProgram: the
// delegate, the wiring of each folder's interfaces, start-up once the event loop runs).
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
    installQtTranslations();
    // Closing the last window ends the process; there is no shutdown work.
    QApplication::setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    // The platform's proxy settings, as the system's own network layer would use them.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    closeWindowsOnTerminationSignals();

    return runProgram();
}
