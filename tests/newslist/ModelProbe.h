#pragma once

#include "newslist/CenterTableModel.h"

#include <QStringList>

// Records what a list model asks its view to say and show.
struct ModelProbe
{
    explicit ModelProbe(CenterTableModel& model)
    {
        QObject::connect(&model, &CenterTableModel::toastRequested, [this](const QString& text) { toasts.append(text); });
        QObject::connect(&model, &CenterTableModel::offlineToastRequested,
                         [this](const QString& text) { offline.append(text); });
        QObject::connect(&model, &CenterTableModel::errorViewRequested, [this](bool shown) { errorView = shown; });
        QObject::connect(&model, &CenterTableModel::slidesChanged, [this] { ++slideChanges; });
        QObject::connect(&model, &CenterTableModel::scrollToTopRequested, [this] { ++scrolls; });
    }

    QStringList toasts;
    QStringList offline;
    bool errorView = false;
    int slideChanges = 0;
    int scrolls = 0;
};

inline bool idle(const CenterTableModel& model)
{
    return !model.isLoading() && !model.isLoadSlide();
}

inline QString firstGuid(const CenterTableModel& model)
{
    const FeedPtr feed = model.newsListArray().isEmpty() ? nullptr : feedOf(model.newsListArray().first());
    return feed ? feed->guid : QString();
}
