#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Header fields as they travel: names and values as bytes, in order, repeats kept.
using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// The first field of that name, ignoring case; null when absent.
QByteArray httpHeaderValue(const HttpHeaders& headers, const QByteArray& name);
bool httpHasHeader(const HttpHeaders& headers, const QByteArray& name);

// One request as the server received it.
struct HttpRequest
{
    QByteArray method;
    QString path;   // the target's path before '?', still percent-encoded as sent
    QString query;  // the target after '?', as sent; null when there is no '?'
    HttpHeaders headers;
    QByteArray body;  // decoded from chunks when the request was chunked

    QByteArray target;    // the request target exactly as sent
    QString host;         // lower case, no port: from an absolute target, the CONNECT tunnel or Host
    int port = -1;        // the port named with the host; -1 when none was named
    QString scheme;       // "http", or "https" on a TLS listener or inside a CONNECT tunnel
    bool absoluteForm = false;  // the target was a whole URL (a request sent to a proxy)
    bool tunneled = false;      // arrived inside a CONNECT tunnel

    // The first field of that name, ignoring case; null when absent.
    QByteArray header(const QByteArray& name) const { return httpHeaderValue(headers, name); }
    // "path?query" as sent (no scheme or host).
    QString pathAndQuery() const { return query.isNull() ? path : path + QLatin1Char('?') + query; }
};

// What the server does with a request.
struct HttpReply
{
    enum class Mode {
        Answer,  // send the reply
        Silent,  // read the request and never answer
        Close,   // read the request and close the connection without a word
    };

    int status = 200;
    // Sent as given. The server adds Content-Length (or Transfer-Encoding for chunked replies)
    // and Connection unless the reply sets them.
    HttpHeaders headers;
    QByteArray body;
    int delayMs = 0;       // wait before the status line
    int chunkSize = 0;     // above 0: a chunked body in pieces of this many bytes
    int chunkDelayMs = 0;  // wait between two pieces of a chunked body
    int dripSize = 0;      // above 0 (and not chunked): the body in pieces of this many bytes...
    int dripDelayMs = 0;   // ...with this wait between them, under the full Content-Length
    int truncateAt = -1;   // 0 or more: only this many body bytes are sent, then the connection closes
    Mode mode = Mode::Answer;

    static HttpReply text(int status, const QByteArray& body,
                          const QByteArray& contentType = "text/plain; charset=utf-8");
    static HttpReply silent();
    static HttpReply closeConnection();
    HttpReply& withHeader(const QByteArray& name, const QByteArray& value);
    // Replaces every field of that name (or adds one); a null value removes them.
    HttpReply& setHeader(const QByteArray& name, const QByteArray& value);
    QByteArray header(const QByteArray& name) const { return httpHeaderValue(headers, name); }
};

QByteArray httpReasonPhrase(int status);
// 1xx, 204 and 304 replies carry no body.
bool httpStatusHasNoBody(int status);
