#pragma once

#include "Faults.h"
#include "StandinContent.h"
#include "httpcore/HttpMessage.h"

#include <QDateTime>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class HttpServer;
class HttpRouter;

namespace standin {

// Every host name the service answers for (the built-in hosts, the avatar host, the IP page).
const QStringList& servedHosts();

struct StandinOptions
{
    uint64_t seed = 1;
    QDateTime now;           // the content clock; invalid: the real time when the service starts
    quint16 port = 0;        // 0: any free port on 127.0.0.1
    QStringList faults;      // fault rules in force from the start (see FaultRule)
    QString caFolder;        // where the CA is written (PEM named by subject hash); empty: a temporary folder
    bool listAds = false;    // the configuration names list-ad slots
};

// The local stand-in of the service's hosts: an HTTP proxy on 127.0.0.1 that answers every
// request for those hosts itself (https through CONNECT, with a certificate of its own CA) and
// never connects out. Control requests to its own address under /__standin/: log, publish,
// touch, fault, faults/clear, ca.pem, status. Usable from a test: construct, point the client's
// proxy at proxy() and trust caCertificate().
class StandinService
{
public:
    explicit StandinService(const StandinOptions& options);
    ~StandinService();
    StandinService(const StandinService&) = delete;
    StandinService& operator=(const StandinService&) = delete;

    // False when the port could not be taken or a start-up fault rule did not parse (error()).
    bool isListening() const;
    QString error() const { return m_error; }
    quint16 port() const;
    QNetworkProxy proxy() const;
    // "http://127.0.0.1:<port>/__standin/<what>".
    QUrl controlUrl(const QString& what) const;
    QSslCertificate caCertificate() const;
    QString caFolder() const { return m_caFolder; }
    QDateTime now() const;

    // Writes "port=<port>\nca=<folder>\nspki=<base64 SHA-256 of the server key>\n" atomically;
    // false when it cannot.
    bool writeReadyFile(const QString& path) const;

    // The same as the control requests, for a test on the same process.
    QList<qint64> publish(int n);
    bool touch(qint64 id);
    bool addFault(const QString& rule, QString* error = nullptr);
    void clearFaults();
    // One JSON object per request served (control requests excluded), oldest first.
    QList<QJsonObject> requestLog() const;
    QByteArray requestLogJsonLines() const;
    void clearLog();

private:
    struct State;

    HttpReply handle(const HttpRequest& request);
    HttpReply handleControl(const HttpRequest& request);

    std::shared_ptr<State> m_state;
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<QTemporaryDir> m_ownCaFolder;
    QString m_caFolder;
    QString m_error;
};

}  // namespace standin
