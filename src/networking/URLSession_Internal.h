#pragma once

// What the parts of the session's implementation share; nothing for the session's users.

#include "networking/URLSession.h"

#include <QByteArray>
#include <QIODevice>
#include <QNetworkReply>
#include <QPointer>
#include <QTemporaryFile>

#include <memory>
#include <optional>
#include <utility>

// The body of a request that is not safe to send twice, as Qt reads it. Qt rewinds a body to
// send its request again by itself when the connection closes before the answer, although the
// server may already have acted on it (a comment saved twice); this body refuses, so the request
// ends with the lost connection instead. A rewind the session asks for itself (to answer a 401
// with credentials) is allowed once. Over a body that can seek; main thread only.
class OneShotBody final : public QIODevice
{
public:
    explicit OneShotBody(std::shared_ptr<QIODevice> inner) : m_inner(std::move(inner))
    {
        QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return m_inner->size(); }
    bool seek(qint64 pos) override { return m_inner->seek(pos) && QIODevice::seek(pos); }
    bool reset() override { return std::exchange(m_mayRewind, false) && seek(0); }
    void allowOneRewind() { m_mayRewind = true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override { return m_inner->read(data, maxSize); }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<QIODevice> m_inner;
    bool m_mayRewind = false;
};

// The main-thread state of a task that has started.
struct URLSession::Transfer
{
    QPointer<QNetworkReply> reply;
    std::shared_ptr<QIODevice> body;
    QPointer<OneShotBody> sentOnce;  // what Qt reads of the body when it must go once; the reply's
    bool networkAnswerTaken = false;  // the server's error ends it; what Qt's cache offers is not read
    std::unique_ptr<QTemporaryFile> downloadFile;
    StopReason stopReason = StopReason::None;
    bool paused = false;
    bool finishPending = false;  // the reply finished while paused
    bool responseDelivered = false;
    bool metaDataSeen = false;  // the reply announced its headers
    bool trustAnswered = false;
    bool trustAccepted = false;
    int authenticationFailures = 0;
    int redirects = 0;  // followed so far, across every request of the task
    std::weak_ptr<URLSessionTask> becameTask;  // the download task a data task became
    bool delegateDecidesCaching = false;  // sent without Qt's own caching
    bool gathersForCache = false;  // the reply is one the delegate is asked about once it is whole
    bool keepsCacheBody = false;   // and the delegate may keep it: its body is gathered
    QByteArray cacheBody;          // the body gathered for that question
};

namespace urlsession {

// Redirections one task follows, whichever schemes they cross; the next one ends it with -1007.
constexpr int kMaximumRedirects = 16;

// An error of the URL-loading domain with the failing URL.
Error urlError(qint64 code, const QUrl& url, const QString& detail = QString());

// A 307 or 308 of a request that sent a body. Qt follows one only when it can rewind the body,
// and otherwise ends the reply with the redirection as its answer: the session follows it itself.
inline bool isRedirectionResendingBody(const QNetworkReply& reply, bool sendsBody)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return sendsBody && (status == 307 || status == 308) && reply.hasRawHeader("Location");
}

// Only these may go out again without the caller asking: the server changes nothing for them.
inline bool methodIsSafeToRepeat(const QString& method)
{
    return method == QLatin1String("GET") || method == QLatin1String("HEAD");
}

inline bool methodSendsNoBodyByDefault(const QString& method)
{
    return method == QLatin1String("GET") || method == QLatin1String("HEAD") || method == QLatin1String("DELETE");
}

}  // namespace urlsession
