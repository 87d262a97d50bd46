#include "foundation/xml/TBXML.h"
#include "foundation/xml/TBXML_HTTP.h"

#include "TestEnvironment.h"

#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

namespace {

// Answers every request on 127.0.0.1 with one scripted reply and keeps what it was sent.
class Responder
{
public:
    Responder()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
                    if (headEnd < 0)
                        return;
                    const QByteArray head = buffer->left(headEnd).toLower();
                    qsizetype length = 0;
                    const qsizetype at = head.indexOf("content-length:");
                    if (at >= 0)
                        length = head.mid(at + 15, head.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
                    if (buffer->size() < headEnd + 4 + length)
                        return;
                    requests.append(*buffer);
                    socket->write(reply);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    void replyWith(int status, const QByteArray& body)
    {
        reply = "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: text/xml\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }

    QByteArray reply;
    QList<QByteArray> requests;

private:
    QTcpServer m_server;
};

// What a fetch reported, written on the worker thread and read on the test's thread.
struct Outcome
{
    std::atomic<bool> done = false;
    QMutex mutex;
    bool succeeded = false;
    Error error;
    QString rootName;
    bool onMainThread = true;
};

void fetch(const QUrl& url, Outcome& outcome, std::shared_ptr<TBXML>& holder)
{
    QThread* mainThread = QThread::currentThread();
    holder = TBXML::newTBXMLWithURL(
        url,
        [&outcome, mainThread](TBXML* tbxml) {
            QMutexLocker lock(&outcome.mutex);
            outcome.succeeded = true;
            outcome.rootName = TBXML::elementName(tbxml->rootXMLElement());
            outcome.onMainThread = QThread::currentThread() == mainThread;
            outcome.done = true;
        },
        [&outcome, mainThread](TBXML*, const Error& error) {
            QMutexLocker lock(&outcome.mutex);
            outcome.error = error;
            outcome.onMainThread = QThread::currentThread() == mainThread;
            outcome.done = true;
        });
    ASSERT_TRUE(waitUntil([&] { return outcome.done.load(); }, 20000));
}

}  // namespace

TEST(TBXMLHTTPTest, FetchParsesTheReplyOffTheMainThread)
{
    Responder responder;
    responder.replyWith(200, "<rss><channel><item><title>t</title></item></channel></rss>");
    Outcome outcome;
    std::shared_ptr<TBXML> tbxml;
    fetch(responder.url("/feed.xml"), outcome, tbxml);

    QMutexLocker lock(&outcome.mutex);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(outcome.rootName, QStringLiteral("rss"));
    EXPECT_FALSE(outcome.onMainThread);
    ASSERT_EQ(responder.requests.size(), 1);
    EXPECT_TRUE(responder.requests[0].startsWith("GET /feed.xml HTTP/1.1\r\n"));
    EXPECT_EQ(TBXML::textForElement(TBXML::childElementNamed("title", tbxml->rootXMLElement()->firstChild->firstChild)),
              QStringLiteral("t"));
}

TEST(TBXMLHTTPTest, UnparsableReplyAndRefusedConnectionReachTheFailureBlock)
{
    Responder responder;
    responder.replyWith(404, "no document here");
    Outcome notXML;
    std::shared_ptr<TBXML> holder;
    fetch(responder.url("/missing"), notXML, holder);
    {
        QMutexLocker lock(&notXML.mutex);
        EXPECT_FALSE(notXML.succeeded);
        EXPECT_EQ(notXML.error.domain, QStringLiteral("com.71squared.tbxml"));
        EXPECT_EQ(notXML.error.code, 2);
    }

    QUrl closed;
    {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        closed = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()));
    }
    Outcome refused;
    fetch(closed, refused, holder);
    QMutexLocker lock(&refused.mutex);
    EXPECT_FALSE(refused.succeeded);
    EXPECT_EQ(refused.error.domain, QStringLiteral("NSURLErrorDomain"));
    EXPECT_EQ(refused.error.code, -1004);
    EXPECT_EQ(refused.error.userInfo.value("NSErrorFailingURLKey").toString(), closed.toString());
}

TEST(TBXMLHTTPTest, PostFormBodyIsPercentEncodedUtf8)
{
    Responder responder;
    responder.replyWith(201, "ok");
    const TBXML_HTTP::URLRequest request = TBXML_HTTP::tbxmlPostRequestWithURL(
        responder.url("/post"), {{"a b", "x&y=z"}, {QStringLiteral("名"), QStringLiteral("值 1")}});
    EXPECT_EQ(request.HTTPMethod, QByteArray("POST"));
    EXPECT_EQ(request.HTTPBody, QByteArray("a%20b=x%26y%3Dz&%E5%90%8D=%E5%80%BC%201"));

    std::atomic<bool> done = false;
    int status = 0;
    QByteArray body;
    TBXML_HTTP::tbxmlAsyncRequest(
        request,
        [&](const QByteArray& data, const TBXML_HTTP::URLResponse& response) {
            status = response.statusCode;
            body = data;
            done = true;
        },
        [&](const QByteArray&, const Error&) { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }, 20000));
    EXPECT_EQ(status, 201);
    EXPECT_EQ(body, QByteArray("ok"));
    ASSERT_EQ(responder.requests.size(), 1);
    const QByteArray sent = responder.requests[0];
    EXPECT_TRUE(sent.startsWith("POST /post HTTP/1.1\r\n"));
    EXPECT_TRUE(sent.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_TRUE(sent.contains("\r\nContent-Length: 39\r\n"));
    EXPECT_TRUE(sent.endsWith("\r\n\r\na%20b=x%26y%3Dz&%E5%90%8D=%E5%80%BC%201"));

    const TBXML_HTTP::URLRequest get = TBXML_HTTP::tbxmlGetRequestWithURL(responder.url("/g"));
    EXPECT_EQ(get.HTTPMethod, QByteArray("GET"));
    EXPECT_TRUE(get.HTTPBody.isEmpty());
}
