#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <source_location>

#include <gtest/gtest.h>

// Every test runs with the storage root in a fresh temporary folder and a running clock.
class TestEnvironment : public ::testing::Environment
{
public:
    void SetUp() override;
    void TearDown() override;

    static QString rootPath();

private:
    QTemporaryDir* m_root = nullptr;
};

// Aborts every reply of the application's access managers and waits until they are deleted: a
// reply still running when the application object goes leaves Qt's network thread objects behind.
void endRepliesStillRunning();

// The folder of a test's source file, given its __FILE__: also when the compiler was handed a
// path relative to the build folder (a compiler cache that shares objects between checkouts
// rewrites paths so).
QString sourceFolder(const char* sourceFile);

// Spins the Qt event loop until the condition holds or the time runs out; true when it held.
// The deadline is generous (a machine three times slower, under sanitizers, beside a build):
// a wait that holds ends at once. One that runs out names the condition's place on stderr.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000,
               std::source_location where = std::source_location::current());

// Waits (spinning the event loop) until everything queued for the main thread before the call has
// run: the blocks sent with dispatch::asyncMain and the events posted so far. After it, a check
// that some queued work changed nothing cannot pass only because that work had not had its turn.
bool drainMainQueue(std::source_location where = std::source_location::current());

// Lets the event loop run for the whole time: for checks that nothing more happens meanwhile,
// after a wait on a state that proves the work that could break them has run.
void spin(int ms);
