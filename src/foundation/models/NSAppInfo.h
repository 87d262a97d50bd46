#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <memory>

// One recommended app of the remote configuration.
struct NSAppInfo
{
    QString appName = emptyText();
    QString appUrl = emptyText();
    QString appImageUrl = emptyText();
    QString appDescribe = emptyText();
    QString appOpenUrl = emptyText();
};

using NSAppInfoPtr = std::shared_ptr<NSAppInfo>;
