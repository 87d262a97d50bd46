#include "app/report/MobClick.h"

#include "app/report/FixedAddresses.h"
#include "foundation/CommonFunction.h"
#include "networking/AFNetManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QScreen>

MobClick::Facts MobClick::currentFacts()
{
    Facts facts;
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    if (screen != nullptr) {
        facts.hasScreen = true;
        facts.screenWidth = screen->geometry().width();
        facts.screenHeight = screen->geometry().height();
    }
    facts.version = QCoreApplication::applicationVersion();
    facts.partition = CommonFunction::getDeviceRamSize();
    facts.mac = CommonFunction::getMacAddress();
    facts.os = CommonFunction::getSystemVersion();
    return facts;
}

QString MobClick::record(const Facts& facts)
{
    const double width = facts.hasScreen ? facts.screenWidth : 0.0;
    const double height = facts.hasScreen ? facts.screenHeight : 0.0;
    const QString resolution = QString::asprintf("%fx%f", width, height);
    return QStringLiteral("version:%1;business:ponwel;setup:;cpu:;memory:;disk:;partition:%2;resolution:%3;mac:%4;")
               .arg(facts.version, facts.partition, resolution, facts.mac) +
           QString::asprintf("os:%f;", static_cast<double>(facts.os)) +
           QStringLiteral("ie:;process:;autorun:;browser:;defaultbrowser:;enablemainpage:;enablesearch:;"
                          "protectmainpage:;protectsearch:;");
}

QString MobClick::reportUrl(const QString& record)
{
    return FixedAddresses::current().launchReport + QStringLiteral("?uid=") +
           CommonFunction::EncrypteUTF8(record, kDesKeyLaunchReportUid);
}

void MobClick::event(const QString& eventId)
{
    Q_UNUSED(eventId);
    send(record(currentFacts()));
}

void MobClick::send(const QString& record)
{
    AFNetManager::requestWithUrlString(
        reportUrl(record), true, QVariant(), 1, nullptr,
        [](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            qInfo().noquote() << QString::fromUtf8(body.toByteArray()) + QString::fromUtf8(kSuccessLog);
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            qInfo().noquote() << error.localizedDescription();
            qInfo().noquote() << QString::fromUtf8(kFailureLog);
        });
}
