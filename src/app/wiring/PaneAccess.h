#pragma once

#include <QString>

#include <functional>

class QObject;

class RightViewController;

// The detail pane as everything outside it reaches it (a list row, a deal of the deals column, a
// push notification): the work waits until the main window is finished and, during start-up,
// until the first screen is up, when the pane is made by its one getter
// (MainSplitViewController::RightViewController). Then it runs with the pane. Dropped when the
// program has no delegate or no window.
void withRightPane(std::function<void(RightViewController&)> work);

// Once the detail pane exists, the list hears what it shows: an article (its news id) or a deal
// (its product id), to keep its mark on that item only. Heard while the list lives.
void followThePane(QObject* list, std::function<void(const QString& newsId)> article,
                   std::function<void(const QString& productId)> deal);

// The same for a list of articles only: a deal shown in the pane is no article (an empty id).
void followShownArticles(QObject* list, std::function<void(const QString& newsId)> article);
