#include "LoopbackHttpServer.h"
#include "TestCertificates.h"

#include <QElapsedTimer>
#include <QSslSocket>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

// Reads until the server closes the connection or the time runs out.
QByteArray readUntilClosed(QTcpSocket& socket, int timeoutMs = 3000)
{
    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < timeoutMs) {
        socket.waitForReadyRead(50);
        received += socket.readAll();
    }
    received += socket.readAll();
    return received;
}

// Sends the raw bytes on a fresh connection and returns everything the server said before it
// closed the connection.
QByteArray exchange(quint16 port, const QByteArray& raw)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000))
        return "not connected";
    socket.write(raw);
    socket.flush();
    return readUntilClosed(socket);
}

QByteArray bodyOf(const QByteArray& response)
{
    const qsizetype end = response.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : response.mid(end + 4);
}

}  // namespace

TEST(LoopbackHttpServer, RoutesByMethodAndPathAndLogsEachRequest)
{
    LoopbackHttpServer server;
    ASSERT_NE(server.port(), 0);
    EXPECT_EQ(server.url(QStringLiteral("/a?x=1")).toString(),
              QStringLiteral("http://127.0.0.1:%1/a?x=1").arg(server.port()));
    server.route("GET", QStringLiteral("/a"), LoopbackReply::text(200, "alpha").withHeader("X-Test", "1"));
    server.route("POST", QStringLiteral("/a"), LoopbackReply::text(201, "made"));

    const QByteArray get = exchange(server.port(), "GET /a?x=1&y=%20 HTTP/1.1\r\nHost: h\r\nX-Req: v\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(get.startsWith("HTTP/1.1 200 OK\r\n")) << get.constData();
    EXPECT_TRUE(get.contains("\r\nX-Test: 1\r\n"));
    EXPECT_TRUE(get.contains("\r\nContent-Length: 5\r\n"));
    EXPECT_EQ(bodyOf(get), "alpha");

    const QByteArray post = exchange(server.port(), "POST /a HTTP/1.1\r\nContent-Length: 3\r\nConnection: close\r\n\r\nk=v");
    EXPECT_TRUE(post.startsWith("HTTP/1.1 201 Created\r\n")) << post.constData();
    EXPECT_EQ(bodyOf(post), "made");

    // Neither an unknown path nor a known path with another method is answered by a script.
    EXPECT_TRUE(exchange(server.port(), "GET /none HTTP/1.1\r\nConnection: close\r\n\r\n").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(exchange(server.port(), "PUT /a HTTP/1.1\r\nConnection: close\r\n\r\n").startsWith("HTTP/1.1 404"));

    const QList<LoopbackRequest> log = server.requests();
    ASSERT_EQ(log.size(), 4);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, QStringLiteral("/a"));
    EXPECT_EQ(log[0].query, QStringLiteral("x=1&y=%20"));
    EXPECT_EQ(log[0].header("x-req"), "v");
    EXPECT_TRUE(log[0].header("X-Absent").isNull());
    EXPECT_EQ(log[1].method, "POST");
    EXPECT_TRUE(log[1].query.isNull());
    EXPECT_EQ(log[1].body, "k=v");
    EXPECT_EQ(log[3].method, "PUT");

    server.clearRequests();
    EXPECT_EQ(server.requestCount(), 0);
}

TEST(LoopbackHttpServer, HeadGetsTheGetHeadersWithoutTheBody)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/h"),
                 LoopbackReply::text(200, "12345").withHeader("Last-Modified", "Tue, 01 Jan 2030 00:00:00 GMT"));

    const QByteArray head = exchange(server.port(), "HEAD /h HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(head.startsWith("HTTP/1.1 200 OK\r\n")) << head.constData();
    EXPECT_TRUE(head.contains("\r\nLast-Modified: Tue, 01 Jan 2030 00:00:00 GMT\r\n"));
    EXPECT_TRUE(head.contains("\r\nContent-Length: 5\r\n"));
    EXPECT_TRUE(head.endsWith("\r\n\r\n"));
    EXPECT_EQ(bodyOf(head), QByteArray());

    // A HEAD script of its own wins over the GET script.
    server.route("HEAD", QStringLiteral("/h"), LoopbackReply::text(410, ""));
    EXPECT_TRUE(exchange(server.port(), "HEAD /h HTTP/1.1\r\nConnection: close\r\n\r\n").startsWith("HTTP/1.1 410"));
}

