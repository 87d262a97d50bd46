#pragma once

#include "HttpMessage.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Shell-style pattern: '*' any run of characters ('/' included), '?' one character, everything
// else itself; case sensitive.
bool httpGlobMatch(QStringView pattern, QStringView text);

// Routes requests by method, host and path pattern. The first route added that matches wins;
// a HEAD without a route of its own takes the GET route (the server drops the body).
class HttpRouter
{
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    // method "*" takes every method; host and path are patterns (host compared in lower case).
    void add(const QByteArray& method, const QString& hostPattern, const QString& pathPattern, Handler handler);
    // The matching route's reply, or nothing when no route matches.
    std::optional<HttpReply> dispatch(const HttpRequest& request) const;
    // True when some route of any method takes this host.
    bool servesHost(const QString& host) const;

private:
    struct Route
    {
        QByteArray method;
        QString host;
        QString path;
        Handler handler;
    };
    const Route* find(const QByteArray& method, const HttpRequest& request) const;

    QList<Route> m_routes;
};
