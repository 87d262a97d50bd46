#include "HttpRouter.h"

bool httpGlobMatch(QStringView pattern, QStringView text)
{
    // Iterative matcher with one backtrack point for the last '*': linear for common patterns.
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype starP = -1;
    qsizetype starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starT = t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

void HttpRouter::add(const QByteArray& method, const QString& hostPattern, const QString& pathPattern, Handler handler)
{
    m_routes.append({method, hostPattern.toLower(), pathPattern, std::move(handler)});
}

const HttpRouter::Route* HttpRouter::find(const QByteArray& method, const HttpRequest& request) const
{
    for (const Route& route : m_routes) {
        if ((route.method == "*" || route.method == method) && httpGlobMatch(route.host, request.host) &&
            httpGlobMatch(route.path, request.path))
            return &route;
    }
    return nullptr;
}

std::optional<HttpReply> HttpRouter::dispatch(const HttpRequest& request) const
{
    const Route* route = find(request.method, request);
    if (!route && request.method == "HEAD")
        route = find("GET", request);
    if (!route)
        return std::nullopt;
    return route->handler(request);
}

bool HttpRouter::servesHost(const QString& host) const
{
    const QString lower = host.toLower();
    for (const Route& route : m_routes) {
        if (httpGlobMatch(route.host, lower))
            return true;
    }
    return false;
}
