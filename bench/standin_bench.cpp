// The stand-in service against the bare HTTP core serving the same bytes, in the same run:
// - the 20-item news list, 300 sequential keep-alive GETs through the stand-in as proxy, against
//   the same reply bytes from the bare server addressed directly (goal: at most 1.5x);
// - one https GET on a fresh connection each (CONNECT, TLS, GET) through the stand-in, against a
//   direct TLS GET of the same bytes from the bare server (goal: at most 3x).
// Prints the best of alternating rounds and the ratios.
#include "BenchSupport.h"

#include "httpcore/Certificates.h"
#include "httpcore/HttpServer.h"
#include "standin/StandinService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kListRequests = 300;
constexpr int kTlsRequests = 60;
constexpr int kRounds = 5;

// Seconds for n GETs on one manager; negative when one failed or brought other bytes.
double timeGets(QNetworkAccessManager& manager, const QUrl& url, int n, const QByteArray& expected, bool freshConnection,
                const QSslConfiguration* tls)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < n; ++i) {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        if (tls)
            request.setSslConfiguration(*tls);
        if (freshConnection)
            manager.clearConnectionCache();
        QNetworkReply* reply = manager.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        const bool ok = reply->error() == QNetworkReply::NoError && reply->readAll() == expected;
        if (!ok)
            std::printf("standin bench: %s: %s\n", qPrintable(url.toString()), qPrintable(reply->errorString()));
        reply->deleteLater();
        if (!ok)
            return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The reply's bytes and fields, fetched once through the stand-in.
QNetworkReply* fetchOnce(QNetworkAccessManager& manager, const QUrl& url, const QSslConfiguration* tls)
{
    QNetworkRequest request(url);
    if (tls)
        request.setSslConfiguration(*tls);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    return reply;
}

HttpServer::Handler sameBytes(const QByteArray& body, const QByteArray& lastModified)
{
    return [body, lastModified](const HttpRequest&) {
        return HttpReply::text(200, body, "text/xml; charset=utf-8").withHeader("Last-Modified", lastModified);
    };
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    standin::StandinOptions options;
    options.seed = 7;
    options.now = QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
    standin::StandinService service(options);
    if (!service.isListening()) {
        std::printf("standin bench: %s\n", qPrintable(service.error()));
        return 1;
    }
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.addCaCertificate(service.caCertificate());

    QNetworkAccessManager viaProxy;
    viaProxy.setProxy(service.proxy());
    const QUrl listUrl(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml"));
    const QUrl tlsUrl(QStringLiteral("https://data.tidwen.example/tidwen/v2/mac.xml"));
    QNetworkReply* list = fetchOnce(viaProxy, listUrl, nullptr);
    QNetworkReply* config = fetchOnce(viaProxy, tlsUrl, &trusting);
    const QByteArray listBytes = list->readAll();
    const QByteArray configBytes = config->readAll();
    if (listBytes.isEmpty() || configBytes.isEmpty()) {
        std::printf("standin bench: the stand-in did not answer (%s)\n", qPrintable(config->errorString()));
        return 1;
    }

    HttpServer::Options bareOptions;
    bareOptions.handler = sameBytes(listBytes, list->rawHeader("Last-Modified"));
    HttpServer bare(bareOptions);

    const httpcerts::Identity ca = httpcerts::makeAuthority(QStringLiteral("Bench CA"), QStringLiteral("Bench"));
    const httpcerts::Identity leaf = httpcerts::makeServerCertificate(&ca, QStringLiteral("localhost"), QStringLiteral("Bench"),
                                                                      {QStringLiteral("IP:127.0.0.1")});
    HttpServer::Options tlsOptions;
    tlsOptions.handler = sameBytes(configBytes, config->rawHeader("Last-Modified"));
    tlsOptions.tls = httpcerts::serverConfiguration({leaf.certificate, ca.certificate}, leaf.privateKey);
    HttpServer bareTls(tlsOptions);
    QSslConfiguration trustingBare = QSslConfiguration::defaultConfiguration();
    trustingBare.addCaCertificate(ca.certificate);
    list->deleteLater();
    config->deleteLater();

    QNetworkAccessManager direct;
    const QUrl bareUrl(QStringLiteral("http://127.0.0.1:%1/xml/newslist/news.xml").arg(bare.port()));
    const QUrl bareTlsUrl(QStringLiteral("https://127.0.0.1:%1/tidwen/v2/mac.xml").arg(bareTls.port()));

    std::vector<double> proxied, plain, tunneled, tls;
    bool failed = timeGets(viaProxy, listUrl, 20, listBytes, false, nullptr) < 0 ||
                  timeGets(direct, bareUrl, 20, listBytes, false, nullptr) < 0;
    for (int round = 0; round < kRounds && !failed; ++round) {
        proxied.push_back(timeGets(viaProxy, listUrl, kListRequests, listBytes, false, nullptr));
        plain.push_back(timeGets(direct, bareUrl, kListRequests, listBytes, false, nullptr));
        tunneled.push_back(timeGets(viaProxy, tlsUrl, kTlsRequests, configBytes, true, &trusting));
        tls.push_back(timeGets(direct, bareTlsUrl, kTlsRequests, configBytes, true, &trustingBare));
        failed = proxied.back() < 0 || plain.back() < 0 || tunneled.back() < 0 || tls.back() < 0;
    }
    if (failed) {
        std::printf("standin bench: a request failed; no ratio\n");
        return 1;
    }
    // The best round of each: a stall of the machine slows a round, nothing speeds one up.
    const auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    const double p = best(proxied), b = best(plain), t = best(tunneled), d = best(tls);
    std::printf("20-item list, %d keep-alive GETs (%lld bytes each), best of %d rounds:\n", kListRequests,
                static_cast<long long>(listBytes.size()), kRounds);
    std::printf("  through the stand-in as proxy   %.3f s (%.0f us each)\n", p, p / kListRequests * 1e6);
    std::printf("  bare HTTP core, same bytes      %.3f s (%.0f us each)\n", b, b / kListRequests * 1e6);
    std::printf("https GET on a fresh connection, %d each:\n", kTlsRequests);
    std::printf("  CONNECT + TLS + GET (stand-in)  %.3f s (%.0f us each)\n", t, t / kTlsRequests * 1e6);
    std::printf("  direct TLS GET (bare core)      %.3f s (%.0f us each)\n", d, d / kTlsRequests * 1e6);
    std::printf("stand-in list / bare list time ratio: %.2f (goal <= 1.5)\n", p / b);
    std::printf("CONNECT+TLS+GET / direct TLS GET time ratio: %.2f (goal <= 3)\n", t / d);
    return 0;
}
