#include "HttpMessage.h"

QByteArray httpHeaderValue(const HttpHeaders& headers, const QByteArray& name)
{
    for (const auto& field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return QByteArray();
}

bool httpHasHeader(const HttpHeaders& headers, const QByteArray& name)
{
    for (const auto& field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

HttpReply HttpReply::text(int status, const QByteArray& body, const QByteArray& contentType)
{
    HttpReply reply;
    reply.status = status;
    reply.body = body;
    reply.headers.append({"Content-Type", contentType});
    return reply;
}

HttpReply HttpReply::silent()
{
    HttpReply reply;
    reply.mode = Mode::Silent;
    return reply;
}

HttpReply HttpReply::closeConnection()
{
    HttpReply reply;
    reply.mode = Mode::Close;
    return reply;
}

HttpReply& HttpReply::withHeader(const QByteArray& name, const QByteArray& value)
{
    headers.append({name, value});
    return *this;
}

HttpReply& HttpReply::setHeader(const QByteArray& name, const QByteArray& value)
{
    headers.removeIf([&](const auto& field) { return field.first.compare(name, Qt::CaseInsensitive) == 0; });
    if (!value.isNull())
        headers.append({name, value});
    return *this;
}

QByteArray httpReasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool httpStatusHasNoBody(int status)
{
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}
