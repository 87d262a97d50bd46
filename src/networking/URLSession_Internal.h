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

// The main-thread state of a task that has started.
struct URLSession::Transfer
{
    QPointer<QNetworkReply> reply;
    std::shared_ptr<QIODevice> body;
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

inline bool methodSendsNoBodyByDefault(const QString& method)
{
    return method == QLatin1String("GET") || method == QLatin1String("HEAD") || method == QLatin1String("DELETE");
}

}  // namespace urlsession
