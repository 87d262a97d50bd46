// tidwen-standin: the local stand-in of the service's hosts, run as the client's HTTP proxy.
#include "StandinService.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    // Pictures are drawn without a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tidwen-standin"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local stand-in of the Tidwen service hosts (an HTTP proxy on 127.0.0.1)."));
    parser.addHelpOption();
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Content seed."), QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption now(QStringLiteral("now"), QStringLiteral("Content clock, ISO 8601 (default: the time of start)."),
                                 QStringLiteral("time"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (default: any free one)."),
                                  QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   QStringLiteral("Fault rule \"METHOD HOST PATH COUNT ACTIONS\" (repeatable)."),
                                   QStringLiteral("rule"));
    const QCommandLineOption ready(QStringLiteral("ready-file"), QStringLiteral("Receives the port and the CA folder."),
                                   QStringLiteral("file"));
    const QCommandLineOption caDir(QStringLiteral("ca-dir"), QStringLiteral("Folder for the CA certificate (default: temporary)."),
                                   QStringLiteral("folder"));
    const QCommandLineOption listAds(QStringLiteral("list-ads"), QStringLiteral("The configuration names list-ad slots."));
    parser.addOptions({seed, now, port, fault, ready, caDir, listAds});
    parser.process(app);

    standin::StandinOptions options;
    bool ok = false;
    options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok) {
        std::fprintf(stderr, "tidwen-standin: --seed must be a number\n");
        return 2;
    }
    if (parser.isSet(now)) {
        options.now = QDateTime::fromString(parser.value(now), Qt::ISODate);
        if (!options.now.isValid()) {
            std::fprintf(stderr, "tidwen-standin: --now must be an ISO 8601 time\n");
            return 2;
        }
    }
    options.port = static_cast<quint16>(parser.value(port).toUInt(&ok));
    if (!ok) {
        std::fprintf(stderr, "tidwen-standin: --port must be a number\n");
        return 2;
    }
    options.faults = parser.values(fault);
    options.caFolder = parser.value(caDir);
    options.listAds = parser.isSet(listAds);

    standin::StandinService service(options);
    if (!service.isListening()) {
        std::fprintf(stderr, "tidwen-standin: %s\n", qPrintable(service.error()));
        return 1;
    }
    if (parser.isSet(ready) && !service.writeReadyFile(parser.value(ready))) {
        std::fprintf(stderr, "tidwen-standin: cannot write %s\n", qPrintable(parser.value(ready)));
        return 1;
    }
    std::fprintf(stderr, "tidwen-standin: proxy on 127.0.0.1:%u, CA in %s\n", service.port(), qPrintable(service.caFolder()));

    // SIGTERM and SIGINT end the event loop, so the temporary CA folder is removed.
    if (::pipe(g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    return app.exec();
}
