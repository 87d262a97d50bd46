#include "HttpRequestReader.h"

namespace {

// Splits "host[:port]" (IPv6 literals in brackets) into a lower-case host and a port (-1: none).
void splitAuthority(const QString& authority, QString& host, int& port)
{
    port = -1;
    QString rest = authority.trimmed();
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        host = rest.mid(1, close - 1).toLower();
        rest = close < 0 ? QString() : rest.mid(close + 1);
        if (rest.startsWith(QLatin1Char(':')))
            port = rest.mid(1).toInt();
        return;
    }
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        const int value = rest.mid(colon + 1).toInt(&ok);
        if (ok) {
            port = value;
            rest = rest.left(colon);
        }
    }
    host = rest.toLower();
}

}  // namespace

HttpRequestReader::Result HttpRequestReader::take(QByteArray& buffer, HttpRequest& request) const
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return buffer.size() > kMaxHeadBytes ? Result::Malformed : Result::Incomplete;
    if (headEnd > kMaxHeadBytes)
        return Result::Malformed;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || requestLine[0].isEmpty() || requestLine[1].isEmpty())
        return Result::Malformed;
    request = HttpRequest();
    request.method = requestLine[0];
    request.target = requestLine[1];
    request.tunneled = !m_tunnelHost.isEmpty();
    request.scheme = (m_tls || request.tunneled) ? QStringLiteral("https") : QStringLiteral("http");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    readTarget(request);

    const qsizetype bodyStart = headEnd + 4;
    if (request.header("Transfer-Encoding").toLower().contains("chunked")) {
        const qsizetype end = decodeChunkedBody(buffer, bodyStart, request.body);
        if (end == -2)
            return Result::Malformed;
        if (end < 0)
            return Result::Incomplete;
        buffer.remove(0, end);
        return Result::Complete;
    }
    bool ok = true;
    const QByteArray lengthText = request.header("Content-Length");
    const qsizetype length = lengthText.isNull() ? 0 : lengthText.toLongLong(&ok);
    if (!ok || length < 0 || length > kMaxBodyBytes)
        return Result::Malformed;
    if (buffer.size() - bodyStart < length)
        return Result::Incomplete;
    request.body = buffer.mid(bodyStart, length);
    buffer.remove(0, bodyStart + length);
    return Result::Complete;
}

void HttpRequestReader::readTarget(HttpRequest& request) const
{
    QByteArray target = request.target;
    if (request.method == "CONNECT") {
        splitAuthority(QString::fromLatin1(target), request.host, request.port);
        request.path = QString::fromLatin1(target);
        return;
    }
    const qsizetype schemeEnd = target.indexOf("://");
    if (!target.startsWith('/') && schemeEnd > 0) {
        request.absoluteForm = true;
        request.scheme = QString::fromLatin1(target.left(schemeEnd)).toLower();
        const qsizetype authorityStart = schemeEnd + 3;
        qsizetype pathStart = target.indexOf('/', authorityStart);
        const qsizetype queryStart = target.indexOf('?', authorityStart);
        if (pathStart < 0 || (queryStart >= 0 && queryStart < pathStart))
            pathStart = queryStart;
        const QByteArray authority =
            pathStart < 0 ? target.mid(authorityStart) : target.mid(authorityStart, pathStart - authorityStart);
        splitAuthority(QString::fromLatin1(authority.mid(authority.indexOf('@') + 1)), request.host, request.port);
        target = pathStart < 0 ? QByteArray("/") : target.mid(pathStart);
        if (target.startsWith('?'))
            target.prepend('/');
    } else {
        splitAuthority(QString::fromLatin1(request.header("Host")), request.host, request.port);
        if (!m_tunnelHost.isEmpty()) {
            // Inside a tunnel the host is the one the tunnel was opened to.
            request.host = m_tunnelHost;
            request.port = m_tunnelPort;
        }
    }
    const qsizetype q = target.indexOf('?');
    request.path = QString::fromLatin1(q < 0 ? target : target.left(q));
    if (q >= 0)
        request.query = QString::fromLatin1(target.mid(q + 1));
}

qsizetype HttpRequestReader::decodeChunkedBody(const QByteArray& buffer, qsizetype from, QByteArray& body)
{
    QByteArray decoded;
    qsizetype pos = from;
    for (;;) {
        const qsizetype lineEnd = buffer.indexOf("\r\n", pos);
        if (lineEnd < 0)
            return -1;
        bool ok = false;
        const qsizetype size = buffer.mid(pos, lineEnd - pos).split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0 || size > kMaxBodyBytes || decoded.size() + size > kMaxBodyBytes)
            return -2;
        pos = lineEnd + 2;
        if (size == 0) {
            // Trailer fields, then an empty line.
            const qsizetype end = buffer.indexOf("\r\n\r\n", pos - 2);
            if (end < 0)
                return -1;
            body = decoded;
            return end + 4;
        }
        if (buffer.size() - pos < size + 2)
            return -1;
        decoded.append(buffer.mid(pos, size));
        pos += size + 2;
    }
}