TEST(LoopbackHttpServer, ChunkedRepliesAndRequests)
{
    LoopbackHttpServer server;
    LoopbackReply reply = LoopbackReply::text(200, "abcdefgh");
    reply.chunkSize = 3;
    server.route("GET", QStringLiteral("/c"), reply);

    const QByteArray got = exchange(server.port(), "GET /c HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(got.contains("\r\nTransfer-Encoding: chunked\r\n")) << got.constData();
    EXPECT_FALSE(got.contains("Content-Length"));
    EXPECT_EQ(bodyOf(got), "3\r\nabc\r\n3\r\ndef\r\n2\r\ngh\r\n0\r\n\r\n");

    exchange(server.port(), "POST /up HTTP/1.1\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                            "4\r\nwiki\r\n5;x=y\r\npedia\r\n0\r\n\r\n");
    ASSERT_EQ(server.requestCount(), 2);
    EXPECT_EQ(server.requests()[1].body, "wikipedia");
}

TEST(LoopbackHttpServer, AnswersKeepAliveRequestsInTurnAndLogsBeforeADelayedReply)
{
    LoopbackHttpServer server;
    LoopbackReply slow = LoopbackReply::text(200, "slow");
    slow.delayMs = 300;
    server.route("GET", QStringLiteral("/slow"), slow);
    server.route("GET", QStringLiteral("/fast"), LoopbackReply::text(200, "fast"));

    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    ASSERT_TRUE(socket.waitForConnected(3000));
    QElapsedTimer timer;
    timer.start();
    socket.write("GET /slow HTTP/1.1\r\n\r\nGET /fast HTTP/1.1\r\nConnection: close\r\n\r\n");
    socket.flush();
    socket.waitForReadyRead(150);
    EXPECT_EQ(socket.bytesAvailable(), 0);
    EXPECT_GE(server.requestCount(), 1);  // logged while its reply still waits

    const QByteArray both = readUntilClosed(socket);
    EXPECT_GE(timer.elapsed(), 300);
    const qsizetype first = both.indexOf("slow");
    const qsizetype second = both.indexOf("fast");
    ASSERT_GE(first, 0) << both.constData();
    EXPECT_GT(second, first);
    EXPECT_TRUE(both.contains("Connection: keep-alive"));
    EXPECT_EQ(server.requestCount(), 2);
}

TEST(LoopbackHttpServer, SilentAndClosingScripts)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/silent"), LoopbackReply::silent());
    server.route("GET", QStringLiteral("/close"), LoopbackReply::closeConnection());

    QTcpSocket silent;
    silent.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    ASSERT_TRUE(silent.waitForConnected(3000));
    silent.write("GET /silent HTTP/1.1\r\n\r\n");
    silent.flush();
    EXPECT_FALSE(silent.waitForReadyRead(300));
    EXPECT_EQ(silent.state(), QAbstractSocket::ConnectedState);

    EXPECT_EQ(exchange(server.port(), "GET /close HTTP/1.1\r\n\r\n"), QByteArray());
    EXPECT_EQ(server.requestCount(), 2);

    QTcpSocket refused;
    refused.connectToHost(QStringLiteral("127.0.0.1"), LoopbackHttpServer::closedPort());
    EXPECT_FALSE(refused.waitForConnected(3000));
    EXPECT_EQ(refused.error(), QAbstractSocket::ConnectionRefusedError);
}

TEST(LoopbackHttpServer, ServesTlsWithTheGivenChain)
{
    const testcerts::CertificateSet& certs = testcerts::certificates();
    LoopbackHttpServer server(certs.localhostChain(), certs.localhost.privateKey);
    ASSERT_TRUE(server.isTls());
    EXPECT_EQ(server.url().scheme(), QStringLiteral("https"));
    server.route("GET", QStringLiteral("/s"), LoopbackReply::text(200, "secret"));

    QSslSocket socket;
    QSslConfiguration configuration = socket.sslConfiguration();
    configuration.setCaCertificates({certs.rootCA.certificate});
    socket.setSslConfiguration(configuration);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), server.port());
    ASSERT_TRUE(socket.waitForEncrypted(5000)) << socket.errorString().toStdString();
    EXPECT_EQ(socket.peerCertificateChain().size(), 2);
    EXPECT_EQ(socket.peerCertificate(), certs.localhost.certificate);
    socket.write("GET /s HTTP/1.1\r\nConnection: close\r\n\r\n");
    socket.flush();
    EXPECT_EQ(bodyOf(readUntilClosed(socket)), "secret");
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].path, QStringLiteral("/s"));
}
