#pragma once

#include "article/views/ToolBarView.h"

#include <QObject>
#include <QStringList>

// A toolbar delegate that writes down each operation it receives, in order. A QObject, so the
// toolbar can hold it by QPointer and a test can see it drop a deleted one.
class RecordingToolBarDelegate : public QObject, public ToolBarDelegate
{
public:
    QStringList calls;
    void openComment() override { calls.append(QStringLiteral("openComment")); }
    void refresh() override { calls.append(QStringLiteral("refresh")); }
    void adjustFont() override { calls.append(QStringLiteral("adjustFont")); }
    void collect() override { calls.append(QStringLiteral("collect")); }
    void share() override { calls.append(QStringLiteral("share")); }
    void writeComment() override { calls.append(QStringLiteral("writeComment")); }
    void back() override { calls.append(QStringLiteral("back")); }
    void instantGO() override { calls.append(QStringLiteral("instantGO")); }
};
