#pragma once

#include "app/AppNeighbours.h"
#include "foundation/models/Feed.h"
#include "platform/PushService.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class AFHTTPSessionManager;

class QWidget;

// What a push notification can open, reached through the main window: the article pane and its
// deal view. main.cpp installs the main window's; tests a fake.
class PushTargets
{
public:
    virtual ~PushTargets() = default;
    // The window the notification sheet stands on; null shows it on its own.
    virtual QWidget* mainWindow() = 0;
    // RightViewController show: the article with this item.
    virtual void showNews(const FeedPtr& feed) = 0;
    // The deal view's show:ByClick: with YES, then showHotProductAndhideSelf.
    virtual void showHotProduct(const QString& productId) = 0;
};

// The push side of the application delegate: the device token and its registration with the
// push service, the push switch, the sheet of a notification that arrives while the program runs,
// and the routing of a payload (also of the one that launched the program). Main thread only.
class PushHandler : public PushServiceDelegate, public PushPayloadRouter
{
public:
    explicit PushHandler(std::shared_ptr<PushTargets> targets);
    ~PushHandler() override;

    // The token's bytes as lower-case hexadecimal, two digits a byte, nothing between them.
    static QString deviceTokenText(const QByteArray& token);
    // A payload value as text: a string as it is, an integral number as "%ld"; null for anything
    // else (which counts as absent).
    static QString payloadText(const QVariant& value);

    // PushServiceDelegate
    void didRegisterForRemoteNotificationsWithDeviceToken(const QByteArray& deviceToken) override;
    void didFailToRegisterForRemoteNotificationsWithError(const Error& error) override;
    void didReceiveRemoteNotification(const QVariantMap& payload) override;

    // PushPayloadRouter: "postid" first, then "proid", then "coinshopurl", else the news handler.
    void route(const QVariantMap& payload) override;

    // The registration GET; nothing for a null or empty token.
    void postDeviceToken(const QString& token);
    // The push-switch POST; the switch is kept, but nothing is sent before a token exists.
    void postEnablePushNotification(bool on);

    void parserPushData(const QVariantMap& payload);
    void parserProData(const QVariantMap& payload);
    void parserForumData(const QVariantMap& payload);
    void parserCoinShopData(const QVariantMap& payload);

    QString selfDeviceToken() const { return m_selfDeviceToken; }
    bool currentPushStatus() const { return m_currentPushStatus; }
    // Told each new token (the delegate keeps its own copy).
    void setDeviceTokenObserver(std::function<void(const QString&)> observer) { m_tokenObserver = std::move(observer); }

    // The sheet of the last notification while it is open; null otherwise.
    QMessageBox* alertSheet() const { return m_sheet; }

    // Texts of the sheet.
    static constexpr auto kSheetMessage = "提示";
    static constexpr auto kViewButton = "查看";
    static constexpr auto kCancelButton = "取消";

private:
    std::shared_ptr<PushTargets> m_targets;
    QString m_selfDeviceToken;
    bool m_currentPushStatus = false;
    std::function<void(const QString&)> m_tokenObserver;
    std::shared_ptr<AFHTTPSessionManager> m_registration;
    std::shared_ptr<AFHTTPSessionManager> m_switch;
    QPointer<QMessageBox> m_sheet;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
