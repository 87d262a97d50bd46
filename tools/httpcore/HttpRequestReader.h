#pragma once

#include "HttpMessage.h"

// Reads requests from the bytes a client sent, one at a time from the front of the buffer.
class HttpRequestReader
{
public:
    enum class Result {
        Complete,    // a whole request was taken from the buffer
        Incomplete,  // more bytes are needed
        Malformed,   // the bytes are no request; the connection should end
    };

    // Requests that arrive inside a CONNECT tunnel to host:port, or on a TLS listener.
    void setTunnel(const QString& host, int port) { m_tunnelHost = host; m_tunnelPort = port; }
    void setTls(bool tls) { m_tls = tls; }
    const QString& tunnelHost() const { return m_tunnelHost; }
    bool tls() const { return m_tls; }

    // Takes the first whole request off the front of buffer into request.
    Result take(QByteArray& buffer, HttpRequest& request) const;

    // A request head larger than this is no client's request.
    static constexpr qsizetype kMaxHeadBytes = 64 * 1024;
    // Nor is a body larger than this.
    static constexpr qsizetype kMaxBodyBytes = 64 * 1024 * 1024;

private:
    void readTarget(HttpRequest& request) const;
    // Decodes a chunked body starting at from; the offset just past it, or -1 when it is not
    // complete yet, -2 when it is malformed.
    static qsizetype decodeChunkedBody(const QByteArray& buffer, qsizetype from, QByteArray& body);

    QString m_tunnelHost;
    int m_tunnelPort = -1;
    bool m_tls = false;
};
