#include "httpcore/Certificates.h"
#include "httpcore/HttpRouter.h"
#include "httpcore/HttpServer.h"

#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTcpSocket>

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <gtest/gtest.h>

namespace {

// Sends raw bytes and collects what comes back until the server closes or the time is up.
QByteArray exchange(quint16 port, const QByteArray& bytes, int waitMs = 1500)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(socket.waitForConnected(2000));
    socket.write(bytes);
    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < waitMs && socket.state() == QAbstractSocket::ConnectedState) {
        if (socket.waitForReadyRead(100))
            received += socket.readAll();
    }
    received += socket.readAll();
    return received;
}

HttpServer::Options echoOptions()
{
    HttpServer::Options options;
    options.handler = [](const HttpRequest& r) {
        QByteArray text = r.method + ' ' + r.scheme.toUtf8() + "://" + r.host.toUtf8() + ':' +
                          QByteArray::number(r.port) + ' ' + r.path.toUtf8() + " q=" + r.query.toUtf8();
        if (r.absoluteForm)
            text += " absolute";
        if (r.tunneled)
            text += " tunneled";
        return HttpReply::text(200, text);
    };
    return options;
}

}  // namespace

TEST(HttpGlob, MatchesLikeAShellPatternAcrossSlashes)
{
    struct Case
    {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"*", "", true},
        {"*", "/a/b/c", true},
        {"/xml/newslist/*.xml", "/xml/newslist/news.xml", true},
        {"/xml/newslist/*.xml", "/xml/newslist/news.xmlx", false},
        {"/xml/*/*.xml", "/xml/newscontent/712/007.xml", true},
        {"/xml/*/*.xml", "/xml/a.xml", false},
        {"*.tidwen.example", "api.tidwen.example", true},
        {"*.tidwen.example", "tidwen.example", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*a*a*a", "aaaa", true},
        {"*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"/API/*", "/api/x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(httpGlobMatch(QString::fromLatin1(c.pattern), QString::fromLatin1(c.text)), c.match)
            << c.pattern << " vs " << c.text;
}

TEST(HttpRouter, FirstMatchWinsHeadFallsBackToGetAndHostsArePatterns)
{
    HttpRouter router;
    router.add("GET", QStringLiteral("api.tidwen.example"), QStringLiteral("/xml/special.xml"),
               [](const HttpRequest&) { return HttpReply::text(200, "special"); });
    router.add("GET", QStringLiteral("api.tidwen.example"), QStringLiteral("/xml/*"),
               [](const HttpRequest&) { return HttpReply::text(200, "any xml"); });
    router.add("POST", QStringLiteral("*.tidwen.example"), QStringLiteral("*"),
               [](const HttpRequest&) { return HttpReply::text(201, "posted"); });

    const auto route = [&](const char* method, const char* host, const char* path) {
        HttpRequest request;
        request.method = method;
        request.host = QString::fromLatin1(host);
        request.path = QString::fromLatin1(path);
        return router.dispatch(request);
    };
    EXPECT_EQ(route("GET", "api.tidwen.example", "/xml/special.xml")->body, "special");
    EXPECT_EQ(route("GET", "api.tidwen.example", "/xml/other.xml")->body, "any xml");
    EXPECT_EQ(route("HEAD", "api.tidwen.example", "/xml/other.xml")->body, "any xml");
    EXPECT_EQ(route("POST", "www.tidwen.example", "/x")->status, 201);
    EXPECT_FALSE(route("GET", "www.tidwen.example", "/xml/other.xml").has_value());
    EXPECT_FALSE(route("DELETE", "api.tidwen.example", "/xml/other.xml").has_value());
    EXPECT_TRUE(router.servesHost(QStringLiteral("Account.Tidwen.Example")));
    EXPECT_FALSE(router.servesHost(QStringLiteral("example.com")));
}

TEST(HttpServer, ReadsAbsoluteOriginAndHostFormsOfTheTarget)
{
    HttpServer server(echoOptions());
    ASSERT_NE(server.port(), 0);
    const QByteArray absolute = exchange(server.port(),
                                         "GET http://API.tidwen.example:8080/a/b?x=1&y=%20 HTTP/1.1\r\nHost: ignored\r\n"
                                         "Connection: close\r\n\r\n");
    EXPECT_TRUE(absolute.contains("GET http://api.tidwen.example:8080 /a/b q=x=1&y=%20 absolute")) << absolute.constData();

    const QByteArray bare = exchange(server.port(), "GET http://img.tidwen.example HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(bare.contains("GET http://img.tidwen.example:-1 / q= absolute")) << bare.constData();

    const QByteArray origin =
        exchange(server.port(), "HEAD /p HTTP/1.1\r\nHost: www.tidwen.example\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(origin.startsWith("HTTP/1.1 200 OK\r\n")) << origin.constData();
    EXPECT_FALSE(origin.contains("HEAD http"));  // a HEAD reply has no body
    EXPECT_TRUE(origin.contains("Content-Length: "));
}

TEST(HttpServer, RefusesTunnelsThePolicyDoesNotOpenAndNeverConnectsOut)
{
    HttpServer::Options options = echoOptions();
    QList<QString> asked;
    options.tunnelPolicy = [&asked](const QString& host, int port) -> std::optional<QSslConfiguration> {
        asked.append(host + QLatin1Char(':') + QString::number(port));
        return std::nullopt;
    };
    HttpServer server(options);
    const QByteArray reply = exchange(server.port(), "CONNECT example.com:443 HTTP/1.1\r\nHost: example.com:443\r\n\r\n");
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 502 ")) << reply.constData();
    EXPECT_EQ(asked, QList<QString>{QStringLiteral("example.com:443")});

    // Without a policy every tunnel is refused.
    HttpServer plain(echoOptions());
    EXPECT_TRUE(exchange(plain.port(), "CONNECT api.tidwen.example:443 HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 502 "));
}

TEST(HttpServer, TunnelSpeaksTlsWithTheLeafOfItsOwnAuthority)
{
    const httpcerts::Identity ca = httpcerts::makeAuthority(QStringLiteral("Core Test CA"), QStringLiteral("Tests"));
    const httpcerts::Identity leaf = httpcerts::makeServerCertificate(
        &ca, QStringLiteral("api.tidwen.example"), QStringLiteral("Tests"),
        {QStringLiteral("DNS:api.tidwen.example"), QStringLiteral("DNS:avatar.tidwen.example")});
    const QSslConfiguration tls = httpcerts::serverConfiguration({leaf.certificate, ca.certificate}, leaf.privateKey);

    HttpServer::Options options = echoOptions();
    options.tunnelPolicy = [tls](const QString&, int) -> std::optional<QSslConfiguration> { return tls; };
    int observed = 0;
    options.tunnelObserver = [&observed](const HttpRequest&, int status) { observed = status; };
    HttpServer server(options);

    QSslSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write("CONNECT avatar.tidwen.example:443 HTTP/1.1\r\nHost: avatar.tidwen.example:443\r\n\r\n");
    QByteArray head;
    while (!head.contains("\r\n\r\n") && socket.waitForReadyRead(2000))
        head += socket.readAll();
    EXPECT_EQ(head, "HTTP/1.1 200 Connection established\r\n\r\n");
    EXPECT_EQ(observed, 200);

    QSslConfiguration client = QSslConfiguration::defaultConfiguration();
    client.setCaCertificates({ca.certificate});
    client.setPeerVerifyMode(QSslSocket::VerifyPeer);
    socket.setSslConfiguration(client);
    socket.setPeerVerifyName(QStringLiteral("avatar.tidwen.example"));
    socket.startClientEncryption();
    ASSERT_TRUE(socket.waitForEncrypted(5000)) << qPrintable(socket.errorString());
    socket.write("GET /avatars/x_60.jpg HTTP/1.1\r\nHost: avatar.tidwen.example\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(2000))
        reply += socket.readAll();
    EXPECT_TRUE(reply.contains("GET https://avatar.tidwen.example:443 /avatars/x_60.jpg q= tunneled")) << reply.constData();
}

TEST(HttpServer, TruncatedBodiesFailAndDrippedBodiesArriveWhole)
{
    HttpServer::Options options;
    options.handler = [](const HttpRequest& r) {
        HttpReply reply = HttpReply::text(200, QByteArray(4000, 'x'));
        if (r.path == QLatin1String("/cut"))
            reply.truncateAt = 1000;
        if (r.path == QLatin1String("/drip")) {
            reply.dripSize = 1000;
            reply.dripDelayMs = 60;
        }
        return reply;
    };
    HttpServer server(options);
    QNetworkAccessManager manager;
    const auto get = [&](const char* path, qint64* elapsed) {
        QElapsedTimer timer;
        timer.start();
        QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.port()).arg(QLatin1String(path)))));
        EXPECT_TRUE(waitUntil([&] { return reply->isFinished(); }));
        *elapsed = timer.elapsed();
        reply->deleteLater();
        return std::make_pair(reply->error(), reply->readAll());
    };
    qint64 elapsed = 0;
    const auto cut = get("/cut", &elapsed);
    EXPECT_NE(cut.first, QNetworkReply::NoError);
    const auto drip = get("/drip", &elapsed);
    EXPECT_EQ(drip.first, QNetworkReply::NoError);
    EXPECT_EQ(drip.second, QByteArray(4000, 'x'));
    EXPECT_GE(elapsed, 170);  // three waits between four pieces
}

TEST(Certificates, FolderNamesLetOpenSslFindTheAuthorityByHash)
{
    const httpcerts::Identity ca = httpcerts::makeAuthority(QStringLiteral("Folder CA"), QStringLiteral("Tests"));
    const httpcerts::Identity leaf = httpcerts::makeServerCertificate(&ca, QStringLiteral("data.tidwen.example"),
                                                                      QStringLiteral("Tests"),
                                                                      {QStringLiteral("DNS:data.tidwen.example")});
    QTemporaryDir dir;
    ASSERT_TRUE(httpcerts::writeCertificateFolder(dir.path() + QStringLiteral("/ca"), {ca.certificate}));

    const QByteArray pem = leaf.certificate.toPem();
    BIO* bio = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    X509* x509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    ASSERT_NE(x509, nullptr);
    X509_STORE* store = X509_STORE_new();
    X509_LOOKUP* lookup = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir());
    X509_LOOKUP_add_dir(lookup, (dir.path() + QStringLiteral("/ca")).toUtf8().constData(), X509_FILETYPE_PEM);
    const auto verify = [&](const char* host) {
        X509_STORE_CTX* context = X509_STORE_CTX_new();
        X509_STORE_CTX_init(context, store, x509, nullptr);
        X509_VERIFY_PARAM_set1_host(X509_STORE_CTX_get0_param(context), host, 0);
        const int result = X509_verify_cert(context);
        X509_STORE_CTX_free(context);
        return result;
    };
    EXPECT_EQ(verify("data.tidwen.example"), 1);
    EXPECT_NE(verify("tidwen.example"), 1);  // a name the leaf does not carry
    X509_STORE_free(store);
    X509_free(x509);
}
