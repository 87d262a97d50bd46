#include "StandinService.h"

#include "Sites.h"
#include "httpcore/Certificates.h"
#include "httpcore/HttpRouter.h"
#include "httpcore/HttpServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QSslConfiguration>
#include <QTimeZone>

namespace standin {
namespace {

constexpr const char* kControlPrefix = "/__standin/";
// Every version's Last-Modified is at least this much later than the one before.
constexpr qint64 kVersionStepSeconds = 60;
// A first version is dated this long before the content clock.
constexpr qint64 kFirstVersionAgeSeconds = 3600;

QDateTime parseHttpDate(const QByteArray& text)
{
    QDateTime moment = QLocale::c().toDateTime(QString::fromLatin1(text).trimmed(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    moment.setTimeZone(QTimeZone::utc());
    return moment;
}

// The resource a reply's version belongs to: host, path and query without the cache-buster "r".
QString resourceKey(const HttpRequest& request)
{
    QUrlQuery query(request.query);
    query.removeAllQueryItems(QStringLiteral("r"));
    return request.host + request.path + QLatin1Char('?') + query.query(QUrl::FullyEncoded);
}

struct Version
{
    QByteArray digest;
    qint64 modified = 0;  // seconds since 1970
};

// A dated reply as the routes made it, kept until the content changes.
struct CachedReply
{
    quint64 generation = 0;
    HttpReply reply;
    QJsonObject fields;
};

// Cached replies above this many bytes (pictures) are not worth their memory.
constexpr qsizetype kMaxCachedBody = 256 * 1024;
constexpr qsizetype kMaxCachedReplies = 4096;

}  // namespace

const QStringList& servedHosts()
{
    // Asked on every request and every tunnel: made once.
    static const QStringList hosts{
        QStringLiteral("api.tidwen.example"),      QStringLiteral("api.community.tidwen.example"),
        QStringLiteral("community.tidwen.example"), QStringLiteral("www.tidwen.example"),
        QStringLiteral("m.tidwen.example"),         QStringLiteral("download.tidwen.example"),
        QStringLiteral("comment.tidwen.example"),   QStringLiteral("img.tidwen.example"),
        QStringLiteral("img.zefup.tidwen.example"), QStringLiteral("api.zefup.tidwen.example"),
        QStringLiteral("account.tidwen.example"),   QStringLiteral("push.tidwen.example"),
        QStringLiteral("report.tidwen.example"),    QStringLiteral("data.tidwen.example"),
        QStringLiteral("feedback.tidwen.example"),  QStringLiteral("ip.tidwen.example"),
        QStringLiteral("avatar.tidwen.example")};
    return hosts;
}

struct StandinService::State
{
    explicit State(uint64_t seed, const QDateTime& now) : content(seed, now) {}

    mutable QMutex mutex;  // guards everything below
    StandinContent content;
    HttpRouter router;
    FaultList faults;
    QList<QJsonObject> log;
    QHash<QString, Version> versions;
    QHash<QString, CachedReply> cache;
    quint64 generation = 1;  // raised whenever the content changes
    QSslConfiguration tunnelTls;
    qint64 sequence = 0;

    // Dates the reply's bytes: one Last-Modified per version of the resource.
    void stamp(const QString& key, HttpReply& reply)
    {
        const QByteArray digest = QCryptographicHash::hash(reply.body, QCryptographicHash::Md5);
        Version& version = versions[key];
        if (version.digest.isEmpty())
            version.modified = content.now().toSecsSinceEpoch() - kFirstVersionAgeSeconds;
        else if (version.digest != digest)
            version.modified += kVersionStepSeconds;
        version.digest = digest;
        reply.setHeader("Last-Modified", sites::httpDate(QDateTime::fromSecsSinceEpoch(version.modified, Qt::UTC)));
        // Caches (the client's disk cache, the web view's) ask again every time, answered 304
        // while the bytes stand: a restarted stand-in or a publish never hides behind a freshness
        // a cache guessed from the date.
        reply.setHeader("Cache-Control", "no-cache");
    }

    void record(const HttpRequest& request, int status, const QByteArray& lastModified, const QJsonObject& fields,
                const QString& fault)
    {
        QJsonObject entry{{QStringLiteral("seq"), ++sequence},
                          {QStringLiteral("method"), QString::fromLatin1(request.method)},
                          {QStringLiteral("host"), request.host},
                          {QStringLiteral("target"), request.method == "CONNECT" ? QString::fromLatin1(request.target)
                                                                                  : request.pathAndQuery()},
                          {QStringLiteral("scheme"), request.scheme},
                          {QStringLiteral("status"), status}};
        if (!lastModified.isNull())
            entry.insert(QStringLiteral("lastModified"), QString::fromLatin1(lastModified));
        const QByteArray since = request.header("If-Modified-Since");
        if (!since.isNull())
            entry.insert(QStringLiteral("ifModifiedSince"), QString::fromLatin1(since));
        if (!fields.isEmpty())
            entry.insert(QStringLiteral("fields"), fields);
        if (!fault.isEmpty())
            entry.insert(QStringLiteral("fault"), fault);
        log.append(entry);
    }
};

StandinService::StandinService(const StandinOptions& options)
{
    const QDateTime now = options.now.isValid() ? options.now : QDateTime::currentDateTimeUtc();
    m_state = std::make_shared<State>(options.seed, QDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch(), Qt::UTC));
    sites::addNewsRoutes(m_state->router, m_state->content);
    State* changed = m_state.get();
    sites::addServiceRoutes(m_state->router, m_state->content, options.listAds, [changed] { ++changed->generation; });
    for (const QString& text : options.faults) {
        QString problem;
        const FaultRule rule = FaultRule::parse(text, &problem);
        if (rule.actions.isEmpty()) {
            m_error = QStringLiteral("fault rule \"%1\": %2").arg(text, problem);
            return;
        }
        m_state->faults.add(rule);
    }

    // Its own authority and one leaf naming every host: a wildcard would not cover two-label names.
    const httpcerts::Identity ca = httpcerts::makeAuthority(QStringLiteral("Tidwen Stand-in CA"), QStringLiteral("Tidwen Stand-in"));
    QStringList names;
    for (const QString& host : servedHosts())
        names.append(QStringLiteral("DNS:") + host);
    const httpcerts::Identity leaf =
        httpcerts::makeServerCertificate(&ca, servedHosts().first(), QStringLiteral("Tidwen Stand-in"), names);
    m_state->tunnelTls = httpcerts::serverConfiguration({leaf.certificate, ca.certificate}, leaf.privateKey);

    m_caFolder = options.caFolder;
    if (m_caFolder.isEmpty()) {
        m_ownCaFolder = std::make_unique<QTemporaryDir>();
        m_caFolder = m_ownCaFolder->path();
    }
    if (!httpcerts::writeCertificateFolder(m_caFolder, {ca.certificate})) {
        m_error = QStringLiteral("cannot write the CA into ") + m_caFolder;
        return;
    }

    HttpServer::Options serverOptions;
    serverOptions.port = options.port;
    serverOptions.handler = [this](const HttpRequest& request) { return handle(request); };
    std::shared_ptr<State> state = m_state;
    serverOptions.tunnelPolicy = [state](const QString& host, int port) -> std::optional<QSslConfiguration> {
        if (port != 443 || !servedHosts().contains(host))
            return std::nullopt;
        return state->tunnelTls;
    };
    serverOptions.tunnelObserver = [state](const HttpRequest& request, int status) {
        QMutexLocker lock(&state->mutex);
        state->record(request, status, QByteArray(), {}, QString());
    };
    m_server = std::make_unique<HttpServer>(std::move(serverOptions));
    if (m_server->port() == 0)
        m_error = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(options.port);
}

StandinService::~StandinService()
{
    // The server's thread calls back into this object: it stops first.
    m_server.reset();
}

bool StandinService::isListening() const
{
    return m_server && m_server->port() != 0 && m_error.isEmpty();
}

quint16 StandinService::port() const
{
    return m_server ? m_server->port() : 0;
}

QNetworkProxy StandinService::proxy() const
{
    return QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port());
}

QUrl StandinService::controlUrl(const QString& what) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2%3").arg(port()).arg(QLatin1String(kControlPrefix), what));
}

