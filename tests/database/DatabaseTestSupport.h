#pragma once

#include "../fmdb/FMDBTestSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/DatabaseOperate.h"
#include "database/StoreConnection.h"
#include "platform/Clock.h"
#include "platform/StorageRoot.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The list ids of the channels (or community circles), in their order.
inline QList<int64_t> ids(const QList<NewsListDataPtr>& channels)
{
    QList<int64_t> result;
    for (const NewsListDataPtr& channel : channels)
        result.append(channel->iListID);
    return result;
}

// A channel (or community circle) as the channel editor hands it over: id, shown or not, place.
inline NewsListDataPtr editorChoice(int64_t id, bool shown, int64_t order)
{
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = id;
    channel->bDisplay = shown;
    channel->iDisplayOrder = order;
    return channel;
}

// Each test gets a storage root of its own, so the content store starts on a missing file,
// and a connection of its own on that file to look at the rows as stored.
class DatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        StorageRoot::setRoot(m_root.path());
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        store->closeDB();
    }

    void TearDown() override
    {
        {
            DatabaseOperate::Lease store;
            if (store)
                store->closeDB();
        }
        if (m_file)
            m_file->close();
        StorageRoot::setRoot(TestEnvironment::rootPath());
        StoreConnection::setBusyTimeLimit(StoreConnection::kDefaultBusyTimeLimit);
        StoreConnection::setMemoryFallback(true);
        Clock::reset();
    }

    QString databasePath() const { return QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")); }

    // The test's own connection on the store's file.
    FMDatabase& file()
    {
        if (!m_file) {
            m_file = FMDatabase::databaseWithPath(databasePath());
            EXPECT_TRUE(m_file->open());
        }
        return *m_file;
    }

    // Moves the storage root to blocked, where Documents is a plain file, so the database in it
    // cannot be opened; the stores are left without any connection, not one in memory.
    static void blockDocumentsFolder(const QTemporaryDir& blocked)
    {
        StoreConnection::setMemoryFallback(false);
        QFile documents(QDir(blocked.path()).filePath(QStringLiteral("Documents")));
        ASSERT_TRUE(documents.open(QIODevice::WriteOnly));
        documents.close();
        StorageRoot::setRoot(blocked.path());
    }

    int rowCount(const QString& table, const QString& condition = QString(), const QVariantList& arguments = {})
    {
        return file().intForQuery(QStringLiteral("SELECT count(*) FROM ") + table + QLatin1Char(' ') + condition,
                                  arguments);
    }

    QTemporaryDir m_root;
    std::shared_ptr<FMDatabase> m_file;
};
