// Ends its application object while main-queue work still holds the last reference to a URL
// session, as a program quitting right after starting a request does. The process must end on its
// own; the test that runs it treats a hang as the failure.
//
// Arguments: the case to run, and "gui" for a QGuiApplication (the default is QCoreApplication).
//   queued-session   a main-queue block holding the session is still waiting
//   queued-manager   a request manager was invalidated with its tasks cancelled, its clean-up
//                    still queued
//   delayed-session  a delayed main-queue block holding the session has not fired
//   running-task     as queued-session, with a task of the session running against a port that
//                    does not answer
//   qt-queued-session  the session is held by a functor queued with Qt's own invokeMethod rather
//                    than by the main queue
//   queued-object    a main-queue block holds the last reference to an object that has an event
//                    of its own still posted
//   sync-waiter      another thread waits in syncMain for a block the main thread never runs;
//                    it must be let go, and prints whether its block ran
//   pool-sync-waiter the same from a thread of the global pool, which the application object's
//                    destructor waits for
//   access-managers  as running-task, with an https task as well; prints how many access managers
//                    ended while the application object was still there, and how many after it
#include "networking/AFURLSessionManager.h"
#include "networking/URLSession.h"
#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QTcpServer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

// An https task of the access-managers case may still be in Qt's TLS set-up when the process
// ends; what that set-up holds is left to the exit and named by its frame in lsan.supp. OpenSSL
// keeps no frame pointers, so only the slow unwinder reaches that frame from its allocations.
extern "C" __attribute__((used)) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

namespace {

// Sessions whose destructor has run: one let go at the end must be deleted, not just forgotten.
std::atomic<int> g_sessionsDeleted{0};
// Access managers destroyed while the application object existed, and after it was gone.
int g_managersBefore = 0;
int g_managersAfter = 0;

void watch(URLSession* session)
{
    QObject::connect(session, &QObject::destroyed, [] { ++g_sessionsDeleted; });
}

void queueSession(const char* what, QTcpServer& silent)
{
    std::shared_ptr<URLSession> session = URLSession::create(URLSessionConfiguration::defaultSessionConfiguration());
    watch(session.get());
    const bool managers = std::strcmp(what, "access-managers") == 0;
    if (managers) {
        URLSession::setAccessManagerHook([](QNetworkAccessManager* manager) {
            QObject::connect(manager, &QObject::destroyed,
                             [] { ++(QCoreApplication::instance() != nullptr ? g_managersBefore : g_managersAfter); });
        });
    }
    if (managers || std::strcmp(what, "running-task") == 0) {
        URLRequest request;
        request.URL = QUrl(QStringLiteral("http://127.0.0.1:%1/slow").arg(silent.serverPort()));
        session->dataTaskWithRequest(request)->resume();
        if (managers) {
            request.URL.setScheme(QStringLiteral("https"));
            session->dataTaskWithRequest(request)->resume();
        }
        // Let the task reach the network before the application ends.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    if (std::strcmp(what, "delayed-session") == 0)
        dispatch::after(60000, [session = std::move(session)] {});
    else if (std::strcmp(what, "qt-queued-session") == 0)
        QMetaObject::invokeMethod(QCoreApplication::instance(), [session = std::move(session)] {}, Qt::QueuedConnection);
    else
        dispatch::asyncMain([session = std::move(session)] {});
}

int runCase(const char* what)
{
    if (std::strcmp(what, "queued-object") == 0) {
        auto object = std::make_shared<QObject>();
        QObject* const raw = object.get();
        dispatch::asyncMain([object = std::move(object)] {});
        // Posted after the block, so it is still pending when the block goes.
        QCoreApplication::postEvent(raw, new QEvent(QEvent::User));
        return 0;
    }
    QTcpServer silent;  // accepts, never answers
    if (!silent.listen(QHostAddress::LocalHost))
        return 2;
    if (std::strcmp(what, "queued-manager") == 0) {
        auto manager = std::make_shared<AFURLSessionManager>();
        watch(manager->session().get());
        manager->invalidateSessionCancelingTasks(true);
    } else if (std::strcmp(what, "queued-session") == 0 || std::strcmp(what, "delayed-session") == 0 ||
               std::strcmp(what, "qt-queued-session") == 0 || std::strcmp(what, "running-task") == 0 ||
               std::strcmp(what, "access-managers") == 0) {
        queueSession(what, silent);
    } else {
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const bool gui = argc > 2 && std::strcmp(argv[2], "gui") == 0;
    int result = 0;
    std::thread waiter;
    std::atomic<bool> ran{false};
    {
        std::unique_ptr<QCoreApplication> app;
        if (gui)
            app = std::make_unique<QGuiApplication>(argc, argv);
        else
            app = std::make_unique<QCoreApplication>(argc, argv);
        const bool pool = std::strcmp(argv[1], "pool-sync-waiter") == 0;
        if (pool || std::strcmp(argv[1], "sync-waiter") == 0) {
            auto wait = [&ran] { dispatch::syncMain([&ran] { ran = true; }); };
            if (pool)
                dispatch::asyncGlobal(wait);
            else
                waiter = std::thread(wait);
            // The main thread runs no event from here on; give the block time to be queued.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } else {
            result = runCase(argv[1]);
        }
    }
    if (waiter.joinable())
        waiter.join();
    if (std::strstr(argv[1], "sync-waiter") != nullptr)
        std::puts(ran ? "ran" : "dropped");
    if (std::strcmp(argv[1], "access-managers") == 0)
        std::printf("access managers ended before the application: %d, after it: %d\n", g_managersBefore,
                    g_managersAfter);
    std::printf("sessions deleted: %d\n", g_sessionsDeleted.load());
    std::puts(result == 0 ? "ended" : "bad case");
    return result;
}