QSslCertificate StandinService::caCertificate() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->tunnelTls.localCertificateChain().value(1);
}

QDateTime StandinService::now() const
{
    return m_state->content.now();
}

bool StandinService::writeReadyFile(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The web view trusts no folder of authorities, only a server key named on its command line.
    const QByteArray spki = QCryptographicHash::hash(m_state->tunnelTls.localCertificate().publicKey().toDer(),
                                                     QCryptographicHash::Sha256)
                                .toBase64();
    file.write(QStringLiteral("port=%1\nca=%2\nspki=%3\n")
                   .arg(port())
                   .arg(QDir(m_caFolder).absolutePath(), QString::fromLatin1(spki))
                   .toUtf8());
    return file.commit();
}

QList<qint64> StandinService::publish(int n)
{
    QMutexLocker lock(&m_state->mutex);
    ++m_state->generation;
    return m_state->content.publish(std::clamp(n, 0, 100));
}

bool StandinService::touch(qint64 id)
{
    QMutexLocker lock(&m_state->mutex);
    ++m_state->generation;
    return m_state->content.touch(id);
}

bool StandinService::addFault(const QString& text, QString* error)
{
    const FaultRule rule = FaultRule::parse(text, error);
    if (rule.actions.isEmpty())
        return false;
    QMutexLocker lock(&m_state->mutex);
    m_state->faults.add(rule);
    return true;
}

void StandinService::clearFaults()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->faults.clear();
}

QList<QJsonObject> StandinService::requestLog() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->log;
}

QByteArray StandinService::requestLogJsonLines() const
{
    QByteArray lines;
    for (const QJsonObject& entry : requestLog())
        lines += QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    return lines;
}

void StandinService::clearLog()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->log.clear();
}

