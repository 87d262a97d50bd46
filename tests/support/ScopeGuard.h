#pragma once

// Scope guards for tests that change process-wide state (globals, installed instances, the clock,
// the message handler): the state comes back when the scope ends, also when an ASSERT leaves the
// test early, so a failing test cannot leak its changes into the next one.

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <type_traits>
#include <utility>

// Runs its action once, when it goes out of scope.
template <typename Action>
class ScopeExit
{
public:
    explicit ScopeExit(Action action) : m_action(std::move(action)) {}
    ~ScopeExit() { m_action(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Action m_action;
};

//     const auto restore = onScopeExit([] { Clock::reset(); });
template <typename Action>
[[nodiscard]] ScopeExit<Action> onScopeExit(Action action)
{
    return ScopeExit<Action>(std::move(action));
}

// Gives a variable (plain or atomic) back the value it has now when the scope ends.
//     const auto restore = restoreOnScopeExit(gbThinFont);
template <typename T>
[[nodiscard]] auto restoreOnScopeExit(std::atomic<T>& variable)
{
    return onScopeExit([&variable, saved = variable.load()] { variable.store(saved); });
}

template <typename T>
[[nodiscard]] auto restoreOnScopeExit(T& variable)
{
    static_assert(std::is_copy_assignable_v<T>);
    return onScopeExit([&variable, saved = variable] { variable = saved; });
}

// Collects Qt's log messages (qDebug, qInfo, qWarning...) while it lives, then puts the previous
// handler back. One at a time.
class MessageCapture
{
public:
    MessageCapture() : m_previous(qInstallMessageHandler(&MessageCapture::handle))
    {
        QMutexLocker lock(&mutex());
        lines().clear();
    }
    ~MessageCapture() { qInstallMessageHandler(m_previous); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList messages() const
    {
        QMutexLocker lock(&mutex());
        return lines();
    }
    void clear()
    {
        QMutexLocker lock(&mutex());
        lines().clear();
    }
    // Whether a message holds text.
    bool contains(const QString& text) const
    {
        const QStringList all = messages();
        return std::any_of(all.cbegin(), all.cend(), [&](const QString& line) { return line.contains(text); });
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        QMutexLocker lock(&mutex());
        lines().append(message);
    }
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList& lines()
    {
        static QStringList l;
        return l;
    }

    QtMessageHandler m_previous;
};
