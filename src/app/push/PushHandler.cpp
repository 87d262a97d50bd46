#include "app/push/PushHandler.h"

#include "app/report/FixedAddresses.h"
#include "app/report/ServiceReply.h"
#include "article/ArticleCacheFile.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "networking/AFNetManager.h"
#include "platform/UrlOpener.h"

#include <QAbstractButton>
#include <QDebug>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QWidget>

#include <cmath>
#include <limits>

namespace {

QString describe(const QVariantMap& payload)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(payload).toJson(QJsonDocument::Compact));
}

}  // namespace

PushHandler::PushHandler(std::shared_ptr<PushTargets> targets) : m_targets(std::move(targets)) {}

PushHandler::~PushHandler()
{
    *m_alive = false;
    if (m_sheet)
        m_sheet->deleteLater();
}

QString PushHandler::deviceTokenText(const QByteArray& token)
{
    return QString::fromLatin1(token.toHex());
}

QString PushHandler::payloadText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        // A payload read from JSON holds every number as a double; only a whole one is an id.
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::trunc(number) &&
            std::fabs(number) < 9.0e15)
            return QString::number(static_cast<long long>(number));
        return {};
    }
    default:
        return {};
    }
}

void PushHandler::didRegisterForRemoteNotificationsWithDeviceToken(const QByteArray& deviceToken)
{
    const QString text = deviceTokenText(deviceToken);
    qInfo().noquote() << QStringLiteral("deviceToken:%1").arg(text);
    m_selfDeviceToken = text;
    if (m_tokenObserver)
        m_tokenObserver(text);
    postDeviceToken(text);
    // The token is a device credential: it is not put on the clipboard, where any program could
    // paste it.
}

void PushHandler::didFailToRegisterForRemoteNotificationsWithError(const Error&) {}

void PushHandler::didReceiveRemoteNotification(const QVariantMap& payload)
{
    const QString alertText = payloadText(payload.value(QStringLiteral("aps")).toMap().value(QStringLiteral("alert")));
    qInfo().noquote() << QStringLiteral("userinfo:%1").arg(describe(payload));
    qInfo().noquote() << QStringLiteral("收到推送消息:%1").arg(alertText);

    if (m_sheet)
        m_sheet->deleteLater();
    QWidget* window = m_targets ? m_targets->mainWindow() : nullptr;
    auto* sheet = new QMessageBox(QMessageBox::Information, QString::fromUtf8(kSheetMessage), QString::fromUtf8(kSheetMessage),
                                  QMessageBox::NoButton, window);
    sheet->setObjectName(QStringLiteral("pushSheet"));
    sheet->setInformativeText(alertText);
    QAbstractButton* view = sheet->addButton(QString::fromUtf8(kViewButton), QMessageBox::AcceptRole);
    QAbstractButton* cancel = sheet->addButton(QString::fromUtf8(kCancelButton), QMessageBox::RejectRole);
    sheet->setDefaultButton(qobject_cast<QPushButton*>(view));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    m_sheet = sheet;

    std::weak_ptr<bool> alive = m_alive;
    QObject::connect(sheet, &QMessageBox::buttonClicked, sheet, [this, alive, payload, cancel](QAbstractButton* button) {
        if (alive.expired())
            return;
        if (button == cancel)
            return;
        if (!payload.isEmpty())
            route(payload);
    });
    sheet->open();
}

void PushHandler::route(const QVariantMap& payload)
{
    if (payload.contains(QStringLiteral("postid")))
        parserForumData(payload);
    else if (payload.contains(QStringLiteral("proid")))
        parserProData(payload);
    else if (payload.contains(QStringLiteral("coinshopurl")))
        parserCoinShopData(payload);
    else
        parserPushData(payload);
}

void PushHandler::parserPushData(const QVariantMap& payload)
{
    const QString newsId = payloadText(payload.value(QStringLiteral("newsid")));
    const QVariant url = payload.value(QStringLiteral("url"));
    if (url.typeId() == QMetaType::QString && !url.toString().isEmpty()) {
        // Only a web address reaches the browser; either way the news id is not used.
        UrlOpener::open(QUrl(url.toString(), QUrl::StrictMode));
        return;
    }
    if (newsId.isEmpty())
        return;
    // Ids become file names and address paths further on: only plain digits are taken.
    if (!ArticleIds::isNewsId(newsId)) {
        qWarning().noquote() << "push: news id is not a number, not opened:" << newsId;
        return;
    }
    if (!m_targets)
        return;
    auto feed = std::make_shared<Feed>();
    feed->guid = newsId;
    m_targets->showNews(feed);
}

void PushHandler::parserProData(const QVariantMap& payload)
{
    const QString productId = payloadText(payload.value(QStringLiteral("proid")));
    if (productId.isEmpty())
        return;
    if (!ArticleIds::isDealId(productId)) {
        qWarning().noquote() << "push: deal id is not a number, not opened:" << productId;
        return;
    }
    if (m_targets)
        m_targets->showHotProduct(productId);
}

void PushHandler::parserForumData(const QVariantMap& payload)
{
    // A community post has no page in this program: the id is accepted and nothing opens.
    const QString postId = payloadText(payload.value(QStringLiteral("postid")));
    qInfo().noquote() << "push: community post" << postId << "has nothing to open";
}

void PushHandler::parserCoinShopData(const QVariantMap& payload)
{
    // The coin shop lives in the settings window: nothing opens from here.
    const bool isText = payload.value(QStringLiteral("coinshopurl")).typeId() == QMetaType::QString;
    qInfo() << "push: coin-shop address" << (isText ? "accepted" : "of the wrong type") << "- nothing to open";
}

void PushHandler::postDeviceToken(const QString& token)
{
    if (token.isEmpty())
        return;
    const QString url = FixedAddresses::current().pushSaveDevice + QStringLiteral("?deviceToken=") +
                        CommonFunction::EncrypteUTF8(token, kDesKeyPushToken);
    if (m_registration)
        m_registration->invalidateSessionCancelingTasks(true);
    m_registration = AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr,
        [](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            const QString value = ServiceReply::rootValue(body.toByteArray());
            if (value == QLatin1String("exists"))
                qInfo("push: the device was registered before");
            else if (value == QLatin1String("ok"))
                qInfo("push: device registered");
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}

void PushHandler::postEnablePushNotification(bool on)
{
    m_currentPushStatus = on;
    if (m_selfDeviceToken.isEmpty()) {
        // Without a token the service could only store the switch for nobody.
        qInfo("push: no device token yet; push switch not sent");
        return;
    }
    QVariantMap fields;
    fields.insert(QStringLiteral("deviceToken"), CommonFunction::EncrypteUTF8(m_selfDeviceToken, kDesKeyPushToken));
    fields.insert(QStringLiteral("isPush"), on ? QStringLiteral("true") : QStringLiteral("false"));
    if (m_switch)
        m_switch->invalidateSessionCancelingTasks(true);
    std::weak_ptr<bool> alive = m_alive;
    m_switch = AFNetManager::requestWithUrlString(
        FixedAddresses::current().pushSaveIsPush, false, fields, 1, nullptr,
        [this, alive](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (alive.expired())
                return;
            if (ServiceReply::rootValue(body.toByteArray()) == QLatin1String("true") && m_currentPushStatus) {
                SettingsDatabaseOperate::Lease settings;
                if (settings)
                    settings->setNewsPush(true);
            }
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}
