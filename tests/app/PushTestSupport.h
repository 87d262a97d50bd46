#pragma once

// Shared pieces of the push, reminder, launch-report and settings tests: the loopback server
// behind the shell's fixed addresses and URL-table entries, a recording URL opener and push
// targets, and the form fields of a POST.

#include "AppTestSupport.h"
#include "LoopbackHttpServer.h"
#include "ScopeGuard.h"
#include "TestEnvironment.h"
#include "app/push/PushHandler.h"
#include "app/report/FixedAddresses.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "platform/UrlOpener.h"

#include <QMap>
#include <QUrlQuery>

#include <gtest/gtest.h>

// Records every address handed to the browser.
class RecordingUrlOpener : public UrlOpener
{
public:
    bool openURL(const QUrl& url) override
    {
        opened.append(url.toString());
        return true;
    }
    QStringList opened;
};

// Records what a notification opened.
class RecordingPushTargets : public PushTargets
{
public:
    QWidget* mainWindow() override { return window; }
    void showNews(const FeedPtr& feed) override { news.append(feed ? feed->guid : QStringLiteral("<null>")); }
    void showHotProduct(const QString& productId) override { products.append(productId); }

    QWidget* window = nullptr;
    QStringList news;
    QStringList products;
};

// The loopback server behind the shell's fixed addresses; both go back when it ends.
class ShellServer
{
public:
    ShellServer()
    {
        FixedAddresses::Addresses addresses;
        addresses.pushSaveDevice = server.url(QStringLiteral("/push/push.asmx/SaveMacDevice")).toString();
        addresses.pushSaveIsPush = server.url(QStringLiteral("/push/push.asmx/SaveIosDeviceIsPush")).toString();
        addresses.launchReport = server.url(QStringLiteral("/receive/postdata.aspx")).toString();
        addresses.communityReplyCount = server.url(QStringLiteral("/community/s/reply.asmx/GetReplyCount")).toString();
        FixedAddresses::set(addresses);
    }
    ~ShellServer()
    {
        FixedAddresses::reset();
        if (m_urlsChanged) {
            DatabaseOperate::Lease store;
            if (store) {
                store->UrlList_update(builtInUrlTable());
                store->UrlList_get();
            }
        }
    }

    // Points URL-table entries (u<number>) at paths of the server, as the program reads them.
    void pointUrls(const QMap<int, QString>& paths)
    {
        QStringList urls = builtInUrlTable();
        for (auto path = paths.cbegin(); path != paths.cend(); ++path)
            urls[path.key() - 1] = server.url(path.value()).toString();
        loadUrlTable(urls);
        if (::testing::Test::HasFatalFailure())
            return;
        m_urlsChanged = true;
    }

    // The service's one-value XML reply.
    static LoopbackReply value(const QByteArray& text, int status = 200)
    {
        return LoopbackReply::text(status,
                                   "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<string xmlns=\"http://tempuri.org/\">" +
                                       text + "</string>",
                                   "text/xml; charset=utf-8");
    }

    // The form fields of a POST (or the query of a GET).
    static QMap<QString, QString> fields(const QString& encoded)
    {
        QMap<QString, QString> map;
        const QUrlQuery query(encoded);
        for (const auto& item : query.queryItems(QUrl::FullyDecoded))
            map.insert(item.first, item.second);
        return map;
    }
    static QMap<QString, QString> form(const LoopbackRequest& request)
    {
        return fields(QString::fromUtf8(request.body));
    }

    LoopbackHttpServer server;

private:
    bool m_urlsChanged = false;
};

// Installs a recording opener for the scope.
class OpenerScope
{
public:
    OpenerScope() : opener(std::make_shared<RecordingUrlOpener>()), m_previous(UrlOpener::shared())
    {
        UrlOpener::install(opener);
    }
    ~OpenerScope() { UrlOpener::install(m_previous); }
    std::shared_ptr<RecordingUrlOpener> opener;

private:
    std::shared_ptr<UrlOpener> m_previous;
};

// After a wait on what had to happen: runs what is queued for the main thread, then lets the event
// loop run a while more, room for something that must not happen.
inline void settle(int ms = 300)
{
    ASSERT_TRUE(drainMainQueue());
    spin(ms);
}
