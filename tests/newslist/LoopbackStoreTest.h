#pragma once

#include "FakeNetwork.h"
#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "UrlTableSupport.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "platform/Clock.h"
#include "platform/StorageRoot.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

// What the list and the search fixtures share: both stores opened afresh under a temporary
// root, the URL table stored with the keys a fixture names moved onto the loopback server, the
// fake network state, and the storage root, network and clock put back afterwards.
class LoopbackStoreTest : public ::testing::Test
{
protected:
    // Gives the value to store for key number, given its built-in value.
    using UrlRewrite = std::function<QString(int number, const QString& builtIn)>;

    void setUpStore(const UrlRewrite& rewrite)
    {
        ASSERT_TRUE(m_root.isValid());
        StorageRoot::setRoot(m_root.path());
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store);
        }
        closeStores();
        DatabaseOperate::installWebFileStampStore();
        ASSERT_NE(server.port(), 0);
        QStringList urls;
        for (int number = 1; number <= ServerUrls::kKeyCount; ++number)
            urls.append(rewrite(number, ServerUrls::builtInValue(number)));
        loadUrlTable(urls);
        if (HasFatalFailure())
            return;
        NetworkStateSource::setInstance(network);
    }

    void tearDownStore()
    {
        NetworkStateSource::setInstance(nullptr);
        closeStores();
        StorageRoot::setRoot(TestEnvironment::rootPath());
        Clock::reset();
    }

    // Both stores open their files again under the storage root of the moment.
    static void closeStores()
    {
        {
            DatabaseOperate::Lease store;
            if (store)
                store->closeDB();
        }
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            settings->closeDB();
    }

    QString base() const { return server.url(QStringLiteral("/")).toString().chopped(1); }

    // "METHOD path?query" of every request so far.
    QStringList sent() const
    {
        QStringList lines;
        for (const LoopbackRequest& request : server.requests())
            lines.append(QString::fromLatin1(request.method) + QLatin1Char(' ') + request.pathAndQuery());
        return lines;
    }

    LoopbackHttpServer server;
    std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();

private:
    QTemporaryDir m_root;
};
