#pragma once

#include "DatabaseTestSupport.h"
#include "database/SettingsDatabaseOperate.h"

#include <QCoreApplication>

// The content store's fixture, with the settings store also starting on the test's own missing
// file and the running app version fixed at "2.0".
class SettingsTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        m_savedVersion = QCoreApplication::applicationVersion();
        QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        settings->closeDB();
    }

    void TearDown() override
    {
        {
            SettingsDatabaseOperate::Lease settings;
            if (settings)
                settings->closeDB();
        }
        QCoreApplication::setApplicationVersion(m_savedVersion);
        DatabaseTest::TearDown();
    }

    // The stored text of a setting; null when there is no row.
    QString stored(const QString& name)
    {
        return file().stringForQuery(QStringLiteral("SELECT value FROM Settings WHERE name = ?"), {name});
    }

    bool hasSetting(const QString& name) { return rowCount(QStringLiteral("Settings"), QStringLiteral("WHERE name = ?"), {name}) == 1; }

    // Every INSERT into the table fails while the returned name's trigger exists.
    QString refuseInserts(const QString& table)
    {
        const QString trigger = QStringLiteral("refuse_insert_") + table;
        EXPECT_TRUE(file().executeUpdate(QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 BEGIN SELECT RAISE(ABORT, 'refused'); END")
                                             .arg(trigger, table)));
        return trigger;
    }

    void dropTrigger(const QString& trigger) { EXPECT_TRUE(file().executeUpdate(QStringLiteral("DROP TRIGGER ") + trigger)); }

    QString m_savedVersion;
};
