#pragma once

// Shared by the search, editor and community tests: a fresh store, the server URLs of
// the search, community and task services on the loopback server, the clock fixed at
// 1700000000 s, fakes for the neighbours, and every process-wide value put back afterwards.

#include "LoopbackStoreTest.h"
#include "foundation/AlertPresenter.h"
#include "foundation/CommonFunction.h"
#include "newslist/NewsListLinks.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

namespace h24 {

class Pane : public ArticlePaneLink
{
public:
    QList<FeedPtr> shown;
    QStringList deals;
    QList<bool> dealsByClick;
    void show(const FeedPtr& feed) override { shown.append(feed); }
    void emptyRecordNewsAndHot() override {}
    void followShownArticles(QObject*, std::function<void(const QString&)>) override {}
    void showDealByClick(const QString& productId, bool byClick) override
    {
        deals.append(productId);
        dealsByClick.append(byClick);
    }
};

struct ShownAlert
{
    QString message;
    QString informative;
    QString button;
    QPointer<QWidget> window;
};

class Alerts : public AlertPresenter
{
public:
    QList<ShownAlert> shown;
    void presentAlert(const QString& messageText, const QString& informativeText, const QString& buttonTitle,
                      QWidget* window) override
    {
        shown.append({messageText, informativeText, buttonTitle, window});
    }
};

inline QByteArray searchItem(const QString& id, const QString& title, const QString& date = QStringLiteral("2023-11-14 10:00:00"))
{
    QString xml = QStringLiteral("<item>");
    if (!id.isNull())
        xml += QStringLiteral("<newsid>%1</newsid>").arg(id);
    if (!title.isNull())
        xml += QStringLiteral("<title>%1</title>").arg(title);
    xml += QStringLiteral("<postdate>%1</postdate><image>http://img.example/a.jpg</image></item>").arg(date);
    return xml.toUtf8();
}

inline QByteArray searchPage(const QList<QByteArray>& items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel>";
    for (const QByteArray& item : items)
        xml += item;
    return xml + "</channel></rss>";
}

inline LoopbackReply xml(const QByteArray& body)
{
    return LoopbackReply::text(200, body, "text/xml; charset=utf-8");
}

inline LoopbackReply json(const QByteArray& body)
{
    return LoopbackReply::text(200, body, "application/json; charset=utf-8");
}

class Fixture : public LoopbackStoreTest
{
protected:
    // Keys whose address is moved onto the loopback server.
    static bool onLoopback(int number) { return number == 61 || number == 71 || number == 72 || number == 84; }

    void SetUp() override
    {
        setUpStore([this](int number, const QString& builtIn) {
            return onLoopback(number) ? base() + QUrl(builtIn).path() : builtIn;
        });
        if (HasFatalFailure())
            return;
        Clock::setNow(QDateTime::fromSecsSinceEpoch(1700000000, QTimeZone::utc()));
        ArticlePaneLink::install(pane);
        m_oldAlerts = CommonFunction::setAlertPresenter(alerts);
    }

    void TearDown() override
    {
        drainMainQueue();
        spin(30);
        CommonFunction::setAlertPresenter(m_oldAlerts);
        ArticlePaneLink::install(nullptr);
        tearDownStore();
    }

    std::shared_ptr<Pane> pane = std::make_shared<Pane>();
    std::shared_ptr<Alerts> alerts = std::make_shared<Alerts>();

private:
    std::shared_ptr<AlertPresenter> m_oldAlerts;
};

}  // namespace h24