HttpReply StandinService::handle(const HttpRequest& request)
{
    const bool ownAddress = request.host.isEmpty() || request.host == QLatin1String("127.0.0.1") ||
                            request.host == QLatin1String("localhost");
    if (ownAddress && request.path.startsWith(QLatin1String(kControlPrefix)))
        return handleControl(request);

    QMutexLocker lock(&m_state->mutex);
    const bool readOnly = request.method == "GET" || request.method == "HEAD";
    const QString key = readOnly ? resourceKey(request) : QString();
    HttpReply reply;
    QJsonObject fields;
    const auto cached = readOnly ? m_state->cache.constFind(key) : m_state->cache.constEnd();
    if (cached != m_state->cache.constEnd() && cached->generation == m_state->generation) {
        reply = cached->reply;
        fields = cached->fields;
    } else {
        if (!servedHosts().contains(request.host)) {
            // Nothing here ever connects out.
            reply = HttpReply::text(502, "Bad Gateway: the stand-in serves only the service's hosts");
        } else if (std::optional<HttpReply> routed = m_state->router.dispatch(request)) {
            reply = *routed;
        } else {
            reply = sites::notFound();
        }
        for (const auto& field : reply.headers) {
            if (field.first == sites::kNoteHeader) {
                const QByteArray name = field.second.left(field.second.indexOf('='));
                const QByteArray value = field.second.mid(field.second.indexOf('=') + 1);
                fields.insert(QUrl::fromPercentEncoding(name), QUrl::fromPercentEncoding(value));
            }
        }
        reply.setHeader(sites::kNoteHeader, QByteArray());
        if (!reply.header(sites::kDynamicHeader).isNull()) {
            reply.setHeader(sites::kDynamicHeader, QByteArray());
            reply.setHeader("Cache-Control", "no-store");
        } else if (readOnly && reply.status == 200) {
            m_state->stamp(key, reply);
            if (m_state->cache.size() >= kMaxCachedReplies)
                m_state->cache.clear();  // signed deals requests make a new key each second
            if (reply.body.size() <= kMaxCachedBody)
                m_state->cache.insert(key, CachedReply{m_state->generation, reply, fields});
        }
    }

    if (readOnly && reply.status == 200 && !reply.header("Last-Modified").isNull()) {
        const QByteArray since = request.header("If-Modified-Since");
        if (!since.isNull()) {
            const QDateTime sinceDate = parseHttpDate(since);
            const QDateTime modified = parseHttpDate(reply.header("Last-Modified"));
            if (since == reply.header("Last-Modified") || (sinceDate.isValid() && sinceDate >= modified)) {
                reply.status = 304;
                reply.body.clear();
                reply.setHeader("Content-Length", QByteArray());
            }
        }
    }
    const QString fault = m_state->faults.apply(request, reply);
    m_state->record(request, reply.mode == HttpReply::Mode::Answer ? reply.status : 0, reply.header("Last-Modified"), fields, fault);
    return reply;
}

HttpReply StandinService::handleControl(const HttpRequest& request)
{
    const QString what = request.path.mid(static_cast<qsizetype>(qstrlen(kControlPrefix)));
    const QUrlQuery q = sites::parameters(request);
    const auto json = [](const QJsonObject& object) { return sites::jsonReply(QJsonDocument(object).toJson(QJsonDocument::Compact)); };
    if (what == QLatin1String("log")) {
        HttpReply reply = HttpReply::text(200, requestLogJsonLines(), "application/x-ndjson");
        if (q.queryItemValue(QStringLiteral("clear")) == QLatin1String("1"))
            clearLog();
        return reply;
    }
    if (what == QLatin1String("publish")) {
        QJsonArray ids;
        for (qint64 id : publish(q.hasQueryItem(QStringLiteral("n")) ? q.queryItemValue(QStringLiteral("n")).toInt() : 1))
            ids.append(id);
        return json({{QStringLiteral("published"), ids}});
    }
    if (what == QLatin1String("touch")) {
        const qint64 id = q.queryItemValue(QStringLiteral("id")).toLongLong();
        if (!touch(id))
            return HttpReply::text(404, "no such article");
        return json({{QStringLiteral("touched"), id}});
    }
    if (what == QLatin1String("fault")) {
        QString text = q.queryItemValue(QStringLiteral("rule"), QUrl::FullyDecoded);
        if (text.isEmpty())
            text = QString::fromUtf8(request.body);
        QString problem;
        if (!addFault(text, &problem))
            return HttpReply::text(400, problem.toUtf8());
        return json({{QStringLiteral("fault"), text.simplified()}});
    }
    if (what == QLatin1String("faults/clear")) {
        clearFaults();
        return json({});
    }
    if (what == QLatin1String("ca.pem"))
        return HttpReply::text(200, caCertificate().toPem(), "application/x-pem-file");
    if (what == QLatin1String("status")) {
        QMutexLocker lock(&m_state->mutex);
        return json({{QStringLiteral("port"), port()},
                     {QStringLiteral("seed"), QString::number(m_state->content.seed())},
                     {QStringLiteral("now"), m_state->content.now().toString(Qt::ISODate)},
                     {QStringLiteral("requests"), m_state->sequence},
                     {QStringLiteral("faults"), m_state->faults.size()}});
    }
    return sites::notFound();
}

}  // namespace standin
