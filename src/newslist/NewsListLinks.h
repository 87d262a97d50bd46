#pragma once

#include "foundation/models/Feed.h"
#include "newslist/NewsListEntry.h"
#include "platform/Installed.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

// What the news lists need of the program around them. Each seam is installed once by the
// program's composition root; tests install fakes. Without an installation the calls do nothing.

// The article pane of the detail column.
class ArticlePaneLink : public Installed<ArticlePaneLink>
{
public:
    virtual ~ArticlePaneLink() = default;
    // Opens a news item (the pane records it, marks it read and loads it).
    virtual void show(const FeedPtr& feed) = 0;
    // Empties the pane's back history (recordNewsAndHot).
    virtual void emptyRecordNewsAndHot() = 0;
    // Opens a deal page by product id text.
    virtual void showDealByClick(const QString& productId, bool byClick) = 0;
    // From now on, while the list lives, tells it the news id of every article the pane shows,
    // wherever it came from (a list, the search window, a link, back), and an empty id when the
    // pane shows a deal.
    virtual void followShownArticles(QObject* list, std::function<void(const QString& newsId)> shown) = 0;

    static std::shared_ptr<ArticlePaneLink> instance() { return installed(); }
};

// The application delegate's flag that a push notification has just opened an article.
class PushNewsFlag : public Installed<PushNewsFlag>
{
public:
    virtual ~PushNewsFlag() = default;
    virtual bool isPushNews() const = 0;
    virtual void setIsPushNews(bool value) = 0;

    static std::shared_ptr<PushNewsFlag> instance() { return installed(); }
};

// The list-ad manager of the remote configuration. By default the process's manager; tests
// install a fake.
class ListADManagerLink : public Installed<ListADManagerLink>
{
public:
    virtual ~ListADManagerLink() = default;
    virtual bool isAdDownloaded() = 0;
    virtual int64_t getUsedADCount() = 0;
    // A slot's description (startPos, endPos), or null.
    virtual NSListADInfoPtr getUsedADInfo(int64_t slot) = 0;
    // The ad to show in a slot, or null.
    virtual NSListADInfoPtr getUsedADForOrder(int64_t slot) = 0;
    virtual void postbackAd(const NSListADInfoPtr& ad, bool isReFresh) = 0;
    // The click report of an own ad (the manager decides whether it is sent).
    virtual void postOwnAdClick(const NSListADInfoPtr&) {}
    // The ad-click gold-coin task, sent when the day's gate allows it.
    virtual void postAdvertiseTask() = 0;

    // The installed manager; install(nullptr) puts the process's manager back.
    static std::shared_ptr<ListADManagerLink> instance() { return installed(); }

private:
    friend class Installed<ListADManagerLink>;
    static std::shared_ptr<ListADManagerLink> makeDefault();  // the process's manager
};
