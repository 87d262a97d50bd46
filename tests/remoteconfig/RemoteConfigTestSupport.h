#pragma once

#include "LoopbackHttpServer.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"
#include "UrlTableSupport.h"

#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/DES.h"
#include "foundation/EncryptionKeys.h"
#include "foundation/GlobalValues.h"
#include "platform/StorageRoot.h"

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Every process-wide value a configuration may change, restored when the guard ends.
class RemoteConfigGlobalsGuard
{
public:
    RemoteConfigGlobalsGuard()
    {
        for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
            if (const QString* global = ServerUrls::global(number))
                m_urls.insert(number, *global);
        }
    }
    ~RemoteConfigGlobalsGuard()
    {
        for (auto it = m_urls.cbegin(); it != m_urls.cend(); ++it)
            *ServerUrls::global(it.key()) = it.value();
        gAvatarHost.set(m_avatarHost);
        gRelatedNewsCount = m_related;
        gNewsScoreMax = m_scoreMax;
        gNewsScoreMinRaters = m_minRaters;
        gbApiRandom = m_apiRandom;
        gbOwnAdReport = m_ownAdReport;
        gCoinShopVersion.set(m_coinShop);
        gbZefupHitReport = m_zefupHit;
        gbConfigReportOn = m_reportOn;
        gConfigReportUrl.set(m_reportUrl);
        gbLoadAllData = m_loadAll;
        gbAdImageCleanEnabled = m_clean;
    }

private:
    QMap<int, QString> m_urls;
    QString m_avatarHost = gAvatarHost.get();
    long m_related = gRelatedNewsCount;
    long m_scoreMax = gNewsScoreMax;
    long m_minRaters = gNewsScoreMinRaters;
    bool m_apiRandom = gbApiRandom;
    bool m_ownAdReport = gbOwnAdReport;
    QString m_coinShop = gCoinShopVersion.get();
    bool m_zefupHit = gbZefupHitReport;
    bool m_reportOn = gbConfigReportOn;
    QString m_reportUrl = gConfigReportUrl.get();
    bool m_loadAll = gbLoadAllData;
    bool m_clean = gbAdImageCleanEnabled;
};

// A storage root of the test's own, with the server URL table pointing the given keys at the
// loopback servers and loaded into the globals the way start-up loads them.
class LoopbackStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        StorageRoot::setRoot(m_root.path());
        closeStores();
    }

    void TearDown() override
    {
        // Blocks queued by the test's request managers as they went away run now, not while the
        // application object is being torn down at exit.
        drainMainQueue();
        spin(50);  // and what their threads hand back a moment later
        closeStores();
        StorageRoot::setRoot(TestEnvironment::rootPath());
    }

    // Both stores open their file again under the current root.
    static void closeStores()
    {
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store);
            store->closeDB();
        }
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        settings->closeDB();
    }

    // Key number -> URL; every other key keeps its built-in value. Loads the table into the globals.
    static void pointUrls(const QMap<int, QString>& urls)
    {
        QStringList list = builtInUrlTable();
        for (auto url = urls.cbegin(); url != urls.cend(); ++url)
            list[url.key() - 1] = url.value();
        loadUrlTable(list);
    }

    QTemporaryDir m_root;
    RemoteConfigGlobalsGuard m_globals;
};

// The file as the data server holds it: zero-padded to whole blocks, DES-ECB under the key.
inline QByteArray encipherConfig(QByteArray plain, const DesKey& key = kDesKeyRemoteConfig)
{
    while (plain.size() % 8 != 0)
        plain.append('\0');
    DES des;
    des.encryptKey(key.data(), reinterpret_cast<uint8_t*>(plain.data()), int32_t(plain.size() / 8));
    return plain;
}

// How many of the requests used this method.
inline int countRequests(const QList<LoopbackRequest>& requests, const QByteArray& method)
{
    int n = 0;
    for (const LoopbackRequest& request : requests)
        n += request.method == method;
    return n;
}
