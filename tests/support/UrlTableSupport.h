#pragma once

// The server URL table (UrlList1) as tests store it. Header only, and included only by test
// programs that link the database: the support library itself stays below it.

#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"

#include <QStringList>

#include <gtest/gtest.h>

// A full URL table with every key u1 ... u100 at its built-in value; item i stands for key u(i+1).
inline QStringList builtInUrlTable()
{
    QStringList urls;
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number)
        urls.append(ServerUrls::builtInValue(number));
    return urls;
}

// Stores a full table and loads it into the globals, as start-up reads it.
inline void loadUrlTable(const QStringList& urls)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->UrlList_update(urls));
    ASSERT_TRUE(store->UrlList_get());
}
