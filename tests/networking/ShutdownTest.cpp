// The application object ending while queued main-queue work still holds sessions and other
// objects: the process must end, and what the dropped work held must be deleted. Each case runs
// in a probe program of its own, killed when it does not end in time.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStringList>

namespace {

struct ShutdownCase
{
    const char* name;
    const char* application;  // "core" or "gui"
    // What the probe prints before its final "ended".
    const char* report;
};

class Shutdown : public testing::TestWithParam<ShutdownCase>
{
};

TEST_P(Shutdown, ProcessEndsAndDropsTheQueuedWork)
{
    const ShutdownCase& c = GetParam();
    QProcess probe;
    probe.start(QStringLiteral(TIDWEN_SESSION_TEARDOWN_PROBE),
                {QString::fromLatin1(c.name), QString::fromLatin1(c.application)});
    ASSERT_TRUE(probe.waitForStarted(10000));
    const bool ended = probe.waitForFinished(30000);
    if (!ended) {
        probe.kill();
        probe.waitForFinished(5000);
    }
    ASSERT_TRUE(ended) << c.name << ": the process hung while its application object was destroyed";
    const QByteArray out = probe.readAllStandardOutput();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << probe.readAllStandardError().right(2000).constData();
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().right(2000).constData();
    EXPECT_EQ(out, QByteArray(c.report) + "ended\n");
}

INSTANTIATE_TEST_SUITE_P(
    QueuedAtExit, Shutdown,
    testing::Values(
        // A main-queue block holds the last reference to a session.
        ShutdownCase{"queued-session", "core", "sessions deleted: 1\n"},
        ShutdownCase{"queued-session", "gui", "sessions deleted: 1\n"},
        // A request manager invalidated with its tasks cancelled right before quitting.
        ShutdownCase{"queued-manager", "core", "sessions deleted: 1\n"},
        ShutdownCase{"queued-manager", "gui", "sessions deleted: 1\n"},
        // A functor queued with Qt's own queued call, not through the main queue.
        ShutdownCase{"qt-queued-session", "core", "sessions deleted: 1\n"},
        ShutdownCase{"qt-queued-session", "gui", "sessions deleted: 1\n"},
        // A delayed block that has not fired yet.
        ShutdownCase{"delayed-session", "core", "sessions deleted: 1\n"},
        // The session has a request in flight.
        ShutdownCase{"running-task", "core", "sessions deleted: 1\n"},
        // Access managers, whose HTTP threads deliver events through the application object, end
        // before it does.
        ShutdownCase{"access-managers", "core",
                     "access managers ended before the application: 2, after it: 0\nsessions deleted: 1\n"},
        // A block holds an object that still has an event of its own posted.
        ShutdownCase{"queued-object", "core", "sessions deleted: 0\n"},
        // Another thread waits in syncMain for a block that never gets to run.
        ShutdownCase{"sync-waiter", "core", "dropped\nsessions deleted: 0\n"},
        // The same from a thread of the global pool, which the application's end waits for.
        ShutdownCase{"pool-sync-waiter", "core", "dropped\nsessions deleted: 0\n"},
        ShutdownCase{"pool-sync-waiter", "gui", "dropped\nsessions deleted: 0\n"}),
    [](const testing::TestParamInfo<ShutdownCase>& info) {
        std::string name = std::string(info.param.name) + "_" + info.param.application;
        for (char& ch : name)
            if (ch == '-')
                ch = '_';
        return name;
    });

}  // namespace
