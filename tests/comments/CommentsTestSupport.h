#pragma once

#include "../remoteconfig/RemoteConfigTestSupport.h"
#include "RememberedAccount.h"

#include "comments/CommentFeedJsonp.h"
#include "comments/CommentsShell.h"
#include "database/ServerUrls.h"

#include <QJsonArray>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QJsonDocument>
#include <QJsonObject>

// A shell that records what the comment pages asked of it.
class RecordingCommentsShell : public CommentsShell
{
public:
    QString city() override { return cityText; }
    void openLogin(std::function<void()> loggedIn) override
    {
        ++logins;
        onLoggedIn = std::move(loggedIn);
    }
    void postCommentAndReplyTask() override { ++tasks; }
    void replyRemindCleared() override { ++remindsCleared; }

    QString cityText = QStringLiteral("c0ffee");
    int logins = 0;
    // What the login window would run after a login from it.
    std::function<void()> onLoggedIn;
    int tasks = 0;
    int remindsCleared = 0;
};

inline QJsonObject commentObject(int id, const QString& name, const QString& text)
{
    return QJsonObject{{QStringLiteral("I"), 123456}, {QStringLiteral("T"), QStringLiteral("标题")},
                       {QStringLiteral("CI"), id},       {QStringLiteral("C"), text},
                       {QStringLiteral("Ui"), 1000 + id}, {QStringLiteral("N"), name},
                       {QStringLiteral("Y"), QStringLiteral("北京")}, {QStringLiteral("D"), QStringLiteral("2026-12-07 08:00:00")},
                       {QStringLiteral("Ta"), QString()}, {QStringLiteral("Cl"), 14},
                       {QStringLiteral("S"), id * 2},    {QStringLiteral("A"), 1},
                       {QStringLiteral("SF"), QStringLiteral("%1楼").arg(id)}};
}

inline QByteArray commentJsonp(const QJsonArray& comments)
{
    return "showcomment(" + QJsonDocument(comments).toJson(QJsonDocument::Compact) + ")";
}

// Records every emission of a signal with its arguments.
template <typename Sender, typename... Args>
class SignalLog
{
public:
    SignalLog(Sender* sender, void (Sender::*signal)(Args...))
    {
        QObject::connect(sender, signal, &m_context, [this](Args... args) { m_calls.append(std::make_tuple(args...)); });
    }
    qsizetype size() const { return m_calls.size(); }
    bool isEmpty() const { return m_calls.isEmpty(); }
    const std::tuple<std::decay_t<Args>...>& at(qsizetype i) const { return m_calls.at(i); }
    const std::tuple<std::decay_t<Args>...>& last() const { return m_calls.last(); }

private:
    QObject m_context;
    QList<std::tuple<std::decay_t<Args>...>> m_calls;
};

// The value of a script run in the view's page, waited for.
inline QVariant evaluate(QWebEngineView& view, const QString& script)
{
    QVariant result;
    bool done = false;
    view.page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    EXPECT_TRUE(waitUntil([&] { return done; }, 30000));
    return result;
}

// The comment requests against a loopback server: comment lists (u23) and posts (u46), with a
// recording shell installed.
class CommentRequests : public LoopbackStoreTest
{
protected:
    void SetUp() override
    {
        LoopbackStoreTest::SetUp();
        pointUrls({{23, m_server.url(QStringLiteral("/json/commentlist")).toString()},
                   {46, m_server.url(QStringLiteral("/tidwen/postComment.aspx")).toString()}});
        CommentsShell::install(m_shell);
    }
    void TearDown() override
    {
        CommentsShell::install(nullptr);
        LoopbackStoreTest::TearDown();
    }

    QString listPath(const QString& id) const
    {
        return QUrl(CommentUrls::commentListUrl(kUrlCommentList, id)).path();
    }

    int count(const QByteArray& method) { return countRequests(m_server.requests(), method); }

    LoopbackHttpServer m_server;
    std::shared_ptr<RecordingCommentsShell> m_shell = std::make_shared<RecordingCommentsShell>();
};
